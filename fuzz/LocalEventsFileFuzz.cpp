// "LocalEvents.lst" read from any bytes, written and read again: the table read
// back must be the one written, and writing it again gives the same file. A
// file whose header cannot be read leaves the table as it was.
#include "events/LocalEventsFile.h"
#include "fuzz/FuzzInput.h"

namespace {

bool same(const InternalEventTable& a, const InternalEventTable& b) {
    const InternalEventSettings& x = a.settings;
    const InternalEventSettings& y = b.settings;
    if (x.cidAccount != y.cidAccount || x.dc09Account != y.dc09Account || x.zone != y.zone ||
        x.partition != y.partition)
        return false;
    for (int i = 0; i < InternalEvent::kRowCount; ++i) {
        const InternalEventRow& r = a.row(i);
        const InternalEventRow& s = b.row(i);
        if (r.code != s.code || r.enabled != s.enabled || r.eventText != s.eventText || r.restoreText != s.restoreText)
            return false;
    }
    return true;
}

// A table that no file would give: a read that fails must leave it alone.
InternalEventTable marked() {
    InternalEventTable table;
    table.settings = {0x1234, 0x5678, 9, 8};
    for (InternalEventRow& row : table.rows)
        row = {7, true, QStringLiteral("e"), QStringLiteral("r")};
    return table;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    InternalEventTable loaded = marked();
    if (!LocalEventsFile::parse(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)), loaded)) {
        require(same(loaded, marked()));
        return 0;
    }
    for (const InternalEventRow& row : loaded.rows)
        require(row.eventText.size() <= LocalEventsFile::kTextMax &&
                row.restoreText.size() <= LocalEventsFile::kTextMax);
    const QByteArray saved = LocalEventsFile::serialize(loaded);
    InternalEventTable reloaded = marked();
    require(LocalEventsFile::parse(saved, reloaded));
    require(same(loaded, reloaded));
    require(LocalEventsFile::serialize(reloaded) == saved);
    return 0;
}
