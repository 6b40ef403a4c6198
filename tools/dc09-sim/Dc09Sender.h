#pragma once

#include "common/Dc09Codec.h"
#include "device/Dc09StreamSplitter.h"

#include <QByteArray>
#include <QDateTime>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QTextStream>
#include <QTimer>

#include <memory>
#include <optional>
#include <vector>

class QAbstractSocket;

// What dc09-sim sends: one kind of message, from one or more devices (each
// with its own account and socket), a given number of frames in all with at
// most inFlight of them unanswered at a time.
struct Dc09SenderOptions {
    enum class Transport { Udp, Tcp };
    enum class Message { AdmCid, SiaDcs, Null };

    QHostAddress host;
    quint16 port = 0;
    Transport transport = Transport::Udp;
    Message message = Message::AdmCid;
    QByteArray key; // AES key (16, 24 or 32 bytes); empty: frames in clear

    // The first device's account as sent after "#"; the others count up from it
    // (in hexadecimal, as many digits).
    QByteArray account = "1234";
    // The data block's account when it differs from the frame's (a dependent account).
    QByteArray dataAccount;
    std::optional<QByteArray> receiver; // "R" field, hexadecimal digits
    QByteArray line = "0";              // "L" field, hexadecimal digits
    int firstSequence = 1;

    // ADM-CID: qualifier * 1000 + event; SIA-DCS: the two-letter code.
    int code = 1130;
    QByteArray siaCode = "BA";
    int partition = 1;
    int zone = 1;

    qint64 clockOffsetSeconds = 0; // added to the frame's timestamp
    bool timestamp = true;         // plain frames may go without one; encrypted ones always carry it
    bool badCrc = false;           // a wrong CRC, for trying the receiver's silence

    int count = 1;
    int devices = 1;
    int inFlight = 1;
    int intervalMs = 0; // pause before each new frame
    int timeoutMs = 2000;
    bool quiet = false; // no line per frame: the totals only
};

// Sends the frames and prints each answer decoded: ACK, the encrypted *ACK
// (decrypted, with the receiver's time), NAK with the receiver's time, DUH,
// or no answer within the time-out. finished() gives the process's exit code:
// 0 when every frame was acknowledged.
class Dc09Sender : public QObject {
    Q_OBJECT
public:
    Dc09Sender(Dc09SenderOptions options, QTextStream& out, QObject* parent = nullptr);
    ~Dc09Sender() override;

    void start();

    struct Totals {
        int sent = 0;
        int acks = 0;
        int naks = 0;
        int duhs = 0;
        int unanswered = 0;
        int undecodable = 0; // answers that could not be read or matched to a frame
    };
    const Totals& totals() const { return m_totals; }

signals:
    void finished(int exitCode);

private:
    struct Pending {
        QByteArray sequence;
        QDateTime stamped; // the frame's timestamp (the device's clock)
        qint64 deadlineMs = 0;
    };
    struct Device {
        QByteArray account;
        int nextSequence = 1;
        std::unique_ptr<QAbstractSocket> socket;
        bool connected = false;
        Dc09StreamSplitter splitter; // TCP answers
        QList<Pending> pending;      // in the order sent
        QList<QByteArray> waiting;   // TCP frames built before the connection was up
    };

    void pump();
    void sendNext();
    QByteArray buildFrame(const Device& device, const QByteArray& sequence, const QDateTime& stamped);
    void readAnswers(Device& device);
    void answer(Device& device, const QByteArray& frame);
    void expire();
    void finishIfDone();
    QString frameName(const Device& device, const QByteArray& sequence) const;
    int inFlight() const;

    Dc09SenderOptions m_options;
    Dc09Envelope::RandomSource m_random = Dc09Envelope::systemRandom();
    QTextStream& m_out;
    std::vector<std::unique_ptr<Device>> m_devices;
    QTimer m_pump;
    QElapsedTimer m_clock;
    qint64 m_lastSendMs = -1;
    int m_nextDevice = 0;
    Totals m_totals;
    bool m_finished = false;
};
