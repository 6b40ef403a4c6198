#include "events/LocalEventsFile.h"

#include "common/DataDirectory.h"
#include "common/DataFileReader.h"
#include "common/FileWriter.h"
#include "common/HexText.h"
#include "common/StringTable.h"
#include "common/TextDecoding.h"
#include "common/UserInterface.h"

#include <QList>

namespace LocalEventsFile {

namespace {

// A text as a row keeps it: at most 63 characters, cut between two characters
// (never inside a surrogate pair), and no line break, or the row structure
// would be lost (each is a blank). Reading and writing both apply it, so a
// text reads back as it was written.
QString fitText(const QString& text) {
    QString fitted = TextDecoding::leftWhole(text, kTextMax);
    fitted.replace(QLatin1Char('\n'), QLatin1Char(' '));
    fitted.replace(QLatin1Char('\r'), QLatin1Char(' '));
    return fitted;
}

// The texts are 8-bit: UTF-8 when the bytes are valid UTF-8, else Windows-1252
// (files edited with older Windows tools).
QString decodeText(QByteArrayView bytes) {
    return fitText(TextDecoding::decode(bytes));
}

QByteArray encodeText(const QString& text) {
    return fitText(text).toUtf8();
}

QList<QByteArray> splitLines(const QByteArray& content) {
    QList<QByteArray> lines = content.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast(); // the line feed that ends the last line
    for (QByteArray& line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    return lines;
}

// Reads an unsigned number of the given base at pos (leading blanks skipped);
// pos moves past it. False when no digit follows or the value exceeds max.
bool readNumber(const QByteArray& line, qsizetype& pos, int base, quint32 max, quint32& value) {
    while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t'))
        ++pos;
    const qsizetype start = pos;
    while (pos < line.size() && (base == 16 ? isxdigit(static_cast<unsigned char>(line[pos]))
                                            : isdigit(static_cast<unsigned char>(line[pos]))))
        ++pos;
    if (pos == start)
        return false;
    bool ok = false;
    const qulonglong parsed = line.mid(start, pos - start).toULongLong(&ok, base);
    if (!ok || parsed > max)
        return false;
    value = static_cast<quint32>(parsed);
    return true;
}

bool parseHeader(const QByteArray& line, InternalEventSettings& settings) {
    qsizetype pos = 0;
    quint32 cid = 0, dc09 = 0, zone = 0, partition = 0;
    if (!readNumber(line, pos, 16, 0xFFFF, cid) || !readNumber(line, pos, 16, 0xFFFF, dc09) ||
        !readNumber(line, pos, 10, 0xFFFFFFFFu, zone) || !readNumber(line, pos, 10, 0xFFFFFFFFu, partition))
        return false;
    settings.cidAccount = static_cast<quint16>(cid);
    settings.dc09Account = static_cast<quint16>(dc09);
    settings.zone = static_cast<quint16>(zone);          // a 16-bit field keeps the low bits
    settings.partition = static_cast<quint8>(partition); // the partition keeps the low 8 bits
    return true;
}

// "<code> <flag> <event text>"; false when the code or the flag is not a number.
bool parseRowLine(const QByteArray& line, InternalEventRow& row) {
    qsizetype pos = 0;
    quint32 code = 0, flag = 0;
    if (!readNumber(line, pos, 10, 0xFFFF, code) || !readNumber(line, pos, 10, 0xFFFFFFFFu, flag))
        return false;
    if (pos < line.size() && line[pos] == ' ')
        ++pos; // the single separating space; further blanks belong to the text
    row.code = static_cast<quint16>(code);
    row.enabled = flag != 0;
    row.eventText = decodeText(QByteArrayView(line).sliced(pos));
    return true;
}

} // namespace

bool parse(const QByteArray& content, InternalEventTable& table) {
    const QList<QByteArray> lines = splitLines(content);
    InternalEventSettings settings;
    if (lines.isEmpty() || !parseHeader(lines.first(), settings))
        return false;
    table.settings = settings;
    for (int position = 0; position < InternalEvent::kRowCount; ++position) {
        InternalEventRow& row = table.row(position);
        row = InternalEventRow{};
        const qsizetype first = 1 + 2 * position;
        if (first >= lines.size())
            continue; // not supplied: cleared
        if (!parseRowLine(lines[first], row)) {
            row = InternalEventRow{};
            continue;
        }
        if (first + 1 < lines.size())
            row.restoreText = decodeText(lines[first + 1]);
    }
    return true;
}

QByteArray serialize(const InternalEventTable& table) {
    const InternalEventSettings& s = table.settings;
    QByteArray out = HexText::hex4Bytes(s.cidAccount) + ' ' + HexText::hex4Bytes(s.dc09Account) +
                     QString::asprintf(" %03d %02d\n", int(s.zone), int(s.partition)).toLatin1();
    for (const InternalEventRow& row : table.rows) {
        out += QByteArray::number(row.code) + ' ' + (row.enabled ? '1' : '0') + ' ' + encodeText(row.eventText) + '\n';
        out += encodeText(row.restoreText) + '\n';
    }
    return out;
}

void LoadInternalEvents(const DataDirectory& dir, InternalEventTable& table, UserInterface& ui) {
    const DataFileReader::Content file = DataFileReader::readWhole(dir.file(QString::fromLatin1(kFileName)));
    if (file.read() && parse(file.bytes, table))
        return;
    if (!file.problem.isEmpty())
        ui.showMessage(file.problem, UserInterface::Icon::Exclamation);
    ui.showMessage(StringTable::text(kMsgMissing), UserInterface::Icon::Exclamation);
    for (InternalEventRow& row : table.rows)
        row = InternalEventRow{};
}

bool SaveInternalEvents(const DataDirectory& dir, const InternalEventTable& table) {
    return writeFileWhole(dir.file(QString::fromLatin1(kFileName)), serialize(table));
}

} // namespace LocalEventsFile
