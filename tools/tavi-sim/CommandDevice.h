#pragma once

#include "device/TaviComCodec.h"

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QUdpSocket>

#include <array>
#include <optional>

// How a simulated device answers the server's command requests.
struct CommandDeviceOptions {
    quint32 deviceId = 0;
    quint8 model = 6; // Tavi-UG: telephone line and cellular modem
    quint8 revisionMajor = 1;
    quint8 revisionMinor = 2;
    std::array<quint8, 4> firmware{{4, 3, 2, 1}}; // byte 4 first: shown "1.2.3.4"
    QByteArray password = "4321";
    std::array<quint8, 6> mac{{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}};
    bool in1 = true;
    bool in2 = false;
    quint8 rssi = 23;
    // Only the Nth copy of a request (same sequence) is answered; 0 never answers.
    int answerFromAttempt = 1;
    // Refuses every request with this code (answer type 5): 7 busy, 4 not implemented, ...
    std::optional<quint8> refuseCode;
    // Names another PGM than the one asked for in a PGM answer.
    bool wrongPgmIndex = false;
    // Copies of a request before this one get an answer with another sequence only.
    int staleUntilAttempt = 0;
};

// A TaviCom device on a UDP socket that answers the server's command
// requests as a device would: callback, details (with the chosen model),
// PGM toggles (their states kept), line switch and session close.
class CommandDevice : public QObject {
    Q_OBJECT
public:
    explicit CommandDevice(CommandDeviceOptions options, QObject* parent = nullptr);

    bool bind(const QHostAddress& address = QHostAddress::LocalHost, quint16 port = 0);
    quint16 port() const { return m_socket.localPort(); }
    // Sends a keep-alive so that the server records this device's address and port.
    void announce(const QHostAddress& server, quint16 serverPort, quint16 sequence = 1);

    struct Request {
        quint8 code = 0;
        quint16 sequence = 0;
        QByteArray payload;
    };
    // Every request received, copies of a repeated one included.
    const QList<Request>& requests() const { return m_requests; }
    bool pgm(int index) const { return m_pgm[size_t(index)]; }

signals:
    void requestReceived(const CommandDevice::Request& request);

private:
    void readRequests();
    void answer(const Request& request, const QHostAddress& to, quint16 toPort);
    void send(quint8 type, quint8 code, quint16 sequence, const QByteArray& payload, const QHostAddress& to,
              quint16 toPort);

    CommandDeviceOptions m_options;
    QUdpSocket m_socket;
    QList<Request> m_requests;
    QHash<quint16, int> m_copies; // copies seen per sequence
    std::array<bool, 4> m_pgm{};
};
