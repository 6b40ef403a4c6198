// "Server.ini" read from any bytes, written and read again: the layout read
// back must be the one written. The first input byte picks the column counts
// the lists have (as a window with other columns would ask for them).
#include "fuzz/FuzzInput.h"
#include "shell/ServerIniFile.h"

namespace {

bool same(const WindowLayout& a, const WindowLayout& b) {
    return a.size == b.size && a.columnWidths == b.columnWidths;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    const quint8 shape = input.byte();
    WindowLayout defaults;
    for (int list = 0; list < WindowLayout::kListCount; ++list) {
        const int columns = 1 + (shape + list * 3) % 11;
        for (int column = 0; column < columns; ++column)
            defaults.columnWidths[size_t(list)].append(20 + column);
    }
    const WindowLayout loaded = ServerIniFile::parse(bytesOf(input.rest()), defaults);
    require(loaded.size.width() > 0 && loaded.size.height() > 0);
    for (int list = 0; list < WindowLayout::kListCount; ++list) {
        require(loaded.columnWidths[size_t(list)].size() == defaults.columnWidths[size_t(list)].size());
        for (const int width : loaded.columnWidths[size_t(list)])
            require(width >= 0 && width <= ServerIniFile::kMaxExtent);
    }
    const QByteArray saved = ServerIniFile::serialize(loaded);
    const WindowLayout reloaded = ServerIniFile::parse(saved, defaults);
    require(same(loaded, reloaded));
    require(ServerIniFile::serialize(reloaded) == saved);
    return 0;
}
