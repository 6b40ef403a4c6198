#include "clients/ClientTransitions.h"

#include "clients/ClientPages.h"
#include "clients/ClientRecord.h"
#include "clients/ClientRegistry.h"
#include "clients/ClientStatusEvents.h"
#include "common/EventRequests.h"
#include "common/StringTable.h"
#include "common/UserInterface.h"
#include "config/ServerSettings.h"

ClientTransitions::ClientTransitions(ClientRegistry& registry, ClientPages& pages, ClientStatusEvents& events,
                                     EventRequests& requests, UserInterface& ui, const ServerSettings& settings,
                                     const DataDirectory& dir)
    : m_registry(registry), m_pages(pages), m_events(events), m_requests(requests), m_ui(ui), m_settings(settings),
      m_dir(dir) {}

void ClientTransitions::heard(PrimaryClient& client, ClientRecord* reported) {
    // A new account heard from for the first time leaves the New page.
    bool save = false;
    if (reported && reported->status == ClientStatus::New) {
        // This form gives no rows to a primary's still-new dependents: they
        // show again at the New page's next refill.
        m_pages.newClients().RemoveNewAccount(reported);
        reported->status = ClientStatus::Online;
        save = true;
    }

    if (client.linkState != LinkState::Ok) {
        client.linkState = LinkState::Ok;
        switch (client.status) {
        case ClientStatus::New:
            // Its still-new dependents get rows of their own on the New page.
            m_pages.newClients().RemoveNewPrimary(&client);
            place(client, ClientStatus::Online);
            save = true;
            break;
        case ClientStatus::Offline:
            m_pages.offline().RemoveClient(&client);
            place(client, ClientStatus::Online);
            m_events.clientBackOnline(&client);
            break;
        case ClientStatus::Online:
        case ClientStatus::Blocked:
            place(client, client.status); // the row again, green
            break;
        default:
            break;
        }
    } else if (client.status == ClientStatus::Online) {
        place(client, ClientStatus::Online);
    }

    // One write covers both reasons to save (first contact of an account, of a primary).
    if (save)
        m_registry.saveList();
}

void ClientTransitions::newAccountHeard(ClientRecord& record) {
    if (record.status != ClientStatus::New)
        return;
    m_pages.newClients().RemoveClient(&record);
    if (record.isDependent())
        record.status = ClientStatus::Online;
    m_registry.saveList();
}

void ClientTransitions::place(ClientRecord& record, int status) {
    ClientPageModel* page = m_pages.PageForStatus(status);
    if (page)
        page->AddClient(&record);
    record.status = status;
    // A blocked primary takes its dependents with it, except those still new.
    if (status == ClientStatus::Blocked) {
        for (DependentAccount* d = record.firstDependent(); d; d = d->nextDependent)
            if (d->status != ClientStatus::New)
                d->status = ClientStatus::Blocked;
    }
}

void ClientTransitions::turnLate(PrimaryClient& client) {
    client.linkState = LinkState::Late;
    client.ethCountdown = qMax(client.ethPeriod, 0);
    if (client.status != ClientStatus::Online)
        return;
    m_pages.online().AddClient(&client);
    redrawIfShown(ClientStatus::Online);
}

void ClientTransitions::turnLost(PrimaryClient& client, bool serverLinkUp) {
    client.linkState = LinkState::Lost;
    if (client.status != ClientStatus::Online)
        return;
    if (!serverLinkUp) {
        // The server's own link is down: the client stays on the Online page, red.
        m_pages.online().UpdateIcon(&client);
        return;
    }
    m_pages.online().RemoveClient(&client);
    place(client, ClientStatus::Offline);
    redrawIfShown(ClientStatus::Online);
    redrawIfShown(ClientStatus::Offline);
    if (m_settings.SoundOffline != 0)
        m_ui.playSound(m_dir.file(QString::fromLatin1(kOfflineSound)));
    m_requests.requestClientEvent(client.serial, InternalEvent::ClientOffline, false);
}

void ClientTransitions::linkIconChanged(PrimaryClient& client) {
    if (client.status == ClientStatus::Blocked)
        m_pages.blocked().UpdateIcon(&client);
    else if (client.status == ClientStatus::New)
        m_pages.newClients().UpdateIcon(&client);
}

void ClientTransitions::redrawIfShown(int status) {
    if (m_currentPage && m_currentPage() == status) {
        if (ClientPageModel* page = m_pages.PageForStatus(status))
            page->ShowPage();
    }
}

void ClientTransitions::block(ClientRecord& client, int fromKind) {
    ClientPageModel* from = m_pages.PageForStatus(fromKind);
    const bool hadRow = from && from->FindRow(&client) >= 0;
    // A client without a row here (a dependent picked in the box) leaves the page of its status.
    if (!hadRow && client.status != fromKind) {
        if (ClientPageModel* own = m_pages.PageForStatus(client.status))
            own->RemoveClient(&client);
    }
    place(client, ClientStatus::Blocked);
    m_events.clientBlocked(&client, false);
    if (hadRow) {
        from->RemoveClient(&client); // the row, the selection, the caption
        client.status = ClientStatus::Blocked;
    }
    m_registry.saveList();
}

bool ClientTransitions::unblock(ClientRecord& client) {
    if (client.isDependent()) {
        const PrimaryClient* primary = client.primaryRecord();
        if (!primary) {
            m_ui.showMessage(QString::fromLatin1(kNoPrimaryText), UserInterface::Icon::Exclamation);
            return false;
        }
        if (primary->status == ClientStatus::Blocked) {
            m_ui.showMessage(StringTable::text(kMsgUnblockPrimaryFirst), UserInterface::Icon::Exclamation);
            return false;
        }
    }
    m_pages.blocked().RemoveClient(&client);
    place(client, client.linkIcon() == LinkState::Lost ? ClientStatus::Offline : ClientStatus::Online);
    // Its blocked dependents stay blocked, now with rows of their own.
    for (DependentAccount* d = client.firstDependent(); d; d = d->nextDependent)
        if (d->status == ClientStatus::Blocked)
            place(*d, ClientStatus::Blocked);
    m_registry.saveList();
    m_events.clientBlocked(&client, true);
    return true;
}

bool ClientTransitions::removeBlocked(ClientRecord& client) {
    if (client.hasDependents()) {
        m_ui.showMessage(StringTable::text(kMsgRemoveDependentsFirst), UserInterface::Icon::Exclamation);
        return false;
    }
    m_events.clientRemoved(&client);
    discard(client);
    m_registry.saveList();
    return true;
}

bool ClientTransitions::discard(ClientRecord& record) {
    if (record.hasDependents()) {
        m_ui.showMessage(StringTable::text(kMsgRemoveDependentsFirst), UserInterface::Icon::Exclamation);
        return false;
    }
    for (int status = ClientStatus::Online; status <= ClientStatus::New; ++status) {
        ClientPageModel* page = m_pages.PageForStatus(status);
        if (page->FindRow(&record) >= 0)
            page->RemoveClient(&record);
    }
    m_registry.Unregister(&record);
    if (record.isDependent() && record.isOrphan())
        delete &record; // no primary owns it
    else
        record.destroy(m_ui);
    return true;
}

void ClientTransitions::refill(int kind) {
    if (ClientPageModel* page = m_pages.PageForStatus(kind))
        page->Refill(m_registry);
}
