#pragma once

#include <QByteArray>
#include <QObject>
#include <QSerialPort>
#include <QTextStream>
#include <QTimer>
#include <QUdpSocket>

// A central-station receiver for trying the server: a DC-09 UDP receiver that
// checks and prints every frame and answers as chosen, and a serial receiver
// that prints every message and answers 0x06 as chosen. Quiet, it prints no
// frame but, once a second, the totals of the UDP receiver:
// "totals: frames F, ACK A, NAK N" (for load runs, where printing every frame
// would take more of the machine than the receiver under test).
class StationSim : public QObject {
    Q_OBJECT
public:
    enum class UdpAnswer { Ack, Nak, None, Late };
    enum class SerialAnswer { Ack, None, Nth };

    struct Options {
        UdpAnswer udpAnswer = UdpAnswer::Ack;
        int lateMs = 1200;
        SerialAnswer serialAnswer = SerialAnswer::Ack;
        int nth = 2; // with SerialAnswer::Nth: answer from this attempt of a message on
        bool quiet = false;
    };

    explicit StationSim(Options options, QObject* parent = nullptr);

    // Binds the UDP receiver; port 0 picks a free one. Returns the port, 0 on failure.
    quint16 listenUdp(quint16 port);
    bool openSerial(const QString& path);

private:
    void onDatagrams();
    void onSerialData();
    void handleSerialMessage(const QByteArray& message);
    void printTotals();

    Options m_options;
    QUdpSocket m_udp;
    QSerialPort m_serial;
    QByteArray m_serialBuffer;
    QByteArray m_lastSerialMessage;
    int m_repeats = 0;
    QTextStream m_out;
    QTimer m_totalsTimer;
    quint64 m_frames = 0;
    quint64 m_acks = 0;
    quint64 m_naks = 0;
};
