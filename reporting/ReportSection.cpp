#include "reporting/ReportSection.h"

#include "common/StringTable.h"
#include "common/TextDecoding.h"
#include "common/UserInterface.h"
#include "config/ValueExchange.h"
#include "reporting/ReportConfigFile.h"
#include "reporting/ReportSender.h"

ReportSection::ReportSection(ReportSettings& settings, bool& logAll, ReportSender& sender, UserInterface& ui,
                             DataDirectory dir, PortLister listSerialPorts)
    : m_settings(settings), m_logAll(logAll), m_sender(sender), m_ui(ui), m_dir(std::move(dir)),
      m_listSerialPorts(std::move(listSerialPorts)) {
    // Closing an active serial port marks the settings changed.
    connect(&m_sender, &ReportSender::settingsMarkedChanged, this, &ReportSection::markChanged);
}

QStringList ReportSection::serialPorts() {
    if (!m_ports)
        m_ports = m_listSerialPorts ? m_listSerialPorts() : QStringList();
    return *m_ports;
}

void ReportSection::startUp() {
    LoadReportConfig(m_dir, m_settings, m_logAll, m_ui);
    // The mode in use is off until the stored one is selected.
    const ReportMode stored = m_settings.mode;
    m_settings.mode = ReportMode::Off;
    m_selected = ReportMode::Off;
    // Selecting "Desligado" shows it in the status bar; a serial mode that falls
    // back to it (no serial port) is shown here.
    if (!selectMode(stored))
        m_sender.StartReporting(ReportMode::Off);
    else if (m_selected != ReportMode::Off)
        apply(form());
    m_sender.markStartupFinished();
    m_changed = false;
    m_applyEnabled = false;
    emit formReset();
    emit lookChanged();
}

bool ReportSection::selectMode(ReportMode mode) {
    if (mode == ReportMode::Serial && serialPorts().isEmpty()) {
        // No serial port on this machine: the selection goes back to the mode in use.
        m_ui.showMessage(StringTable::text(kMsgNoSerialPorts), UserInterface::Icon::Error);
        m_selected = m_settings.mode;
        emit lookChanged();
        return false;
    }
    // "Desligado" stops at once; the status bar says so and hides "Status:".
    if (mode == ReportMode::Off)
        m_sender.StartReporting(ReportMode::Off);
    // Events follow the selection at once, before "Aplicar".
    m_settings.mode = mode;
    m_selected = mode;
    m_changed = true;
    m_applyEnabled = mode != ReportMode::Off;
    emit lookChanged();
    return true;
}

void ReportSection::setEditing(bool editing) {
    m_editing = editing;
    emit lookChanged();
}

void ReportSection::markChanged() {
    m_changed = true;
    m_applyEnabled = true;
    emit lookChanged();
}

void ReportSection::setOwnHeartbeat(bool enabled) {
    m_settings.ownHeartbeat = enabled;
    markChanged();
}

bool ReportSection::takeFields(const ReportForm& form) {
    ValueExchange values(m_ui);
    quint32 receiver = quint32(m_settings.receiver);
    quint32 line = quint32(m_settings.line);
    quint32 stationPort = quint32(m_settings.stationPort);
    values.takeUnsigned(ReportControl::Receiver, form.receiver, 1, kMaxReceiver, receiver);
    values.takeUnsigned(ReportControl::Line, form.line, 1, kMaxLine, line);
    values.takeUnsigned(ReportControl::StationPort, form.stationPort, 0, kMaxStationPort, stationPort);
    // "Heartbeat:" is any integer: 0 or less means no own heartbeat. An empty
    // field keeps the period; anything else gets the standard message.
    int period = m_settings.heartbeatPeriod;
    bool isInteger = false;
    const int typed = form.heartbeatPeriod.trimmed().toInt(&isInteger);
    if (isInteger) {
        if (!values.failed())
            period = typed;
    } else if (!form.heartbeatPeriod.trimmed().isEmpty()) {
        quint32 refused = 0;
        values.takeUnsigned(ReportControl::HeartbeatPeriod, form.heartbeatPeriod, refused);
    }
    // A refused field keeps its old value; the fields after it are not taken.
    if (values.failed())
        return false;
    m_settings.receiver = int(receiver);
    m_settings.line = int(line);
    m_settings.stationPort = int(stationPort);
    m_settings.heartbeatPeriod = period;
    m_settings.serialPort = TextDecoding::leftWhole(form.serialPort.trimmed(), ReportConfigFile::kMaxTextLength);
    m_settings.stationHost = TextDecoding::leftWhole(form.host.trimmed(), ReportConfigFile::kMaxTextLength);
    m_settings.baudIndex = qBound(0, form.baudIndex, 15);
    m_settings.parityIndex = qBound(0, form.parityIndex, 2);
    m_settings.dataBitsIndex = qBound(0, form.dataBitsIndex, 1);
    m_settings.stopBitsIndex = qBound(0, form.stopBitsIndex, 2);
    m_settings.attemptsIndex = qBound(0, form.attemptsIndex, 7);
    m_settings.ownHeartbeat = form.ownHeartbeat;
    m_settings.reportHeartbeat = form.reportHeartbeat;
    m_settings.transparent = form.transparent;
    return true;
}

bool ReportSection::apply(const ReportForm& form) {
    if (!m_changed && m_selected == m_settings.mode && m_sender.appliedMode() == m_selected)
        return true;
    m_sender.StopReporting();
    if (!takeFields(form))
        return false;
    const bool started = m_sender.StartReporting(m_selected);
    if (started)
        m_applyEnabled = false;
    emit lookChanged();
    return started;
}

bool ReportSection::save(const ReportForm& form) {
    if (!takeFields(form))
        return false;
    SaveReportConfig(m_dir, m_settings, m_logAll);
    m_editing = false;
    m_changed = false;
    emit lookChanged();
    return true;
}

ReportForm ReportSection::form() const {
    ReportForm f;
    f.serialPort = m_settings.serialPort;
    f.baudIndex = m_settings.baudIndex;
    f.parityIndex = m_settings.parityIndex;
    f.dataBitsIndex = m_settings.dataBitsIndex;
    f.stopBitsIndex = m_settings.stopBitsIndex;
    f.receiver = QString::number(m_settings.receiver);
    f.line = QString::number(m_settings.line);
    f.host = m_settings.stationHost;
    f.stationPort = QString::number(m_settings.stationPort);
    f.ownHeartbeat = m_settings.ownHeartbeat;
    f.heartbeatPeriod = QString::number(m_settings.heartbeatPeriod);
    f.attemptsIndex = m_settings.attemptsIndex;
    f.reportHeartbeat = m_settings.reportHeartbeat;
    f.transparent = m_settings.transparent;
    return f;
}

ReportSectionLook ReportSection::look() const {
    ReportSectionLook look;
    const bool off = m_selected == ReportMode::Off;
    look.protocolEnabled = m_editing;
    look.serialShown = m_selected == ReportMode::Serial;
    look.stationShown = m_selected == ReportMode::Dc09;
    look.fieldsEnabled = m_editing;
    look.reportHeartbeatEnabled = m_editing && m_selected == ReportMode::Dc09;
    look.transparentEnabled = m_editing && !off;
    look.heartbeatGroupShown = !off;
    look.ownHeartbeatEnabled = m_editing;
    look.heartbeatFieldsEnabled = m_editing && m_settings.ownHeartbeat;
    look.applyEnabled = m_applyEnabled && !off;
    look.saveEnabled = m_changed;
    return look;
}
