#pragma once

#include "device/UdpBatchReceive.h"

#include "device/Dc09Receiver.h"
#include "device/Dc09StreamSplitter.h"
#include "device/SessionPoller.h"
#include "device/SessionSocket.h"

#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QString>
#include <QTimer>

#include <array>
#include <chrono>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <span>
#include <vector>

class ClientRegistry;
class DeviceReportIntake;
class EventJournal;
class ListeningSocket;
class QSocketNotifier;
class SiaCodeTable;
class UserInterface;
struct Dc09Settings;

// One DC-09 frame as the UDP socket gives it: the bytes (a longer datagram is
// cut at kMaxFrameLength, and then fails its envelope) and its IPv4 sender.
struct Dc09Datagram {
    static constexpr int kMaxFrameLength = Dc09Envelope::kEnvelopeLength + int(Dc09Envelope::kMaxBodyLength);
    std::array<char, kMaxFrameLength> bytes{};
    int length = 0;
    quint32 address = 0; // host byte order
    quint16 port = 0;
};

// SIA DC-09 reception on the port of "Dc09.cfg", UDP and TCP on the same
// number, beside the TaviCom datagram server and the Multicom listener.
//
// Every frame goes through the Dc09Receiver; its answer leaves before anything
// else is done with the message. The events of the frames read together are
// held by the event journal before their answers leave (and synced right
// after), then each message is handed to the intake: the contact of its
// client (the frame's account), and one event per event of its data, raised
// for the data's account (a dependent of the frame's account when registered
// so) with protocol DC-09. A NULL message is the contact alone.
//
// UDP: each time the socket is readable, one round takes at most
// kMaxDatagramsPerRound datagrams in batches of kBatchSize; what is left fires
// the (level-triggered) notifier again, so a burst larger than a round waits
// in the kernel's buffer rather than keeping the event loop from the timers.
//
// TCP: the connections sit in one epoll set (SessionPoller) however many there
// are. A connection carries any number of frames, split over reads or several
// in one; each is answered in the order it came. One that sends no complete
// frame for the time-out, or more than Dc09StreamSplitter::kMaxUnframed bytes
// without one, is closed. At most maxSessions connections are open at once; a
// connection beyond them is closed at once with a reset.
//
// Threads: the main thread.
class Dc09Server : public QObject {
public:
    static constexpr int kMaxDatagramsPerRound = 64;
    static constexpr int kBatchSize = 16;
    static constexpr std::chrono::milliseconds kSessionTimeout{60000};
    static constexpr int kListenBacklog = 64;
    // Bytes read from one connection before the others get their turn.
    static constexpr int kMaxBytesPerTurn = 64 * 1024;
    static constexpr int kRequestedReceiveBuffer = 8 * 1024 * 1024;

    enum class Transport { Udp, Tcp };

    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    using UtcClock = std::function<QDateTime()>;
    using ProblemHandler = std::function<void(const QString& text)>;

    Dc09Server(const Dc09Settings& settings, const SiaCodeTable& siaCodes, ClientRegistry& registry,
               DeviceReportIntake& intake, UserInterface& ui, QObject* parent = nullptr);
    ~Dc09Server() override;

    // Where the events of a reading round are held before their answers leave.
    void setJournal(EventJournal* journal) { m_journal = journal; }
    // The most TCP connections open at once.
    void setMaxSessions(std::size_t count) { m_maxSessions = count; }
    // Where the silence of connections is measured (the steady clock unless set).
    void setClock(Clock clock) { m_clock = std::move(clock); }
    // The receiver's UTC time that timestamps are checked against (the system's unless set).
    void setUtcClock(UtcClock clock) { m_utc = std::move(clock); }
    // Told when accepts begin to fail and work again, and at the first refusal at the cap.
    void setProblemHandler(ProblemHandler handler) { m_problem = std::move(handler); }

    // Binds port for UDP and listens on the same number for TCP, on every local
    // IPv4 address (port 0: a free number, the same for both). A failure shows
    // the system's error text and leaves nothing open. Starting again first stops.
    bool start(quint16 port);
    void stop();
    bool isRunning() const { return m_fd >= 0; }
    quint16 port() const { return m_port; }

    // Figures for the health endpoint.
    quint64 framesReceived(Transport transport) const { return m_framesReceived[std::size_t(transport)]; }
    quint64 answersSent(Dc09Outcome::Answer answer) const { return m_answers[std::size_t(answer)]; }
    // Frames left unanswered: an envelope or header that cannot be read.
    quint64 framesIgnored() const { return m_answers[std::size_t(Dc09Outcome::Answer::None)]; }
    quint64 kernelDrops() const { return m_dropped.drops; }
    std::size_t sessionCount() const { return m_sessions.size(); }
    quint64 sessionsRefused() const { return m_refused; }
    quint64 sessionsExpired() const { return m_expired; }
    // Connections closed for sending more than kMaxUnframed bytes without a frame.
    quint64 sessionsOverrun() const { return m_overrun; }
    quint64 acceptBackOffs() const;

    // The watchdog's step: closes every connection without a frame for the
    // whole time-out, by the clock.
    void expireSilentSessions();

private:
    struct Session {
        std::unique_ptr<SessionSocket> socket;
        Dc09StreamSplitter splitter;
    };
    // The answer decided for one frame and the journal's numbers of its events.
    struct Taken {
        Dc09Outcome outcome;
        QList<quint64> custody;
    };

    void readDatagrams();
    int receiveBatch(std::span<Dc09Datagram> batch);
    void acceptConnection(int descriptor);
    void onReady(SessionId id, bool hangUp);
    void closeSession(SessionId id);
    void noteActivity(SessionSocket& session);
    void rearmWatchdog();
    void acceptProblem(bool failing, const QString& text);

    // Decides one frame's answer and holds its events.
    Taken take(QByteArrayView frame, const QString& address, quint16 port, const QDateTime& nowUtc);
    // After the answers of a round left: contact and events of each message.
    void handOn(const Taken& taken);
    QList<quint64> holdEvents(const Dc09Outcome& outcome);
    const QString& addressText(quint32 address);

    const Dc09Settings& m_settings;
    ClientRegistry& m_registry;
    DeviceReportIntake& m_intake;
    UserInterface& m_ui;
    EventJournal* m_journal = nullptr;
    Dc09Receiver m_receiver;
    Clock m_clock;
    UtcClock m_utc;
    ProblemHandler m_problem;

    int m_fd = -1; // the UDP socket
    quint16 m_port = 0;
    std::unique_ptr<QSocketNotifier> m_notifier;
    KernelDropCount m_dropped;
    std::array<Dc09Datagram, kBatchSize> m_batch{};
    std::vector<Taken> m_round;

    std::unique_ptr<ListeningSocket> m_listener;
    SessionPoller m_poller;
    std::map<SessionId, Session> m_sessions;
    std::list<SessionId> m_watchOrder; // the longest silent first
    QTimer m_watchdog;
    std::chrono::milliseconds m_sessionTimeout = kSessionTimeout;
    SessionId m_nextId = 1;
    std::size_t m_maxSessions;
    bool m_refusalSaid = false;

    QHash<quint32, QString> m_addressTexts;
    std::array<quint64, 2> m_framesReceived{};
    std::array<quint64, 4> m_answers{};
    quint64 m_refused = 0;
    quint64 m_expired = 0;
    quint64 m_overrun = 0;
    quint64 m_earlierBackOffs = 0;
};
