#include "tests/tools/HeadlessRun.h"

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
