#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QTimer>
#include <QUdpSocket>

#include <functional>

class QHostInfo;

// The UDP socket to a DC-09 central station. Sends one frame at a time and
// waits a bounded time for one reply datagram; the station's host name is
// resolved at each send, inside that same wait. Never blocks.
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

    explicit Dc09Link(QObject* parent = nullptr);
    ~Dc09Link() override;

    // Binds the socket to any free local port.
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
    QString m_hostText; // the station host of the last send, and its address when it is one
    QHostAddress m_hostAddress;
    bool m_hostIsAddress = false;
    Done m_done;
};
