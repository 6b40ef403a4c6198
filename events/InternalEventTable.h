#pragma once

#include "common/InternalEventId.h"

#include <QString>
#include <QtGlobal>

#include <array>

struct InternalEventRow {
    quint16 code = 0; // Contact ID code to send, 0 = not configured
    bool enabled = false;
    QString eventText;   // shown for the new event, up to 63 characters
    QString restoreText; // shown for the restore, up to 63 characters
};

struct InternalEventSettings {
    quint16 cidAccount = 0xFFFF;  // account of internal events that concern no client
    quint16 dc09Account = 0xFFFF; // DC-09 header account of those events
    quint16 zone = 0;
    quint8 partition = 0;
};

// The ten internal events with their codes and texts, and their common
// accounts, partition and zone. One instance for the whole run, owned by the
// application object; read and written on the main thread only.
struct InternalEventTable {
    std::array<InternalEventRow, InternalEvent::kRowCount> rows{};
    InternalEventSettings settings;

    const InternalEventRow& row(int position) const { return rows[static_cast<size_t>(position)]; }
    InternalEventRow& row(int position) { return rows[static_cast<size_t>(position)]; }
};
