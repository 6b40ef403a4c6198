#pragma once

class ClientRecord;

// How an internal event is forwarded to the central station before it is listed.
enum class InternalForward {
    Always,    // forwarded whatever the row's enabled flag says
    IfEnabled, // forwarded only when the row is enabled; otherwise listed as NotSent
};

// Raises the server's own events (operator login, reporting on/off, client
// blocked, ...) on the main thread: forwards with the row's configured code
// (row code + 1000 for a new event, + 3000 for a restore) and the internal
// accounts, partition and zone, then lists, logs and sounds it.
class InternalEventRaiser {
public:
    virtual ~InternalEventRaiser() = default;

    // An event that concerns no client: accounts of the internal settings, the
    // logged-in operator's name.
    virtual void raiseInternal(int position, bool restore, InternalForward forward) = 0;
    // An event about a client: its account, primary account, name and panel.
    virtual void raiseClientInternal(int position, bool restore, InternalForward forward, ClientRecord* client) = 0;
};
