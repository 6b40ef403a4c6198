#pragma once

#include <QtGlobal>

// Positions of the internal events (rows of the internal events table). An
// internal event is raised with code 1000 + position (new) or 3000 + position
// (restore); what is shown and sent is the row's configured Contact ID code.
// The positions are named here, below every subsystem, because timers of the
// device link, the client supervision and the reporting ask for them.
namespace InternalEvent {
constexpr int ManualTest = 0;
constexpr int NewClient = 1;
constexpr int CallbackSent = 2;
constexpr int OperatorLogin = 3;
constexpr int SerialReport = 4;
constexpr int IpReport = 5;
constexpr int ClientOffline = 6;
constexpr int InternetFailure = 7;
constexpr int ClientBlocked = 8;
constexpr int ClientRemoved = 9;
constexpr int kRowCount = 10;

constexpr quint16 kNewBase = 1000;
constexpr quint16 kRestoreBase = 3000;
} // namespace InternalEvent
