#include "clients/ClientContact.h"

#include "clients/ClientPages.h"
#include "clients/ClientRecord.h"
#include "clients/ClientRegistry.h"
#include "common/TimeText.h"
#include "events/EventRaiser.h"
#include "events/InternalEventTable.h"

namespace {
// Grace added to an announced keep-alive period before a link counts as silent.
constexpr qint32 kEthGraceSeconds = 40;
constexpr qint32 kGprsGraceSeconds = 120;
} // namespace

ContactRecorder::ContactRecorder(ClientRegistry& registry, ClientPages& pages, EventRaiser& events,
                                 const InternalEventTable& internalEvents)
    : m_registry(registry), m_pages(pages), m_events(events), m_internalEvents(internalEvents),
      m_now([this] { return m_clock.now(); }) {}

void ContactRecorder::ClientContact(PrimaryClient* client, quint16 account, const QString& address, quint16 port,
                                    int channel, quint16 period) {
    if (!client)
        return;

    const QString when = m_now();

    // Restart the supervision counters.
    if (period == kNoPeriodAnnounced) {
        client->ethCountdown = client->ethPeriod + kEthGraceSeconds;
        client->gprsCountdown = client->gprsPeriod + kGprsGraceSeconds;
    } else if (channel == Channel::Ethernet) {
        client->ethPeriod = period;
        client->ethCountdown = period + kEthGraceSeconds;
    } else if (channel == Channel::Gprs) {
        client->gprsPeriod = period;
        client->gprsCountdown = period + kGprsGraceSeconds;
    }

    // Record the addresses; commands prefer the Ethernet link while it lives.
    if (channel == Channel::Ethernet) {
        if (client->ethAddress != address) {
            // The address index files a Multicom client under its Ethernet
            // address: file it again under the new one.
            const bool refile = client->isMulticom() && m_registry.IsRegistered(client);
            if (refile)
                m_registry.Unregister(client);
            client->setEthAddress(address);
            if (refile)
                m_registry.Register(client);
        }
        client->setEthPort(port);
        client->address = address;
        client->port = port;
    } else if (channel == Channel::Gprs) {
        client->gprsAddress = address;
        client->gprsPort = port;
        if (client->ethCountdown == 0 || client->ethPort == 0) {
            client->address = address;
            client->port = port;
        }
    }

    client->lastContact = when;
    client->setChannel(channel);

    // A new account heard from for the first time leaves the New page.
    bool save = false;
    ClientRecord* reported = client->FindAccount(account);
    if (reported && reported->status == ClientStatus::New) {
        m_pages.newClients().RemoveNewAccount(reported);
        save = true;
    }

    if (client->linkState != LinkState::Ok) {
        client->linkState = LinkState::Ok;
        switch (client->status) {
        case ClientStatus::New:
            m_pages.newClients().RemoveNewPrimary(client);
            m_pages.online().AddClient(client);
            save = true;
            break;
        case ClientStatus::Offline: {
            m_pages.offline().RemoveClient(client);
            m_pages.online().AddClient(client);
            const InternalEventSettings& settings = m_internalEvents.settings;
            const quint16 code = static_cast<quint16>(m_internalEvents.row(InternalEvent::ClientOffline).code +
                                                      InternalEvent::kRestoreBase);
            m_events.RaiseClientEvent(client, code, settings.partition, settings.zone, EventProtocol::Internal);
            break;
        }
        case ClientStatus::Online:
            m_pages.online().AddClient(client);
            break;
        case ClientStatus::Blocked:
            m_pages.blocked().AddClient(client);
            break;
        default:
            break;
        }
    } else if (client->status == ClientStatus::Online) {
        m_pages.online().AddClient(client);
    }

    // One write covers both reasons to save (first contact of an account, of a primary).
    if (save)
        m_registry.saveList();
}
