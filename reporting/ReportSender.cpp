#include "reporting/ReportSender.h"

#include "common/InternalEventId.h"
#include "common/StringTable.h"
#include "common/UserInterface.h"
#include "reporting/Dc09Link.h"
#include "reporting/Dc09StationFrame.h"
#include "reporting/ReportingEvents.h"

#include <QDateTime>

#include <algorithm>

namespace {

const QString kStatusOn = QStringLiteral("ON");
const QString kStatusOff = QStringLiteral("OFF");
// The backup station took the last event.
const QString kStatusOnBackup = QStringLiteral("ON (central reserva)");
// The account of internal events until the internal events table is known.
constexpr quint16 kDefaultInternalAccount = 0xFFFF;

} // namespace

ReportSender::ReportSender(ReportSettings& settings, UserInterface& ui, ReportLimits limits, QObject* parent)
    : QObject(parent), m_settings(settings), m_ui(ui), m_limits(limits),
      m_dispatcher(limits.dispatcher, limits.dispatcherWatchMs) {
    // `DispatcherStatus`: the watcher's finding is the reporting status in mode 3.
    connect(&m_dispatcher, &DispatcherBridge::dispatcherStatus, this, [this](bool running) {
        if (m_appliedMode == ReportMode::Dispatcher)
            setStatus(running ? kStatusOn : kStatusOff);
    });
    m_clock.start();
    m_linkTestFrame = FormatDc09LinkTest(internalAccount());
    // The own heartbeat forwards a report with every input 0.
    m_heartbeat = std::make_unique<HeartbeatTimer>(
        m_settings, [this] { ReportEvent(ReportRequest{}, [](ReportResult) {}); }, m_limits.heartbeatIdleMs,
        m_limits.heartbeatMsPerSecond);
}

ReportSender::~ReportSender() {
    if (m_inFlight && !m_queue.empty()) {
        Pending& front = m_queue.front();
        if (front.serial)
            front.serial->cancel();
        if (front.dc09)
            front.dc09->cancel();
    }
    m_queue.clear();
}

void ReportSender::setReportingEvents(ReportingEvents* events) {
    m_events = events;
    m_linkTestFrame = FormatDc09LinkTest(internalAccount());
}

quint16 ReportSender::internalAccount() const {
    return m_events ? m_events->internalAccount() : kDefaultInternalAccount;
}

bool ReportSender::manualTestConfigured() const {
    return m_events && m_events->manualTestConfigured();
}

QString ReportSender::modeName(ReportMode mode) {
    switch (mode) {
    case ReportMode::Off:
        return QStringLiteral("Desligado");
    case ReportMode::Serial:
        return QStringLiteral("SurGard (Serial)");
    case ReportMode::Dc09:
        return QStringLiteral("DC-09 (UDP)");
    case ReportMode::Dispatcher:
        return QStringLiteral("Varn CMS");
    }
    return {};
}

QString ReportSender::shownModeName(ReportMode mode) const {
    if (mode == ReportMode::Dc09 && m_station.tcp)
        return QStringLiteral("DC-09 (TCP)");
    return modeName(mode);
}

quint16 ReportSender::dc09LocalPort() const {
    return m_dc09 ? m_dc09->localPort() : 0;
}

// --- forwarding pipeline ----------------------------------------------------

void ReportSender::ReportEvent(const ReportRequest& request, Done done) {
    Pending pending;
    pending.request = request;
    // The serial OFF event raised while stopping goes out over the port being closed.
    pending.mode = m_stoppingSerial ? ReportMode::Serial : m_settings.mode;
    if (pending.mode == ReportMode::Serial)
        pending.serial = m_serial;
    else if (pending.mode == ReportMode::Dc09)
        pending.dc09 = m_dc09;
    pending.raisedAtMs = m_clock.elapsed();
    pending.done = std::move(done);
    m_queue.push_back(std::move(pending));
    pump();
}

