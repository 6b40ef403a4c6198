#pragma once

#include <QObject>
#include <QTimer>

struct ReportSettings;
class EventRequestSink;

// The own heartbeat: every "Heartbeat:" seconds it posts the heartbeat request
// (no client, value 0) to the main window, which forwards it. The period is
// read afresh at every cycle; a period of 0 or less waits idleWaitMs and posts
// nothing. Nothing is posted in dispatcher mode or once "Habilitar" has been
// switched off.
class HeartbeatTimer : public QObject {
    Q_OBJECT
public:
    static constexpr int kIdleWaitMs = 60000;
    static constexpr int kMsPerSecond = 1000;

    HeartbeatTimer(const ReportSettings& settings, EventRequestSink& sink, int idleWaitMs = kIdleWaitMs,
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
    EventRequestSink& m_sink;
    const int m_idleWaitMs;
    const int m_msPerSecond;
    QTimer m_timer;
    bool m_postAtEnd = false;
};
