#include "events/AlarmTextTable.h"

#include "common/DataFileReader.h"
#include "common/StringTable.h"
#include "common/TextDecoding.h"
#include "common/UserInterface.h"

#include <QByteArrayView>
#include <QStringView>

namespace {

constexpr int kMaxLineLength = 127;
constexpr int kCodeDigits = 3;
constexpr int kLastSkipPosition = 124; // separators are skipped no further than this character
constexpr int kMsgAlarmsMissing = 129;
constexpr int kMsgBadCodeLine = 130;

constexpr QByteArrayView kByteOrderMark("\xEF\xBB\xBF");

// The file may be written in UTF-8 or in an 8-bit code page: a line whose
// bytes are valid UTF-8 is read as UTF-8, any other as Windows-1252, so
// accented texts of older files keep their letters.
QString decodeLine(QByteArrayView bytes) {
    return TextDecoding::decode(bytes);
}

bool isSeparator(QChar c) {
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('=');
}

} // namespace

QString AlarmTextTable::text(int code, bool restore) const {
    if (code < 0 || code >= kCodeCount)
        return {};
    return restore ? restoreText[static_cast<size_t>(code)] : newText[static_cast<size_t>(code)];
}

AlarmTextStatus parseAlarmTexts(const QByteArray& content, AlarmTextTable& table) {
    QByteArrayView bytes(content);
    if (bytes.startsWith(kByteOrderMark))
        bytes = bytes.sliced(kByteOrderMark.size());

    int currentCode = -1;
    qsizetype start = 0;
    while (start < bytes.size()) {
        qsizetype end = bytes.indexOf('\n', start);
        if (end < 0)
            end = bytes.size();
        const QString text = decodeLine(bytes.sliced(start, end - start));
        start = end + 1;
        QStringView line(text);
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (line.size() > kMaxLineLength)
            line = line.left(kMaxLineLength);
        if (line.isEmpty() || line.front() == QLatin1Char('['))
            continue;

        if (line.front().isDigit() && line.front().unicode() < 0x80) {
            if (line.size() < kCodeDigits)
                return AlarmTextStatus::BadCodeLine;
            int code = 0;
            for (int i = 0; i < kCodeDigits; ++i) {
                const QChar c = line[i];
                if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                    return AlarmTextStatus::BadCodeLine;
                code = code * 10 + (c.unicode() - '0');
            }
            qsizetype pos = kCodeDigits;
            while (pos < line.size() && pos <= kLastSkipPosition && isSeparator(line[pos]))
                ++pos;
            table.newText[static_cast<size_t>(code)] = line.mid(pos).toString();
            currentCode = code;
        } else if (currentCode >= 0) {
            table.restoreText[static_cast<size_t>(currentCode)] = line.toString();
        }
    }
    return AlarmTextStatus::Loaded;
}

AlarmTextStatus LoadAlarmTexts(const QString& path, AlarmTextTable& table, QString* problem) {
    const DataFileReader::Content file = DataFileReader::readWhole(path);
    if (!file.read()) {
        if (problem)
            *problem = file.problem;
        return AlarmTextStatus::Missing;
    }
    return parseAlarmTexts(file.bytes, table);
}

bool loadAlarmTextsAtStart(const QString& path, AlarmTextTable& table, UserInterface& ui) {
    QString problem;
    const AlarmTextStatus status = LoadAlarmTexts(path, table, &problem);
    if (!problem.isEmpty())
        ui.showMessage(problem, UserInterface::Icon::Error);
    switch (status) {
    case AlarmTextStatus::Loaded:
        return true;
    case AlarmTextStatus::Missing:
        ui.showMessage(StringTable::text(kMsgAlarmsMissing), UserInterface::Icon::Error);
        return false;
    case AlarmTextStatus::BadCodeLine:
        ui.showMessage(StringTable::text(kMsgBadCodeLine), UserInterface::Icon::Error);
        return false;
    }
    return false;
}
