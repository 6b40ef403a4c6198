#pragma once

#include "common/Dc09Envelope.h"
#include "config/Dc09Settings.h"
#include "reporting/DispatcherBridge.h"
#include "reporting/HeartbeatTimer.h"
#include "reporting/ReportFormats.h"
#include "reporting/ReportSettings.h"
#include "reporting/Reporter.h"
#include "reporting/SerialLink.h"

#include <QElapsedTimer>
#include <QObject>

#include <array>
#include <deque>
#include <memory>

class Dc09Link;
class ReportingEvents;
class UserInterface;

// Time limits of the report sender. The defaults are the system's; tests
// shorten them.
struct ReportLimits {
    int busyMs = 5000;  // longest time a forwarding may wait for its turn
    int replyMs = 1000; // longest DC-09 wait, host name resolution included
    SerialTiming serial;
    int heartbeatIdleMs = HeartbeatTimer::kIdleWaitMs;
    int heartbeatMsPerSecond = HeartbeatTimer::kMsPerSecond;
    DispatcherNames dispatcher;
    int dispatcherWatchMs = DispatcherBridge::kWatchIntervalMs;
};

// Forwards events to the central station over the transport of the mode in
// use (serial receiver, DC-09 over UDP, or the dispatcher's shared ring) and
// keeps the status bar's reporting fields.
//
// Forwardings form a strict first-in first-out pipeline on the main thread:
// one is on the line at a time, the others wait their turn; one that has
// waited longer than the busy limit when its turn comes gives Failed without
// anything being sent. Results are delivered in the order the events were
// raised. Nothing ever waits in a nested event loop.
//
// A request is bound, when it is raised, to the mode and the transport then in
// use; so the serial OFF event that StopReporting raises still goes out over
// the port being closed, which closes once that forwarding is done.
class ReportSender : public QObject, public Reporter {
    Q_OBJECT
public:
    static constexpr int kMessageNoSerialPort = 164;
    static constexpr int kMessageOpenFailed = 165;
    static constexpr int kMessageReadFailed = 166;
    static constexpr int kMessageHostEmpty = 201;
    static constexpr int kMessagePortZero = 202;

    ReportSender(ReportSettings& settings, UserInterface& ui, ReportLimits limits = {}, QObject* parent = nullptr);
    ~ReportSender() override;

    // The internal events: the link test's account, and the ON/OFF events.
    void setReportingEvents(ReportingEvents* events);
    // From now on starting and stopping reporting raise the internal ON/OFF events.
    void markStartupFinished() { m_startupFinished = true; }
    bool startupFinished() const { return m_startupFinished; }

    void ReportEvent(const ReportRequest& request, Done done) override;

    // The DC-09 station link's options ("Dc09.cfg"): encryption, timestamps and
    // the backup station. Forwardings started from now on use them.
    void setStationOptions(const Dc09Settings::Station& station) { m_station = station; }
    const Dc09Settings::Station& stationOptions() const { return m_station; }
    // Tests give their own padding and clock.
    void setStationFrameSources(Dc09Envelope::RandomSource random, std::function<QDateTime()> utcNow) {
        m_random = std::move(random);
        m_utcNow = std::move(utcNow);
    }
    // DC-09 frames acknowledged by the primary (0) and the backup (1) station.
    enum class Station { Primary, Backup };
    quint64 stationAcknowledgements(Station station) const { return m_stationAcks[size_t(station)]; }
    // The station's clock minus ours, as its last NAK gave it (milliseconds).
    qint64 stationClockOffsetMs() const { return m_stationOffsetMs; }

    // Stops whatever runs, then starts mode. False when it could not be
    // started (the operator has seen why); the mode in use is then still
    // mode, with its transport closed.
    bool StartReporting(ReportMode mode);
    void StopReporting();

    ReportMode appliedMode() const { return m_appliedMode; }

    // The longest the forwardings raised so far can still take, with the
    // limits and line settings in force: each starts within the busy limit of
    // being raised (or fails at once), then takes at most one transport's
    // time (every serial attempt with its window, or the DC-09 reply wait).
    int longestDrainMs() const;
    static QString modeName(ReportMode mode);
    // The name the status bar shows: the DC-09 mode names its transport.
    QString shownModeName(ReportMode mode) const;

    // Forwardings finished, by the mode they were raised in (0..3) and result (0 Sent, 2 Failed, 3 NotSent).
    quint64 forwardings(ReportMode mode, ReportResult result) const { return m_finished[size_t(mode)][size_t(result)]; }
    std::size_t queueLength() const { return m_queue.size(); }
    // Nothing queued and nothing on the line.
    bool isIdle() const { return m_queue.empty(); }
    const QByteArray& linkTestFrame() const { return m_linkTestFrame; }
    int nextSequence() const { return m_sequence.peek(); }
    // Local UDP port of the DC-09 socket, 0 without one.
    quint16 dc09LocalPort() const;

signals:
    void appliedModeChanged(ReportMode mode);
    // Closing an active serial port changed the reporting settings on the page.
    void settingsMarkedChanged();
    // The pipeline has delivered every result.
    void idle();

private:
    struct Pending {
        ReportRequest request;
        ReportMode mode = ReportMode::Off;
        std::shared_ptr<SerialLink> serial;
        std::shared_ptr<Dc09Link> dc09;
        QByteArray plainFrame; // the DC-09 frame before the station's options
        Station station = Station::Primary;
        qint64 raisedAtMs = 0;
        Done done;
    };
    enum class StatusChange { None, On, Off };

    void pump();
    // Starts the front request; false when its result is already known.
    bool startFront(ReportResult& result, StatusChange& status);
    void onTransportDone(quint64 token, bool acknowledged);
    void finishInFlight(quint64 token, bool acknowledged);
    // Sends the front's DC-09 frame to a station, with the options in force.
    void sendDc09(Pending& front, const QString& host, quint16 port);
    QByteArray securedFrame(const QByteArray& plain, qint64 offsetMs) const;
    void complete(ReportResult result, StatusChange status);
    void setStatus(const QString& text);
    void setAppliedMode(ReportMode mode);
    bool startSerial();
    bool startDc09();
    void raiseInternal(int position, bool restore, bool always);
    quint16 internalAccount() const;
    bool manualTestConfigured() const;
    void announceStarted(ReportMode mode);

    ReportSettings& m_settings;
    UserInterface& m_ui;
    const ReportLimits m_limits;
    ReportingEvents* m_events = nullptr;
    std::unique_ptr<HeartbeatTimer> m_heartbeat;
    DispatcherBridge m_dispatcher;
    bool m_startupFinished = false;
    ReportMode m_appliedMode = ReportMode::Off;

    std::shared_ptr<SerialLink> m_serial;
    std::weak_ptr<SerialLink> m_closingSerial;
    bool m_stoppingSerial = false;
    std::shared_ptr<Dc09Link> m_dc09;
    QByteArray m_linkTestFrame;
    Dc09Sequence m_sequence;
    Dc09Settings::Station m_station;
    Dc09Envelope::RandomSource m_random = Dc09Envelope::systemRandom();
    std::function<QDateTime()> m_utcNow = [] { return QDateTime::currentDateTimeUtc(); };
    qint64 m_stationOffsetMs = 0;
    std::array<quint64, 2> m_stationAcks{};

    std::deque<Pending> m_queue;                        // the front one is on the line while m_inFlight
    std::array<std::array<quint64, 4>, 4> m_finished{}; // [mode][result]
    bool m_inFlight = false;
    bool m_pumping = false;
    quint64 m_token = 0; // names the send now on the line
    QElapsedTimer m_clock;
};
