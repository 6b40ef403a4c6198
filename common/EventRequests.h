#pragma once

#include "common/InternalEventId.h"

#include <QtGlobal>

// `EventRequest` (message 0x464 of the main window): how timers and worker
// threads ask the main thread to raise an internal event. Each request is a
// typed call queued to the main thread and handled there in arrival order. A
// client is named by its registry serial, so a client removed before the
// request is handled is simply not found.
constexpr int kEventRequestMessage = 0x464;

class EventRequests {
public:
    virtual ~EventRequests() = default;

    // Safe from any thread. position: one of InternalEvent's; restore: the
    // 3000 form instead of the 1000 one.
    virtual void requestClientEvent(quint64 clientSerial, int position, bool restore) = 0;
    virtual void requestServerEvent(int position, bool restore) = 0;
};
