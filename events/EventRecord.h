#pragma once

#include "reporting/ReportTypes.h"

#include <QString>
#include <QtGlobal>

#include <optional>

// One event as the server shows, logs and forwards it. The code carries the
// Contact ID qualifier in its thousands: 1000 + number new event (E), 3000 +
// number restore (R), 6000 + number condition still present (P); internal
// events are 1000 or 3000 plus their position in the internal events table.
struct EventRecord {
    quint16 account = 0;       // 0 for internal events that concern no client
    quint16 reportAccount = 0; // account heading the central-station message
    quint16 code = 0;
    quint8 partition = 0; // 0..99 from the data model; larger values are shown in full
    quint16 zone = 0;     // 0..999 likewise
    int protocol = 0;     // EventProtocol value; others show as "---"
    QString name;
    std::optional<QString> panel;
    ReportResult result = ReportResult::NotSent;
};
