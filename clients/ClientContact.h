#pragma once

#include "common/TimeText.h"

#include <QString>
#include <QtGlobal>

#include <functional>

class ClientRegistry;
class ClientPages;
class EventRaiser;
class PrimaryClient;
struct InternalEventTable;

// Keep-alive period value meaning "none announced": the countdowns restart
// from the stored periods.
constexpr quint16 kNoPeriodAnnounced = 0xFFFF;

// Records that the device link has heard from a client: counters, addresses,
// time of contact, green state, and the page moves of a new or offline client
// (with the restore of "Cliente offline" for a client that comes back).
class ContactRecorder {
public:
    ContactRecorder(ClientRegistry& registry, ClientPages& pages, EventRaiser& events,
                    const InternalEventTable& internalEvents);

    // client: a primary, or none (then nothing happens). account: the account
    // the message carried; channel 0 unknown, 1 Ethernet, 2 GPRS; period in
    // seconds or kNoPeriodAnnounced.
    void ClientContact(PrimaryClient* client, quint16 account, const QString& address, quint16 port, int channel,
                       quint16 period);

    // Replaces the clock text (tests).
    void setTimeSource(std::function<QString()> now) { m_now = std::move(now); }

private:
    ClientRegistry& m_registry;
    ClientPages& m_pages;
    EventRaiser& m_events;
    const InternalEventTable& m_internalEvents;
    TimeTextClock m_clock;
    std::function<QString()> m_now;
};
