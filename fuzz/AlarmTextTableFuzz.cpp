// "Alarms.lst" read from any bytes. There is no writer; what must hold is that
// no text is longer than a line may be, and that the table does not depend on
// the line ends (LF or CR LF).
#include "events/AlarmTextTable.h"
#include "fuzz/FuzzInput.h"

namespace {

constexpr qsizetype kMaxTextLength = 127;

struct Reading {
    AlarmTextStatus status;
    AlarmTextTable table;
};

Reading read(const QByteArray& content) {
    Reading reading{AlarmTextStatus::Loaded, {}};
    reading.status = parseAlarmTexts(content, reading.table);
    return reading;
}

bool same(const Reading& a, const Reading& b) {
    return a.status == b.status && a.table.newText == b.table.newText && a.table.restoreText == b.table.restoreText;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray content(reinterpret_cast<const char*>(data), qsizetype(size));
    const Reading reading = read(content);
    for (int code = 0; code < AlarmTextTable::kCodeCount; ++code) {
        require(reading.table.text(code, false).size() <= kMaxTextLength);
        require(reading.table.text(code, true).size() <= kMaxTextLength);
    }
    require(reading.table.text(-1, false).isEmpty() && reading.table.text(AlarmTextTable::kCodeCount, true).isEmpty());

    if (!content.contains('\r')) {
        QByteArray crlf = content;
        require(same(reading, read(crlf.replace("\n", "\r\n"))));
    }
    return 0;
}
