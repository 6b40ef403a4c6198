#pragma once

#include "clients/ClientPageModel.h"

// The "Bloqueados" page: blocked primaries, and blocked dependents whose
// primary is not blocked (with the primary's panel and a white icon).
// Columns: icon, "Cliente", "Conta", "Painel".
class BlockedPageModel : public ClientPageModel {
    Q_OBJECT
public:
    explicit BlockedPageModel(int lockTimeoutMs = TimedLock::kDefaultTimeoutMs, QObject* parent = nullptr);

    void Refill(ClientRegistry& registry) override;
    // Lists a blocked client. A primary's row stands for its blocked
    // dependents, whose own rows go. Any record gets a row here, a dependent too.
    int AddClient(ClientRecord* client) override;
};
