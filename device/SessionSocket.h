#pragma once

#include "device/SessionPoller.h"
#include "device/SessionProtocol.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <chrono>
#include <list>

// One accepted Multicom connection: a plain non-blocking socket, the peer it
// talks to, the protocol's fields and the buffer of the last frame read. The
// listener owns it and does everything with it; it is destroyed exactly when
// the listener unlinks it, which closes the connection.
class SessionSocket {
public:
    static constexpr int kBufferSize = MulticomSession::kBufferSize;

    // Takes the accepted descriptor (made non-blocking here) and reads its peer.
    SessionSocket(SessionId id, int descriptor);
    ~SessionSocket();
    SessionSocket(const SessionSocket&) = delete;
    SessionSocket& operator=(const SessionSocket&) = delete;

    SessionId id() const { return m_id; }
    int descriptor() const { return m_descriptor; }
    // The peer's IPv4 address as 8 upper-case hexadecimal digits, first octet first.
    const QByteArray& peerAddressHex() const { return m_protocol.peerAddressHex; }
    const QString& peerAddressText() const { return m_protocol.peerAddressText; }
    quint16 peerPortNumber() const { return m_protocol.peerPort; }

    // The protocol fields, and the buffer of the last frame read.
    MulticomSession& protocolState() { return m_protocol; }
    const MulticomSession& protocolState() const { return m_protocol; }
    std::array<char, kBufferSize>& buffer() { return m_buffer; }

    // One receive of at most 64 bytes into the buffer: the count, 0 when the
    // peer closed, -1 when nothing was there or the connection failed
    // (failed() tells which).
    int receive();
    bool failed() const { return m_failed; }
    // Sends bytes to the device without waiting; false when they did not all go.
    bool send(const char* data, int count);

    // Watchdog bookkeeping of the listener: the time of the last complete
    // frame (of the accept before the first) and the session's place in the
    // order of silence.
    std::chrono::steady_clock::time_point lastActivity;
    std::list<SessionId>::iterator watchPosition;
    bool watched = false;

private:
    SessionId m_id;
    int m_descriptor;
    bool m_failed = false;
    MulticomSession m_protocol;
    std::array<char, kBufferSize> m_buffer{};
};
