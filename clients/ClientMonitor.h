#pragma once

#include <QObject>
#include <QTimer>

#include <functional>
#include <vector>

class ClientRegistry;
class ClientTransitions;
class PrimaryClient;

// Keep-alive supervision. Once a second every primary's Ethernet and GPRS
// countdowns go down by one; when both have run out a client first turns late
// (yellow, the Ethernet countdown restarts from its period) and, when they run
// out again, lost (red): an online client then moves from the Online page to
// the Offline page with the offline sound and the internal event "Cliente
// offline" (1006), but only while the server's own link indicator is on.
// `ClientContact` restarts the countdowns and brings the client back.
//
// Threads: a main-thread timer, like everything that touches the registry and
// the pages, so the walk never meets a record being changed or destroyed.
//
// The walk goes over a list of the primaries in the registry's order, built
// again whenever the registry has changed since the last walk (Register,
// Unregister and Shutdown count its changes), so a record that was removed is
// never visited. The page operations it calls never register or unregister and
// the internal event is posted (handled after the walk); should the registry
// change during a walk all the same, the walk stops there and the next one
// starts from a fresh list. In the normal pass nothing is allocated, and the
// list lets the records be fetched ahead of their turn.
class ClientMonitor : public QObject {
    Q_OBJECT
public:
    static constexpr int kDefaultIntervalMs = 1000;

    ClientMonitor(ClientRegistry& registry, ClientTransitions& transitions, int intervalMs = kDefaultIntervalMs,
                  QObject* parent = nullptr);

    // The server's link indicator (on when unset).
    void setLinkIndicator(std::function<bool()> online) { m_linkOnline = std::move(online); }

    // `StartMonitor`: starts the once-a-second walk (after the client list was loaded).
    void StartMonitor();
    void stop();
    bool isActive() const { return m_timer.isActive(); }

    // One walk over every primary (the timer's step; tests drive it by hand).
    void tick();

private:
    void supervise(PrimaryClient& client);

    ClientRegistry& m_registry;
    ClientTransitions& m_transitions;
    QTimer m_timer;
    std::function<bool()> m_linkOnline;
    std::vector<PrimaryClient*> m_primaries; // registry order, as of m_listChanges
    quint64 m_listChanges = 0;
    bool m_listBuilt = false;
    bool m_walking = false;
};
