#include "device/SiaCodeTable.h"

#include "common/TextDecoding.h"

#include <QFile>

#include <optional>

namespace {

constexpr int kCodeLength = 2;
constexpr int kEventDigits = 3;

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

bool isUpper(char c) {
    return c >= 'A' && c <= 'Z';
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool isQualifier(char c) {
    return c == '1' || c == '3' || c == '6';
}

qsizetype skipBlanks(QByteArrayView line, qsizetype pos) {
    while (pos < line.size() && isBlank(line[pos]))
        ++pos;
    return pos;
}

quint16 key(QByteArrayView siaCode) {
    return static_cast<quint16>((quint8(siaCode[0]) << 8) | quint8(siaCode[1]));
}

struct CodeLine {
    quint16 key = 0;
    SiaCodeTable::Entry entry;
};

// "BA 1 130 Text": none when the line has another form.
std::optional<CodeLine> readCodeLine(QByteArrayView line) {
    if (line.size() < kCodeLength || !isUpper(line[0]) || !isUpper(line[1]))
        return std::nullopt;
    qsizetype pos = kCodeLength;
    if (pos >= line.size() || !isBlank(line[pos]))
        return std::nullopt;
    pos = skipBlanks(line, pos);
    if (pos >= line.size() || !isQualifier(line[pos]))
        return std::nullopt;
    const int qualifier = line[pos++] - '0';
    if (pos >= line.size() || !isBlank(line[pos]))
        return std::nullopt;
    pos = skipBlanks(line, pos);
    int event = 0;
    for (int digit = 0; digit < kEventDigits; ++digit, ++pos) {
        if (pos >= line.size() || !isDigit(line[pos]))
            return std::nullopt;
        event = event * 10 + (line[pos] - '0');
    }
    if (pos < line.size() && !isBlank(line[pos]))
        return std::nullopt;
    pos = skipBlanks(line, pos);
    CodeLine read;
    read.key = key(line);
    read.entry.code = static_cast<quint16>(qualifier * 1000 + event);
    read.entry.text = TextDecoding::decode(line.sliced(pos)).trimmed();
    return read;
}

} // namespace

QList<int> SiaCodeTable::parse(const QByteArray& content) {
    m_entries.clear();
    QList<int> badLines;
    const QList<QByteArray> lines = content.split('\n');
    for (qsizetype index = 0; index < lines.size(); ++index) {
        QByteArrayView line = lines[index];
        if (line.endsWith('\r'))
            line.chop(1);
        if (index == 0 && line.startsWith("\xEF\xBB\xBF"))
            line = line.sliced(3);
        if (line.trimmed().isEmpty() || line.startsWith('[') || line.startsWith(';'))
            continue;
        const std::optional<CodeLine> read = readCodeLine(line);
        if (read)
            m_entries.insert(read->key, read->entry);
        else
            badLines.append(int(index + 1));
    }
    return badLines;
}

bool SiaCodeTable::load(const QString& path, QList<int>& badLines) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        m_entries.clear();
        badLines.clear();
        return false;
    }
    badLines = parse(file.readAll());
    return true;
}

const SiaCodeTable::Entry* SiaCodeTable::find(QByteArrayView siaCode) const {
    if (siaCode.size() != kCodeLength)
        return nullptr;
    const auto found = m_entries.constFind(key(siaCode));
    return found == m_entries.constEnd() ? nullptr : &found.value();
}
