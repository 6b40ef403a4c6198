#include "reporting/ReportConfigFile.h"

#include "common/DataDirectory.h"
#include "common/DataFileReader.h"
#include "common/FileWriter.h"
#include "common/StringTable.h"
#include "common/TextDecoding.h"
#include "common/UserInterface.h"

#include <algorithm>
#include <limits>

namespace {

constexpr int kLastMode = 3;
constexpr int kLastAttemptsIndex = 7;
constexpr int kMaxReceiver = 99;
constexpr int kMaxLine = 9;
constexpr int kLastBaudIndex = 15;
constexpr int kZeroBaudReadAs = 3; // the "0" rate is not usable; read as 600 baud
constexpr int kLastParityIndex = 2;
constexpr int kLastDataBitsIndex = 1;
constexpr int kLastStopBitsIndex = 2;
constexpr int kMaxStationPort = 65534;

// A text line as the file keeps it: at most 63 characters, cut between two
// characters (never inside a surrogate pair), a line feed as a blank and no
// carriage return at its end (lines may end in CR LF). What this gives reads
// back as itself.
QString fitText(const QString& text) {
    QString fitted = TextDecoding::leftWhole(text, ReportConfigFile::kMaxTextLength);
    fitted.replace(QLatin1Char('\n'), QLatin1Char(' '));
    while (fitted.endsWith(QLatin1Char('\r')))
        fitted.chop(1);
    return fitted;
}

// Reads the file the way a C stream with "%d" and whole-line reads does: a
// number that is not there leaves its value as it was and the stream where it
// stopped, until the next whole-line read moves past the line.
class Scanner {
public:
    explicit Scanner(const QByteArray& text) : m_text(text) {}

    void readInt(int& value) {
        while (m_pos < m_text.size() && isSpace(m_text[m_pos]))
            ++m_pos;
        qsizetype pos = m_pos;
        bool negative = false;
        if (pos < m_text.size() && (m_text[pos] == '-' || m_text[pos] == '+'))
            negative = m_text[pos++] == '-';
        qint64 number = 0;
        const qsizetype digitsStart = pos;
        for (; pos < m_text.size() && m_text[pos] >= '0' && m_text[pos] <= '9'; ++pos)
            number = std::min<qint64>(number * 10 + (m_text[pos] - '0'), std::numeric_limits<int>::max());
        if (pos == digitsStart)
            return;
        m_pos = pos;
        value = static_cast<int>(negative ? -number : number);
    }

    void skipRestOfLine() {
        const qsizetype end = m_text.indexOf('\n', m_pos);
        m_pos = end < 0 ? m_text.size() : end + 1;
    }

    // The next line whole, at most 63 characters of it.
    void readLine(QString& value) {
        if (m_pos >= m_text.size())
            return;
        const qsizetype end = m_text.indexOf('\n', m_pos);
        const QByteArrayView line = QByteArrayView(m_text).sliced(m_pos, (end < 0 ? m_text.size() : end) - m_pos);
        m_pos = end < 0 ? m_text.size() : end + 1;
        value = fitText(TextDecoding::decode(line));
    }

private:
    static bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

    const QByteArray& m_text;
    qsizetype m_pos = 0;
};

void readFlag(Scanner& in, bool& flag) {
    int value = flag ? 1 : 0;
    in.readInt(value);
    flag = value != 0;
}

} // namespace

namespace ReportConfigFile {

void parse(const QByteArray& content, ReportSettings& settings, bool& logAll) {
    Scanner in(content);
    int mode = static_cast<int>(settings.mode);
    in.readInt(mode);
    readFlag(in, logAll);
    readFlag(in, settings.transparent);
    readFlag(in, settings.reportHeartbeat);
    readFlag(in, settings.ownHeartbeat);
    in.readInt(settings.heartbeatPeriod);
    in.readInt(settings.attemptsIndex);
    in.skipRestOfLine();
    in.readLine(settings.serialPort);
    in.readInt(settings.receiver);
    in.readInt(settings.line);
    in.readInt(settings.baudIndex);
    in.readInt(settings.parityIndex);
    in.readInt(settings.dataBitsIndex);
    in.readInt(settings.stopBitsIndex);
    in.skipRestOfLine();
    in.readLine(settings.stationHost);
    in.readInt(settings.stationPort);

    // Values outside their lists would select nothing on the page and could
    // outgrow the fixed fields of the messages: bring them into range.
    settings.mode = mode >= 0 && mode <= kLastMode ? static_cast<ReportMode>(mode) : ReportMode::Off;
    settings.attemptsIndex = std::clamp(settings.attemptsIndex, 0, kLastAttemptsIndex);
    settings.receiver = settings.receiver == 0 ? 1 : std::clamp(settings.receiver, 1, kMaxReceiver);
    settings.line = settings.line == 0 ? 1 : std::clamp(settings.line, 1, kMaxLine);
    settings.baudIndex = settings.baudIndex == 0 ? kZeroBaudReadAs : std::clamp(settings.baudIndex, 1, kLastBaudIndex);
    settings.parityIndex = std::clamp(settings.parityIndex, 0, kLastParityIndex);
    settings.dataBitsIndex = std::clamp(settings.dataBitsIndex, 0, kLastDataBitsIndex);
    settings.stopBitsIndex = std::clamp(settings.stopBitsIndex, 0, kLastStopBitsIndex);
    settings.stationPort = std::clamp(settings.stationPort, 0, kMaxStationPort);
}

QByteArray serialize(const ReportSettings& s, bool logAll) {
    QByteArray out;
    const auto line = [&out](const QByteArray& value) {
        out += value;
        out += '\n';
    };
    const auto number = [&line](int value) { line(QByteArray::number(value)); };
    number(static_cast<int>(s.mode));
    number(logAll ? 1 : 0);
    number(s.transparent ? 1 : 0);
    number(s.reportHeartbeat ? 1 : 0);
    number(s.ownHeartbeat ? 1 : 0);
    number(s.heartbeatPeriod);
    number(s.attemptsIndex);
    line(fitText(s.serialPort).toUtf8());
    number(s.receiver);
    number(s.line);
    number(s.baudIndex);
    number(s.parityIndex);
    number(s.dataBitsIndex);
    number(s.stopBitsIndex);
    line(fitText(s.stationHost).toUtf8());
    number(s.stationPort);
    return out;
}

} // namespace ReportConfigFile

bool LoadReportConfig(const DataDirectory& dir, ReportSettings& settings, bool& logAll, UserInterface& ui) {
    const DataFileReader::Content file =
        DataFileReader::readWhole(dir.file(QString::fromLatin1(ReportConfigFile::kFileName)));
    if (!file.read()) {
        if (!file.problem.isEmpty())
            ui.showMessage(file.problem, UserInterface::Icon::Exclamation);
        ui.showMessage(StringTable::text(ReportConfigFile::kMessageMissing), UserInterface::Icon::Exclamation);
        return false;
    }
    ReportConfigFile::parse(file.bytes, settings, logAll);
    return true;
}

bool SaveReportConfig(const DataDirectory& dir, const ReportSettings& settings, bool logAll) {
    const QByteArray content = ReportConfigFile::serialize(settings, logAll);
    const QString name = QString::fromLatin1(ReportConfigFile::kFileName);
    const bool written = writeFileWhole(dir.file(name), content);
    writeFileWhole(dir.backupFile(name), content);
    return written;
}
