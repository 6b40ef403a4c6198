// tavi-sim: sends TaviCom event reports or keep-alives to a server, as a Tavi
// device does, and prints the answer of each. Exits with 1 when a report is
// not acknowledged in time (type 4, valid CRC, same sequence), 2 on bad usage.
// With --multicom it is a Multicom device on a TCP session instead.

#include "common/ProgramVersion.h"
#include "device/TaviComCodec.h"
#include "tools/tavi-sim/CommandDevice.h"
#include "tools/tavi-sim/MulticomDevice.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QHostAddress>
#include <QHostInfo>
#include <QTextStream>
#include <QThread>
#include <QTimer>
#include <QUdpSocket>

#include <optional>

using namespace TaviCom;

namespace {

constexpr int kExitNotAcknowledged = 1;
constexpr int kExitUsage = 2;

struct Options {
    QHostAddress host;
    quint16 port = 0;
    quint32 deviceId = 0;
    DeviceReport report;
    quint8 channel = kChannelEthernet;
    quint8 extraFlags = 0;
    quint16 sequence = 1;
    bool keepAlive = false;
    int count = 1;
    int intervalMs = 1000;
    int timeoutMs = 2000;
};

QTextStream& out() {
    static QTextStream stream(stdout);
    return stream;
}

QTextStream& err() {
    static QTextStream stream(stderr);
    return stream;
}

// Accepts decimal, or hexadecimal with "0x".
std::optional<quint32> number(const QString& text, quint32 max) {
    bool ok = false;
    const quint32 value = text.toUInt(&ok, 0);
    if (!ok || value > max)
        return std::nullopt;
    return value;
}

// Accounts and device identifiers are written in hexadecimal, as the server shows them.
std::optional<quint32> hexNumber(const QString& text, quint32 max) {
    QString digits = text;
    if (digits.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        digits = digits.mid(2);
    bool ok = false;
    const quint32 value = digits.toUInt(&ok, 16);
    if (!ok || value > max)
        return std::nullopt;
    return value;
}

QString hex(quint32 value, int width) {
    return QStringLiteral("%1").arg(value, width, 16, QLatin1Char('0')).toUpper();
}

int buildReport(const Options& options, quint16 sequence, DatagramBuffer& buffer) {
    buffer.fill(0);
    buffer[kOffMarker] = kMarker;
    buffer[kOffVersion] = kVersion;
    buffer[kOffType] = options.keepAlive ? kTypeKeepAlive : kTypeEvent;
    buffer[kOffFlags] = options.extraFlags;
    writeU32(buffer, kOffDeviceId, options.deviceId);
    writeU16(buffer, kOffSequence, sequence);
    buffer[kOffChannel] = options.channel;
    buffer[kOffAnswerKind] = kKindAnswer;
    buffer[kOffKind] = kKindReport;
    writeU16(buffer, kOffPayloadLength, kReportPayloadLength);
    writeDeviceReport(buffer, options.report);
    // A device pads to an even length; the server reads received payloads that way.
    return finishDatagram(buffer, kReportPayloadLength,
                          paddedLength(kReportPayloadLength, options.extraFlags, Padding::Received));
}

// Prints one answer; true when it acknowledges the report of this sequence.
bool showAnswer(std::span<quint8> answer, quint16 sequence, const QHostAddress& from, quint16 fromPort) {
    const auto header = readHeader(answer);
    if (!header || header->marker != kMarker) {
        out() << "answer from " << from.toString() << ":" << fromPort << ": " << answer.size()
              << " bytes, not a TaviCom datagram\n";
        return false;
    }
    const bool complete = static_cast<size_t>(kFrameOverhead + paddedLength(header->payloadLength, header->flags,
                                                                            Padding::Sent)) <= answer.size();
    const bool crcValid =
        complete && CheckDatagram(answer, static_cast<qsizetype>(answer.size()), Padding::Sent) == kCheckValid;
    out() << "answer from " << from.toString() << ":" << fromPort << ": " << answer.size() << " bytes, type "
          << header->type
          << (header->type == kTypeAcknowledged ? " (acknowledged)"
              : header->type == kTypeRefused    ? " (refused)"
                                                : "")
          << ", code " << header->code << ", flags 0x" << hex(header->flags, 2) << ", device "
          << hex(header->deviceId, 8) << ", sequence " << header->sequence << ", answer kind " << header->answerKind
          << ", kind " << header->kind << ", CRC " << (crcValid ? "valid" : "INVALID") << "\n";
    return header->type == kTypeAcknowledged && crcValid && header->sequence == sequence;
}

bool sendAndWait(QUdpSocket& socket, const Options& options, quint16 sequence) {
    DatagramBuffer buffer;
    const int length = buildReport(options, sequence, buffer);
    out() << "sending " << (options.keepAlive ? "keep-alive" : "event") << " sequence " << sequence << " (" << length
          << " bytes) to " << options.host.toString() << ":" << options.port << "\n";
    if (socket.writeDatagram(reinterpret_cast<const char*>(buffer.data()), length, options.host, options.port) !=
        length) {
        err() << "send failed: " << socket.errorString() << "\n";
        return false;
    }
    out().flush();

    QDeadlineTimer deadline(options.timeoutMs);
    while (!deadline.hasExpired()) {
        if (!socket.hasPendingDatagrams() && !socket.waitForReadyRead(static_cast<int>(deadline.remainingTime())))
            break;
        while (socket.hasPendingDatagrams()) {
            DatagramBuffer answer;
            QHostAddress from;
            quint16 fromPort = 0;
            const qint64 read =
                socket.readDatagram(reinterpret_cast<char*>(answer.data()), kMaxDatagramLength, &from, &fromPort);
            if (read < 0)
                continue;
            if (showAnswer(std::span<quint8>(answer.data(), static_cast<size_t>(read)), sequence, from, fromPort))
                return true;
        }
    }
    out() << "no acknowledgement for sequence " << sequence << " within " << options.timeoutMs << " ms\n";
    return false;
}

} // namespace

// Announces the device and answers the server's commands until the time is up.
int serveCommands(const CommandDeviceOptions& options, const QHostAddress& server, quint16 serverPort, int seconds) {
    CommandDevice device(options);
    if (!device.bind(QHostAddress::AnyIPv4)) {
        err() << "cannot open a UDP socket\n";
        return kExitNotAcknowledged;
    }
    QObject::connect(&device, &CommandDevice::requestReceived, [](const CommandDevice::Request& request) {
        out() << "request code 0x" << hex(request.code, 2) << ", sequence " << request.sequence << ", payload "
              << request.payload.toHex(' ') << "\n";
        out().flush();
    });
    device.announce(server, serverPort);
    out() << "serving commands on UDP port " << device.port() << " for " << seconds << " s\n";
    out().flush();
    QTimer::singleShot(seconds * 1000, QCoreApplication::instance(), &QCoreApplication::quit);
    return QCoreApplication::exec();
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tavi-sim"));
    QCoreApplication::setApplicationVersion(ProgramVersion::text());

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Sends TaviCom event reports (type 0x20) or keep-alives (type 1) to an Atalaia server, as a Tavi device\n"
        "does, and prints each answer. Exit code 0 when every report was acknowledged (type 4, valid CRC, same\n"
        "sequence) within the time-out, 1 when one was not, 2 on bad usage.\n\n"
        "With --multicom it connects by TCP to the Multicom port, registers, answers the challenge and sends\n"
        "scrambled events (or heartbeats with --keepalive), fetching and confirming any command announced.\n\n"
        "Example: tavi-sim --port 5050 --device-id 1A2B00EE --account 00EE --code 1130 --zone 3\n"
        "         tavi-sim --multicom --port 6100 --mac A1B2C3 --account 0B20 --code 1130\n\n"
        "With --serve it announces itself with a keep-alive and then answers the server's commands as a device\n"
        "does (callback, details of the --model chosen, PGM toggles, line switch) for --serve seconds.\n"
        "Example: tavi-sim --port 5050 --device-id 1A2B00EE --serve 600 --model 6 --revision 1.2"));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption hostOption(QStringLiteral("host"), QStringLiteral("Server address or name."),
                                        QStringLiteral("host"), QStringLiteral("127.0.0.1"));
    const QCommandLineOption portOption(QStringLiteral("port"), QStringLiteral("Server UDP port (required)."),
                                        QStringLiteral("port"));
    const QCommandLineOption deviceOption(QStringLiteral("device-id"),
                                          QStringLiteral("Device identifier, hexadecimal; its low 16 bits are the "
                                                         "account the server looks the client up by."),
                                          QStringLiteral("hex"), QStringLiteral("0"));
    const QCommandLineOption accountOption(
        QStringLiteral("account"),
        QStringLiteral("Account of the event, hexadecimal (default: the low 16 bits of the device identifier)."),
        QStringLiteral("hex"));
    const QCommandLineOption codeOption(QStringLiteral("code"),
                                        QStringLiteral("Event code: qualifier x 1000 + event number (1130 = new "
                                                       "burglary)."),
                                        QStringLiteral("code"), QStringLiteral("1602"));
    const QCommandLineOption partitionOption(QStringLiteral("partition"), QStringLiteral("Partition."),
                                             QStringLiteral("n"), QStringLiteral("1"));
    const QCommandLineOption zoneOption(QStringLiteral("zone"), QStringLiteral("Zone or user."), QStringLiteral("n"),
                                        QStringLiteral("0"));
    const QCommandLineOption channelOption(QStringLiteral("channel"),
                                           QStringLiteral("Channel byte: 1 Ethernet, 2 cellular (0x21 and the like "
                                                          "are sent as given)."),
                                           QStringLiteral("n"), QStringLiteral("1"));
    const QCommandLineOption periodOption(QStringLiteral("period"),
                                          QStringLiteral("Keep-alive period in seconds announced for the channel; "
                                                         "65535 announces none."),
                                          QStringLiteral("seconds"), QStringLiteral("60"));
    const QCommandLineOption flagsOption(QStringLiteral("flags"),
                                         QStringLiteral("Flags byte (bit 0 padded answers, bit 1 no CRC check)."),
                                         QStringLiteral("n"), QStringLiteral("0"));
    const QCommandLineOption sequenceOption(QStringLiteral("sequence"), QStringLiteral("First sequence number."),
                                            QStringLiteral("n"), QStringLiteral("1"));
    const QCommandLineOption keepAliveOption(QStringLiteral("keepalive"),
                                             QStringLiteral("Send keep-alives (type 1) instead of events."));
    const QCommandLineOption countOption(QStringLiteral("count"), QStringLiteral("Number of reports to send."),
                                         QStringLiteral("n"), QStringLiteral("1"));
    const QCommandLineOption intervalOption(QStringLiteral("interval"),
                                            QStringLiteral("Pause between reports in milliseconds."),
                                            QStringLiteral("ms"), QStringLiteral("1000"));
    const QCommandLineOption timeoutOption(QStringLiteral("timeout"),
                                           QStringLiteral("How long to wait for each answer in milliseconds."),
                                           QStringLiteral("ms"), QStringLiteral("2000"));
    const QCommandLineOption multicomOption(QStringLiteral("multicom"),
                                            QStringLiteral("Be a Multicom device on a TCP session (--port is the "
                                                           "server's MC port)."));
    const QCommandLineOption macOption(QStringLiteral("mac"),
                                       QStringLiteral("Multicom: the device's MAC key, six hexadecimal characters."),
                                       QStringLiteral("key"), QStringLiteral("A1B2C3"));
    const QCommandLineOption letterOption(QStringLiteral("channel-letter"),
                                          QStringLiteral("Multicom: E (Ethernet) or F (cellular)."),
                                          QStringLiteral("letter"), QStringLiteral("E"));
    const QCommandLineOption serveOption(QStringLiteral("serve"),
                                         QStringLiteral("Answer the server's commands for this many seconds."),
                                         QStringLiteral("seconds"));
    const QCommandLineOption modelOption(QStringLiteral("model"),
                                         QStringLiteral("--serve: model code of the details (1 Tavi-S, 2 Tavi-U, 5 "
                                                        "Tavi-SG, 6 Tavi-UG, 17 Tavi-SP, 21 Tavi-SGP)."),
                                         QStringLiteral("code"), QStringLiteral("6"));
    const QCommandLineOption revisionOption(QStringLiteral("revision"),
                                            QStringLiteral("--serve: hardware revision, major.minor."),
                                            QStringLiteral("a.b"), QStringLiteral("1.2"));
    const QCommandLineOption refuseOption(QStringLiteral("refuse"),
                                          QStringLiteral("--serve: refuse every command with this code (7 busy, 4 "
                                                         "not implemented, 6 bad parameter, 10 callback failed)."),
                                          QStringLiteral("code"));
    const QCommandLineOption answerFromOption(QStringLiteral("answer-from"),
                                              QStringLiteral("--serve: answer only the Nth copy of a request (0: "
                                                             "never answer)."),
                                              QStringLiteral("n"), QStringLiteral("1"));
    parser.addOptions({hostOption,  portOption,     deviceOption,   accountOption,  codeOption,      partitionOption,
                       zoneOption,  channelOption,  periodOption,   flagsOption,    sequenceOption,  keepAliveOption,
                       countOption, intervalOption, timeoutOption,  multicomOption, macOption,       letterOption,
                       serveOption, modelOption,    revisionOption, refuseOption,   answerFromOption});
    parser.process(app);

    auto usage = [](const QString& text) {
        err() << "tavi-sim: " << text << " (see --help)\n";
        return kExitUsage;
    };

    Options options;
    const QString hostText = parser.value(hostOption);
    if (!options.host.setAddress(hostText)) {
        const QHostInfo info = QHostInfo::fromName(hostText);
        for (const QHostAddress& address : info.addresses()) {
            if (address.protocol() == QAbstractSocket::IPv4Protocol) {
                options.host = address;
                break;
            }
        }
        if (options.host.isNull())
            return usage(QStringLiteral("cannot resolve host %1").arg(hostText));
    }
    const auto port = number(parser.value(portOption), 0xFFFF);
    if (!parser.isSet(portOption) || !port || *port == 0)
        return usage(QStringLiteral("--port must be 1 to 65535"));
    options.port = static_cast<quint16>(*port);
    const auto deviceId = hexNumber(parser.value(deviceOption), 0xFFFFFFFF);
    if (!deviceId)
        return usage(QStringLiteral("--device-id must be hexadecimal"));
    options.deviceId = *deviceId;
    const auto account =
        parser.isSet(accountOption) ? hexNumber(parser.value(accountOption), 0xFFFF) : (options.deviceId & 0xFFFF);
    const auto code = number(parser.value(codeOption), 0xFFFF);
    const auto partition = number(parser.value(partitionOption), 0xFF);
    const auto zone = number(parser.value(zoneOption), 0xFFFF);
    const auto channel = number(parser.value(channelOption), 0xFF);
    const auto period = number(parser.value(periodOption), 0xFFFF);
    const auto flags = number(parser.value(flagsOption), 0xFF);
    const auto sequence = number(parser.value(sequenceOption), 0xFFFF);
    const auto count = number(parser.value(countOption), 1000000);
    const auto interval = number(parser.value(intervalOption), 3600000);
    const auto timeout = number(parser.value(timeoutOption), 3600000);
    if (!account || !code || !partition || !zone || !channel || !period || !flags || !sequence || !count || !interval ||
        !timeout)
        return usage(QStringLiteral("a numeric option is out of range"));
    options.report = {static_cast<quint16>(*account), static_cast<quint16>(*code), static_cast<quint8>(*partition),
                      static_cast<quint16>(*zone), static_cast<quint16>(*period)};
    options.channel = static_cast<quint8>(*channel);
    options.extraFlags = static_cast<quint8>(*flags);
    options.sequence = static_cast<quint16>(*sequence);
    options.keepAlive = parser.isSet(keepAliveOption);
    options.count = static_cast<int>(*count);
    options.intervalMs = static_cast<int>(*interval);
    options.timeoutMs = static_cast<int>(*timeout);

    if (parser.isSet(multicomOption)) {
        MulticomDeviceOptions device;
        device.host = options.host;
        device.port = options.port;
        device.macKey = parser.value(macOption).toUpper().toLatin1();
        if (device.macKey.size() != Multicom::kMacKeyLength)
            return usage(QStringLiteral("--mac must be six characters"));
        const QString letter = parser.value(letterOption);
        device.event = {device.macKey,       options.report.account,   options.report.code,
                        options.report.zone, options.report.partition, letter.isEmpty() ? 'E' : letter[0].toLatin1()};
        device.heartbeat = options.keepAlive;
        device.intervalMinutes = static_cast<quint8>(qBound(1, int(options.report.period / 60), 255));
        device.count = options.count;
        device.intervalMs = options.intervalMs;
        device.timeoutMs = options.timeoutMs;
        return runMulticomDevice(device, out());
    }

    if (parser.isSet(serveOption)) {
        CommandDeviceOptions device;
        device.deviceId = options.deviceId;
        const auto seconds = number(parser.value(serveOption), 86400 * 365);
        const auto model = number(parser.value(modelOption), 0xFF);
        const auto answerFrom = number(parser.value(answerFromOption), 100);
        const QStringList revision = parser.value(revisionOption).split(QLatin1Char('.'));
        const auto major = number(revision.value(0), 9);
        const auto minor = number(revision.value(1), 9);
        const auto refuse = parser.isSet(refuseOption) ? number(parser.value(refuseOption), 0xFF) : 0u;
        if (!seconds || !model || !answerFrom || revision.size() != 2 || !major || !minor || !refuse)
            return usage(QStringLiteral("a --serve option is out of range"));
        device.model = static_cast<quint8>(*model);
        device.revisionMajor = static_cast<quint8>(*major);
        device.revisionMinor = static_cast<quint8>(*minor);
        device.answerFromAttempt = static_cast<int>(*answerFrom);
        if (parser.isSet(refuseOption))
            device.refuseCode = static_cast<quint8>(*refuse);
        return serveCommands(device, options.host, options.port, static_cast<int>(*seconds));
    }

    QUdpSocket socket;
    if (!socket.bind(QHostAddress::AnyIPv4, 0)) {
        err() << "cannot open a UDP socket: " << socket.errorString() << "\n";
        return kExitNotAcknowledged;
    }

    bool allAcknowledged = true;
    for (int i = 0; i < options.count; ++i) {
        if (i > 0 && options.intervalMs > 0)
            QThread::msleep(static_cast<unsigned long>(options.intervalMs));
        const auto sequenceNumber = static_cast<quint16>(options.sequence + i);
        if (!sendAndWait(socket, options, sequenceNumber))
            allAcknowledged = false;
        out().flush();
    }
    return allAcknowledged ? 0 : kExitNotAcknowledged;
}
