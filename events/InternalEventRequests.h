#pragma once

#include "events/EventRequest.h"

#include <QEvent>
#include <QObject>

class ClientRegistry;
class InternalEventRaiser;
class Reporter;

// The main window's `EventRequest` (0x464): timers and worker threads post a
// client (by registry serial, 0 for none) and a value; the request is handled
// on the main thread, in arrival order, by `OnEventRequest`.
class InternalEventRequests final : public QObject, public EventRequestSink {
    Q_OBJECT
public:
    static constexpr QEvent::Type kEventType = static_cast<QEvent::Type>(QEvent::User + kEventRequestMessage);

    InternalEventRequests(ClientRegistry& registry, InternalEventRaiser& raiser, Reporter& reporter,
                          QObject* parent = nullptr);

    // Safe from any thread: queues the request for the main thread.
    void postEventRequest(quint64 clientSerial, quint32 value) override;

    // Value 0 without a client: the heartbeat (`ReportEvent` with all inputs 0).
    // Otherwise the low 16 bits are an internal code, 1000 + position or 3000 +
    // position, raised for the client (when it is still registered) or for the
    // logged-in operator, forwarded when the row is enabled. Requests for a
    // client removed in the meantime, or with a code that names no row, are dropped.
    void OnEventRequest(quint64 clientSerial, quint32 value);

protected:
    bool event(QEvent* e) override;

private:
    ClientRegistry& m_registry;
    InternalEventRaiser& m_raiser;
    Reporter& m_reporter;
};
