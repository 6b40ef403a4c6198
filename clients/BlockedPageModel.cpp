#include "clients/BlockedPageModel.h"

#include "clients/ClientRecord.h"
#include "clients/ClientRegistry.h"

namespace {
constexpr int kTitleString = 117; // "Bloqueados"
constexpr int kPanelColumn = 3;
} // namespace

BlockedPageModel::BlockedPageModel(int lockTimeoutMs, QObject* parent)
    : ClientPageModel(ClientStatus::Blocked, kTitleString, {{400, 25}, {135, 225}, {403, 60}, {408, 201}},
                      lockTimeoutMs, parent) {}

void BlockedPageModel::Refill(ClientRegistry& registry) {
    TimedLockGuard guard(pageLock());
    QVector<Row> rows;
    registry.ForEachPrimary([&rows](PrimaryClient* client) {
        if (client->status == ClientStatus::Blocked) {
            Row row = makeRow(client, client->linkIcon());
            row.text[kPanelColumn] = client->panelText();
            rows.append(std::move(row));
            return;
        }
        for (DependentAccount* d = client->dependents; d; d = d->nextDependent) {
            if (d->status != ClientStatus::Blocked)
                continue;
            Row row = makeRow(d, LinkState::NotHeard);
            row.text[kPanelColumn] = client->panelText();
            rows.append(std::move(row));
        }
    });
    resetRows(std::move(rows));
    UpdateCaption(false);
}

int BlockedPageModel::AddClient(ClientRecord* client) {
    if (!client)
        return -1;
    // One lock for the whole operation: the base part runs as the unlocked
    // helper, since asking for the page lock again would wait out its time-out.
    TimedLockGuard guard(pageLock());
    // The primary's row lists its blocked dependents: their own rows go.
    for (DependentAccount* d = client->firstDependent(); d; d = d->nextDependent)
        if (d->status == ClientStatus::Blocked)
            deleteRow(FindRow(d));
    const int row = addClientUnlocked(client, true);
    if (row >= 0 && row < rowCount()) {
        setText(row, kPanelColumn, client->panelText());
        UpdateCaption(true);
    }
    return row;
}
