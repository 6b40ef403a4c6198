#pragma once

#include "clients/ClientContact.h"
#include "clients/ClientPages.h"
#include "clients/ClientRegistry.h"
#include "clients/ClientTransitions.h"
#include "common/DataDirectory.h"
#include "config/ServerSettings.h"
#include "events/ClientStatusRaiser.h"
#include "events/InternalEventForwarder.h"
#include "events/InternalEventTable.h"
#include "tests/support/FakeReporter.h"
#include "tests/support/RecordingEventRaiser.h"
#include "tests/support/RecordingEventRequests.h"
#include "tests/support/RecordingUserInterface.h"

// The clients of a receiver, wired as the application wires them, with what
// they announce recorded: raised events (internal client events in events.internalEvents),
// event requests, sounds and list saves.
struct ClientWorld {
    ClientWorld() {
        registry.setSaveHandler([this] { ++saves; });
    }
    ~ClientWorld() { registry.Shutdown(); }

    ServerSettings settings;
    InternalEventTable internalEvents;
    ClientRegistry registry;
    ClientPages pages;
    RecordingEventRaiser events;
    RecordingEventRequests requests;
    RecordingUserInterface ui;
    FakeReporter reporter; // rows disabled: client internal events are listed NotSent
    InternalEventForwarder internalRaiser{internalEvents, reporter, events};
    ClientStatusRaiser returns{events, internalRaiser, internalEvents};
    ClientTransitions transitions{
        registry, pages, returns, requests, ui, settings, DataDirectory(QStringLiteral("/srv/atalaia"))};
    ContactRecorder contacts{registry, transitions};
    int saves = 0;
};

// Builds client records for tests: registered, and listed on the page of their status.
class ClientBuilder {
public:
    explicit ClientBuilder(ClientWorld& world) : m_world(world) {}

    PrimaryClient* primary(quint16 account, int status, int linkState = LinkState::NotHeard) {
        return add(new PrimaryClient, account, status, linkState);
    }

    // A Multicom client with its six MAC characters.
    MulticomClient* multicom(quint16 account, const char* macKey, int status = ClientStatus::Online) {
        auto* client = new MulticomClient;
        for (int i = 0; i < 6; ++i)
            client->setMacChar(i, macKey[i]);
        add(client, account, status, LinkState::NotHeard);
        return client;
    }

    DependentAccount* dependent(PrimaryClient* owner, quint16 account, int status) {
        auto* d = new DependentAccount;
        d->account = account;
        d->name = QStringLiteral("Conta %1").arg(account, 4, 16, QLatin1Char('0'));
        d->status = status;
        owner->AddDependent(d);
        m_world.registry.Register(d);
        return d;
    }

private:
    PrimaryClient* add(PrimaryClient* p, quint16 account, int status, int linkState) {
        p->account = account;
        p->deviceId = account;
        p->name = QStringLiteral("Cliente %1").arg(account, 4, 16, QLatin1Char('0'));
        p->status = status;
        p->linkState = linkState;
        m_world.registry.Register(p);
        if (ClientPageModel* page = m_world.pages.PageForStatus(status))
            page->AddClient(p);
        return p;
    }

    ClientWorld& m_world;
};
