#pragma once

#include "reporting/ReportTypes.h"

#include <QString>
#include <QtGlobal>

// Central-station reporting settings, kept in "Report.cfg". One instance for
// the whole run, owned by the application object; written on the main thread.
struct ReportSettings {
    ReportMode mode = ReportMode::Off;
    bool transparent = false;     // "Transparente": forward events of unregistered devices too
    bool reportHeartbeat = false; // "Reportar Heartbeat": forward device heartbeats / DC-09 link tests
    bool ownHeartbeat = false;    // "Habilitar" in "Heartbeat proprio"
    int heartbeatPeriod = 1;      // seconds; 0 or less: no own heartbeat
    int attemptsIndex = 0;        // serial attempts = index + 1
    QString serialPort;
    int receiver = 1;    // RR, 1..99
    int line = 1;        // L, 1..9
    int baudIndex = 7;   // 9600
    int parityIndex = 0; // none, odd, even
    int dataBitsIndex = 1;
    int stopBitsIndex = 0;
    QString stationHost = QStringLiteral("127.0.0.1");
    int stationPort = 9999;

    int attempts() const { return attemptsIndex + 1; }
};
