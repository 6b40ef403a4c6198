#include "tests/reporting/ReportTestPeers.h"

#include "common/Dc09Codec.h"
#include "common/Dc09Envelope.h"

#include "common/Crc16.h"
#include "reporting/Dc09Frame.h"

#include <QNetworkDatagram>
#include <QTcpSocket>
#include <QTimer>

#include <memory>

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

LoopbackStation::LoopbackStation() {
    m_socket.bind(QHostAddress::LocalHost, 0);
    connect(&m_socket, &QUdpSocket::readyRead, this, &LoopbackStation::onReadyRead);
}

void LoopbackStation::onReadyRead() {
    while (m_socket.hasPendingDatagrams()) {
        const QNetworkDatagram datagram = m_socket.receiveDatagram();
        frames.append(datagram.data());
        Dc09Frame::Parsed parsed;
        Dc09Frame::check(datagram.data(), parsed);
        QByteArray reply;
        switch (answer) {
        case Answer::None:
            continue;
        case Answer::Ack:
            reply = Dc09Frame::reply("ACK", parsed.sequence, parsed.account);
            break;
        case Answer::Nak:
            reply = Dc09Frame::reply("NAK", parsed.sequence, parsed.account);
            break;
        case Answer::Garbage:
            reply = QByteArray("\x01\x02garbage\"\"ACK", 15);
            break;
        case Answer::AckBadCrc:
            reply = Dc09Frame::reply("ACK", parsed.sequence, parsed.account);
            reply[1] = reply[1] == '0' ? '1' : '0';
            break;
        case Answer::Standard:
            reply = standardAnswer(datagram.data());
            break;
        case Answer::AckLong:
            reply = Dc09Frame::reply("ACK", parsed.sequence, parsed.account);
            reply.insert(reply.size() - 1, QByteArray(200, 'x'));
            break;
        }
        const QHostAddress to = datagram.senderAddress();
        const quint16 toPort = quint16(datagram.senderPort());
        const auto send = [this, reply, to, toPort] {
            m_socket.writeDatagram(reply, to, toPort);
            ++repliesSent;
        };
        if (delayMs > 0)
            QTimer::singleShot(delayMs, this, send);
        else
            send();
    }
}

QByteArray LoopbackStation::standardAnswer(const QByteArray& frame) const {
    QByteArrayView body;
    if (Dc09Envelope::open(frame, body) != Dc09Envelope::Fault::None)
        return {};
    const std::optional<Dc09::Split> split = Dc09::readHeader(body);
    if (!split)
        return {};
    std::optional<Dc09::Content> content;
    if (split->header.encrypted) {
        const Dc09Envelope::Tail tail = Dc09Envelope::decryptTail(key, split->tail);
        if (key.isEmpty() || !tail.ok())
            return Dc09::duh(split->header);
        content = Dc09::readContent(tail.clear);
    } else {
        content = Dc09::readContent(split->tail);
    }
    if (!content)
        return Dc09::duh(split->header);
    const QDateTime now = QDateTime::currentDateTimeUtc().addSecs(clockOffsetS);
    if (content->timestamp && std::abs(content->timestamp->secsTo(now)) > 20)
        return Dc09::nak(now);
    if (!split->header.encrypted)
        return Dc09::ack(split->header);
    return Dc09::encryptedAck(split->header, key, now, Dc09Envelope::systemRandom());
}

LoopbackTcpStation::LoopbackTcpStation() {
    m_server.listen(QHostAddress::LocalHost, 0);
    connect(&m_server, &QTcpServer::newConnection, this, &LoopbackTcpStation::onConnection);
}

void LoopbackTcpStation::onConnection() {
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        ++connections;
        auto buffer = std::make_shared<QByteArray>();
        auto answered = std::make_shared<int>(0);
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket, buffer, answered] {
            *buffer += socket->readAll();
            while (buffer->size() >= Dc09Envelope::kHeaderLength) {
                const std::optional<qsizetype> length =
                    Dc09Envelope::frameLength(QByteArrayView(*buffer).first(Dc09Envelope::kHeaderLength));
                if (!length || buffer->size() < *length)
                    return;
                const QByteArray frame = buffer->left(*length);
                buffer->remove(0, *length);
                frames.append(frame);
                QByteArrayView body;
                Dc09Envelope::open(frame, body);
                const std::optional<Dc09::Split> split = Dc09::readHeader(body);
                const QByteArray ack = split ? Dc09::ack(split->header) : QByteArray();
                switch (reply) {
                case Reply::Whole:
                    socket->write(ack);
                    break;
                case Reply::Split:
                    socket->write(ack.left(5));
                    socket->flush();
                    QTimer::singleShot(30, socket, [socket, rest = ack.mid(5)] { socket->write(rest); });
                    break;
                case Reply::AfterGarbage:
                    socket->write("garbage\r\n\x01" + ack);
                    break;
                case Reply::CloseInstead:
                    socket->disconnectFromHost();
                    return;
                }
                if (closeAfter > 0 && ++*answered >= closeAfter) {
                    socket->flush();
                    QTimer::singleShot(50, socket, [socket] { socket->disconnectFromHost(); });
                    return;
                }
            }
        });
    }
}

PtyReceiver::PtyReceiver() {
    char name[256] = {};
    if (::openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0)
        return;
    termios raw{};
    ::tcgetattr(m_slave, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(m_slave, TCSANOW, &raw);
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    m_slavePath = QString::fromLocal8Bit(name);
    m_notifier = std::make_unique<QSocketNotifier>(m_master, QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &PtyReceiver::onReadable);
}

PtyReceiver::~PtyReceiver() {
    hangUp();
    if (m_slave >= 0)
        ::close(m_slave);
}

void PtyReceiver::hangUp() {
    m_notifier.reset();
    if (m_master >= 0)
        ::close(m_master);
    m_master = -1;
    // The test's own slave descriptor would keep the line up.
    if (m_slave >= 0)
        ::close(m_slave);
    m_slave = -1;
}

void PtyReceiver::onReadable() {
    char chunk[256];
    const ssize_t size = ::read(m_master, chunk, sizeof chunk);
    if (size <= 0) {
        m_notifier->setEnabled(false);
        return;
    }
    m_buffer.append(chunk, size);
    qsizetype end;
    while ((end = m_buffer.indexOf('\x14')) >= 0) {
        messages.append(m_buffer.left(end + 1));
        m_buffer.remove(0, end + 1);
        if (answerWrite(int(messages.size()))) {
            const char ack = 0x06;
            [[maybe_unused]] const ssize_t written = ::write(m_master, &ack, 1);
        }
    }
}

void FakeInternalRaiser::raiseInternal(int position, bool restore, InternalForward forward) {
    raised.append({position, restore, std::nullopt});
    const qsizetype index = raised.size() - 1;
    const InternalEventRow& row = m_table.row(position);
    if (forward == InternalForward::IfEnabled && !row.enabled) {
        raised[index].result = ReportResult::NotSent;
        return;
    }
    ReportRequest request;
    request.account = m_table.settings.cidAccount;
    request.reportAccount = m_table.settings.dc09Account;
    request.code = quint16(row.code + (restore ? InternalEvent::kRestoreBase : InternalEvent::kNewBase));
    request.partition = m_table.settings.partition;
    request.zone = m_table.settings.zone;
    m_reporter.ReportEvent(request, [this, index](ReportResult result) { raised[index].result = result; });
}
