// The DC-09 device simulator as a process against the socket-free receiver
// (Dc09Receiver) behind a UDP socket and a TCP server on one loopback port:
// what it sends must be taken, and every kind of answer must be printed as
// what it is.

#include "config/Dc09Settings.h"
#include "device/Dc09Receiver.h"
#include "device/Dc09StreamSplitter.h"
#include "device/SiaCodeTable.h"

#include <QNetworkDatagram>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QUdpSocket>

#include <gtest/gtest.h>

#include <map>
#include <memory>

namespace {

using Reason = Dc09Outcome::Reason;

constexpr int kRunMs = 30000;
const QString kKey128 = QStringLiteral("2B7E151628AED2A6ABF7158809CF4F3C");
const QString kKey256 = QStringLiteral("603DEB1015CA71BE2B73AEF0857D77811F352C073B6108D72D9810A30914DFF4");

// The receiver's side: every frame taken at the current UTC time, its answer
// sent back at once on the socket it came by.
class LoopbackReceiver {
public:
    LoopbackReceiver() {
        settings.keys.insert("ABC", QByteArray::fromHex(kKey128.toLatin1()));
        settings.keys.insert("5678", QByteArray::fromHex(kKey256.toLatin1()));
        siaCodes.parse("BA 1 130 Roubo\r\nFA 1 110 Fogo\r\n");
        QObject::connect(&udp, &QUdpSocket::readyRead, [this] {
            while (udp.hasPendingDatagrams()) {
                const QNetworkDatagram datagram = udp.receiveDatagram();
                const QByteArray reply = take(datagram.data(), datagram.senderAddress(), datagram.senderPort());
                if (!reply.isEmpty())
                    udp.writeDatagram(reply, datagram.senderAddress(), static_cast<quint16>(datagram.senderPort()));
            }
        });
        QObject::connect(&tcp, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* socket = tcp.nextPendingConnection()) {
                ++connections;
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    QList<QByteArray> frames;
                    splitters[socket].append(socket->readAll(), frames);
                    for (const QByteArray& frame : std::as_const(frames)) {
                        const QByteArray reply = take(frame, socket->peerAddress(), socket->peerPort());
                        if (!reply.isEmpty())
                            socket->write(reply);
                    }
                });
            }
        });
    }

    // One port for both, as the server has it.
    bool listen() {
        for (int attempt = 0; attempt < 20; ++attempt) {
            if (!tcp.listen(QHostAddress::LocalHost, 0))
                return false;
            if (udp.bind(QHostAddress::LocalHost, tcp.serverPort()))
                return true;
            tcp.close();
        }
        return false;
    }
    quint16 port() const { return tcp.serverPort(); }

    QList<Reason> reasons() const {
        QList<Reason> out;
        for (const Dc09Outcome& outcome : outcomes)
            out << outcome.reason;
        return out;
    }

    Dc09Settings settings;
    SiaCodeTable siaCodes;
    Dc09Receiver receiver{settings, siaCodes};
    QList<Dc09Outcome> outcomes;
    int connections = 0;

private:
    QByteArray take(const QByteArray& frame, const QHostAddress& from, quint16 port) {
        outcomes.append(receiver.take(frame, from.toString(), port, QDateTime::currentDateTimeUtc()));
        return outcomes.constLast().reply;
    }

    QUdpSocket udp;
    QTcpServer tcp;
    std::map<QTcpSocket*, Dc09StreamSplitter> splitters;
};

struct SimRun {
    int exitCode = -1;
    QString output;
};

// Runs dc09-sim with the arguments while the receiver's event loop turns.
SimRun runSim(const QStringList& arguments) {
    QProcess sim;
    sim.setProcessChannelMode(QProcess::MergedChannels);
    sim.start(QStringLiteral(DC09_SIM_PATH), arguments);
    EXPECT_TRUE(QTest::qWaitFor([&] { return sim.state() == QProcess::NotRunning; }, kRunMs));
    return {sim.exitCode(), QString::fromUtf8(sim.readAll())};
}

// An answer is waited for generously unless the case sets its own time-out (a loaded machine is slow, not silent).
SimRun runSim(LoopbackReceiver& receiver, QStringList arguments) {
    arguments << QStringLiteral("--port") << QString::number(receiver.port());
    if (!arguments.contains(QStringLiteral("--timeout")))
        arguments << QStringLiteral("--timeout") << QStringLiteral("10000");
    return runSim(arguments);
}

} // namespace

