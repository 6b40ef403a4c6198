#include "device/TaviComCodec.h"
#include "events/EventJournal.h"
#include "tests/shell/ReceiverFixture.h"
#include "tests/support/TempDataDir.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QUdpSocket>

#include <gtest/gtest.h>

namespace {

constexpr int kWaitMs = 10000;

// The first number that follows marker in the process's standard error so far.
int numberAfter(const QByteArray& output, const char* marker) {
    const QRegularExpressionMatch match =
        QRegularExpression(QString::fromLatin1(marker) + QStringLiteral("(\\d+)")).match(QString::fromUtf8(output));
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

QByteArray httpGet(quint16 port, const QByteArray& request) {
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(kWaitMs))
        return {};
    socket.write(request);
    QByteArray response;
    while (socket.state() == QAbstractSocket::ConnectedState && socket.waitForReadyRead(kWaitMs))
        response += socket.readAll();
    return response + socket.readAll();
}

// A copy of the demo data directory with UDP port 0 (a free port) and no "Server.ini".
void copyDemo(const TempDataDir& dir) {
    const QDir demo(QStringLiteral(ATALAIA_DEMO_DIR));
    for (const QString& name : demo.entryList(QDir::Files))
        QFile::copy(demo.filePath(name), dir.file(name));
    QFile::remove(dir.file("Server.ini"));
    QByteArray config = dir.read("Server.cfg");
    config.replace(
        QRegularExpression(QStringLiteral("UDP \\d+")).match(QString::fromLatin1(config)).captured(0).toLatin1(),
        "UDP 0");
    dir.write("Server.cfg", config);
}

// Starts the headless receiver on dir; its standard error up to the line that says it receives.
QByteArray startHeadless(QProcess& receiver, const TempDataDir& dir, const QStringList& options = {}) {
    receiver.start(QStringLiteral(ATALAIA_PATH), QStringList{"--headless", "--data-dir", dir.path()} + options);
    QByteArray output;
    const bool receiving = QTest::qWaitFor(
        [&] {
            output += receiver.readAllStandardError();
            return numberAfter(output, "receiving on UDP port ") > 0;
        },
        kWaitMs);
    EXPECT_TRUE(receiving) << output.constData();
    return output;
}

} // namespace

TEST(HeadlessReceiverTest, TakesAnAlarmServesItsFiguresAndStopsInOrderOnSigterm) {
    TempDataDir dir;
    copyDemo(dir);
    QProcess receiver;
    receiver.start(QStringLiteral(ATALAIA_PATH), {"--headless", "--data-dir", dir.path(), "--metrics-port", "0"});
    QByteArray output;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            output += receiver.readAllStandardError();
            return numberAfter(output, "127.0.0.1:") > 0;
        },
        kWaitMs))
        << output.constData();
    const int udpPort = numberAfter(output, "receiving on UDP port ");
    const int metricsPort = numberAfter(output, "http://127.0.0.1:");
    ASSERT_GT(udpPort, 0) << output.constData();
    ASSERT_GT(metricsPort, 0) << output.constData();

    QProcess sim;
    sim.start(QStringLiteral(TAVI_SIM_PATH),
              {"--port", QString::number(udpPort), "--device-id", "1001", "--code", "1130", "--zone", "5"});
    ASSERT_TRUE(sim.waitForFinished(kWaitMs));
    EXPECT_EQ(sim.exitCode(), 0) << sim.readAll().constData();

    const QByteArray metrics = httpGet(quint16(metricsPort), "GET /metrics HTTP/1.1\r\nHost: localhost\r\n\r\n");
    EXPECT_TRUE(metrics.startsWith("HTTP/1.1 200 OK")) << metrics.constData();
    EXPECT_TRUE(metrics.contains("\natalaia_reports_total{protocol=\"tavicom\"} 1\n")) << metrics.constData();
    EXPECT_TRUE(metrics.contains("\natalaia_reports_answered_total 1\n")) << metrics.constData();
    EXPECT_TRUE(httpGet(quint16(metricsPort), "DELETE /metrics HTTP/1.1\r\n\r\n").startsWith("HTTP/1.1 405"));

    receiver.terminate(); // SIGTERM
    ASSERT_TRUE(receiver.waitForFinished(kWaitMs));
    EXPECT_EQ(receiver.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(receiver.exitCode(), 0) << receiver.readAllStandardError().constData();
    EXPECT_TRUE(dir.exists("Server.ini"));
    EXPECT_TRUE(dir.read("Clients.lst").contains("\t127.0.0.1\t"));
    EXPECT_TRUE(dir.read("Events.log").contains("Anonimo")) << "the logout at the end";
}

TEST(HeadlessReceiverTest, AMissingOrUnwritableDataDirectoryEndsWithExitCodeOne) {
    QProcess receiver;
    receiver.start(QStringLiteral(ATALAIA_PATH), {"--headless", "--data-dir", "/nonexistent/atalaia"});
    ASSERT_TRUE(receiver.waitForFinished(kWaitMs));
    EXPECT_EQ(receiver.exitCode(), 1);
    EXPECT_TRUE(QString::fromUtf8(receiver.readAllStandardError()).contains(QStringLiteral("não aceita gravação")));
}

