#pragma once

#include "events/EventLine.h"
#include "events/EventRecord.h"

struct AlarmTextTable;
struct InternalEventTable;

// Turns an event into the texts of its list row and log line: the event text
// from "Alarms.lst" for a Contact ID code (100..999) or from the internal
// events table for an internal position, "Unknown" when there is none; the
// account, partition and zone texts; the code text; the protocol name; the
// panel text or "---".
class EventFormatter {
public:
    EventFormatter(const AlarmTextTable& alarmTexts, const InternalEventTable& internalEvents);

    EventLine format(const EventRecord& event, const QString& timeText) const;

    static QString protocolName(int protocol);

private:
    const AlarmTextTable& m_alarmTexts;
    const InternalEventTable& m_internalEvents;
};
