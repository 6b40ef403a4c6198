#include "reporting/Dc09Link.h"

#include "reporting/ReportFormats.h"

#include <QHostInfo>

Dc09Link::Dc09Link(QObject* parent) : QObject(parent) {
    m_replyTimer.setSingleShot(true);
    connect(&m_replyTimer, &QTimer::timeout, this, &Dc09Link::onReplyTimeout);
    connect(&m_socket, &QUdpSocket::readyRead, this, &Dc09Link::onReadyRead);
}

Dc09Link::~Dc09Link() {
    cancel();
}

bool Dc09Link::open() {
    return m_socket.bind(QHostAddress::Any, 0);
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
        if (!m_judge) {
            finish(IsDc09Ack(QByteArrayView(reply, size)));
            return;
        }
        Judgement judgement = m_judge(QByteArrayView(reply, size));
        if (judgement.resend.isEmpty()) {
            finish(judgement.acknowledged);
            return;
        }
        // Sent again in its place, with a wait of its own.
        m_frame = std::move(judgement.resend);
        m_replyTimer.start(m_replyMs);
        sendTo(m_sentTo);
        return;
    }
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
