#include "device/MulticomListeningSocket.h"

MulticomListeningSocket::MulticomListeningSocket(std::function<void(qintptr)> accept, QObject* parent)
    : QTcpServer(parent), m_accept(std::move(accept)) {
    setListenBacklogSize(kBacklog);
}

void MulticomListeningSocket::incomingConnection(qintptr descriptor) {
    m_accept(descriptor);
}
