#pragma once

#include <QtGlobal>

// What the report sender needs of the internal events, which sit above it:
// the account that the DC-09 link test carries, whether the manual test row
// has a code (the serial ON/OFF events are raised only then), and the raising
// of "reporting switched on/off".
class ReportingEvents {
public:
    virtual ~ReportingEvents() = default;

    // The account of the internal events that concern no client.
    virtual quint16 internalAccount() const = 0;
    virtual bool manualTestConfigured() const = 0;
    // Raises the internal event at position (serial or IP reporting); it must
    // forward (call ReportEvent) before it returns. forwardAlways: whatever the
    // row's enabled flag says.
    virtual void raiseReportingEvent(int position, bool restore, bool forwardAlways) = 0;
};
