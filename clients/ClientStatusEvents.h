#pragma once

class ClientRecord;

// What a client's return announces beyond its pages: the restore of "Cliente
// offline", raised at once as a client event. The events subsystem, which
// sits above the clients, implements it.
class ClientStatusEvents {
public:
    virtual ~ClientStatusEvents() = default;
    virtual void clientBackOnline(ClientRecord* client) = 0;
};
