#pragma once

#include "common/TimeText.h"

#include <QString>
#include <QtGlobal>

#include <functional>

class ClientRegistry;
class ClientTransitions;
class PrimaryClient;

// Keep-alive period value meaning "none announced": the countdowns restart
// from the stored periods.
constexpr quint16 kNoPeriodAnnounced = 0xFFFF;

// Records that the device link has heard from a client: counters, addresses,
// time of contact; the client's moves (green state, pages, the restore of
// "Cliente offline" for a client that comes back) are the transitions'.
class ContactRecorder {
public:
    ContactRecorder(ClientRegistry& registry, ClientTransitions& transitions);

    // client: a primary, or none (then nothing happens). account: the account
    // the message carried; channel 0 unknown, 1 Ethernet, 2 GPRS; period in
    // seconds or kNoPeriodAnnounced.
    void ClientContact(PrimaryClient* client, quint16 account, const QString& address, quint16 port, int channel,
                       quint16 period);

    // Replaces the clock text (tests).
    void setTimeSource(std::function<QString()> now) { m_now = std::move(now); }

private:
    ClientRegistry& m_registry;
    ClientTransitions& m_transitions;
    TimeTextClock m_clock;
    std::function<QString()> m_now;
};
