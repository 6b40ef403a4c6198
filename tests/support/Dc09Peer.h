#pragma once

#include "common/Dc09Codec.h"
#include "common/Dc09Envelope.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QList>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUdpSocket>

#include <memory>

#include <optional>
#include <sys/ioctl.h>

// SIA DC-09 devices on loopback for the tests of the receiver: messages built
// as a device builds them, sent over UDP or TCP, and the answers read back and
// taken apart. Needs a test target that links the device library.
namespace Dc09Peer {

enum class Transport { Udp, Tcp };

inline const char* transportName(Transport transport) {
    return transport == Transport::Udp ? "UDP" : "TCP";
}

// A fixed key per length, as an installer types it.
inline QByteArray key(int bytes) {
    QByteArray out;
    for (int i = 0; i < bytes; ++i)
        out.append(char(0x11 * (i % 15 + 1)));
    return out;
}

// A message frame: sequence as four digits, "L0", the account, one data block
// and the timestamp (the current UTC time unless given; none with a null
// time). Encrypted with key when one is given.
inline QByteArray message(const char* id, int sequence, const QByteArray& account, const QByteArray& data,
                          const QByteArray& key = {}, std::optional<QDateTime> at = QDateTime::currentDateTimeUtc()) {
    Dc09::Header header;
    header.id = id;
    header.sequence = QByteArray::number(sequence).rightJustified(Dc09::kSequenceLength, '0');
    header.account = account;
    Dc09::Content content;
    content.data = data;
    if (at && at->isValid())
        content.timestamp = at->toUTC();
    if (key.isEmpty())
        return Dc09::frame(header, content);
    quint32 seed = 7;
    return Dc09::encryptedFrame(header, content, key, [&seed] { return seed = seed * 1103515245u + 12345u; });
}

// An answer taken apart: its identifier ("ACK", "NAK", "DUH"), whether it came
// encrypted, the sequence and account it names, and the receiver's time it
// carries. readable is false for bytes that are no frame, or an encrypted one
// that the key does not open.
struct Answer {
    bool readable = false;
    QByteArray id;
    bool encrypted = false;
    QByteArray sequence;
    QByteArray account;
    std::optional<QDateTime> timestamp;
};

inline Answer readAnswer(const QByteArray& frame, const QByteArray& key = {}) {
    Answer answer;
    QByteArrayView body;
    if (Dc09Envelope::open(frame, body) != Dc09Envelope::Fault::None)
        return answer;
    const std::optional<Dc09::Split> split = Dc09::readHeader(body);
    if (!split)
        return answer;
    answer.id = split->header.id;
    answer.encrypted = split->header.encrypted;
    answer.sequence = split->header.sequence;
    answer.account = split->header.account;
    QByteArray clear = split->tail.toByteArray();
    if (answer.encrypted) {
        const Dc09Envelope::Tail tail = Dc09Envelope::decryptTail(key, split->tail);
        if (!tail.ok())
            return answer;
        clear = tail.clear;
    }
    const std::optional<Dc09::Content> content = Dc09::readContent(clear);
    if (!content)
        return answer;
    answer.timestamp = content->timestamp;
    answer.readable = true;
    return answer;
}

// One device: a UDP socket bound on loopback, or a TCP connection to the receiver.
class Device {
public:
    Device(Transport transport, quint16 port) : m_transport(transport), m_port(port) {
        if (transport == Transport::Udp) {
            m_udp.bind(QHostAddress::LocalHost, 0);
        } else {
            m_tcp.connectToHost(QHostAddress::LocalHost, port);
            m_tcp.waitForConnected(5000);
        }
    }

    bool connected() const { return m_transport == Transport::Udp || m_tcp.state() == QAbstractSocket::ConnectedState; }
    quint16 localPort() const { return m_transport == Transport::Udp ? m_udp.localPort() : m_tcp.localPort(); }

    void send(const QByteArray& bytes) {
        if (m_transport == Transport::Udp) {
            m_udp.writeDatagram(bytes, QHostAddress::LocalHost, m_port);
        } else {
            m_tcp.write(bytes);
            m_tcp.flush();
        }
    }

    // Whether an answer has reached the device's socket (read or not).
    bool answerWaiting() {
        if (m_transport == Transport::Udp)
            return m_udp.hasPendingDatagrams();
        int queued = 0;
        return !m_frames.isEmpty() || m_tcp.bytesAvailable() > 0 ||
               (::ioctl(int(m_tcp.socketDescriptor()), FIONREAD, &queued) == 0 && queued > 0);
    }

    // The answers that came within waitMs, at most count of them (each a whole frame).
    QList<QByteArray> answers(int count, int waitMs = 5000) {
        QElapsedTimer elapsed;
        elapsed.start();
        while (m_frames.size() < count && elapsed.elapsed() < waitMs) {
            if (!poll())
                QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        QList<QByteArray> out = m_frames.mid(0, count);
        m_frames.remove(0, out.size());
        return out;
    }
    // The next answer, or an empty array after the wait.
    QByteArray answer(int waitMs = 5000) {
        const QList<QByteArray> one = answers(1, waitMs);
        return one.isEmpty() ? QByteArray() : one.first();
    }
    // True once the receiver closed the connection (TCP), within waitMs.
    bool closedByReceiver(int waitMs = 5000) {
        QElapsedTimer elapsed;
        elapsed.start();
        while (m_tcp.state() == QAbstractSocket::ConnectedState && elapsed.elapsed() < waitMs) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            m_tcp.waitForReadyRead(5);
            poll();
        }
        return m_tcp.state() != QAbstractSocket::ConnectedState;
    }

private:
    // Takes what has arrived; false when nothing had.
    bool poll() {
        bool any = false;
        if (m_transport == Transport::Udp) {
            while (m_udp.hasPendingDatagrams()) {
                QByteArray datagram(int(m_udp.pendingDatagramSize()), '\0');
                m_udp.readDatagram(datagram.data(), datagram.size());
                m_frames.append(datagram);
                any = true;
            }
            return any;
        }
        const QByteArray bytes = m_tcp.readAll();
        if (bytes.isEmpty())
            return false;
        m_stream += bytes;
        // Answers hold no CR but their last byte.
        for (qsizetype end; (end = m_stream.indexOf(Dc09Envelope::kEnd)) >= 0;) {
            m_frames.append(m_stream.left(end + 1));
            m_stream.remove(0, end + 1);
        }
        return true;
    }

    Transport m_transport;
    quint16 m_port;
    QUdpSocket m_udp;
    QTcpSocket m_tcp;
    QByteArray m_stream;
    QList<QByteArray> m_frames;
};

// A port number free for UDP and TCP alike at the time of the call, for a
// "Dc09.cfg" written before the receiver starts.
inline quint16 freePort() {
    for (int attempt = 0; attempt < 32; ++attempt) {
        QUdpSocket udp;
        if (!udp.bind(QHostAddress::AnyIPv4, 0))
            continue;
        QTcpServer tcp;
        if (tcp.listen(QHostAddress::AnyIPv4, udp.localPort()))
            return udp.localPort();
    }
    return 0;
}

} // namespace Dc09Peer
