#pragma once

#include "events/InternalEventRaiser.h"
#include "events/InternalEventTable.h"
#include "reporting/Reporter.h"
#include "reporting/ReportingEvents.h"

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QUdpSocket>

#include <functional>
#include <memory>

// An event request of the account given (also the report account): partition 1, zone 5.
inline ReportRequest event(quint16 account, quint16 code = 1130) {
    ReportRequest r;
    r.account = account;
    r.reportAccount = account;
    r.code = code;
    r.partition = 1;
    r.zone = 5;
    return r;
}

// A DC-09 central station on loopback: a real UDP socket answering on the
// main thread, immediately or after a delay.
class LoopbackStation : public QObject {
public:
    // Standard: decrypts with key, checks the frame's time against its own
    // clock (ours plus clockOffsetS, 20 s either way) and answers ACK or "*ACK",
    // NAK with its time, or DUH for a frame it cannot decrypt.
    enum class Answer { Ack, Nak, None, Garbage, AckBadCrc, AckLong, Standard };

    LoopbackStation();
    quint16 port() const { return m_socket.localPort(); }

    Answer answer = Answer::Ack;
    int delayMs = 0;
    QByteArray key;
    int clockOffsetS = 0;
    QList<QByteArray> frames;
    int repliesSent = 0;

private:
    void onReadyRead();
    QByteArray standardAnswer(const QByteArray& frame) const;

    QUdpSocket m_socket;
};

// A DC-09 central station on loopback over TCP: reads frames from each
// connection however they arrive and answers ACK, as one write, split in two
// writes, after garbage, or not at all (closing the connection instead).
class LoopbackTcpStation : public QObject {
public:
    enum class Reply { Whole, Split, AfterGarbage, CloseInstead };

    LoopbackTcpStation();
    quint16 port() const { return m_server.serverPort(); }

    Reply reply = Reply::Whole;
    // The connection is closed after answering this many frames on it (0: kept open).
    int closeAfter = 0;
    QList<QByteArray> frames;
    int connections = 0;

private:
    void onConnection();

    QTcpServer m_server;
};

// A pseudo-terminal pair: the report sender opens the slave path as its
// serial port; the test plays the receiver on the master side.
class PtyReceiver : public QObject {
public:
    PtyReceiver();
    ~PtyReceiver() override;

    QString slavePath() const { return m_slavePath; }
    // Ends the receiver's side, as if the port had been pulled out.
    void hangUp();

    // Called with the 1-based number of each complete message; true answers 0x06.
    std::function<bool(int)> answerWrite = [](int) { return false; };
    QList<QByteArray> messages;

private:
    void onReadable();

    int m_master = -1;
    int m_slave = -1;
    QString m_slavePath;
    std::unique_ptr<QSocketNotifier> m_notifier;
    QByteArray m_buffer;
};

// Raises internal events the way the events code does: forwards through the
// reporter before returning, then records the result.
class FakeInternalRaiser : public InternalEventRaiser, public ReportingEvents {
public:
    FakeInternalRaiser(Reporter& reporter, const InternalEventTable& table) : m_reporter(reporter), m_table(table) {}

    void raiseInternal(int position, bool restore, InternalForward forward) override;
    void raiseClientInternal(int, bool, InternalForward, ClientRecord*) override {}

    quint16 internalAccount() const override { return m_table.settings.cidAccount; }
    bool manualTestConfigured() const override { return m_table.row(InternalEvent::ManualTest).code != 0; }
    void raiseReportingEvent(int position, bool restore, bool forwardAlways) override {
        raiseInternal(position, restore, forwardAlways ? InternalForward::Always : InternalForward::IfEnabled);
    }

    struct Raised {
        int position;
        bool restore;
        std::optional<ReportResult> result;
    };
    QList<Raised> raised;

private:
    Reporter& m_reporter;
    const InternalEventTable& m_table;
};
