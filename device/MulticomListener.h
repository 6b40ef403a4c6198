#pragma once

#include "config/MulticomControl.h"
#include "device/SessionPoller.h"
#include "device/SessionSocket.h"

#include <QObject>
#include <QTimer>

#include <chrono>
#include <functional>
#include <list>
#include <map>
#include <memory>

class ListeningSocket;
class SessionProtocol;
class UserInterface;

// The Multicom side of the device link: the listening socket on the "MC" port
// (present only while "EnableMulticom" is on) and the list of the sessions it
// accepted. The list owns its sessions; a session is destroyed exactly when
// it is unlinked. Everything here runs on the main thread.
//
// The sessions' sockets sit in one epoll set behind a single notifier, and the
// watchdog is one timer over the sessions in the order of their last complete
// frame: a complete frame moves its session to the end of that order, and the
// timer waits for the one silent longest. So neither a read nor the watchdog
// costs more with ten thousand idle sessions than with one.
//
// Reading: each time a session is readable, one receive of at most 64 bytes is
// one frame; 1 to 63 bytes are handed to the protocol, whose reply is sent at
// once; 64 bytes are dropped without a reply. Only a complete frame (STX to
// ETX) keeps a session alive: one that sends nothing else for the time-out is
// closed, however many stray bytes it trickles in meanwhile.
//
// At most maxSessions sessions are open at once ("MaxSessions" of
// "Server.cfg"); a connection beyond them is taken and closed at once with a
// reset, so the open ones go on undisturbed and the kernel's backlog never
// fills with connections nobody takes. When the process runs out of
// descriptors the listening socket pauses and retries by itself (see
// ListeningSocket); the problem handler hears of it once.
class MulticomListener : public QObject, public MulticomControl {
    Q_OBJECT
public:
    // Posted when a session's watchdog finds it silent; the session named is
    // closed if it is still in the list.
    static constexpr int WM_SESSION_TIMEOUT = 0x4C9;
    static constexpr std::chrono::milliseconds kSessionTimeout{30000};
    static constexpr int kListenBacklog = 5;

    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    using ProblemHandler = std::function<void(const QString& text)>;

    MulticomListener(UserInterface& ui, SessionProtocol& protocol,
                     std::chrono::milliseconds sessionTimeout = kSessionTimeout, QObject* parent = nullptr);
    ~MulticomListener() override;

    // Listens on every local IPv4 address with a backlog of 5. A failure shows
    // the system's error text and leaves no listener; the server goes on.
    // Opening again replaces the listening socket; the sessions stay.
    bool OpenMulticomListener(quint16 port) override;
    // Closes the listening socket, then every session from the head.
    void CloseMulticomListener() override;

    bool isListening() const;
    quint16 listeningPort() const; // 0 without a listener

    // The most sessions open at once; connections beyond are refused.
    void setMaxSessions(std::size_t count) { m_maxSessions = count; }
    // Where the silence of sessions is measured (the steady clock unless set).
    void setClock(Clock clock) { m_clock = std::move(clock); }
    // Told, once each, when accepts begin to fail and when they work again,
    // and the first time a connection is refused at the cap.
    void setProblemHandler(ProblemHandler handler) { m_problem = std::move(handler); }

    std::size_t sessionCount() const { return m_sessions.size(); }
    SessionSocket* findSession(SessionId id) const;
    // Visits the sessions in the order they were accepted.
    void forEachSession(const std::function<void(SessionSocket&)>& visit) const;

    // Figures for the health endpoint.
    quint64 sessionsRefused() const { return m_refused; }
    quint64 sessionsExpired() const { return m_expired; }
    quint64 acceptBackOffs() const;

    // Close by the server; nothing happens for a session no longer listed.
    void closeSession(SessionId id);

    // The watchdog's step (its timer runs it when the longest silent session
    // is due): every session silent for the whole time-out, by the clock, is
    // named in a time-out message.
    void expireSilentSessions();

    // The handling of WM_SESSION_TIMEOUT: closes the session if it is still
    // listed; a message for a session that is already gone changes nothing.
    void onSessionTimeout(SessionId id);

signals:
    // A time-out message was handled; closed tells whether it closed a session.
    void sessionTimeoutHandled(SessionId id, bool closed);

private:
    void acceptConnection(int descriptor);
    void onReady(SessionId id, bool hangUp);
    void noteActivity(SessionSocket& session);
    void unwatch(SessionSocket& session);
    void rearmWatchdog();
    void postSessionTimeout(SessionId id);
    void acceptProblem(bool failing, const QString& text);

    UserInterface& m_ui;
    SessionProtocol& m_protocol;
    std::chrono::milliseconds m_sessionTimeout;
    Clock m_clock;
    ProblemHandler m_problem;
    std::unique_ptr<ListeningSocket> m_listeningSocket;
    SessionPoller m_poller;
    std::map<SessionId, std::unique_ptr<SessionSocket>> m_sessions; // in accept order
    std::list<SessionId> m_watchOrder;                              // the longest silent first
    QTimer m_watchdog;
    SessionId m_nextId = 1;
    std::size_t m_maxSessions;
    bool m_refusalSaid = false;
    quint64 m_refused = 0;
    quint64 m_expired = 0;
    quint64 m_earlierBackOffs = 0; // of listening sockets replaced or closed
};
