#include "device/LinkStatusWatch.h"

#include "clients/ClientRegistry.h"
#include "common/EventRequests.h"
#include "common/UserInterface.h"

LinkStatusWatch::LinkStatusWatch(const ClientRegistry& registry, EventRequests& requests, UserInterface& ui,
                                 int intervalMs, QObject* parent)
    : QObject(parent), m_registry(registry), m_requests(requests), m_ui(ui) {
    m_timer.setInterval(intervalMs);
    connect(&m_timer, &QTimer::timeout, this, &LinkStatusWatch::tick);
}

void LinkStatusWatch::start() {
    if (!m_timer.isActive())
        m_timer.start();
}

void LinkStatusWatch::stop() {
    m_timer.stop();
}

void LinkStatusWatch::tick() {
    bool up = false;
    m_registry.ForEachPrimary([&up](const PrimaryClient* client) {
        if (client->isDirect() && client->linkState != LinkState::Lost)
            up = true;
    });
    if (up == m_online)
        return;
    m_online = up;
    m_ui.setStatusField(StatusField::Internet, up ? QStringLiteral("Online") : QStringLiteral("Offline"));
    // Internal event 7: its restore when the link comes back (3007), new when it fails (1007).
    m_requests.requestServerEvent(InternalEvent::InternetFailure, up);
}
