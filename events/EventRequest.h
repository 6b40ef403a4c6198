#pragma once

#include <QtGlobal>

// Message number by which worker threads and timers ask the main window to
// raise an internal event (value = internal code in the low 16 bits) or, with
// no client and value 0, to send a heartbeat.
constexpr int kEventRequestMessage = 0x464;

// Internal codes requested by the link watch.
constexpr quint16 kInternetDownCode = 1007;
constexpr quint16 kInternetUpCode = 3007;

// Receives EventRequest posts. The client is named by its registry serial
// (0 for none), so a client removed before the request is handled is simply
// not found. Requests are handled on the main thread in arrival order.
class EventRequestSink {
public:
    virtual ~EventRequestSink() = default;
    virtual void postEventRequest(quint64 clientSerial, quint32 value) = 0;
};
