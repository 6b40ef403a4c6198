#include "reporting/Dc09Link.h"

#include "reporting/ReportFormats.h"

#include "common/Dc09Envelope.h"

#include <QHostInfo>
#include <QTcpSocket>

Dc09Link::Dc09Link(QObject* parent) : QObject(parent) {
    m_replyTimer.setSingleShot(true);
    connect(&m_replyTimer, &QTimer::timeout, this, &Dc09Link::onReplyTimeout);
    connect(&m_socket, &QUdpSocket::readyRead, this, &Dc09Link::onReadyRead);
}

Dc09Link::~Dc09Link() {
    cancel();
}

bool Dc09Link::open() {
    return m_transport == Transport::Tcp || m_socket.bind(QHostAddress::Any, 0);
}

void Dc09Link::send(const QByteArray& frame, const QString& host, quint16 port, int replyMs, Done done, Judge judge) {
    m_frame = frame;
    m_port = port;
    m_replyMs = replyMs;
    m_done = std::move(done);
    m_judge = std::move(judge);
    m_active = true;
    m_sent = false;
    ++m_sends;
    // A late reply to an earlier frame must not pass for this frame's answer.
    discardPending();
    m_replyTimer.start(replyMs);

    // A dotted address is read once; a host name is resolved at every send.
    if (host != m_hostText) {
        m_hostText = host;
        m_hostIsAddress = m_hostAddress.setAddress(host.trimmed());
    }
    if (m_hostIsAddress) {
        sendTo(m_hostAddress);
        return;
    }
    m_lookupId = QHostInfo::lookupHost(host.trimmed(), this, &Dc09Link::onResolved);
}

void Dc09Link::cancel() {
    m_replyTimer.stop();
    if (m_lookupId >= 0)
        QHostInfo::abortHostLookup(m_lookupId);
    m_lookupId = -1;
    m_active = false;
    m_done = nullptr;
}

void Dc09Link::sendTo(const QHostAddress& address) {
    if (m_transport == Transport::Tcp) {
        sendOverTcp(address);
        return;
    }
    if (m_socket.writeDatagram(m_frame, address, m_port) != m_frame.size()) {
        finish(false);
        return;
    }
    m_sentTo = address;
    m_sent = true;
}

void Dc09Link::onResolved(const QHostInfo& info) {
    if (!m_active || info.lookupId() != m_lookupId)
        return;
    m_lookupId = -1;
    const QList<QHostAddress> addresses = info.addresses();
    if (info.error() != QHostInfo::NoError || addresses.isEmpty()) {
        finish(false);
        return;
    }
    QHostAddress chosen = addresses.first();
    for (const QHostAddress& address : addresses) {
        if (address.protocol() == QAbstractSocket::IPv4Protocol) {
            chosen = address;
            break;
        }
    }
    sendTo(chosen);
}

void Dc09Link::onReadyRead() {
    while (m_socket.hasPendingDatagrams()) {
        if (!m_active || !m_sent) {
            discardPending();
            return;
        }
        char reply[ReportFormat::kDc09JudgedReplyReadLength];
        const qint64 size = m_socket.readDatagram(reply, m_judge ? sizeof reply : ReportFormat::kDc09ReplyReadLength);
        // A receive error counts as no acknowledgement.
        if (size < 0) {
            finish(false);
            return;
        }
        takeReply(QByteArrayView(reply, size));
        return;
    }
}

void Dc09Link::takeReply(QByteArrayView reply) {
    if (!m_judge) {
        finish(IsDc09Ack(reply));
        return;
    }
    Judgement judgement = m_judge(reply);
    if (judgement.resend.isEmpty()) {
        finish(judgement.acknowledged);
        return;
    }
    // Sent again in its place, with a wait of its own.
    m_frame = std::move(judgement.resend);
    m_replyTimer.start(m_replyMs);
    sendTo(m_sentTo);
}

void Dc09Link::sendOverTcp(const QHostAddress& address) {
    m_sentTo = address;
    const bool sameStation = m_tcp && m_tcpPeer == address && m_tcpPort == m_port;
    if (!sameStation || m_tcp->state() == QAbstractSocket::UnconnectedState) {
        // Deleted from the event loop: this may run inside one of its handlers.
        m_tcp = {new QTcpSocket, [](QTcpSocket* socket) {
                     socket->disconnect();
                     socket->abort();
                     socket->deleteLater();
                 }};
        m_tcpPeer = address;
        m_tcpPort = m_port;
        m_stream.clear();
        connect(m_tcp.get(), &QTcpSocket::readyRead, this, &Dc09Link::onTcpReadyRead);
        connect(m_tcp.get(), &QTcpSocket::disconnected, this, &Dc09Link::onTcpLost);
        connect(m_tcp.get(), &QTcpSocket::errorOccurred, this, &Dc09Link::onTcpLost);
        m_tcp->connectToHost(address, m_port);
    }
    // Written once connected when the connection is still being made.
    m_tcp->write(m_frame);
    m_sent = true;
}

void Dc09Link::onTcpReadyRead() {
    if (!m_tcp)
        return;
    m_stream += m_tcp->readAll();
    while (!m_stream.isEmpty()) {
        // A reply starts with its LF: anything before one is garbage.
        const qsizetype start = m_stream.indexOf(Dc09Envelope::kStart);
        if (start < 0) {
            m_stream.clear();
            return;
        }
        m_stream.remove(0, start);
        if (m_stream.size() < Dc09Envelope::kHeaderLength)
            return;
        const std::optional<qsizetype> length =
            Dc09Envelope::frameLength(QByteArrayView(m_stream).first(Dc09Envelope::kHeaderLength));
        if (!length || *length > kMaxStreamReply) {
            m_stream.remove(0, 1); // not a frame's start: look for the next
            continue;
        }
        if (m_stream.size() < *length)
            return;
        const QByteArray reply = m_stream.left(*length);
        m_stream.remove(0, *length);
        // A reply nobody waits for (late, or a second one) is dropped.
        if (m_active && m_sent)
            takeReply(reply);
    }
}

void Dc09Link::onTcpLost() {
    // The connection is opened again at the next send; a forwarding on the line gets no answer.
    if (m_tcp && m_tcp->state() == QAbstractSocket::ConnectedState)
        return; // an error that left it connected
    m_tcp.reset();
    m_stream.clear();
    if (m_active && m_sent)
        finish(false);
}

void Dc09Link::onReplyTimeout() {
    if (!m_active)
        return;
    // The reply may be waiting unread while the main thread was busy.
    if (m_sent && m_socket.hasPendingDatagrams()) {
        const quint64 send = m_sends;
        onReadyRead();
        if (!m_active || m_sends != send)
            return; // answered (and maybe the next send started)
    }
    if (m_lookupId >= 0)
        QHostInfo::abortHostLookup(m_lookupId);
    m_lookupId = -1;
    finish(false);
}

void Dc09Link::discardPending() {
    m_stream.clear();
    while (m_socket.hasPendingDatagrams())
        m_socket.readDatagram(nullptr, 0);
}

void Dc09Link::finish(bool acknowledged) {
    m_replyTimer.stop();
    m_active = false;
    m_sent = false;
    Done done = std::move(m_done);
    m_done = nullptr;
    m_judge = nullptr;
    if (done)
        done(acknowledged);
}
