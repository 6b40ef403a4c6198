#pragma once

#include "clients/ClientStatusEvents.h"

class EventRaiser;
struct InternalEventTable;

// Raises the restore of "Cliente offline" for a client heard again: a client
// event with the row's code + 3000, the internal events' partition and zone,
// and protocol 0, forwarded and listed like any client event.
class ClientReturnRaiser final : public ClientStatusEvents {
public:
    ClientReturnRaiser(EventRaiser& events, const InternalEventTable& internalEvents)
        : m_events(events), m_internalEvents(internalEvents) {}

    void clientBackOnline(ClientRecord* client) override;

private:
    EventRaiser& m_events;
    const InternalEventTable& m_internalEvents;
};
