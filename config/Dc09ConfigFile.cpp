#include "config/Dc09ConfigFile.h"

#include "common/AesCbc.h"
#include "common/DataDirectory.h"
#include "common/DataFileReader.h"
#include "common/FileWriter.h"

#include <QFile>

#include <optional>

namespace {

const QByteArray kPortKey = QByteArrayLiteral("Port");
const QByteArray kWindowKey = QByteArrayLiteral("Window");
const QByteArray kKeyKey = QByteArrayLiteral("Key");
const QByteArray kStationKeyKey = QByteArrayLiteral("StationKey");
const QByteArray kStationTimestampKey = QByteArrayLiteral("StationTimestamp");
const QByteArray kStationTcpKey = QByteArrayLiteral("StationTcp");
const QByteArray kStationBackupKey = QByteArrayLiteral("StationBackup");
const QByteArray kByteOrderMark = QByteArrayLiteral("\xEF\xBB\xBF");
constexpr int kMinAccountDigits = 3;
constexpr int kMaxAccountDigits = 16;
constexpr int kMaxNumberDigits = 9; // far beyond every limit, and no overflow

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

bool isHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

bool allHex(QByteArrayView text) {
    for (const char c : text) {
        if (!isHexDigit(c))
            return false;
    }
    return !text.isEmpty();
}

// The blank-separated words of a line.
QList<QByteArrayView> words(QByteArrayView line) {
    QList<QByteArrayView> out;
    qsizetype pos = 0;
    while (pos < line.size()) {
        while (pos < line.size() && isBlank(line[pos]))
            ++pos;
        const qsizetype start = pos;
        while (pos < line.size() && !isBlank(line[pos]))
            ++pos;
        if (pos > start)
            out.append(line.sliced(start, pos - start));
    }
    return out;
}

std::optional<int> number(QByteArrayView text, int max) {
    if (text.isEmpty() || text.size() > kMaxNumberDigits)
        return std::nullopt;
    int value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value > max)
        return std::nullopt;
    return value;
}

// The setting a line names: its first word, which must start the line.
enum class Setting { None, Port, Window, Key, StationKey, StationTimestamp, StationTcp, StationBackup };

Setting settingOf(QByteArrayView line, const QList<QByteArrayView>& lineWords) {
    if (lineWords.isEmpty() || isBlank(line[0]))
        return Setting::None;
    if (lineWords[0] == kPortKey)
        return Setting::Port;
    if (lineWords[0] == kWindowKey)
        return Setting::Window;
    if (lineWords[0] == kKeyKey)
        return Setting::Key;
    if (lineWords[0] == kStationKeyKey)
        return Setting::StationKey;
    if (lineWords[0] == kStationTimestampKey)
        return Setting::StationTimestamp;
    if (lineWords[0] == kStationTcpKey)
        return Setting::StationTcp;
    if (lineWords[0] == kStationBackupKey)
        return Setting::StationBackup;
    return Setting::None;
}

QString readPort(const QList<QByteArrayView>& w, Dc09Settings& settings) {
    const std::optional<int> port = w.size() == 2 ? number(w[1], 0xFFFF) : std::nullopt;
    if (!port)
        return QStringLiteral("\"Port\" pede um número de 0 a 65535");
    settings.port = static_cast<quint16>(*port);
    return {};
}

QString readWindow(const QList<QByteArrayView>& w, Dc09Settings& settings) {
    const std::optional<int> lag = w.size() == 3 ? number(w[1], Dc09Settings::kMaxWindow) : std::nullopt;
    const std::optional<int> lead = w.size() == 3 ? number(w[2], Dc09Settings::kMaxWindow) : std::nullopt;
    if (!lag || !lead)
        return QStringLiteral("\"Window\" pede dois números de segundos, de 0 a %1").arg(Dc09Settings::kMaxWindow);
    settings.lag = *lag;
    settings.lead = *lead;
    return {};
}

QString readKey(const QList<QByteArrayView>& w, Dc09Settings& settings) {
    if (w.size() != 3)
        return QStringLiteral("\"Key\" pede a conta e a chave");
    const QByteArrayView account = w[1];
    const bool every = account == Dc09Settings::kEveryAccount;
    if (!every && (account.size() < kMinAccountDigits || account.size() > kMaxAccountDigits || !allHex(account)))
        return QStringLiteral("a conta de \"Key\" tem de 3 a 16 dígitos hexadecimais, ou é \"*\"");
    const QByteArrayView hex = w[2];
    if (!allHex(hex) || hex.size() % 2 != 0 || !AesCbc::isKeyLength(hex.size() / 2))
        return QStringLiteral("a chave tem 32, 48 ou 64 dígitos hexadecimais");
    settings.keys.insert(account.toByteArray().toUpper(), QByteArray::fromHex(hex.toByteArray()));
    return {};
}

QString readStationKey(const QList<QByteArrayView>& w, Dc09Settings& settings) {
    if (w.size() != 2 || !allHex(w[1]) || w[1].size() % 2 != 0 || !AesCbc::isKeyLength(w[1].size() / 2))
        return QStringLiteral("\"StationKey\" pede uma chave de 32, 48 ou 64 dígitos hexadecimais");
    settings.station.key = QByteArray::fromHex(w[1].toByteArray());
    return {};
}

