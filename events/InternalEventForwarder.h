#pragma once

#include "events/InternalEventRaiser.h"
#include "reporting/ReportTypes.h"
#include "reporting/ReportingEvents.h"

#include <QString>
#include <QtGlobal>

#include <functional>
#include <memory>

class EventRaiser;
class Reporter;
struct InternalEventTable;

// Raises the internal events on the main thread: forwards the row's code
// (+ 1000 new, + 3000 restore) with the internal accounts, partition and zone
// when the forwarding rule allows it (else the result is NotSent), and lists
// the event once the result is known. Forwarding is asynchronous, so
// everything the listing needs (operator name, the client's account, name and
// panel) is copied when the event is raised: a client removed or an operator
// changed in the meantime does not alter an event already raised.
class InternalEventForwarder final : public InternalEventRaiser, public ReportingEvents {
public:
    using Done = std::function<void(ReportResult)>;

    InternalEventForwarder(const InternalEventTable& table, Reporter& reporter, EventRaiser& events);
    ~InternalEventForwarder() override;

    // The logged-in operator's name (empty while there is none).
    void setOperatorName(std::function<QString()> name) { m_operatorName = std::move(name); }

    void raiseInternal(int position, bool restore, InternalForward forward) override;
    // The same under a given operator's name: the logout of an operator who
    // has already been replaced by the next one.
    void raiseInternalAs(int position, bool restore, InternalForward forward, const QString& operatorName);
    void raiseClientInternal(int position, bool restore, InternalForward forward, ClientRecord* client) override;

    // What the report sender asks of the internal events.
    quint16 internalAccount() const override;
    bool manualTestConfigured() const override;
    void raiseReportingEvent(int position, bool restore, bool forwardAlways) override;

    // `SendManualTest`: row 0's code + 1000 with the CID and DC-09 accounts,
    // always forwarded; nothing is listed, logged or sounded. done receives the result.
    void SendManualTest(Done done);

    // The Contact ID code sent for an internal event: the row's code + 1000
    // (new) or + 3000 (restore).
    quint16 codeToSend(int position, bool restore) const;

private:
    bool forwarded(int position, InternalForward forward) const;
    // Forwards request when asked (else NotSent at once) and calls done with the
    // result, unless this object was destroyed in the meantime.
    void forward(bool send, const ReportRequest& request, Done done);

    const InternalEventTable& m_table;
    Reporter& m_reporter;
    EventRaiser& m_events;
    std::function<QString()> m_operatorName;
    std::shared_ptr<int> m_alive;
};
