#include "device/SessionPoller.h"

#include <QSocketNotifier>

#include <array>
#include <cerrno>

#include <sys/epoll.h>
#include <unistd.h>

SessionPoller::SessionPoller(Ready ready, QObject* parent) : QObject(parent), m_ready(std::move(ready)) {
    m_epoll = ::epoll_create1(EPOLL_CLOEXEC);
    if (m_epoll < 0)
        qFatal("epoll_create1 failed: %s", qPrintable(qt_error_string(errno)));
    m_notifier = std::make_unique<QSocketNotifier>(m_epoll, QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &SessionPoller::onActivated);
}

SessionPoller::~SessionPoller() {
    m_notifier.reset();
    ::close(m_epoll);
}

bool SessionPoller::add(int descriptor, SessionId id) {
    epoll_event event{};
    event.events = EPOLLIN | EPOLLRDHUP;
    event.data.u64 = id;
    return ::epoll_ctl(m_epoll, EPOLL_CTL_ADD, descriptor, &event) == 0;
}

void SessionPoller::remove(int descriptor) {
    ::epoll_ctl(m_epoll, EPOLL_CTL_DEL, descriptor, nullptr);
}

void SessionPoller::onActivated() {
    std::array<epoll_event, kMaxEventsPerRound> events;
    int count;
    do {
        count = ::epoll_wait(m_epoll, events.data(), kMaxEventsPerRound, 0);
    } while (count < 0 && errno == EINTR);
    // A session handled here may close others of the same round: ready finds
    // each by its id, and one that is gone is skipped.
    for (int i = 0; i < count; ++i) {
        const epoll_event& event = events[size_t(i)];
        m_ready(event.data.u64, (event.events & (EPOLLHUP | EPOLLRDHUP | EPOLLERR)) != 0);
    }
}
