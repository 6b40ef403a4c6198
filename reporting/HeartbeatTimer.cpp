#include "reporting/HeartbeatTimer.h"

#include "reporting/ReportSettings.h"

#include <limits>

HeartbeatTimer::HeartbeatTimer(const ReportSettings& settings, std::function<void()> beat, int idleWaitMs,
                               int msPerSecond, QObject* parent)
    : QObject(parent), m_settings(settings), m_beat(std::move(beat)), m_idleWaitMs(idleWaitMs),
      m_msPerSecond(msPerSecond) {
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &HeartbeatTimer::onTimeout);
}

void HeartbeatTimer::start() {
    scheduleCycle();
}

void HeartbeatTimer::stop() {
    m_timer.stop();
}

void HeartbeatTimer::scheduleCycle() {
    const int period = m_settings.heartbeatPeriod;
    m_postAtEnd = period > 0;
    if (!m_postAtEnd) {
        m_timer.start(m_idleWaitMs);
        return;
    }
    const qint64 ms = qint64(period) * m_msPerSecond;
    m_timer.start(int(qMin<qint64>(ms, std::numeric_limits<int>::max())));
}

void HeartbeatTimer::onTimeout() {
    if (m_postAtEnd && m_settings.ownHeartbeat && m_settings.mode != ReportMode::Dispatcher)
        m_beat();
    scheduleCycle();
}
