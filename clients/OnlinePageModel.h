#pragma once

#include "clients/ClientPageModel.h"

// The "Online" page: primaries with status 1 (at a refill, those not lost).
// Columns: icon, "Cliente", "Conta", "Canal", "Painel".
class OnlinePageModel : public ClientPageModel {
    Q_OBJECT
public:
    explicit OnlinePageModel(int lockTimeoutMs = TimedLock::kDefaultTimeoutMs, QObject* parent = nullptr);

    void Refill(ClientRegistry& registry) override;
    // A dependent gets no row (-1); a primary gets or keeps its row with a
    // fresh icon and link type.
    int AddClient(ClientRecord* client) override;

    // "ETH" for channel 1, "GPRS" for 2, else empty.
    static QString channelText(int channel);
};
