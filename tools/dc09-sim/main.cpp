// dc09-sim: sends SIA DC-09 frames (ADM-CID, SIA-DCS or NULL), in clear or
// AES-encrypted, over UDP or TCP, as an alarm communicator does, and prints
// each answer decoded. Exits with 0 when every frame was acknowledged, 1 when
// one was not, 2 on bad usage.

#include "common/AesCbc.h"
#include "common/ProgramVersion.h"
#include "tools/dc09-sim/Dc09Sender.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QHostInfo>
#include <QTextStream>

#include <cctype>
#include <optional>

namespace {

constexpr int kExitUsage = 2;
constexpr int kMaxCount = 10'000'000;
constexpr int kMaxDevices = 10'000;
constexpr int kMaxMs = 3'600'000;
constexpr qint64 kMaxClockOffset = 10LL * 365 * 86400;

QTextStream& out() {
    static QTextStream stream(stdout);
    return stream;
}

QTextStream& err() {
    static QTextStream stream(stderr);
    return stream;
}

std::optional<qint64> number(const QString& text, qint64 min, qint64 max) {
    bool ok = false;
    const qint64 value = text.toLongLong(&ok, 10);
    if (!ok || value < min || value > max)
        return std::nullopt;
    return value;
}

// Hexadecimal digits, minDigits to maxDigits of them, upper-cased.
std::optional<QByteArray> hexDigits(const QString& text, int minDigits, int maxDigits) {
    if (text.size() < minDigits || text.size() > maxDigits)
        return std::nullopt;
    for (const QChar c : text) {
        if (!c.isDigit() && !(c.toUpper() >= QLatin1Char('A') && c.toUpper() <= QLatin1Char('F')))
            return std::nullopt;
    }
    return text.toUpper().toLatin1();
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("dc09-sim"));
    QCoreApplication::setApplicationVersion(ProgramVersion::text());

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Sends SIA DC-09 frames to an Atalaia server as an alarm communicator does, and prints each answer\n"
        "decoded: ACK, *ACK (decrypted, with the receiver's time), NAK with the receiver's time, DUH, or no\n"
        "answer within the time-out. Exit code 0 when every frame was acknowledged, 1 when one was not, 2 on\n"
        "bad usage.\n\n"
        "Example: dc09-sim --port 5060 --account 1234 --code 1130 --zone 5\n"
        "         dc09-sim --port 5060 --tcp --type sia-dcs --sia-code FA --key 000102030405060708090A0B0C0D0E0F\n"
        "         dc09-sim --port 5060 --burst 1000 --devices 20 --in-flight 40 --quiet"));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption hostOption(QStringLiteral("host"), QStringLiteral("Server address or name."),
                                        QStringLiteral("host"), QStringLiteral("127.0.0.1"));
    const QCommandLineOption portOption(QStringLiteral("port"), QStringLiteral("Server DC-09 port (required)."),
                                        QStringLiteral("port"));
    const QCommandLineOption tcpOption(QStringLiteral("tcp"),
                                       QStringLiteral("Send over TCP, one connection per device for all its frames "
                                                      "(default: UDP, one socket per device)."));
    const QCommandLineOption typeOption(QStringLiteral("type"), QStringLiteral("Message: adm-cid, sia-dcs or null."),
                                        QStringLiteral("type"), QStringLiteral("adm-cid"));
    const QCommandLineOption keyOption(QStringLiteral("key"),
                                       QStringLiteral("AES key, 32, 48 or 64 hexadecimal digits: frames go encrypted "
                                                      "and the *ACK is decrypted with it."),
                                       QStringLiteral("hex"));
    const QCommandLineOption accountOption(
        QStringLiteral("account"),
        QStringLiteral("Account after \"#\", 3 to 16 hexadecimal digits; further devices count up from it."),
        QStringLiteral("hex"), QStringLiteral("1234"));
    const QCommandLineOption dataAccountOption(
        QStringLiteral("data-account"),
        QStringLiteral("Account of the data block when it differs from the frame's (a dependent account)."),
        QStringLiteral("hex"));
    const QCommandLineOption receiverOption(QStringLiteral("receiver"),
                                            QStringLiteral("Receiver number (\"R\" field), 1 to 6 hexadecimal digits; "
                                                           "none by default."),
                                            QStringLiteral("hex"));
    const QCommandLineOption lineOption(QStringLiteral("line"),
                                        QStringLiteral("Line number (\"L\" field), 1 to 6 hexadecimal digits."),
                                        QStringLiteral("hex"), QStringLiteral("0"));
    const QCommandLineOption sequenceOption(QStringLiteral("sequence"),
                                            QStringLiteral("First sequence number of each device, 0 to 9999; it "
                                                           "counts up and wraps from 9999 to 1."),
                                            QStringLiteral("n"), QStringLiteral("1"));
    const QCommandLineOption codeOption(QStringLiteral("code"),
                                        QStringLiteral("ADM-CID: qualifier x 1000 + event (1130 = new burglary, 3130 "
                                                       "its restore)."),
                                        QStringLiteral("code"), QStringLiteral("1130"));
    const QCommandLineOption siaCodeOption(QStringLiteral("sia-code"),
                                           QStringLiteral("SIA-DCS: the two-letter event code."), QStringLiteral("XX"),
                                           QStringLiteral("BA"));
    const QCommandLineOption partitionOption(QStringLiteral("partition"),
                                             QStringLiteral("Partition, 0 to 99 (SIA-DCS: 0 names none)."),
                                             QStringLiteral("n"), QStringLiteral("1"));
    const QCommandLineOption zoneOption(QStringLiteral("zone"), QStringLiteral("Zone or user, 0 to 999."),
                                        QStringLiteral("n"), QStringLiteral("1"));
    const QCommandLineOption clockOption(QStringLiteral("clock-offset"),
                                         QStringLiteral("Seconds added to the frame's timestamp (negative: behind)."),
                                         QStringLiteral("seconds"), QStringLiteral("0"));
    const QCommandLineOption noTimestampOption(QStringLiteral("no-timestamp"),
                                               QStringLiteral("Frames in clear go without a timestamp."));
    const QCommandLineOption badCrcOption(QStringLiteral("bad-crc"),
                                          QStringLiteral("Send a wrong CRC (the receiver should stay silent)."));
    const QCommandLineOption countOption(QStringLiteral("count"), QStringLiteral("Number of frames to send in all."),
                                         QStringLiteral("n"), QStringLiteral("1"));
    const QCommandLineOption burstOption(QStringLiteral("burst"),
                                         QStringLiteral("Send n frames without pausing (same as --count n "
                                                        "--interval 0)."),
                                         QStringLiteral("n"));
    const QCommandLineOption devicesOption(QStringLiteral("devices"),
                                           QStringLiteral("Devices the frames come from, in turn, each with its own "
                                                          "account and socket."),
                                           QStringLiteral("n"), QStringLiteral("1"));
    const QCommandLineOption inFlightOption(QStringLiteral("in-flight"),
                                            QStringLiteral("Frames sent and not yet answered, at most."),
                                            QStringLiteral("n"), QStringLiteral("1"));
    const QCommandLineOption intervalOption(QStringLiteral("interval"),
                                            QStringLiteral("Pause before each new frame in milliseconds."),
                                            QStringLiteral("ms"), QStringLiteral("0"));
    const QCommandLineOption timeoutOption(QStringLiteral("timeout"),
                                           QStringLiteral("How long to wait for each answer in milliseconds."),
                                           QStringLiteral("ms"), QStringLiteral("2000"));
    const QCommandLineOption quietOption(QStringLiteral("quiet"),
                                         QStringLiteral("No line per frame and answer, only the totals (NAK, DUH and "
                                                        "missing answers are still listed)."));
    parser.addOptions({hostOption,        portOption,        tcpOption,       typeOption,  keyOption,
                       accountOption,     dataAccountOption, receiverOption,  lineOption,  sequenceOption,
                       codeOption,        siaCodeOption,     partitionOption, zoneOption,  clockOption,
                       noTimestampOption, badCrcOption,      countOption,     burstOption, devicesOption,
                       inFlightOption,    intervalOption,    timeoutOption,   quietOption});
    parser.process(app);

    auto usage = [](const QString& text) {
        err() << "dc09-sim: " << text << " (see --help)\n";
        return kExitUsage;
    };

    Dc09SenderOptions options;
    const QString hostText = parser.value(hostOption);
    if (!options.host.setAddress(hostText)) {
        const QHostInfo info = QHostInfo::fromName(hostText);
        if (info.addresses().isEmpty())
            return usage(QStringLiteral("cannot resolve host %1").arg(hostText));
        options.host = info.addresses().constFirst();
    }
    const auto port = number(parser.value(portOption), 1, 0xFFFF);
    if (!parser.isSet(portOption) || !port)
        return usage(QStringLiteral("--port must be 1 to 65535"));
    options.port = static_cast<quint16>(*port);
    options.transport = parser.isSet(tcpOption) ? Dc09SenderOptions::Transport::Tcp : Dc09SenderOptions::Transport::Udp;

    const QString type = parser.value(typeOption).toLower();
    if (type == QLatin1String("adm-cid"))
        options.message = Dc09SenderOptions::Message::AdmCid;
    else if (type == QLatin1String("sia-dcs"))
        options.message = Dc09SenderOptions::Message::SiaDcs;
    else if (type == QLatin1String("null"))
        options.message = Dc09SenderOptions::Message::Null;
    else
        return usage(QStringLiteral("--type must be adm-cid, sia-dcs or null"));

    if (parser.isSet(keyOption)) {
        const auto hex = hexDigits(parser.value(keyOption), 2 * 16, 2 * 32);
        if (!hex || hex->size() % 2 != 0 || !AesCbc::isKeyLength(hex->size() / 2))
            return usage(QStringLiteral("--key must be 32, 48 or 64 hexadecimal digits"));
        options.key = QByteArray::fromHex(*hex);
    }
    const auto account = hexDigits(parser.value(accountOption), Dc09::kMinAccountDigits, Dc09::kMaxAccountDigits);
    if (!account)
        return usage(QStringLiteral("--account must be 3 to 16 hexadecimal digits"));
    options.account = *account;
    if (parser.isSet(dataAccountOption)) {
        const auto dataAccount =
            hexDigits(parser.value(dataAccountOption), Dc09::kMinAccountDigits, Dc09::kMaxAccountDigits);
        if (!dataAccount)
            return usage(QStringLiteral("--data-account must be 3 to 16 hexadecimal digits"));
        options.dataAccount = *dataAccount;
    }
    if (parser.isSet(receiverOption)) {
        options.receiver = hexDigits(parser.value(receiverOption), 1, Dc09::kMaxPrefixDigits);
        if (!options.receiver)
            return usage(QStringLiteral("--receiver must be 1 to 6 hexadecimal digits"));
    }
    const auto line = hexDigits(parser.value(lineOption), 1, Dc09::kMaxPrefixDigits);
    if (!line)
        return usage(QStringLiteral("--line must be 1 to 6 hexadecimal digits"));
    options.line = *line;
    const QByteArray siaCode = parser.value(siaCodeOption).toUpper().toLatin1();
    if (siaCode.size() != 2 || !std::isupper(static_cast<unsigned char>(siaCode[0])) ||
        !std::isupper(static_cast<unsigned char>(siaCode[1])))
        return usage(QStringLiteral("--sia-code must be two letters"));
    options.siaCode = siaCode;

    const auto sequence = number(parser.value(sequenceOption), 0, 9999);
    const auto code = number(parser.value(codeOption), 0, 9999);
    const auto partition = number(parser.value(partitionOption), 0, 99);
    const auto zone = number(parser.value(zoneOption), 0, 999);
    const auto clockOffset = number(parser.value(clockOption), -kMaxClockOffset, kMaxClockOffset);
    const auto count = parser.isSet(burstOption) ? number(parser.value(burstOption), 1, kMaxCount)
                                                 : number(parser.value(countOption), 1, kMaxCount);
    const auto devices = number(parser.value(devicesOption), 1, kMaxDevices);
    const auto inFlight = number(parser.value(inFlightOption), 1, kMaxCount);
    const auto interval =
        parser.isSet(burstOption) ? std::optional<qint64>(0) : number(parser.value(intervalOption), 0, kMaxMs);
    const auto timeout = number(parser.value(timeoutOption), 1, kMaxMs);
    if (!sequence || !code || !partition || !zone || !clockOffset || !count || !devices || !inFlight || !interval ||
        !timeout)
        return usage(QStringLiteral("a numeric option is out of range"));
    options.firstSequence = static_cast<int>(*sequence);
    options.code = static_cast<int>(*code);
    options.partition = static_cast<int>(*partition);
    options.zone = static_cast<int>(*zone);
    options.clockOffsetSeconds = *clockOffset;
    options.timestamp = !parser.isSet(noTimestampOption);
    options.badCrc = parser.isSet(badCrcOption);
    options.count = static_cast<int>(*count);
    options.devices = static_cast<int>(*devices);
    options.inFlight = static_cast<int>(*inFlight);
    options.intervalMs = static_cast<int>(*interval);
    options.timeoutMs = static_cast<int>(*timeout);
    options.quiet = parser.isSet(quietOption);

    Dc09Sender sender(options, out());
    QObject::connect(&sender, &Dc09Sender::finished, &app, &QCoreApplication::exit, Qt::QueuedConnection);
    sender.start();
    return QCoreApplication::exec();
}
