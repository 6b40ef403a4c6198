#include "clients/OfflinePageModel.h"

#include "clients/ClientRecord.h"
#include "clients/ClientRegistry.h"

namespace {
constexpr int kTitleString = 116; // "Offline"
constexpr int kLastContactColumn = 3;
constexpr int kPanelColumn = 4;
} // namespace

OfflinePageModel::OfflinePageModel(int lockTimeoutMs, QObject* parent)
    : ClientPageModel(ClientStatus::Offline, kTitleString, {{400, 25}, {135, 160}, {403, 25}, {143, 120}, {408, 190}},
                      lockTimeoutMs, parent) {}

void OfflinePageModel::Refill(ClientRegistry& registry) {
    TimedLockGuard guard(pageLock());
    QVector<Row> rows;
    registry.ForEachPrimary([&rows](PrimaryClient* client) {
        if (client->status != ClientStatus::Offline)
            return;
        Row row = makeRow(client, client->linkIcon());
        row.text[kLastContactColumn] = client->lastContactText();
        row.text[kPanelColumn] = client->panelText();
        rows.append(std::move(row));
    });
    resetRows(std::move(rows));
    UpdateCaption(false);
}

int OfflinePageModel::AddClient(ClientRecord* client) {
    if (!client)
        return -1;
    TimedLockGuard guard(pageLock());
    if (client->isDependent())
        return -1;
    bool inserted = false;
    const int row = addClientUnlocked(client, false, &inserted);
    if (inserted) {
        setText(row, kLastContactColumn, client->lastContactText());
        setText(row, kPanelColumn, client->panelText());
    }
    return row;
}