QString readSwitch(const QList<QByteArrayView>& w, bool& value) {
    const std::optional<int> number = w.size() == 2 ? ::number(w[1], 1) : std::nullopt;
    if (!number)
        return QStringLiteral("\"%1\" pede 0 ou 1").arg(QString::fromLatin1(w[0]));
    value = *number == 1;
    return {};
}

QString readStationBackup(const QList<QByteArrayView>& w, Dc09Settings& settings) {
    const std::optional<int> port = w.size() == 3 ? number(w[2], 0xFFFF) : std::nullopt;
    if (!port || *port == 0)
        return QStringLiteral("\"StationBackup\" pede o endereço e a porta (1 a 65535) da central reserva");
    settings.station.backupHost = w[1].toByteArray();
    settings.station.backupPort = quint16(*port);
    return {};
}

} // namespace

namespace Dc09ConfigFile {

QList<Problem> parse(const QByteArray& content, Dc09Settings& settings) {
    settings = Dc09Settings{};
    QList<Problem> problems;
    QList<QByteArray> lines = content.split('\n');
    if (content.endsWith('\n'))
        lines.removeLast(); // what follows the last line end is no line
    if (content.isEmpty())
        lines.clear();
    for (qsizetype index = 0; index < lines.size(); ++index) {
        QByteArray& line = lines[index];
        if (line.endsWith('\r'))
            line.chop(1);
        // A byte order mark says nothing about the line (the file is read as bytes).
        while (line.startsWith(kByteOrderMark))
            line.remove(0, kByteOrderMark.size());
        const QList<QByteArrayView> lineWords = words(line);
        QString problem;
        switch (settingOf(line, lineWords)) {
        case Setting::None:
            settings.otherLines.append(line);
            break;
        case Setting::Port:
            problem = readPort(lineWords, settings);
            break;
        case Setting::Window:
            problem = readWindow(lineWords, settings);
            break;
        case Setting::Key:
            problem = readKey(lineWords, settings);
            break;
        case Setting::StationKey:
            problem = readStationKey(lineWords, settings);
            break;
        case Setting::StationTimestamp:
            problem = readSwitch(lineWords, settings.station.timestamp);
            break;
        case Setting::StationTcp:
            problem = readSwitch(lineWords, settings.station.tcp);
            break;
        case Setting::StationBackup:
            problem = readStationBackup(lineWords, settings);
            break;
        }
        if (!problem.isEmpty())
            problems.append({int(index + 1), problem});
    }
    return problems;
}

QByteArray serialize(const Dc09Settings& settings) {
    QByteArray out;
    auto line = [&out](const QByteArray& text) { out += text + "\r\n"; };
    for (const QByteArray& other : settings.otherLines)
        line(other);
    line(kPortKey + ' ' + QByteArray::number(settings.port));
    line(kWindowKey + ' ' + QByteArray::number(settings.lag) + ' ' + QByteArray::number(settings.lead));
    for (auto key = settings.keys.constBegin(); key != settings.keys.constEnd(); ++key)
        line(kKeyKey + ' ' + key.key() + ' ' + key.value().toHex().toUpper());
    // The station's options only when set: an unset file reads as the plain link.
    const Dc09Settings::Station& station = settings.station;
    if (!station.key.isEmpty())
        line(kStationKeyKey + ' ' + station.key.toHex().toUpper());
    if (station.timestamp)
        line(kStationTimestampKey + " 1");
    if (station.tcp)
        line(kStationTcpKey + " 1");
    if (station.hasBackup())
        line(kStationBackupKey + ' ' + station.backupHost + ' ' + QByteArray::number(station.backupPort));
    return out;
}

QString problemText(const Problem& problem) {
    return QStringLiteral("\"%1\", linha %2 ignorada: %3.")
        .arg(QString::fromLatin1(kFileName))
        .arg(problem.line)
        .arg(problem.reason);
}

bool load(const DataDirectory& dir, Dc09Settings& settings, QList<Problem>& problems, QString* refusal) {
    settings = Dc09Settings{};
    problems.clear();
    // Never blocks on a FIFO or reads a device: anything but a regular file is refused as missing.
    const DataFileReader::Content file = DataFileReader::readWhole(dir.file(QString::fromLatin1(kFileName)));
    if (refusal)
        *refusal = file.problem;
    if (!file.read())
        return false;
    problems = parse(file.bytes, settings);
    return true;
}

bool write(const DataDirectory& dir, const Dc09Settings& settings) {
    const QByteArray content = serialize(settings);
    constexpr QFileDevice::Permissions kOwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    const bool written = writeFileWhole(dir.file(QString::fromLatin1(kFileName)), content, kOwnerOnly);
    writeFileWhole(dir.backupFile(QString::fromLatin1(kFileName)), content, kOwnerOnly);
    return written;
}

} // namespace Dc09ConfigFile
