#pragma once

#include <QTcpServer>

#include <functional>

// The listening TCP socket of the Multicom protocol. Every accepted
// connection's descriptor goes to the accept handler, which makes it a session.
class MulticomListeningSocket : public QTcpServer {
    Q_OBJECT
public:
    static constexpr int kBacklog = 5;

    explicit MulticomListeningSocket(std::function<void(qintptr)> accept, QObject* parent = nullptr);

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    std::function<void(qintptr)> m_accept;
};
