#pragma once

#include "clients/ClientPageModel.h"

// The "Offline" page: primaries with status 2. Columns: icon, "Cliente",
// "Conta", "Ultimo contato", "Painel".
class OfflinePageModel : public ClientPageModel {
    Q_OBJECT
public:
    explicit OfflinePageModel(int lockTimeoutMs = TimedLock::kDefaultTimeoutMs, QObject* parent = nullptr);

    void Refill(ClientRegistry& registry) override;
    // A dependent gets no row (-1); a primary gets a row with
    // its last contact and panel.
    int AddClient(ClientRecord* client) override;
};
