#include "clients/ClientContact.h"

#include "clients/ClientRecord.h"
#include "clients/ClientRegistry.h"
#include "clients/ClientTransitions.h"
#include "common/TimeText.h"

namespace {
// Grace added to an announced keep-alive period before a link counts as silent.
constexpr qint32 kEthGraceSeconds = 40;
constexpr qint32 kGprsGraceSeconds = 120;
} // namespace

ContactRecorder::ContactRecorder(ClientRegistry& registry, ClientTransitions& transitions)
    : m_registry(registry), m_transitions(transitions), m_now([this] { return m_clock.now(); }) {}

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
        // The address index files a Multicom client under its Ethernet address.
        if (client->ethAddress != address)
            m_registry.setEthAddress(client, address);
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

    m_transitions.heard(*client, client->FindAccount(account));
}
