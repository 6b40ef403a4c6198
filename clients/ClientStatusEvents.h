#pragma once

class ClientRecord;

// What a client's moves announce beyond its pages: the restore of "Cliente
// offline" when a client is back, and the internal events of an operator's
// block, unblock and removal ("Cliente bloqueado" new or restored, "Cliente
// removido"). The events subsystem, which sits above the clients, implements
// it; it copies what the listing needs at once, so the record may be freed
// right after the call.
class ClientStatusEvents {
public:
    virtual ~ClientStatusEvents() = default;
    virtual void clientBackOnline(ClientRecord* client) = 0;
    virtual void clientBlocked(ClientRecord* client, bool unblocked) = 0;
    virtual void clientRemoved(ClientRecord* client) = 0;
};
