#include "device/LinkStatusWatch.h"

#include "clients/ClientRegistry.h"
#include "common/UserInterface.h"
#include "events/EventRequest.h"

namespace {
constexpr quint64 kNoClient = 0;
}

LinkStatusWatch::LinkStatusWatch(const ClientRegistry& registry, EventRequestSink& requests, UserInterface& ui,
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
    m_requests.postEventRequest(kNoClient, up ? kInternetUpCode : kInternetDownCode);
}