void ReportSender::pump() {
    if (m_pumping)
        return;
    m_pumping = true;
    while (!m_inFlight && !m_queue.empty()) {
        // Its turn came too late: the sender was busy.
        if (m_clock.elapsed() - m_queue.front().raisedAtMs > m_limits.busyMs) {
            complete(ReportResult::Failed, StatusChange::None);
            continue;
        }
        ReportResult result = ReportResult::NotSent;
        StatusChange status = StatusChange::None;
        if (startFront(result, status)) {
            if (m_inFlight)
                break;
            continue; // the transport finished at once (and the result is delivered)
        }
        complete(result, status);
    }
    m_pumping = false;
}

bool ReportSender::startFront(ReportResult& result, StatusChange& status) {
    Pending& front = m_queue.front();
    const ReportRequest& request = front.request;
    switch (front.mode) {
    case ReportMode::Off:
        result = ReportResult::NotSent;
        return false;

    case ReportMode::Serial: {
        QByteArray message;
        if (request.account != 0)
            message = *FormatSerialEvent(request, m_settings.receiver, m_settings.line);
        else if (request.code == 0)
            message = FormatSerialHeartbeat(m_settings.receiver);
        else {
            result = ReportResult::NotSent;
            return false;
        }
        if (!front.serial || !front.serial->isOpen()) {
            result = ReportResult::Failed;
            status = StatusChange::Off;
            return false;
        }
        const quint64 token = ++m_token;
        m_inFlight = true;
        front.serial->send(message, m_settings.attempts(), m_limits.serial,
                           [this, token](bool acknowledged) { onTransportDone(token, acknowledged); });
        return true;
    }

    case ReportMode::Dc09: {
        QByteArray frame;
        if (request.account == 0) {
            if (!m_settings.reportHeartbeat) {
                result = ReportResult::NotSent;
                return false;
            }
            frame = m_linkTestFrame;
        } else {
            // The sequence number is used up here, whether the frame can be sent or not.
            frame = *FormatDc09Event(request, m_sequence);
        }
        if (!front.dc09) {
            result = ReportResult::NotSent;
            status = StatusChange::Off;
            return false;
        }
        front.plainFrame = frame;
        front.station = Station::Primary;
        sendDc09(front, m_settings.stationHost, quint16(qBound(0, m_settings.stationPort, 0xFFFF)));
        return true;
    }

    case ReportMode::Dispatcher: {
        // Heartbeats are never handed to the dispatcher.
        if (request.account == 0) {
            result = ReportResult::NotSent;
            return false;
        }
        const QByteArray record = *FormatDispatcherRecord(request, QDateTime::currentDateTime());
        if (m_dispatcher.WriteDispatcherRecord(record)) {
            result = ReportResult::Sent;
            status = StatusChange::On;
        } else {
            result = ReportResult::Failed; // no dispatcher runs, or the bridge is stopped
        }
        return false;
    }
    }
    result = ReportResult::NotSent;
    status = StatusChange::Off;
    return false;
}

void ReportSender::onTransportDone(quint64 token, bool acknowledged) {
    // Finished from the event loop, never inside the transport's own handler,
    // so the result's receivers may stop reporting and discard the transport.
    QMetaObject::invokeMethod(
        this, [this, token, acknowledged] { finishInFlight(token, acknowledged); }, Qt::QueuedConnection);
}

QByteArray ReportSender::securedFrame(const QByteArray& plain, qint64 offsetMs) const {
    if (!m_station.changesFrames())
        return plain;
    const Dc09StationFrame::Security security{m_station.key, m_station.timestamp};
    return Dc09StationFrame::secure(plain, security, m_utcNow().addMSecs(offsetMs), m_random);
}

void ReportSender::sendDc09(Pending& front, const QString& host, quint16 port) {
    const quint64 token = ++m_token;
    m_inFlight = true;
    Dc09Link::Judge judge;
    if (m_station.changesFrames()) {
        // A NAK that gives the station's time: the same frame once more, timed by the station's clock.
        judge = [this, plain = front.plainFrame, retried = false](QByteArrayView reply) mutable {
            const Dc09StationFrame::Reply read = Dc09StationFrame::readReply(reply, m_station.key);
            Dc09Link::Judgement judgement;
            judgement.acknowledged = read.kind == Dc09StationFrame::ReplyKind::Ack;
            if (read.kind == Dc09StationFrame::ReplyKind::Nak && read.stationTime && !retried) {
                retried = true;
                m_stationOffsetMs = m_utcNow().msecsTo(*read.stationTime);
                judgement.resend = securedFrame(plain, m_stationOffsetMs);
            }
            return judgement;
        };
    }
    // The reply finishes the forwarding at once, and the next frame goes out
    // from the same pass of the event loop: the link outlives its handler
    // (it is deleted later), so the result's receivers may stop reporting.
    front.dc09->send(
        securedFrame(front.plainFrame, m_stationOffsetMs), host, port, m_limits.replyMs,
        [this, token](bool acknowledged) { finishInFlight(token, acknowledged); }, std::move(judge));
}

