#pragma once

#include "common/Dc09Codec.h"
#include "common/Dc09Envelope.h"
#include "device/Dc09Content.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>

#include <deque>

class SiaCodeTable;
struct Dc09Settings;

// What the receiver makes of one DC-09 frame: the bytes to answer with (sent
// before anything else is done with the message) and what the message asks
// for once answered.
struct Dc09Outcome {
    enum class Answer { None, Ack, Nak, Duh };
    enum class Reason {
        Taken,          // ACK; events to raise
        Supervision,    // ACK; a NULL message: the contact alone
        Duplicate,      // ACK again; the same message was taken a moment ago, nothing to raise
        BadEnvelope,    // silence: LF, CR, length or CRC wrong
        BadHeader,      // silence: no identifier, sequence and account to answer
        NotAMessage,    // silence: an answer's identifier (ACK, NAK, DUH)
        UnknownId,      // DUH
        AccountTooLong, // DUH: more than four hexadecimal digits, no client can have it
        NoKey,          // DUH: encrypted, and no key for the account
        PlainWithKey,   // DUH: in clear from an account that has a key
        Undecryptable,  // DUH: the encrypted part does not decrypt to padding, "|" and content
        BadContent,     // DUH: data, extended blocks or timestamp do not follow their layout
        NoTimestamp,    // DUH: encrypted without its timestamp
        OutsideWindow,  // NAK with the receiver's time
    };

    Answer answer = Answer::None;
    Reason reason = Reason::BadEnvelope;
    QByteArray reply; // empty with Answer::None
    // Where the frame came from, as given.
    QString address;
    quint16 port = 0;
    // From BadHeader on: the message's header.
    Dc09::Header header;
    // With Taken, Supervision and Duplicate: the frame's account, the primary
    // client that reports; and whether the message came encrypted.
    quint16 reportAccount = 0;
    bool encrypted = false;
    // With Taken: the events in the message's order, each with the account of
    // its data block (a dependent account of reportAccount when they differ).
    QList<Dc09Content::Event> events;

    bool contact() const { return reason == Reason::Taken || reason == Reason::Supervision; }
};

const char* reasonText(Dc09Outcome::Reason reason);

// The messages acknowledged in the last minute, by account and sequence, so
// that a device that missed an acknowledgement and sends again is answered
// again without its events being raised twice. Bounded: beyond kMaxRemembered
// messages the oldest is forgotten first.
class Dc09RecentMessages {
public:
    static constexpr qint64 kWindowMs = 60 * 1000;
    static constexpr qsizetype kMaxRemembered = 1 << 16;

    // True when the same key came with the same content less than a minute
    // before nowMs; otherwise remembers them and gives false.
    bool repeated(const QByteArray& key, const QByteArray& content, qint64 nowMs);
    qsizetype size() const { return m_byKey.size(); }

private:
    struct Seen {
        QByteArray content;
        qint64 atMs = 0;
    };
    void forgetBefore(qint64 oldestMs);

    QHash<QByteArray, Seen> m_byKey;
    std::deque<std::pair<qint64, QByteArray>> m_order; // (time, key), oldest first; may hold stale pairs
};

// SIA DC-09 reception without a socket: a frame (a UDP datagram, or one frame
// that Dc09StreamSplitter cut from a TCP stream), where it came from and the
// receiver's UTC time in; the answer and what to do with the message out.
// Answers are built as the standard asks: ACK for a message taken (encrypted
// with the message's key, and with the receiver's time, when the message came
// encrypted), NAK with the receiver's time for a timestamp outside the window,
// DUH for a frame that reads but cannot be taken, and nothing for a frame
// whose envelope or header cannot be read.
//
// It reads settings and the SIA table at every frame, so changes to them act
// at once. Threads: the thread that owns the sockets (the main thread).
class Dc09Receiver {
public:
    Dc09Receiver(const Dc09Settings& settings, const SiaCodeTable& siaCodes,
                 Dc09Envelope::RandomSource random = Dc09Envelope::systemRandom());

    Dc09Outcome take(QByteArrayView frame, const QString& address, quint16 port, const QDateTime& nowUtc);

private:
    const Dc09Settings& m_settings;
    const SiaCodeTable& m_siaCodes;
    Dc09Envelope::RandomSource m_random;
    Dc09RecentMessages m_recent;
};
