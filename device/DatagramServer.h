#pragma once

#include "device/DatagramSocket.h"
#include "device/TaviComCodec.h"

#include <QHash>
#include <QObject>
#include <QString>
#include <QTimer>

#include <array>
#include <optional>
#include <span>

class CallbackStarter;
class ClientRegistry;
class DeviceReportIntake;
class EventJournal;
class LinkStatusWatch;
class PrimaryClient;
class UserInterface;
struct DeviceReportIn;
struct ServerSettings;

// The server's UDP endpoint for the TaviCom devices (the datagram socket).
// It binds the configured "UDP" port on every local IPv4 address, reads every
// datagram on the main thread, acknowledges each device report at once and
// only then hands it to the intake (contact, event, forwarding). Answers of
// registered clients to command requests are copied into the answer buffer
// and announced by answerReceived().
//
// Reading: each time the socket is readable, one round takes at most
// kMaxDatagramsPerRound datagrams in batches; the rest wait for the next
// round, which the socket's notifier starts from the event loop, so a flood
// cannot keep the timers of forwarding and supervision from running. Within a
// batch every acknowledgement is built and sent (in one system call) before
// any report of the batch is processed further.
//
// Supervision: once a second the server checks that it keeps reading. A
// socket that held queued datagrams at two checks in a row with no read in
// between is wedged: its notifier is replaced, a round is read at once, and
// the operator is told (status bar and standard error).
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
    static constexpr int kReceptionCheckIntervalMs = 1000;

    DatagramServer(const ServerSettings& serverSettings, ClientRegistry& registry, DeviceReportIntake& intake,
                   CallbackStarter& callbacks, UserInterface& ui,
                   int receptionCheckIntervalMs = kReceptionCheckIntervalMs, QObject* parent = nullptr);
    ~DatagramServer() override;

    // Started by a successful StartServer (once; a restart leaves it running).
    void setLinkStatusWatch(LinkStatusWatch* watch) { m_linkWatch = watch; }
    // Where the events of a reading round are held before their acknowledgements leave.
    void setJournal(EventJournal* journal) { m_journal = journal; }

    // Binds the configured UDP port on every local IPv4 address. On failure the
    // operator sees the socket's error text and message 121, and the status
    // field shows "Offline". Closes a socket still open first.
    bool StartServer();
    // Closes the socket (shutdown, or a port change before StartServer again).
    void stopServer();
    bool isRunning() const { return m_socket.isOpen(); }
    quint16 boundPort() const { return m_socket.localPort(); }

    // Sends a sealed datagram to address:port; false when the server is not
    // running, the address is not IPv4 or the send failed.
    bool sendDatagram(std::span<const quint8> datagram, const QString& address, quint16 port);

    // The last answer of a registered client (for the command requests).
    const TaviCom::DatagramBuffer& answerBuffer() const { return m_answer; }
    int answerLength() const { return m_answerLength; }
    // Where the last answer came from (IPv4 address in host byte order, port).
    quint32 answerAddress() const { return m_answerAddress; }
    quint16 answerPort() const { return m_answerPort; }
    // The last request of an unregistered sender.
    const TaviCom::DatagramBuffer& requestCopy() const { return m_requestCopy; }

    // The receive path without a socket: takes datagrams as if they had been
    // read from the socket, in batches as the socket gives them. The answers go
    // to the sender set by setSender (the socket unless one is set).
    void handleDatagrams(std::span<ReceivedDatagram> datagrams);
    void setSender(DatagramSender& sender) { m_sender = &sender; }

    // One supervision check (the once-a-second timer's step).
    void checkReception();

    // Figures of the datagram path since the server was created.
    quint64 datagramsRead() const { return m_datagramsRead; }
    // Answers sent to device reports (acknowledgements and refusals).
    quint64 reportsAnswered() const { return m_reportsAnswered; }
    // Datagrams dropped because they were incomplete or failed their check.
    quint64 invalidDatagrams() const { return m_invalidDatagrams; }
    quint64 kernelDrops() const {
        return m_kernelDropsBefore +
               (m_socket.isOpen() ? m_socket.kernelDrops() : 0); // a closed socket's are in the first
    }
    int receptionRecoveries() const { return m_recoveries; }
    int receiveBufferSize() const { return m_socket.receiveBufferSize(); }

    // The socket, for supervision tests that wedge its notifier.
    DatagramSocket& socketForTest() { return m_socket; }

signals:
    // An answer of a registered client was copied into the answer buffer.
    void answerReceived();

private:
    // What the acknowledging pass decided for one datagram of a batch.
    struct Decision {
        enum class Action { Drop, Report, Answer, Other, CallbackRequest };
        Action action = Action::Drop;
        PrimaryClient* client = nullptr;
        TaviCom::Header header;
        std::optional<TaviCom::DeviceReport> report;
    };

    void ReceiveDatagram();
    void handleBatch(std::span<ReceivedDatagram> batch);
    Decision acknowledge(ReceivedDatagram& datagram, int slot);
    void process(const ReceivedDatagram& datagram, Decision& decision, bool registryChanged);
    void handOnReport(PrimaryClient* client, const ReceivedDatagram& datagram, const Decision& decision);
    DeviceReportIn reportIn(PrimaryClient* client, const ReceivedDatagram& datagram, const Decision& decision);
    // The journal's number for the event this datagram raises; 0 when it raises none.
    quint64 holdEvent(const ReceivedDatagram& datagram, const Decision& decision);
    void handleCallbackRequest(const ReceivedDatagram& datagram, const TaviCom::Header& header);
    const QString& addressText(quint32 address);
    void setInternetStatus(bool online);

    const ServerSettings& m_serverSettings;
    ClientRegistry& m_registry;
    DeviceReportIntake& m_intake;
    CallbackStarter& m_callbacks;
    UserInterface& m_ui;
    LinkStatusWatch* m_linkWatch = nullptr;

    DatagramSocket m_socket;
    DatagramSender* m_sender = &m_socket;
    QTimer m_receptionCheck;
    quint64 m_datagramsRead = 0;
    quint64 m_reportsAnswered = 0;
    quint64 m_invalidDatagrams = 0;
    quint64 m_readsAtLastCheck = 0;
    bool m_queuedAtLastCheck = false;
    int m_recoveries = 0;
    quint64 m_kernelDropsBefore = 0; // of sockets closed since

    // The dotted text of the last sender addresses, formatted once each.
    QHash<quint32, QString> m_addressTexts;

    std::array<ReceivedDatagram, DatagramSocket::kBatchSize> m_batch{};
    std::array<Decision, DatagramSocket::kBatchSize> m_decisions{};
    std::array<quint64, DatagramSocket::kBatchSize> m_custody{};
    EventJournal* m_journal = nullptr;
    std::array<TaviCom::DatagramBuffer, DatagramSocket::kBatchSize> m_reportAnswers{};
    std::array<OutgoingDatagram, DatagramSocket::kBatchSize> m_outgoing{};
    int m_outgoingCount = 0;

    TaviCom::DatagramBuffer m_answer{};
    int m_answerLength = 0;
    quint32 m_answerAddress = 0;
    quint16 m_answerPort = 0;
    TaviCom::DatagramBuffer m_requestCopy{};
    TaviCom::DatagramBuffer m_requestAnswer{};
};
