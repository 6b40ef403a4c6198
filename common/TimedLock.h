#pragma once

#include <QSemaphore>

// A binary semaphore whose waits end after a time-out; the holder then goes on
// without the lock. Not re-entrant: a holder that asks again waits the full
// time-out, so callers never nest it.
class TimedLock {
public:
    static constexpr int kDefaultTimeoutMs = 5000;

    explicit TimedLock(int timeoutMs = kDefaultTimeoutMs) : m_timeoutMs(timeoutMs) {}

    // True when the lock was obtained within the time-out.
    bool acquire() { return m_semaphore.tryAcquire(1, m_timeoutMs); }
    bool tryAcquire() { return m_semaphore.tryAcquire(1); }
    void release() { m_semaphore.release(1); }

private:
    QSemaphore m_semaphore{1};
    int m_timeoutMs;
};

// Takes a TimedLock for a scope and releases it only if it was obtained.
class TimedLockGuard {
public:
    explicit TimedLockGuard(TimedLock& lock) : m_lock(lock), m_acquired(lock.acquire()) {}
    ~TimedLockGuard() {
        if (m_acquired)
            m_lock.release();
    }
    TimedLockGuard(const TimedLockGuard&) = delete;
    TimedLockGuard& operator=(const TimedLockGuard&) = delete;

    bool acquired() const { return m_acquired; }

private:
    TimedLock& m_lock;
    bool m_acquired;
};
