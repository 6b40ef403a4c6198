#include "events/InternalEventRequests.h"

#include "clients/ClientRegistry.h"
#include "events/InternalEventRaiser.h"

#include <QMetaObject>

InternalEventRequests::InternalEventRequests(ClientRegistry& registry, InternalEventRaiser& raiser, QObject* parent)
    : QObject(parent), m_registry(registry), m_raiser(raiser) {}

void InternalEventRequests::requestClientEvent(quint64 clientSerial, int position, bool restore) {
    // A queued call to this object's thread: posted events to one object keep their order.
    QMetaObject::invokeMethod(
        this, [this, clientSerial, position, restore] { OnEventRequest(clientSerial, position, restore); },
        Qt::QueuedConnection);
}

void InternalEventRequests::requestServerEvent(int position, bool restore) {
    requestClientEvent(0, position, restore);
}

void InternalEventRequests::OnEventRequest(quint64 clientSerial, int position, bool restore) {
    if (position < 0 || position >= InternalEvent::kRowCount)
        return;
    if (clientSerial == 0) {
        m_raiser.raiseInternal(position, restore, InternalForward::IfEnabled);
        return;
    }
    if (ClientRecord* client = m_registry.findBySerial(clientSerial))
        m_raiser.raiseClientInternal(position, restore, InternalForward::IfEnabled, client);
}
