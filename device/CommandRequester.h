#pragma once

#include "device/DeviceCommandCodec.h"
#include "device/TaviComCodec.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <optional>

class ClientRegistry;
class DatagramServer;
class PrimaryClient;

// `SendCommand` without blocking anything: the request goes to the client's
// device, and the answer is awaited on the main thread while the event loop
// keeps running (so the datagram server keeps reading and answering devices).
// An attempt succeeds when an answer of the client arrives from the address
// the request went to, with the request's sequence; an answer with another
// sequence, or from elsewhere, counts as none. A failed attempt sends the same
// bytes again until the attempts run out.
//
// One request at a time: a second one is refused while one runs. A client
// removed while its request waits ends the request without an answer.
//
// Threads: the main thread only.
class CommandRequester : public QObject {
    Q_OBJECT
public:
    // The answer and the port it came from; none after the last failed attempt.
    struct Reply {
        DeviceCommand::Answer answer;
        quint16 fromPort = 0;
    };
    using Done = std::function<void(std::optional<Reply>)>;

    CommandRequester(DatagramServer& server, ClientRegistry& registry,
                     int attemptWaitMs = DeviceCommand::kAttemptWaitMs, QObject* parent = nullptr);

    bool busy() const { return m_busy; }
    // False, with nothing sent, while another request runs or when the
    // request cannot be built. done is called once, later, from the main
    // thread's event loop (never from within the reading of a datagram).
    bool SendCommand(PrimaryClient& client, quint8 code, const QByteArray& payload, int attempts, Done done);

signals:
    void busyChanged(bool busy);

private:
    void sendAttempt();
    void onAnswer();
    void finish(std::optional<Reply> reply);

    DatagramServer& m_server;
    ClientRegistry& m_registry;
    QTimer m_wait;
    bool m_busy = false;
    quint64 m_clientSerial = 0;
    quint32 m_deviceId = 0;
    quint16 m_sequence = 0;
    QString m_address;
    quint32 m_addressValue = 0;
    quint16 m_port = 0;
    int m_attemptsLeft = 0;
    TaviCom::DatagramBuffer m_request{};
    int m_requestLength = 0;
    Done m_done;
};
