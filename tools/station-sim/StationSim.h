#pragma once

#include <QByteArray>
#include <QObject>
#include <QSerialPort>
#include <QTextStream>
#include <QUdpSocket>

// A central-station receiver for trying the server: a DC-09 UDP receiver that
// checks and prints every frame and answers as chosen, and a serial receiver
// that prints every message and answers 0x06 as chosen.
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
    };

    explicit StationSim(Options options, QObject* parent = nullptr);

    // Binds the UDP receiver; port 0 picks a free one. Returns the port, 0 on failure.
    quint16 listenUdp(quint16 port);
    bool openSerial(const QString& path);

private:
    void onDatagrams();
    void onSerialData();
    void handleSerialMessage(const QByteArray& message);

    Options m_options;
    QUdpSocket m_udp;
    QSerialPort m_serial;
    QByteArray m_serialBuffer;
    QByteArray m_lastSerialMessage;
    int m_repeats = 0;
    QTextStream m_out;
};
