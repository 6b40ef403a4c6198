#include "clients/ClientMonitor.h"

#include "clients/ClientRecord.h"
#include "clients/ClientRegistry.h"
#include "clients/ClientTransitions.h"

namespace {
// How many records ahead of the one being counted the walk asks the memory for.
constexpr size_t kFetchAhead = 8;
} // namespace

ClientMonitor::ClientMonitor(ClientRegistry& registry, ClientTransitions& transitions, int intervalMs, QObject* parent)
    : QObject(parent), m_registry(registry), m_transitions(transitions) {
    m_timer.setInterval(intervalMs);
    // A precise repeating timer keeps its one-second rhythm without drift.
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &ClientMonitor::tick);
}

void ClientMonitor::StartMonitor() {
    if (!m_timer.isActive())
        m_timer.start();
}

void ClientMonitor::stop() {
    m_timer.stop();
}

void ClientMonitor::tick() {
    if (m_walking)
        return; // never two walks at once, even if a page operation were to dispatch events
    m_walking = true;
    if (!m_listBuilt || m_listChanges != m_registry.changeCount()) {
        m_primaries.clear(); // keeps its capacity: no allocation unless the register grew
        m_registry.ForEachPrimary([this](PrimaryClient* client) { m_primaries.push_back(client); });
        m_listChanges = m_registry.changeCount();
        m_listBuilt = true;
    }
    const size_t count = m_primaries.size();
    for (size_t i = 0; i < count; ++i) {
        if (i + kFetchAhead < count)
            __builtin_prefetch(&m_primaries[i + kFetchAhead]->ethCountdown, 1);
        supervise(*m_primaries[i]);
        if (m_registry.changeCount() != m_listChanges)
            break; // the rest of the list may name removed records
    }
    m_walking = false;
}

void ClientMonitor::supervise(PrimaryClient& c) {
    // A negative countdown (a damaged stored period) counts as run out; counting
    // it down would never end.
    if (c.ethCountdown < 0)
        c.ethCountdown = 0;
    if (c.gprsCountdown < 0)
        c.gprsCountdown = 0;

    if (c.ethCountdown != 0) {
        if (--c.ethCountdown == 0 && c.gprsCountdown > 0) {
            // Ethernet went silent while GPRS still lives: commands go to GPRS.
            c.address = c.gprsAddress;
            c.port = c.gprsPort;
            c.ethPort = 0;
        }
    } else if (c.gprsCountdown == 0) {
        return; // nothing to count: not heard yet, or already handled
    }
    if (c.gprsCountdown != 0) {
        if (--c.gprsCountdown == 0 && c.ethCountdown > 0) {
            c.address = c.ethAddress;
            c.port = c.ethPort;
            c.gprsPort = 0;
        }
    }
    if (c.ethCountdown != 0 || c.gprsCountdown != 0)
        return;

    switch (c.linkState) {
    case LinkState::Ok:
    case LinkState::NotHeard:
        m_transitions.turnLate(c);
        break;
    case LinkState::Late:
        m_transitions.turnLost(c, !m_linkOnline || m_linkOnline());
        break;
    default:
        break;
    }
    m_transitions.linkIconChanged(c);
}