TEST(HeadlessReceiverTest, OpensTheMulticomListenerWhenEnabledWithItsMostSessionsAtOnce) {
    TempDataDir dir;
    copyDemo(dir);
    quint16 multicomPort = 0;
    {
        QTcpServer probe; // a port free a moment ago
        ASSERT_TRUE(probe.listen(QHostAddress::AnyIPv4, 0));
        multicomPort = probe.serverPort();
    }
    QByteArray config = dir.read("Server.cfg");
    config.replace("MC 0", "MC " + QByteArray::number(multicomPort)).replace("EnableMulticom\t0", "EnableMulticom\t1");
    dir.write("Server.cfg", config + "MaxSessions\t\t1\r\n");
    QProcess receiver;
    QByteArray output = startHeadless(receiver, dir, {"--metrics-port", "0"});
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            output += receiver.readAllStandardError();
            return numberAfter(output, "http://127.0.0.1:") > 0;
        },
        kWaitMs))
        << output.constData();

    QTcpSocket device;
    device.connectToHost(QHostAddress::LocalHost, multicomPort);
    EXPECT_TRUE(device.waitForConnected(kWaitMs)) << "a Multicom device reaches the service";
    // A second device is one too many: closed at once, and the service says so.
    QTcpSocket second;
    second.connectToHost(QHostAddress::LocalHost, multicomPort);
    EXPECT_TRUE(second.waitForConnected(kWaitMs));
    EXPECT_TRUE(QTest::qWaitFor([&] { return second.state() == QAbstractSocket::UnconnectedState; }, kWaitMs));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            output += receiver.readAllStandardError();
            return output.contains("Limite de 1 sess");
        },
        kWaitMs))
        << output.constData();
    EXPECT_EQ(device.state(), QAbstractSocket::ConnectedState);

    const QByteArray metrics =
        httpGet(quint16(numberAfter(output, "http://127.0.0.1:")), "GET /metrics HTTP/1.1\r\n\r\n");
    for (const char* line :
         {"\natalaia_multicom_sessions 1\n", "\natalaia_multicom_sessions_refused_total 1\n",
          "\natalaia_multicom_sessions_expired_total 0\n", "\natalaia_accept_backoffs_total{listener=\"multicom\"} 0\n",
          "\natalaia_accept_backoffs_total{listener=\"metrics\"} 0\n",
          "\natalaia_metrics_connections_refused_total 0\n"})
        EXPECT_TRUE(metrics.contains(line)) << line << metrics.constData();

    receiver.terminate();
    ASSERT_TRUE(receiver.waitForFinished(kWaitMs));
    EXPECT_EQ(receiver.exitCode(), 0);
}

// Acknowledged alarms are in custody until "Events.log" has them: a receiver
// killed while they wait for a silent station gives each of them back at the
// next start, listed and logged once.
TEST(HeadlessReceiverTest, AcknowledgedAlarmsSurviveAKillWhileTheStationIsSilent) {
    QUdpSocket station; // takes frames and never answers
    ASSERT_TRUE(station.bind(QHostAddress::LocalHost, 0));
    struct Case {
        const char* name;
        int alarms;
        int killAfterMs; // after the burst was sent
    };
    for (const Case c :
         {Case{"killed once every alarm was answered", 200, 300}, Case{"killed during the burst", 600, 5}}) {
        TempDataDir dir;
        copyDemo(dir);
        QByteArray report = dir.read("Report.cfg");
        report.replace(0, 1, "2"); // DC-09
        report.replace("9999", QByteArray::number(station.localPort()));
        dir.write("Report.cfg", report);
        QProcess receiver;
        const quint16 port = quint16(numberAfter(startHeadless(receiver, dir), "receiving on UDP port "));
        ASSERT_GT(port, 0) << c.name;

        QUdpSocket device;
        ASSERT_TRUE(device.bind(QHostAddress::LocalHost, 0));
        for (int zone = 1; zone <= c.alarms; ++zone) {
            const QByteArray alarm = ReceiverFixture::eventReport(0x1001, quint16(zone), 1130, 1, quint16(zone));
            device.writeDatagram(alarm, QHostAddress::LocalHost, port);
        }
        QTest::qWait(c.killAfterMs);
        receiver.kill(); // SIGKILL: nothing is written on the way out
        ASSERT_TRUE(receiver.waitForFinished(kWaitMs));
        QSet<int> answered; // the sequences the receiver answered, each the alarm's zone
        while (device.hasPendingDatagrams()) {
            const QByteArray answer = device.receiveDatagram().data();
            answered.insert(TaviCom::readU16(
                std::span<const quint8>(reinterpret_cast<const quint8*>(answer.constData()), size_t(answer.size())),
                TaviCom::kOffSequence));
        }
        ASSERT_FALSE(answered.isEmpty()) << c.name;

        // The next start lists them as failed (too old to be forwarded again) and logs them.
        QByteArray config = dir.read("Server.cfg");
        dir.write("Server.cfg", config + "ResendAge\t\t0\r\n");
        const QByteArray output = startHeadless(receiver, dir);
        receiver.terminate();
        ASSERT_TRUE(receiver.waitForFinished(kWaitMs));

        QHash<int, int> logged; // zone -> lines of the client's alarms
        for (const QByteArray& line : dir.read("Events.log").split('\n')) {
            const QByteArrayList fields = line.split('\t');
            if (fields.size() > 8 && fields[3] == "1001" && fields[6].trimmed() == "130")
                ++logged[fields[8].trimmed().toInt()];
        }
        for (int zone : answered)
            EXPECT_EQ(logged.value(zone), 1) << c.name << ": zone " << zone << " was answered";
        for (auto it = logged.cbegin(); it != logged.cend(); ++it)
            EXPECT_EQ(it.value(), 1) << c.name << ": zone " << it.key() << " logged more than once";
        EXPECT_TRUE(output.contains("recuperados")) << output.constData();
        EventJournal custody{dir.dataDirectory()};
        EXPECT_TRUE(custody.takeLeftOver({}).isEmpty()) << c.name << ": nothing left in custody";
    }
}
