#pragma once

#include <QObject>
#include <QTimer>

class ClientRegistry;
class EventRequests;
class UserInterface;

// The server's "Internet" indicator. Once a second it visits every primary:
// the link is up while at least one TaviCom device (isDirect) is not lost
// (linkState other than 2). On a change it sets status field 1035 to
// "Online" or "Offline" and asks for internal event 7 (3007 restore, 1007
// new) through an event request for the server. The indicator starts on.
//
// Threads: a main-thread timer; the indicator is read by the client monitor
// on the same thread.
class LinkStatusWatch : public QObject {
    Q_OBJECT
public:
    static constexpr int kDefaultIntervalMs = 1000;

    LinkStatusWatch(const ClientRegistry& registry, EventRequests& requests, UserInterface& ui,
                    int intervalMs = kDefaultIntervalMs, QObject* parent = nullptr);

    // Starts the timer; a watch already running is left as it is.
    void start();
    void stop();
    bool isActive() const { return m_timer.isActive(); }

    bool isOnline() const { return m_online; }

    // One visit of the registry (the timer's step).
    void tick();

private:
    const ClientRegistry& m_registry;
    EventRequests& m_requests;
    UserInterface& m_ui;
    QTimer m_timer;
    bool m_online = true;
};
