#include "tests/support/TestNames.h"
#include "tests/tools/HeadlessRun.h"

#include <QByteArrayList>

#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <gtest/gtest.h>

namespace {

using namespace HeadlessRun;

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
    EXPECT_TRUE(metrics.contains("\natalaia_station_acknowledgements_total{station=\"backup\"} 0\n"))
        << metrics.constData();
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
    // The port was free a moment ago and other programs on this machine may knock on it too, so the
    // exact count of refusals is left to the listener's own tests.
    EXPECT_GE(numberAfter(metrics, "\natalaia_multicom_sessions_refused_total "), 1) << metrics.constData();
    for (const char* line : {"\natalaia_multicom_sessions 1\n", "\natalaia_multicom_sessions_expired_total 0\n",
                             "\natalaia_accept_backoffs_total{listener=\"multicom\"} 0\n",
                             "\natalaia_accept_backoffs_total{listener=\"metrics\"} 0\n",
                             "\natalaia_metrics_connections_refused_total 0\n"})
        EXPECT_TRUE(metrics.contains(line)) << line << metrics.constData();

    receiver.terminate();
    ASSERT_TRUE(receiver.waitForFinished(kWaitMs));
    EXPECT_EQ(receiver.exitCode(), 0);
}

namespace {

struct EventLinesCase {
    const char* name;
    QStringList arguments;
    bool linesExpected;
};

class HeadlessEventLinesTest : public ::testing::TestWithParam<EventLinesCase> {};

} // namespace

// The journal of the service shows each alarm once its forwarding has a
// result, and the start's question of two lines as two lines.
TEST_P(HeadlessEventLinesTest, EachEventIsOneLineOnStandardErrorUnlessQuiet) {
    TempDataDir dir;
    copyDemo(dir);
    QProcess receiver;
    QByteArray output = startHeadless(receiver, dir, GetParam().arguments, QStringLiteral(ATALAIAD_PATH));
    const int udpPort = numberAfter(output, "receiving on UDP port ");
    ASSERT_GT(udpPort, 0) << output.constData();
    EXPECT_TRUE(output.contains("Portas n\xc3\xa3o definidas.\n    Continuar?")) << output.constData();
    EXPECT_FALSE(output.contains("\\n")) << output.constData();

    for (const char* zone : {"5", "7"}) {
        QProcess sim;
        sim.start(QStringLiteral(TAVI_SIM_PATH), {"--port", QString::number(udpPort), "--device-id", "1001", "--code",
                                                  "1130", "--partition", "1", "--zone", zone});
        ASSERT_TRUE(sim.waitForFinished(kWaitMs));
        EXPECT_EQ(sim.exitCode(), 0) << sim.readAll().constData();
    }
    // Events.log has both once they are listed; the lines on standard error were written before that.
    ASSERT_TRUE(QTest::qWaitFor([&] { return dir.read("Events.log").count("\tPadaria Central\t") == 2; }, kWaitMs));
    receiver.terminate();
    ASSERT_TRUE(receiver.waitForFinished(kWaitMs));
    EXPECT_EQ(receiver.exitCode(), 0);
    output += receiver.readAllStandardError();

    QByteArrayList alarms;
    for (const QByteArray& line : output.split('\n'))
        if (line.startsWith("atalaia: event |") && line.contains("| client Padaria Central |"))
            alarms << line;
    if (!GetParam().linesExpected) {
        EXPECT_FALSE(output.contains("atalaia: event")) << output.constData();
        return;
    }
    ASSERT_EQ(alarms.size(), 2) << output.constData();
    for (int i = 0; i < 2; ++i) {
        const QByteArrayList fields = alarms[i].split('|');
        ASSERT_EQ(fields.size(), 9) << alarms[i].constData();
        EXPECT_EQ(fields[2].trimmed(), "account 1001");
        EXPECT_TRUE(fields[4].trimmed().startsWith("E130")) << alarms[i].constData();
        EXPECT_EQ(fields[5].trimmed().split(' ').last().toInt(), 1) << alarms[i].constData();
        EXPECT_EQ(fields[6].trimmed().split(' ').last().toInt(), i == 0 ? 5 : 7) << alarms[i].constData();
        EXPECT_EQ(fields[7].trimmed(), "TaviCom");
        EXPECT_EQ(fields[8].trimmed(), "not sent") << "the demo does not forward";
    }
    EXPECT_GT(output.count("\natalaia: event |"), 2) << "the operator's logout at the end is an event too";
}

INSTANTIATE_TEST_SUITE_P(Switch, HeadlessEventLinesTest,
                         ::testing::Values(EventLinesCase{"lines by default", {}, true},
                                           EventLinesCase{"quiet events", {"--quiet-events"}, false}),
                         [](const ::testing::TestParamInfo<EventLinesCase>& info) {
                             return TestNames::fromCaseName<EventLinesCase>(info);
                         });
