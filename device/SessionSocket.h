#pragma once

#include "device/SessionProtocol.h"

#include <QByteArray>
#include <QString>
#include <QTcpSocket>

#include <array>
#include <chrono>

class MulticomListener;

// Identity of a Multicom session, unique for the whole run (never reused, so a
// late time-out message cannot name a newer session by mistake).
using SessionId = quint64;

// One accepted Multicom connection. The listener's session list owns it; it
// is destroyed (later, by the event loop) exactly when it is unlinked.
//
// Reading: each data-ready notification reads at most 64 bytes with one read.
// The socket's own buffer is limited to 64 bytes, so each notification sees
// what the system had received, up to 64 bytes, like one receive call; bytes
// beyond it bring a further notification. TCP may join or split what the
// device wrote, and each read is still taken as one frame.
//
// Watchdog: a session that receives no accepted read for the time-out is
// closed through the time-out message. One timer per session on the main
// thread; an accepted read only notes the time, and the timer, when it
// fires early, waits again for the rest of the period.
class SessionSocket : public QTcpSocket {
    Q_OBJECT
public:
    static constexpr int kBufferSize = MulticomSession::kBufferSize;

    SessionSocket(SessionId id, MulticomListener& listener, std::chrono::milliseconds timeout);
    ~SessionSocket() override;

    SessionId id() const { return m_id; }
    // The peer's IPv4 address as 8 upper-case hexadecimal digits, first octet first.
    const QByteArray& peerAddressHex() const { return m_protocol.peerAddressHex; }
    const QString& peerAddressText() const { return m_protocol.peerAddressText; }
    quint16 peerPortNumber() const { return m_protocol.peerPort; }

    // The protocol fields, and the buffer of the last frame read.
    MulticomSession& protocolState() { return m_protocol; }
    const MulticomSession& protocolState() const { return m_protocol; }
    std::array<char, kBufferSize>& buffer() { return m_buffer; }

    // Sends bytes to the device; false when the session has ended.
    bool send(const char* data, int count);
    // Close by the server: closes the connection and unlinks the session.
    void Close();

private:
    friend class MulticomListener;

    // Takes the accepted connection, fills the peer fields and starts the watchdog.
    bool attach(qintptr descriptor);
    // The session left the list: no further notification reaches the listener.
    void end();

    void onReadyRead();
    void onPeerClosed();
    void timerEvent(QTimerEvent* event) override;

    SessionId m_id;
    MulticomListener& m_listener;
    std::chrono::milliseconds m_timeout;
    bool m_ended = false;
    int m_watchdogTimer = 0;
    std::chrono::steady_clock::time_point m_lastActivity;

    MulticomSession m_protocol;
    std::array<char, kBufferSize> m_buffer{};
};
