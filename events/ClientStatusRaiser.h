#pragma once

#include "clients/ClientStatusEvents.h"

class EventRaiser;
class InternalEventRaiser;
struct InternalEventTable;

// Raises what a client's moves announce: the restore of "Cliente offline" for
// a client heard again (a client event with the row's code + 3000, the
// internal events' partition and zone, protocol 0, forwarded and listed like
// any client event), and the internal events of an operator's block, unblock
// and removal, forwarded when their rows are enabled.
class ClientStatusRaiser final : public ClientStatusEvents {
public:
    ClientStatusRaiser(EventRaiser& events, InternalEventRaiser& internal, const InternalEventTable& internalEvents)
        : m_events(events), m_internal(internal), m_internalEvents(internalEvents) {}

    void clientBackOnline(ClientRecord* client) override;
    void clientBlocked(ClientRecord* client, bool unblocked) override;
    void clientRemoved(ClientRecord* client) override;

private:
    EventRaiser& m_events;
    InternalEventRaiser& m_internal;
    const InternalEventTable& m_internalEvents;
};
