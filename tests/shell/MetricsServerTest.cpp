#include "shell/MetricsServer.h"

#include <QElapsedTimer>
#include <QTcpSocket>
#include <QTest>

#include <gtest/gtest.h>

namespace {

constexpr int kShortRequestTimeMs = 200;

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
