#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QTimer>
#include <QUdpSocket>

#include <functional>
#include <memory>

class QTcpSocket;

class QHostInfo;

// The socket to a DC-09 central station: UDP, or one TCP connection kept open
// and opened again when lost. Sends one frame at a time and waits a bounded
// time for one reply (a datagram, or a frame read from the stream however it
// arrives split or joined); the station's host name is resolved at each send,
// inside that same wait. Never blocks.
class Dc09Link : public QObject {
    Q_OBJECT
public:
    using Done = std::function<void(bool acknowledged)>;
    // What a reply means: acknowledged or not, or a frame to send in its place
    // and wait for again (the same event with a corrected time, say).
    struct Judgement {
        bool acknowledged = false;
        QByteArray resend;
    };
    using Judge = std::function<Judgement(QByteArrayView reply)>;

    enum class Transport { Udp, Tcp };
    // The longest reply read from a TCP stream before it is dropped as garbage.
    static constexpr qsizetype kMaxStreamReply = 4096;

    explicit Dc09Link(QObject* parent = nullptr);
    ~Dc09Link() override;

    // Before open().
    void setTransport(Transport transport) { m_transport = transport; }
    Transport transport() const { return m_transport; }

    // Binds the UDP socket to any free local port (TCP connects at the first send).
    bool open();
    quint16 localPort() const { return m_socket.localPort(); }

    // done is called exactly once (possibly before send returns), unless the
    // send is cancelled. It may start the next send.
    // judge reads the replies; without one, a reply identified as "ACK" acknowledges.
    void send(const QByteArray& frame, const QString& host, quint16 port, int replyMs, Done done, Judge judge = {});
    void cancel();

private:
    void sendTo(const QHostAddress& address);
    void onResolved(const QHostInfo& info);
    void onReadyRead();
    void takeReply(QByteArrayView reply);
    void sendOverTcp(const QHostAddress& address);
    void onTcpReadyRead();
    void onTcpLost();
    void onReplyTimeout();
    void discardPending();
    void finish(bool acknowledged);

    QUdpSocket m_socket;
    QTimer m_replyTimer;
    bool m_active = false;
    bool m_sent = false;
    quint64 m_sends = 0; // names the send in progress
    int m_lookupId = -1;
    QByteArray m_frame;
    quint16 m_port = 0;
    int m_replyMs = 0;
    QHostAddress m_sentTo;
    Judge m_judge;
    Transport m_transport = Transport::Udp;
    std::unique_ptr<QTcpSocket, void (*)(QTcpSocket*)> m_tcp{nullptr, nullptr};
    QHostAddress m_tcpPeer;
    quint16 m_tcpPort = 0;
    QByteArray m_stream; // what the TCP connection gave and no reply took yet
    QString m_hostText;  // the station host of the last send, and its address when it is one
    QHostAddress m_hostAddress;
    bool m_hostIsAddress = false;
    Done m_done;
};
