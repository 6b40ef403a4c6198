#pragma once

#include <QByteArray>
#include <QObject>
#include <QTcpServer>

#include <functional>

class QTcpSocket;

// A read-only HTTP endpoint on localhost that serves the receiver's health
// figures at GET /metrics (Prometheus text format). It runs on the main
// thread without ever blocking it: requests are read as they arrive, one
// larger than kMaxRequestBytes or slower than the time limit is closed, at
// most kMaxConnections are served at once, and anything but GET /metrics is
// answered with an error status.
class MetricsServer : public QObject {
    Q_OBJECT
public:
    static constexpr int kMaxRequestBytes = 8192;
    static constexpr int kMaxConnections = 16;
    static constexpr int kRequestTimeMs = 5000;

    using Source = std::function<QByteArray()>;

    MetricsServer(Source source, int requestTimeMs = kRequestTimeMs, QObject* parent = nullptr);

    // Listens on 127.0.0.1:port (0: a free port); false when it cannot.
    bool listen(quint16 port);
    quint16 port() const { return m_server.serverPort(); }
    QString errorString() const { return m_server.errorString(); }

private:
    void accept();
    void read(QTcpSocket* socket);
    void respond(QTcpSocket* socket, const char* status, const QByteArray& body, const char* type = "text/plain");

    Source m_source;
    int m_requestTimeMs;
    QTcpServer m_server;
    int m_connections = 0;
};
