#pragma once

#include <QObject>

#include <functional>
#include <memory>

class QSocketNotifier;

// Identity of a Multicom session, unique for the whole run (never reused, so a
// late time-out message cannot name a newer session by mistake).
using SessionId = quint64;

// The sessions' sockets in one epoll set behind a single read notifier, so
// that the event loop watches one descriptor however many sessions are open,
// and an activity costs the same with one session or ten thousand. When the
// set is readable, the sessions with something to say (data, or the peer's
// close) are handed to ready, at most kMaxEventsPerRound per turn of the
// event loop; the set is level-triggered, so what is left fires again.
//
// Threads: the main thread.
class SessionPoller : public QObject {
    Q_OBJECT
public:
    static constexpr int kMaxEventsPerRound = 256;
    // hangUp: the peer closed or the connection failed.
    using Ready = std::function<void(SessionId id, bool hangUp)>;

    explicit SessionPoller(Ready ready, QObject* parent = nullptr);
    ~SessionPoller() override;

    bool add(int descriptor, SessionId id);
    void remove(int descriptor);

private:
    void onActivated();

    Ready m_ready;
    int m_epoll = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
};