void ReportSender::finishInFlight(quint64 token, bool acknowledged) {
    if (!m_inFlight || token != m_token || m_queue.empty())
        return;
    m_inFlight = false;
    Pending& front = m_queue.front();
    if (front.mode == ReportMode::Dc09) {
        if (acknowledged) {
            ++m_stationAcks[size_t(front.station)];
        } else if (front.station == Station::Primary && m_station.hasBackup() && front.dc09) {
            // What the first station did not take goes to the backup before the result is decided.
            front.station = Station::Backup;
            sendDc09(front, QString::fromLatin1(m_station.backupHost), m_station.backupPort);
            return;
        }
    }
    complete(acknowledged ? ReportResult::Sent : ReportResult::Failed,
             acknowledged ? StatusChange::On : StatusChange::Off);
    pump();
}

void ReportSender::complete(ReportResult result, StatusChange status) {
    Pending done = std::move(m_queue.front());
    m_queue.pop_front();
    if (size_t(done.mode) < m_finished.size() && size_t(result) < m_finished[0].size())
        ++m_finished[size_t(done.mode)][size_t(result)];
    // The status field shows the link in use; a result of a transport that
    // has been replaced meanwhile does not change it.
    const bool current = done.mode != ReportMode::Serial || done.serial == m_serial;
    const bool currentDc09 = done.mode != ReportMode::Dc09 || done.dc09 == m_dc09;
    if (status != StatusChange::None && current && currentDc09)
        setStatus(status == StatusChange::Off                                        ? kStatusOff
                  : done.mode == ReportMode::Dc09 && done.station == Station::Backup ? kStatusOnBackup
                                                                                     : kStatusOn);
    if (done.done)
        done.done(result);
    if (m_queue.empty())
        emit idle();
}

void ReportSender::setStatus(const QString& text) {
    m_ui.setStatusField(StatusField::ReportStatus, text);
}

int ReportSender::longestDrainMs() const {
    const SerialLineSettings line = SerialLineSettings::from(m_settings);
    const int serialAttemptMs =
        line.transmitMs(ReportFormat::kSerialLength) + m_limits.serial.perByteMs + m_limits.serial.afterWriteMs;
    // A DC-09 frame may be sent again after a NAK, and then to the backup station as well.
    const int dc09Ms = m_limits.replyMs * (m_station.changesFrames() ? 2 : 1) * (m_station.hasBackup() ? 2 : 1);
    const int transportMs = std::max(dc09Ms, m_settings.attempts() * serialAttemptMs);
    return m_limits.busyMs + transportMs;
}

// --- starting and stopping --------------------------------------------------

bool ReportSender::StartReporting(ReportMode mode) {
    StopReporting();
    m_settings.mode = mode;
    bool started = false;
    switch (mode) {
    case ReportMode::Off:
        m_ui.setStatusField(StatusField::ReportMode, shownModeName(mode));
        // No link in use: the "Status:" field is hidden (left empty).
        setStatus(QString());
        return true;
    case ReportMode::Serial:
        started = startSerial();
        break;
    case ReportMode::Dc09:
        started = startDc09();
        break;
    case ReportMode::Dispatcher:
        started = m_dispatcher.StartDispatcherBridge();
        if (started) // the status field is the dispatcher watcher's
            m_ui.setStatusField(StatusField::ReportMode, shownModeName(mode));
        break;
    }
    if (!started) {
        // The mode stays in use without its link, and its events get Failed:
        // the status bar shows that mode with "OFF", never "Desligado".
        m_ui.setStatusField(StatusField::ReportMode, shownModeName(mode));
        setStatus(kStatusOff);
        return false;
    }
    setAppliedMode(mode);
    if (m_heartbeat && m_settings.ownHeartbeat && m_settings.heartbeatPeriod > 0 && mode != ReportMode::Dispatcher)
        m_heartbeat->start();
    return true;
}

