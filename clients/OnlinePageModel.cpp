#include "clients/OnlinePageModel.h"

#include "clients/ClientRecord.h"
#include "clients/ClientRegistry.h"

namespace {
constexpr int kTitleString = 115; // "Online"
constexpr int kChannelColumn = 3;
constexpr int kPanelColumn = 4;
} // namespace

OnlinePageModel::OnlinePageModel(int lockTimeoutMs, QObject* parent)
    : ClientPageModel(ClientStatus::Online, kTitleString, {{400, 25}, {135, 150}, {403, 50}, {173, 75}, {408, 220}},
                      lockTimeoutMs, parent) {}

QString OnlinePageModel::channelText(int channel) {
    switch (channel) {
    case Channel::Ethernet:
        return QStringLiteral("ETH");
    case Channel::Gprs:
        return QStringLiteral("GPRS");
    default:
        return {};
    }
}

void OnlinePageModel::Refill(ClientRegistry& registry) {
    TimedLockGuard guard(pageLock());
    QVector<Row> rows;
    registry.ForEachPrimary([&rows](PrimaryClient* client) {
        if (client->status != ClientStatus::Online || client->linkState == LinkState::Lost)
            return;
        Row row = makeRow(client, client->linkIcon());
        row.text[kChannelColumn] = channelText(client->channelValue());
        row.text[kPanelColumn] = client->panelText();
        rows.append(std::move(row));
    });
    resetRows(std::move(rows));
    UpdateCaption(false);
}

int OnlinePageModel::AddClient(ClientRecord* client) {
    if (!client)
        return -1;
    TimedLockGuard guard(pageLock());
    if (client->isDependent())
        return -1;
    bool inserted = false;
    const int row = addClientUnlocked(client, false, &inserted);
    if (inserted)
        setText(row, kPanelColumn, client->panelText());
    setText(row, kChannelColumn, channelText(client->channelValue()));
    return row;
}
