#include "clients/NewClientsPageModel.h"

#include "clients/ClientRecord.h"
#include "clients/ClientRegistry.h"
#include "common/HexText.h"

namespace {
constexpr int kTitleString = 118; // "Novos"
constexpr int kNameColumn = 1;
constexpr int kAccountColumn = 2;
} // namespace

NewClientsPageModel::NewClientsPageModel(int lockTimeoutMs, QObject* parent)
    : ClientPageModel(ClientStatus::New, kTitleString, {{400, 25}, {135, 225}, {403, 60}, {145, 201}}, lockTimeoutMs,
                      parent) {}

void NewClientsPageModel::Refill(ClientRegistry& registry) {
    TimedLockGuard guard(pageLock());
    QVector<Row> rows;
    registry.ForEachPrimary([&rows](PrimaryClient* client) {
        if (client->status == ClientStatus::New) {
            rows.append(makeRow(client, client->linkIcon()));
            return;
        }
        for (DependentAccount* d = client->dependents; d; d = d->nextDependent)
            if (d->status == ClientStatus::New)
                rows.append(makeRow(d, LinkState::NotHeard));
    });
    resetRows(std::move(rows));
    UpdateCaption(false);
}

int NewClientsPageModel::AddClient(ClientRecord* client) {
    TimedLockGuard guard(pageLock());
    return addClientUnlocked(client);
}

int NewClientsPageModel::addClientUnlocked(ClientRecord* client) {
    if (!client)
        return -1;
    if (client->isDependent() && FindRow(client->primaryRecord()) >= 0)
        return -1; // listed through its primary's row
    int row = FindRow(client);
    if (row < 0) {
        row = appendRow(client, client->linkIcon());
        UpdateCaption(true);
    }
    setText(row, kNameColumn, client->name);
    setText(row, kAccountColumn, HexText::hex4(client->account));
    return row;
}

void NewClientsPageModel::RemoveClient(ClientRecord* client) {
    if (!client)
        return;
    if (client->isPrimary())
        RemoveNewPrimary(client);
    else
        RemoveNewAccount(client);
}

void NewClientsPageModel::RemoveNewPrimary(ClientRecord* client) {
    if (!client)
        return;
    TimedLockGuard guard(pageLock());
    const int row = FindRow(client);
    if (row < 0)
        return;
    deleteRow(row);
    // The still-new dependents were listed through the primary's row; now each
    // needs its own (the New page's AddClient, run here without a second lock).
    for (DependentAccount* d = client->firstDependent(); d; d = d->nextDependent)
        if (d->status == ClientStatus::New)
            addClientUnlocked(d);
    UpdateCaption(true);
    playNewRegister();
}

void NewClientsPageModel::RemoveNewAccount(ClientRecord* record) {
    if (!record)
        return;
    TimedLockGuard guard(pageLock());
    const int row = FindRow(record);
    if (row >= 0) {
        deleteRow(row);
        UpdateCaption(true);
        playNewRegister();
    }
}

void NewClientsPageModel::playNewRegister() {
    if (m_playNewRegister)
        m_playNewRegister();
}