TEST(Dc09SimTest, EveryKindOfAnswerIsPrintedAsWhatItIs) {
    const struct {
        const char* name;
        QStringList arguments;
        int exitCode;
        QStringList lines; // each must be in the output
        QList<Reason> reasons;
    } cases[] = {
        {"Contact ID in clear over UDP, three in sequence",
         {"--account", "1234", "--count", "3"},
         0,
         {"sent 0001 #1234: ADM-CID, in clear", "0001 #1234: ACK", "0003 #1234: ACK", "sent 3: 3 ACK, 0 NAK"},
         {Reason::Taken, Reason::Taken, Reason::Taken}},
        {"Contact ID in clear over TCP",
         {"--tcp", "--account", "1234", "--sequence", "9999", "--count", "2"},
         0,
         {"9999 #1234: ACK", "0001 #1234: ACK"},
         {Reason::Taken, Reason::Taken}},
        {"SIA-DCS with AES-128 over TCP: the *ACK decrypted",
         {"--tcp", "--type", "sia-dcs", "--account", "ABC", "--key", kKey128},
         0,
         {"sent 0001 #ABC: SIA-DCS, encrypted", "0001 #ABC: *ACK, decrypted, receiver time 20"},
         {Reason::Taken}},
        {"NULL with AES-256 over UDP",
         {"--type", "null", "--account", "5678", "--key", kKey256.toLower()},
         0,
         {"0001 #5678: *ACK, decrypted, receiver time 20"},
         {Reason::Supervision}},
        {"clock two minutes ahead: NAK with the receiver's time",
         {"--account", "1234", "--clock-offset", "120"},
         1,
         {"0001 #1234: NAK, receiver time 20", "sent 1: 0 ACK, 1 NAK"},
         {Reason::OutsideWindow}},
        {"encrypted clock two minutes behind over TCP: NAK",
         {"--tcp", "--account", "ABC", "--key", kKey128, "--clock-offset", "-120"},
         1,
         {"0001 #ABC: NAK, receiver time 20"},
         {Reason::OutsideWindow}},
        {"in clear from an account that has a key: DUH",
         {"--account", "ABC"},
         1,
         {"0001 #ABC: DUH", "1 DUH"},
         {Reason::PlainWithKey}},
        {"encrypted with the wrong key: DUH",
         {"--account", "ABC", "--key", kKey256},
         1,
         {"0001 #ABC: DUH"},
         {Reason::Undecryptable}},
        {"encrypted from an account without a key: DUH",
         {"--tcp", "--account", "4321", "--key", kKey128},
         1,
         {"0001 #4321: DUH"},
         {Reason::NoKey}},
        {"account too long for the register: DUH",
         {"--account", "12345"},
         1,
         {"0001 #12345: DUH"},
         {Reason::AccountTooLong}},
        {"wrong CRC: silence, no answer within the time-out",
         {"--account", "1234", "--bad-crc", "--timeout", "300"},
         1,
         {"0001 #1234: no answer within 300 ms", "1 no answer"},
         {Reason::BadEnvelope}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LoopbackReceiver receiver;
        ASSERT_TRUE(receiver.listen());
        const SimRun run = runSim(receiver, c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << qPrintable(run.output);
        for (const QString& line : c.lines)
            EXPECT_TRUE(run.output.contains(line)) << qPrintable(line) << " not in:\n" << qPrintable(run.output);
        EXPECT_EQ(receiver.reasons(), c.reasons) << qPrintable(run.output);
        EXPECT_LE(receiver.connections, 1) << "one TCP connection carries every frame of a device";
    }
}

TEST(Dc09SimTest, WhatTheFramesCarryReachesTheReceiver) {
    const struct {
        const char* name;
        QStringList arguments;
        quint16 reportAccount;
        quint16 eventAccount;
        quint16 code;
        quint8 partition;
        quint16 zone;
        QByteArray siaCode;
        QByteArray receiverNumber; // empty: no "R" field
        QByteArray line;
    } cases[] = {
        {"Contact ID restore, partition and zone",
         {"--account", "1234", "--code", "3130", "--partition", "2", "--zone", "17"},
         0x1234,
         0x1234,
         3130,
         2,
         17,
         {},
         {},
         "0"},
        {"SIA fire with a dependent account, receiver and line numbers",
         {"--type", "sia-dcs", "--sia-code", "FA", "--account", "1234", "--data-account", "2000", "--zone", "3",
          "--receiver", "12", "--line", "3"},
         0x1234,
         0x2000,
         1110,
         1,
         3,
         "FA",
         "12",
         "3"},
        {"SIA without a partition, encrypted",
         {"--type", "sia-dcs", "--partition", "0", "--zone", "9", "--account", "ABC", "--key", kKey128},
         0xABC,
         0xABC,
         1130,
         0,
         9,
         "BA",
         {},
         "0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LoopbackReceiver receiver;
        ASSERT_TRUE(receiver.listen());
        const SimRun run = runSim(receiver, c.arguments);
        EXPECT_EQ(run.exitCode, 0) << qPrintable(run.output);
        ASSERT_EQ(receiver.outcomes.size(), 1);
        const Dc09Outcome& outcome = receiver.outcomes[0];
        ASSERT_EQ(outcome.reason, Reason::Taken) << reasonText(outcome.reason);
        EXPECT_EQ(outcome.reportAccount, c.reportAccount);
        EXPECT_EQ(outcome.header.receiver.value_or(QByteArray()), c.receiverNumber);
        EXPECT_EQ(outcome.header.line, c.line);
        ASSERT_EQ(outcome.events.size(), 1);
        const Dc09Content::Event& event = outcome.events[0];
        EXPECT_EQ(event.account, c.eventAccount);
        EXPECT_EQ(event.code, c.code);
        EXPECT_EQ(event.partition, c.partition);
        EXPECT_EQ(event.zone, c.zone);
        EXPECT_EQ(event.siaCode, c.siaCode);
    }
}

TEST(Dc09SimTest, BurstsFromManyDevicesAreAllAnswered) {
    const struct {
        const char* name;
        QStringList arguments;
        QString everyAccountKey; // empty: none
        int frames;
        int devices;
        int connections;
    } cases[] = {
        {"1,000 frames from 20 devices over UDP, 40 in flight",
         {"--burst", "1000", "--devices", "20", "--in-flight", "40", "--quiet"},
         {},
         1000,
         20,
         0},
        {"300 encrypted frames from 6 devices over TCP, 30 in flight",
         {"--tcp", "--burst", "300", "--devices", "6", "--in-flight", "30", "--quiet", "--account", "5670", "--key",
          kKey256},
         kKey256,
         300,
         6,
         6},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LoopbackReceiver receiver;
        if (!c.everyAccountKey.isEmpty())
            receiver.settings.keys.insert("*", QByteArray::fromHex(c.everyAccountKey.toLatin1()));
        ASSERT_TRUE(receiver.listen());
        const SimRun run = runSim(receiver, c.arguments);
        EXPECT_EQ(run.exitCode, 0) << qPrintable(run.output);
        EXPECT_TRUE(run.output.contains(
            QStringLiteral("sent %1: %1 ACK, 0 NAK, 0 DUH, 0 no answer, 0 unreadable").arg(c.frames)))
            << qPrintable(run.output);
        EXPECT_EQ(receiver.connections, c.connections);
        QMap<quint16, int> byAccount;
        for (const Dc09Outcome& outcome : std::as_const(receiver.outcomes)) {
            EXPECT_EQ(outcome.reason, Reason::Taken) << reasonText(outcome.reason);
            ++byAccount[outcome.reportAccount];
        }
        EXPECT_EQ(receiver.outcomes.size(), c.frames);
        ASSERT_EQ(byAccount.size(), c.devices);
        for (const int frames : byAccount)
            EXPECT_EQ(frames, c.frames / c.devices) << "frames go to the devices in turn";
    }
}

TEST(Dc09SimTest, UsageVersionAndHelp) {
    const struct {
        const char* name;
        QStringList arguments;
        int exitCode;
        QString text;
    } cases[] = {
        {"version", {"--version"}, 0, QStringLiteral("dc09-sim 1.")},
        {"help names the options", {"--help"}, 0, QStringLiteral("--clock-offset")},
        {"no port", {"--account", "1234"}, 2, QStringLiteral("--port must be 1 to 65535")},
        {"key of 30 digits", {"--port", "1", "--key", kKey128.chopped(2)}, 2, QStringLiteral("--key must be")},
        {"account of two digits", {"--port", "1", "--account", "12"}, 2, QStringLiteral("--account must be")},
        {"unknown message", {"--port", "1", "--type", "adm-xyz"}, 2, QStringLiteral("--type must be")},
        {"zone of four digits", {"--port", "1", "--zone", "1000"}, 2, QStringLiteral("out of range")},
        {"SIA code of three letters", {"--port", "1", "--sia-code", "BAX"}, 2, QStringLiteral("--sia-code must be")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const SimRun run = runSim(c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << qPrintable(run.output);
        EXPECT_TRUE(run.output.contains(c.text)) << qPrintable(run.output);
    }
}
