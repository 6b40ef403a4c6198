#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <array>

// What the Multicom protocol keeps of one connection: its state (0 to 6), the
// challenge text and session key of the last handshake, the client it last
// identified (by registry serial, 0 for none: a client removed meanwhile is
// simply not found), and the peer it talks to.
struct MulticomSession {
    static constexpr int kBufferSize = 64;

    int state = 0;
    std::array<char, 4> challenge{};
    quint32 key = 0;
    quint64 clientSerial = 0;
    QByteArray peerAddressHex; // 8 upper-case hex digits, first octet first
    QString peerAddressText;
    quint16 peerPort = 0;
};

// The Multicom session protocol as the sessions see it: every read of 1 to 63
// bytes is one frame, left in the session's 64-byte buffer and handed here on
// the main thread with the session's protocol fields. The protocol never sees
// a socket: it returns its reply (empty for none), which the session sends.
class SessionProtocol {
public:
    virtual ~SessionProtocol() = default;
    virtual QByteArray HandleSessionFrame(MulticomSession& session,
                                          std::array<char, MulticomSession::kBufferSize>& buffer, int count) = 0;
};

// A protocol that answers nothing: the sessions are accepted, kept alive by
// their complete frames and timed out, but no frame is acted upon.
class NoSessionProtocol : public SessionProtocol {
public:
    QByteArray HandleSessionFrame(MulticomSession&, std::array<char, MulticomSession::kBufferSize>&, int) override {
        return {};
    }
};
