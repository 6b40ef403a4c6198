#include "events/ClientStatusRaiser.h"

#include "events/EventRaiser.h"
#include "events/InternalEventRaiser.h"
#include "events/InternalEventTable.h"

void ClientStatusRaiser::clientBackOnline(ClientRecord* client) {
    const InternalEventSettings& settings = m_internalEvents.settings;
    const auto code =
        static_cast<quint16>(m_internalEvents.row(InternalEvent::ClientOffline).code + InternalEvent::kRestoreBase);
    m_events.RaiseClientEvent(client, code, settings.partition, settings.zone, EventProtocol::Internal);
}

void ClientStatusRaiser::clientBlocked(ClientRecord* client, bool unblocked) {
    m_internal.raiseClientInternal(InternalEvent::ClientBlocked, unblocked, InternalForward::IfEnabled, client);
}

void ClientStatusRaiser::clientRemoved(ClientRecord* client) {
    m_internal.raiseClientInternal(InternalEvent::ClientRemoved, false, InternalForward::IfEnabled, client);
}
