#pragma once

#include "device/TaviComCodec.h"

#include <QObject>
#include <QString>

#include <span>

class QUdpSocket;
class CallbackStarter;
class ClientRecord;
class ClientRegistry;
class ContactRecorder;
class EventRaiser;
class LinkStatusWatch;
class PrimaryClient;
class Reporter;
class UserInterface;
struct ReportSettings;
struct ServerSettings;

// The server's UDP endpoint for the TaviCom devices (the datagram socket).
// It binds the configured "UDP" port on every local IPv4 address, reads every
// datagram on the main thread, acknowledges each device report at once and
// only then records the contact, raises or forwards the event. Answers of
// registered clients to command requests are copied into the answer buffer
// and announced by answerReceived().
//
// Threads: everything here runs on the main thread; the buffers are single
// instances read by the command requests through this object.
class DatagramServer : public QObject {
    Q_OBJECT
public:
    // Message shown after the system's error text when the port cannot be bound.
    static constexpr int kMsgServerDisconnected = 121;
    // Datagrams handled in one go before the event loop gets its turn.
    static constexpr int kMaxDatagramsPerRound = 64;

    DatagramServer(const ServerSettings& serverSettings, const ReportSettings& reportSettings, ClientRegistry& registry,
                   ContactRecorder& contacts, EventRaiser& events, Reporter& reporter, CallbackStarter& callbacks,
                   UserInterface& ui, QObject* parent = nullptr);
    ~DatagramServer() override;

    // Started by a successful StartServer (once; a restart leaves it running).
    void setLinkStatusWatch(LinkStatusWatch* watch) { m_linkWatch = watch; }

    // Binds the configured UDP port on every local IPv4 address. On failure the
    // operator sees the socket's error text and message 121, and the status
    // field shows "Offline". Closes a socket still open first.
    bool StartServer();
    // Closes the socket (shutdown, or a port change before StartServer again).
    void stopServer();
    bool isRunning() const { return m_socket != nullptr; }
    quint16 boundPort() const;

    // Sends length bytes of a sealed datagram to address:port; false when the
    // server is not running or the send failed.
    bool sendDatagram(std::span<const quint8> datagram, const QString& address, quint16 port);

    // Sender and length of the last datagram read.
    const QString& senderAddress() const { return m_senderAddress; }
    quint16 senderPort() const { return m_senderPort; }
    int receivedLength() const { return m_receivedLength; }

    // The last answer of a registered client (for the command requests).
    const TaviCom::DatagramBuffer& answerBuffer() const { return m_answer; }
    int answerLength() const { return m_answerLength; }
    // The last request of an unregistered sender.
    const TaviCom::DatagramBuffer& requestCopy() const { return m_requestCopy; }

signals:
    // An answer of a registered client was copied into the answer buffer.
    void answerReceived();

private slots:
    void ReceiveDatagram();

private:
    void handleDatagram();
    void handleDeviceReport(PrimaryClient* client, const TaviCom::Header& header, const TaviCom::DeviceReport& report);
    void raiseUnregisteredEvent(const TaviCom::Header& header, const TaviCom::DeviceReport& report);
    void handleCallbackRequest(const TaviCom::Header& header);
    void setInternetStatus(bool online);

    const ServerSettings& m_serverSettings;
    const ReportSettings& m_reportSettings;
    ClientRegistry& m_registry;
    ContactRecorder& m_contacts;
    EventRaiser& m_events;
    Reporter& m_reporter;
    CallbackStarter& m_callbacks;
    UserInterface& m_ui;
    LinkStatusWatch* m_linkWatch = nullptr;

    QUdpSocket* m_socket = nullptr;
    QString m_senderAddress;
    quint16 m_senderPort = 0;
    int m_receivedLength = 0;

    TaviCom::DatagramBuffer m_receive{};
    TaviCom::DatagramBuffer m_answer{};
    int m_answerLength = 0;
    TaviCom::DatagramBuffer m_requestCopy{};
    TaviCom::DatagramBuffer m_reportAnswer{};
    TaviCom::DatagramBuffer m_requestAnswer{};
};
