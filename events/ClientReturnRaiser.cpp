#include "events/ClientReturnRaiser.h"

#include "events/EventRaiser.h"
#include "events/InternalEventTable.h"

void ClientReturnRaiser::clientBackOnline(ClientRecord* client) {
    const InternalEventSettings& settings = m_internalEvents.settings;
    const auto code =
        static_cast<quint16>(m_internalEvents.row(InternalEvent::ClientOffline).code + InternalEvent::kRestoreBase);
    m_events.RaiseClientEvent(client, code, settings.partition, settings.zone, EventProtocol::Internal);
}
