#pragma once

#include <QtGlobal>

// Outcome of forwarding one event to the central station. The same number is
// the event row's icon and the first field of its log line.
enum class ReportResult : int {
    Sent = 0,    // acknowledged by the station, or handed to the dispatcher
    Failed = 2,  // not acknowledged, not deliverable, or the sender was busy
    NotSent = 3, // reporting off, or the request is not allowed in this mode
};

// How events are forwarded.
enum class ReportMode : int {
    Off = 0,
    Serial = 1,
    Dc09 = 2,
    Dispatcher = 3,
};

// The five inputs of every central-station message. account 0 is a
// heartbeat request.
struct ReportRequest {
    quint16 account = 0;
    quint16 reportAccount = 0;
    quint16 code = 0; // qualifier x 1000 + event number
    quint8 partition = 0;
    quint16 zone = 0;
};