void ReportSender::announceStarted(ReportMode mode) {
    m_ui.setStatusField(StatusField::ReportMode, shownModeName(mode));
    setStatus(kStatusOn);
}

bool ReportSender::startSerial() {
    const QString name = m_settings.serialPort.trimmed();
    if (name.isEmpty()) {
        m_ui.showMessage(StringTable::text(kMessageNoSerialPort), UserInterface::Icon::Exclamation);
        return false;
    }
    const SerialLineSettings line = SerialLineSettings::from(m_settings);
    // The port may still be open for the OFF event of the last stop: take it back.
    std::shared_ptr<SerialLink> link = m_closingSerial.lock();
    if (link && link->isOpen() && link->portName() == name) {
        link->setLineSettings(line);
    } else {
        link = std::make_shared<SerialLink>();
        switch (link->open(name, line)) {
        case SerialLink::OpenResult::Ok:
            break;
        case SerialLink::OpenResult::OpenFailed:
            m_ui.showMessage(StringTable::text(kMessageOpenFailed) + name, UserInterface::Icon::Error);
            return false;
        case SerialLink::OpenResult::SettingsUnreadable:
            m_ui.showMessage(StringTable::text(kMessageReadFailed) + name, UserInterface::Icon::Error);
            return false;
        }
        // A port that fails while open shows OFF at once, if it is still the one in use.
        connect(link.get(), &SerialLink::lost, this, [this, raw = link.get()] {
            if (m_serial.get() == raw)
                setStatus(kStatusOff);
        });
    }
    m_serial = link;
    announceStarted(ReportMode::Serial);
    if (m_startupFinished && manualTestConfigured())
        raiseInternal(InternalEvent::SerialReport, false, true);
    return true;
}

bool ReportSender::startDc09() {
    if (m_settings.stationHost.trimmed().isEmpty()) {
        m_ui.showMessage(StringTable::text(kMessageHostEmpty), UserInterface::Icon::Exclamation);
        return false;
    }
    if (m_settings.stationPort == 0) {
        m_ui.showMessage(StringTable::text(kMessagePortZero), UserInterface::Icon::Exclamation);
        return false;
    }
    // Deleted from the event loop, never inside its own reply handler.
    std::shared_ptr<Dc09Link> link(new Dc09Link(this), [](Dc09Link* released) {
        released->cancel();
        released->deleteLater();
    });
    link->setTransport(m_station.tcp ? Dc09Link::Transport::Tcp : Dc09Link::Transport::Udp);
    if (!link->open())
        return false;
    m_dc09 = std::move(link);
    m_linkTestFrame = FormatDc09LinkTest(internalAccount());
    announceStarted(ReportMode::Dc09);
    if (m_startupFinished)
        raiseInternal(InternalEvent::IpReport, false, true);
    return true;
}

void ReportSender::StopReporting() {
    if (m_heartbeat)
        m_heartbeat->stop();
    if (m_serial && m_serial->isOpen() && m_startupFinished) {
        if (manualTestConfigured()) {
            m_stoppingSerial = true;
            raiseInternal(InternalEvent::SerialReport, true, false);
            m_stoppingSerial = false;
        }
        emit settingsMarkedChanged();
    }
    // Closes the port now, or once the forwardings that still use it are done.
    m_closingSerial = m_serial;
    m_serial.reset();
    m_dc09.reset();
    m_dispatcher.StopDispatcherBridge();
    setAppliedMode(ReportMode::Off);
}

void ReportSender::raiseInternal(int position, bool restore, bool always) {
    if (m_events)
        m_events->raiseReportingEvent(position, restore, always);
}

void ReportSender::setAppliedMode(ReportMode mode) {
    if (m_appliedMode == mode)
        return;
    m_appliedMode = mode;
    emit appliedModeChanged(mode);
}
