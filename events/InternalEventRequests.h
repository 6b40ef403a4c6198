#pragma once

#include "common/EventRequests.h"

#include <QObject>

class ClientRegistry;
class InternalEventRaiser;

// The main window's `EventRequest` (0x464): timers and worker threads ask for
// an internal event, for a client (by registry serial) or for the server; the
// request is queued to the main thread and handled there, in arrival order,
// by `OnEventRequest`. Each row is forwarded only when it is enabled.
class InternalEventRequests final : public QObject, public EventRequests {
    Q_OBJECT
public:
    InternalEventRequests(ClientRegistry& registry, InternalEventRaiser& raiser, QObject* parent = nullptr);

    void requestClientEvent(quint64 clientSerial, int position, bool restore) override;
    void requestServerEvent(int position, bool restore) override;

    // Raises the event on the main thread: for the client when it is still
    // registered (a request for a client removed in the meantime is dropped),
    // or, with serial 0, for the logged-in operator. A position that names no
    // row is dropped.
    void OnEventRequest(quint64 clientSerial, int position, bool restore);

private:
    ClientRegistry& m_registry;
    InternalEventRaiser& m_raiser;
};
