#pragma once

#include "common/ListeningSocket.h"

#include <QByteArray>
#include <QObject>

#include <functional>

class QTcpSocket;

// A read-only HTTP endpoint on localhost that serves the receiver's health
// figures at GET /metrics (Prometheus text format). It runs on the main
// thread without ever blocking it: requests are read as they arrive, one
// larger than kMaxRequestBytes or slower than the time limit is closed, at
// most kMaxConnections are served at once (one more is closed as soon as it is
// taken), and anything but GET /metrics is answered with an error status. When
// the process runs out of descriptors the listening socket pauses and retries
// by itself (see ListeningSocket), so the endpoint answers again as soon as
// descriptors are free.
class MetricsServer : public QObject {
    Q_OBJECT
public:
    static constexpr int kMaxRequestBytes = 8192;
    static constexpr int kMaxConnections = 16;
    static constexpr int kRequestTimeMs = 5000;
    // Room for a full set of clients and more to wait their turn in the kernel.
    static constexpr int kListenBacklog = 2 * kMaxConnections;

    using Source = std::function<QByteArray()>;

    MetricsServer(Source source, int requestTimeMs = kRequestTimeMs, QObject* parent = nullptr);

    // Listens on 127.0.0.1:port (0: a free port); false when it cannot.
    bool listen(quint16 port);
    quint16 port() const { return m_server.port(); }
    QString errorString() const { return m_server.errorString(); }

    // Told once when accepts begin to fail and once when they work again.
    void setProblemHandler(std::function<void(const QString& text)> handler) { m_problem = std::move(handler); }

    // Figures for the endpoint itself.
    quint64 connectionsRefused() const { return m_refused; }
    quint64 acceptBackOffs() const { return m_server.backOffs(); }

private:
    void accept(int descriptor);
    void read(QTcpSocket* socket);
    void respond(QTcpSocket* socket, const char* status, const QByteArray& body, const char* type = "text/plain");

    Source m_source;
    int m_requestTimeMs;
    std::function<void(const QString&)> m_problem;
    ListeningSocket m_server;
    int m_connections = 0;
    quint64 m_refused = 0;
};
