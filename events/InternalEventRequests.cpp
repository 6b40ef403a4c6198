#include "events/InternalEventRequests.h"

#include "clients/ClientRegistry.h"
#include "events/InternalEventRaiser.h"
#include "events/InternalEventTable.h"
#include "reporting/Reporter.h"

#include <QCoreApplication>

namespace {

class EventRequestEvent final : public QEvent {
public:
    EventRequestEvent(quint64 serial, quint32 value)
        : QEvent(InternalEventRequests::kEventType), clientSerial(serial), value(value) {}

    const quint64 clientSerial;
    const quint32 value;
};

} // namespace

InternalEventRequests::InternalEventRequests(ClientRegistry& registry, InternalEventRaiser& raiser, Reporter& reporter,
                                             QObject* parent)
    : QObject(parent), m_registry(registry), m_raiser(raiser), m_reporter(reporter) {}

void InternalEventRequests::postEventRequest(quint64 clientSerial, quint32 value) {
    QCoreApplication::postEvent(this, new EventRequestEvent(clientSerial, value));
}

bool InternalEventRequests::event(QEvent* e) {
    if (e->type() != kEventType)
        return QObject::event(e);
    const auto* request = static_cast<EventRequestEvent*>(e);
    OnEventRequest(request->clientSerial, request->value);
    return true;
}

void InternalEventRequests::OnEventRequest(quint64 clientSerial, quint32 value) {
    if (value == 0 && clientSerial == 0) {
        m_reporter.ReportEvent(ReportRequest{}, [](ReportResult) {});
        return;
    }
    const quint16 code = static_cast<quint16>(value & 0xFFFF);
    const bool restore = code >= InternalEvent::kRestoreBase;
    const int position = code - (restore ? InternalEvent::kRestoreBase : InternalEvent::kNewBase);
    if (position < 0 || position >= InternalEvent::kRowCount)
        return;
    if (clientSerial == 0) {
        m_raiser.raiseInternal(position, restore, InternalForward::IfEnabled);
        return;
    }
    if (ClientRecord* client = m_registry.findBySerial(clientSerial))
        m_raiser.raiseClientInternal(position, restore, InternalForward::IfEnabled, client);
}
