#include "shell/MetricsServer.h"
#include "tests/support/DescriptorExhaustion.h"

#include <QElapsedTimer>
#include <QTcpSocket>
#include <QTest>

#include <gtest/gtest.h>

#include <cerrno>
#include <memory>
#include <vector>

namespace {

constexpr int kShortRequestTimeMs = 200;
constexpr int kWaitMs = 3000;
const QByteArray kGetMetrics = "GET /metrics HTTP/1.1\r\nHost: x\r\n\r\n";

std::unique_ptr<QTcpSocket> connectTo(quint16 port) {
    auto client = std::make_unique<QTcpSocket>();
    client->connectToHost(QHostAddress::LocalHost, port);
    EXPECT_TRUE(client->waitForConnected(kWaitMs));
    return client;
}

// Everything the server sends until it closes the connection.
QByteArray readToClose(QTcpSocket& client) {
    QByteArray response;
    const auto take = [&] {
        if (client.isReadable()) // not once a refused connection is gone
            response += client.readAll();
    };
    [[maybe_unused]] const bool closed = QTest::qWaitFor(
        [&] {
            take();
            return client.state() == QAbstractSocket::UnconnectedState;
        },
        kWaitMs);
    take();
    return response;
}

// Sends request (in one piece) and returns everything read until the server closes.
QByteArray exchange(quint16 port, const QByteArray& request, int* closedAfterMs = nullptr) {
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!QTest::qWaitFor([&] { return socket.state() == QAbstractSocket::ConnectedState; }, 2000))
        return "not connected";
    QElapsedTimer elapsed;
    elapsed.start();
    socket.write(request);
    QByteArray response;
    [[maybe_unused]] const bool closed = QTest::qWaitFor(
        [&] {
            response += socket.readAll();
            return socket.state() == QAbstractSocket::UnconnectedState;
        },
        3000);
    if (closedAfterMs)
        *closedAfterMs = int(elapsed.elapsed());
    return response + socket.readAll();
}

} // namespace

TEST(MetricsServerTest, OnlyGetMetricsIsServedAndBadRequestsEndQuickly) {
    MetricsServer server([] { return QByteArray("atalaia_up 1\n"); }, kShortRequestTimeMs);
    ASSERT_TRUE(server.listen(0));
    struct Case {
        const char* name;
        QByteArray request;
        const char* statusLine;
    };
    const Case cases[] = {
        {"the figures", "GET /metrics HTTP/1.1\r\nHost: x\r\n\r\n", "HTTP/1.1 200 OK"},
        {"bare line ends", "GET /metrics HTTP/1.0\n\n", "HTTP/1.1 200 OK"},
        {"another path", "GET / HTTP/1.1\r\n\r\n", "HTTP/1.1 404"},
        {"not GET", "POST /metrics HTTP/1.1\r\nContent-Length: 0\r\n\r\n", "HTTP/1.1 405"},
        {"malformed", "GARBAGE\r\n\r\n", "HTTP/1.1 400"},
        {"huge", "GET /metrics HTTP/1.1\r\nX: " + QByteArray(MetricsServer::kMaxRequestBytes, 'a'), "HTTP/1.1 431"},
    };
    for (const Case& c : cases) {
        const QByteArray response = exchange(server.port(), c.request);
        EXPECT_TRUE(response.startsWith(c.statusLine)) << c.name << ": " << response.left(60).constData();
    }
    EXPECT_TRUE(exchange(server.port(), cases[0].request).endsWith("\r\n\r\natalaia_up 1\n"));

    // A client that never finishes its request is dropped after the time limit, and the server goes on.
    int closedAfterMs = 0;
    EXPECT_TRUE(exchange(server.port(), "GET /metr", &closedAfterMs).isEmpty());
    EXPECT_GE(closedAfterMs, kShortRequestTimeMs - 50);
    EXPECT_TRUE(exchange(server.port(), cases[0].request).startsWith("HTTP/1.1 200 OK"));
}

TEST(MetricsServerTest, ConnectionsBeyondItsMostAtOnceAreClosedAndItServesAgainWhenTheyGo) {
    MetricsServer server([] { return QByteArray("atalaia_up 1\n"); }, kWaitMs * 10);
    ASSERT_TRUE(server.listen(0));
    // Clients that connect and never ask hold every place.
    std::vector<std::unique_ptr<QTcpSocket>> idle;
    for (int i = 0; i < MetricsServer::kMaxConnections; ++i)
        idle.push_back(connectTo(server.port()));
    // Taken in the order they came, so the next one finds no place left.
    auto extra = connectTo(server.port());
    EXPECT_TRUE(readToClose(*extra).isEmpty());
    EXPECT_EQ(extra->state(), QAbstractSocket::UnconnectedState);
    EXPECT_EQ(server.connectionsRefused(), 1u);

    for (auto& client : idle)
        client->disconnectFromHost();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            auto client = connectTo(server.port());
            client->write(kGetMetrics);
            return readToClose(*client).startsWith("HTTP/1.1 200 OK");
        },
        kWaitMs));
}

TEST(MetricsServerTest, OutOfDescriptorsItWaitsAndAnswersAgainOnceTheyAreFree) {
    MetricsServer server([] { return QByteArray("atalaia_up 1\n"); });
    QStringList notices;
    server.setProblemHandler([&](const QString& text) { notices << text; });
    ASSERT_TRUE(server.listen(0));
    // Connected and asking before the descriptors run out; taken only once they are back.
    auto waiting = connectTo(server.port());
    waiting->write(kGetMetrics);
    ASSERT_TRUE(waiting->waitForBytesWritten(kWaitMs));
    // Read once while descriptors are there: a sanitizer build checks the type
    // behind every call the first time, and that check needs a descriptor.
    const quint64 before = server.acceptBackOffs();
    {
        DescriptorExhaustion exhaustion;
        ASSERT_TRUE(exhaustion.exhausted());
        ASSERT_TRUE(QTest::qWaitFor([&] { return server.acceptBackOffs() > before; }, kWaitMs));
        const quint64 first = server.acceptBackOffs();
        QTest::qWait(1000);
        // A handful of retries in a second, not a loop.
        EXPECT_LE(server.acceptBackOffs() - first, 10u);
        ASSERT_EQ(notices.size(), 1);
        EXPECT_TRUE(notices[0].contains(qt_error_string(EMFILE))) << notices[0].toStdString();
    }
    EXPECT_TRUE(readToClose(*waiting).endsWith("\r\n\r\natalaia_up 1\n"));
    EXPECT_TRUE(exchange(server.port(), kGetMetrics).startsWith("HTTP/1.1 200 OK"));
    EXPECT_EQ(notices.size(), 2) << "and once that it accepts again";
}
