#include "device/SessionSocket.h"

#include "common/HexText.h"
#include "device/MulticomListener.h"

#include <QHostAddress>
#include <QTimerEvent>

SessionSocket::SessionSocket(SessionId id, MulticomListener& listener, std::chrono::milliseconds timeout)
    : QTcpSocket(&listener), m_id(id), m_listener(listener), m_timeout(timeout) {
    setReadBufferSize(kBufferSize);
    connect(this, &QIODevice::readyRead, this, &SessionSocket::onReadyRead);
    connect(this, &QAbstractSocket::disconnected, this, &SessionSocket::onPeerClosed);
    connect(this, &QAbstractSocket::errorOccurred, this, [this] {
        if (state() == QAbstractSocket::UnconnectedState)
            onPeerClosed();
    });
}

SessionSocket::~SessionSocket() {
    m_ended = true; // closing the connection here notifies nobody
    abort();
}

bool SessionSocket::attach(qintptr descriptor) {
    if (!setSocketDescriptor(descriptor))
        return false;
    const quint32 address = peerAddress().toIPv4Address();
    m_protocol.peerAddressHex = HexText::hex8(address).toLatin1();
    m_protocol.peerAddressText = QStringLiteral("%1.%2.%3.%4")
                                     .arg(address >> 24)
                                     .arg((address >> 16) & 0xFF)
                                     .arg((address >> 8) & 0xFF)
                                     .arg(address & 0xFF);
    m_protocol.peerPort = peerPort();
    m_lastActivity = std::chrono::steady_clock::now();
    m_watchdogTimer = startTimer(m_timeout);
    return true;
}

void SessionSocket::end() {
    m_ended = true;
    if (m_watchdogTimer != 0) {
        killTimer(m_watchdogTimer);
        m_watchdogTimer = 0;
    }
}

bool SessionSocket::send(const char* data, int count) {
    if (m_ended || write(data, count) != count)
        return false;
    flush(); // the reply leaves at once, not at the next turn of the event loop
    return true;
}

void SessionSocket::Close() {
    m_listener.closeSession(m_id);
}

void SessionSocket::onReadyRead() {
    if (m_ended)
        return;
    const qint64 count = read(m_buffer.data(), kBufferSize);
    // A count of 0, an error or a full 64 bytes is dropped without a reply.
    if (count < 1 || count >= kBufferSize)
        return;
    m_lastActivity = std::chrono::steady_clock::now();
    m_listener.handFrame(*this, static_cast<int>(count));
}

void SessionSocket::onPeerClosed() {
    if (!m_ended)
        m_listener.peerClosed(m_id);
}

void SessionSocket::timerEvent(QTimerEvent* event) {
    if (event->timerId() != m_watchdogTimer) {
        QTcpSocket::timerEvent(event);
        return;
    }
    killTimer(m_watchdogTimer);
    m_watchdogTimer = 0;
    if (m_ended)
        return;
    using namespace std::chrono;
    const auto silent = duration_cast<milliseconds>(steady_clock::now() - m_lastActivity);
    if (silent < m_timeout) {
        m_watchdogTimer = startTimer(m_timeout - silent); // activity came: wait for the rest
        return;
    }
    m_listener.postSessionTimeout(m_id);
}
