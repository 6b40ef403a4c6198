#pragma once

#include "config/MulticomControl.h"
#include "device/SessionSocket.h"

#include <QObject>

#include <chrono>
#include <functional>
#include <map>
#include <memory>

class MulticomListeningSocket;
class SessionProtocol;
class UserInterface;

// The Multicom side of the device link: the listening socket on the "MC" port
// (present only while "EnableMulticom" is on) and the list of the sessions it
// accepted. The list owns its sessions; a session is destroyed exactly when
// it is unlinked. Everything here runs on the main thread.
class MulticomListener : public QObject, public MulticomControl {
    Q_OBJECT
public:
    // Posted when a session's watchdog finds it silent; the session named is
    // closed if it is still in the list.
    static constexpr int WM_SESSION_TIMEOUT = 0x4C9;
    static constexpr std::chrono::milliseconds kSessionTimeout{30000};

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

    std::size_t sessionCount() const { return m_sessions.size(); }
    SessionSocket* findSession(SessionId id) const;
    // Visits the sessions in the order they were accepted.
    void forEachSession(const std::function<void(SessionSocket&)>& visit) const;

    // Close by the server; nothing happens for a session no longer listed.
    void closeSession(SessionId id);

    // The handling of WM_SESSION_TIMEOUT: closes the session if it is still
    // listed; a message for a session that is already gone changes nothing.
    void onSessionTimeout(SessionId id);

signals:
    // A time-out message was handled; closed tells whether it closed a session.
    void sessionTimeoutHandled(SessionId id, bool closed);

private:
    friend class SessionSocket;

    void acceptConnection(qintptr descriptor);
    void handFrame(SessionSocket& session, int count);
    void peerClosed(SessionId id);
    void postSessionTimeout(SessionId id);
    void cleanUp(SessionId id);

    UserInterface& m_ui;
    SessionProtocol& m_protocol;
    std::chrono::milliseconds m_sessionTimeout;
    std::unique_ptr<MulticomListeningSocket> m_listeningSocket;
    std::map<SessionId, SessionSocket*> m_sessions; // in accept order
    SessionId m_nextId = 1;
};
