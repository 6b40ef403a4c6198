#pragma once

#include <QObject>
#include <QTimer>

#include <functional>

struct ReportSettings;

// The own heartbeat: every "Heartbeat:" seconds it calls beat, which forwards
// a heartbeat (a report with every input 0). The period is read afresh at
// every cycle; a period of 0 or less waits idleWaitMs and beats not. Nothing
// is sent in dispatcher mode or once "Habilitar" has been switched off.
//
// Threads: a main-thread timer; beat runs on the main thread.
class HeartbeatTimer : public QObject {
    Q_OBJECT
public:
    static constexpr int kIdleWaitMs = 60000;
    static constexpr int kMsPerSecond = 1000;

    HeartbeatTimer(const ReportSettings& settings, std::function<void()> beat, int idleWaitMs = kIdleWaitMs,
                   int msPerSecond = kMsPerSecond, QObject* parent = nullptr);

    void start();
    void stop();
    bool isRunning() const { return m_timer.isActive(); }
    // The wait of the cycle now running.
    int currentIntervalMs() const { return m_timer.interval(); }

private:
    void scheduleCycle();
    void onTimeout();

    const ReportSettings& m_settings;
    std::function<void()> m_beat;
    const int m_idleWaitMs;
    const int m_msPerSecond;
    QTimer m_timer;
    bool m_postAtEnd = false;
};
