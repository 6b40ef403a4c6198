#include "device/DeviceReportIntake.h"

#include "clients/ClientContact.h"
#include "clients/ClientRecord.h"
#include "config/ServerSettings.h"
#include "events/EventRaiser.h"
#include "reporting/ReportSettings.h"
#include "reporting/Reporter.h"

#include <memory>

namespace {
// The name under which an event of an unregistered device is listed: "address:port".
constexpr int kMaxSenderNameLength = 23;
} // namespace

DeviceReportIntake::DeviceReportIntake(const ServerSettings& serverSettings, const ReportSettings& reportSettings,
                                       ContactRecorder& contacts, EventRaiser& events, Reporter& reporter)
    : m_serverSettings(serverSettings), m_reportSettings(reportSettings), m_contacts(contacts), m_events(events),
      m_reporter(reporter) {}

ClientRecord* DeviceReportIntake::eventTarget(const DeviceReportIn& report) {
    // A blocked or new target is refused by the raiser itself.
    PrimaryClient* client = report.client;
    if (!client)
        return nullptr;
    switch (report.target) {
    case DeviceReportIn::Target::AccountOrClient:
        if (client->status == ClientStatus::New)
            return nullptr;
        if (ClientRecord* account = client->FindAccount(report.account))
            return account;
        return client;
    case DeviceReportIn::Target::AccountIfAccounts:
        return client->hasDependents() ? client->FindAccount(report.account) : client;
    case DeviceReportIn::Target::Given:
        return report.givenTarget;
    }
    return nullptr;
}

void DeviceReportIntake::takeReport(const DeviceReportIn& report) {
    if (report.protocol >= 0 && report.protocol < int(m_reportsTaken.size()))
        ++m_reportsTaken[size_t(report.protocol)];
    if (report.contactFirst)
        recordContact(report);
    switch (report.type) {
    case DeviceReportIn::Type::Event:
        if (!report.client)
            takeUnregisteredEvent(report);
        else if (ClientRecord* target = eventTarget(report))
            m_events.RaiseClientEvent(target, report.code, report.partition, report.zone, report.protocol);
        break;
    case DeviceReportIn::Type::KeepAlive:
        if (m_reportSettings.reportHeartbeat && (report.client || m_reportSettings.transparent)) {
            ReportRequest heartbeat;
            heartbeat.reportAccount = report.reportAccount;
            m_reporter.ReportEvent(heartbeat, [](ReportResult) {});
        }
        break;
    case DeviceReportIn::Type::Other:
        break;
    }
    if (!report.contactFirst)
        recordContact(report);
}

void DeviceReportIntake::recordContact(const DeviceReportIn& report) {
    if (report.client) {
        switch (report.protocol) {
        case EventProtocol::TaviCom:
            report.client->heardOver = HeardOver::TaviCom;
            break;
        case EventProtocol::Dc09:
            report.client->heardOver = HeardOver::Dc09;
            break;
        case EventProtocol::Multicom:
            report.client->heardOver = HeardOver::Multicom;
            break;
        default:
            break;
        }
    }
    m_contacts.ClientContact(report.client, report.account, report.address, report.port, report.channel, report.period);
}

void DeviceReportIntake::takeUnregisteredEvent(const DeviceReportIn& report) {
    const bool logAll = m_serverSettings.LogAll;
    const QString name = QStringLiteral("%1:%2").arg(report.address).arg(report.port).left(kMaxSenderNameLength);
    // The listing waits for the station's result; the intake may be gone by then.
    std::weak_ptr<int> alive = m_alive;
    EventRaiser& events = m_events;
    auto list = [alive, &events, logAll, name, report](ReportResult result) {
        if (!alive.expired() && logAll)
            events.AddEventLine(result, name, report.account, report.code, report.partition, report.zone,
                                report.protocol, std::nullopt);
    };
    if (m_reportSettings.transparent) {
        ReportRequest request;
        request.account = report.account;
        request.reportAccount = report.reportAccount;
        request.code = report.code;
        request.partition = report.partition;
        request.zone = report.zone;
        m_reporter.ReportEvent(request, list);
    } else {
        list(ReportResult::NotSent);
    }
}
