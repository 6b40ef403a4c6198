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
    // Blocks the client. A primary takes its dependents with it: those already
    // blocked lose their own rows, those neither blocked nor new become blocked.
    // Any record gets a row here, a dependent too.
    int AddClient(ClientRecord* client) override;
};
