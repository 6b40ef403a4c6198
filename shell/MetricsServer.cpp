#include "shell/MetricsServer.h"

#include <QTcpSocket>
#include <QTimer>

#include <unistd.h>

namespace {
constexpr const char* kContentType = "text/plain; version=0.0.4; charset=utf-8";
} // namespace

MetricsServer::MetricsServer(Source source, int requestTimeMs, QObject* parent)
    : QObject(parent), m_source(std::move(source)), m_requestTimeMs(requestTimeMs),
      m_server([this](int descriptor) { accept(descriptor); }) {
    m_server.setProblemHandler([this](bool failing, const QString& text) {
        if (m_problem)
            m_problem(failing ? QStringLiteral("O endereço /metrics não pode aceitar conexões: %1 (novas tentativas em "
                                               "instantes)")
                                    .arg(text)
                              : QStringLiteral("O endereço /metrics voltou a aceitar conexões"));
    });
}

bool MetricsServer::listen(quint16 port) {
    return m_server.listen(ListeningSocket::Interface::Loopback, port, kListenBacklog);
}

void MetricsServer::accept(int descriptor) {
    if (m_connections >= kMaxConnections) {
        ListeningSocket::refuse(descriptor);
        ++m_refused;
        return;
    }
    auto* socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        ::close(descriptor);
        delete socket;
        return;
    }
    ++m_connections;
    connect(socket, &QObject::destroyed, this, [this] { --m_connections; });
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    // A client too slow to send its request is dropped.
    QTimer::singleShot(m_requestTimeMs, socket, [socket] {
        socket->abort();
        socket->deleteLater();
    });
}

void MetricsServer::read(QTcpSocket* socket) {
    if (socket->property("answered").toBool()) {
        socket->readAll(); // nothing more is read after the answer
        return;
    }
    QByteArray request = socket->property("request").toByteArray() + socket->read(kMaxRequestBytes + 1);
    if (request.size() > kMaxRequestBytes) {
        respond(socket, "431 Request Header Fields Too Large", "request too large\n");
        return;
    }
    const qsizetype end = request.indexOf("\r\n\r\n") >= 0 ? request.indexOf("\r\n\r\n") : request.indexOf("\n\n");
    if (end < 0) {
        socket->setProperty("request", request);
        return;
    }
    const QByteArray line = request.left(request.indexOf('\n')).trimmed();
    const QList<QByteArray> parts = line.split(' ');
    if (parts.size() != 3 || !parts[2].startsWith("HTTP/1.")) {
        respond(socket, "400 Bad Request", "bad request\n");
        return;
    }
    if (parts[0] != "GET") {
        respond(socket, "405 Method Not Allowed", "only GET\n");
        return;
    }
    if (parts[1] != "/metrics") {
        respond(socket, "404 Not Found", "not found\n");
        return;
    }
    respond(socket, "200 OK", m_source ? m_source() : QByteArray(), kContentType);
}

void MetricsServer::respond(QTcpSocket* socket, const char* status, const QByteArray& body, const char* type) {
    socket->setProperty("answered", true);
    QByteArray response = QByteArray("HTTP/1.1 ") + status + "\r\nContent-Type: " + type +
                          "\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n";
    response += body;
    socket->write(response);
    socket->disconnectFromHost(); // closes once written; the socket then deletes itself
}
