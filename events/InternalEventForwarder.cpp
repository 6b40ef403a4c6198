#include "events/InternalEventForwarder.h"

#include "clients/ClientRecord.h"
#include "events/EventRaiser.h"
#include "events/InternalEventTable.h"
#include "reporting/Reporter.h"

namespace {

bool validPosition(int position) {
    return position >= 0 && position < InternalEvent::kRowCount;
}

quint16 internalCode(int position, bool restore) {
    return static_cast<quint16>((restore ? InternalEvent::kRestoreBase : InternalEvent::kNewBase) + position);
}

} // namespace

InternalEventForwarder::InternalEventForwarder(const InternalEventTable& table, Reporter& reporter, EventRaiser& events)
    : m_table(table), m_reporter(reporter), m_events(events), m_alive(std::make_shared<int>(0)) {}

InternalEventForwarder::~InternalEventForwarder() = default;

quint16 InternalEventForwarder::codeToSend(int position, bool restore) const {
    const quint16 base = restore ? InternalEvent::kRestoreBase : InternalEvent::kNewBase;
    return static_cast<quint16>(m_table.row(position).code + base);
}

bool InternalEventForwarder::forwarded(int position, InternalForward forward) const {
    return forward == InternalForward::Always || m_table.row(position).enabled;
}

void InternalEventForwarder::forward(bool send, const ReportRequest& request, Done done) {
    if (!send) {
        done(ReportResult::NotSent);
        return;
    }
    std::weak_ptr<int> alive = m_alive;
    m_reporter.ReportEvent(request, [alive, done = std::move(done)](ReportResult result) {
        if (!alive.expired())
            done(result);
    });
}

void InternalEventForwarder::raiseInternal(int position, bool restore, InternalForward forward) {
    raiseInternalAs(position, restore, forward, m_operatorName ? m_operatorName() : QString());
}

void InternalEventForwarder::raiseInternalAs(int position, bool restore, InternalForward forward, const QString& name) {
    if (!validPosition(position))
        return;
    const InternalEventSettings& s = m_table.settings;
    const ReportRequest request{s.cidAccount, s.dc09Account, codeToSend(position, restore), s.partition, s.zone};
    const quint16 code = internalCode(position, restore);
    this->forward(forwarded(position, forward), request,
                  [this, code, name](ReportResult result) { m_events.RaiseInternalEvent(result, code, name); });
}

void InternalEventForwarder::raiseClientInternal(int position, bool restore, InternalForward forward,
                                                 ClientRecord* client) {
    if (!validPosition(position) || !client)
        return;
    const InternalEventSettings& s = m_table.settings;
    const ReportRequest request{client->account, client->primaryAccount(), codeToSend(position, restore), s.partition,
                                s.zone};
    const quint16 code = internalCode(position, restore);
    this->forward(forwarded(position, forward), request,
                  [this, code, subject = ClientEventSubject::of(*client)](ReportResult result) {
                      m_events.RaiseClientInternalEvent(result, code, subject);
                  });
}

void InternalEventForwarder::SendManualTest(Done done) {
    const InternalEventSettings& s = m_table.settings;
    const ReportRequest request{s.cidAccount, s.dc09Account, codeToSend(InternalEvent::ManualTest, false), s.partition,
                                s.zone};
    forward(true, request, std::move(done));
}

quint16 InternalEventForwarder::internalAccount() const {
    return m_table.settings.cidAccount;
}

bool InternalEventForwarder::manualTestConfigured() const {
    return m_table.row(InternalEvent::ManualTest).code != 0;
}

void InternalEventForwarder::raiseReportingEvent(int position, bool restore, bool forwardAlways) {
    raiseInternal(position, restore, forwardAlways ? InternalForward::Always : InternalForward::IfEnabled);
}
