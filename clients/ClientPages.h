#pragma once

#include "clients/BlockedPageModel.h"
#include "clients/ClientRecord.h"
#include "clients/NewClientsPageModel.h"
#include "clients/OfflinePageModel.h"
#include "clients/OnlinePageModel.h"

// The lists of the four client pages, one of each for the life of the main
// window. A client's `status` names the page that lists it.
class ClientPages {
public:
    explicit ClientPages(int lockTimeoutMs = TimedLock::kDefaultTimeoutMs)
        : m_online(lockTimeoutMs), m_offline(lockTimeoutMs), m_blocked(lockTimeoutMs), m_new(lockTimeoutMs) {}
    ClientPages(const ClientPages&) = delete;
    ClientPages& operator=(const ClientPages&) = delete;

    OnlinePageModel& online() { return m_online; }
    OfflinePageModel& offline() { return m_offline; }
    BlockedPageModel& blocked() { return m_blocked; }
    NewClientsPageModel& newClients() { return m_new; }

    // The page of a status: 1 online, 2 offline, 3 blocked, 4 new; none otherwise.
    ClientPageModel* PageForStatus(int status) {
        switch (status) {
        case ClientStatus::Online:
            return &m_online;
        case ClientStatus::Offline:
            return &m_offline;
        case ClientStatus::Blocked:
            return &m_blocked;
        case ClientStatus::New:
            return &m_new;
        default:
            return nullptr;
        }
    }

    // Refills every page from the registry.
    void refillAll(ClientRegistry& registry) {
        m_online.Refill(registry);
        m_offline.Refill(registry);
        m_blocked.Refill(registry);
        m_new.Refill(registry);
    }

private:
    OnlinePageModel m_online;
    OfflinePageModel m_offline;
    BlockedPageModel m_blocked;
    NewClientsPageModel m_new;
};
