#include "clients/ClientPageModel.h"

#include "clients/ClientRecord.h"
#include "common/HexText.h"
#include "common/StringTable.h"

namespace {
constexpr int kNameColumn = 1;
constexpr int kAccountColumn = 2;
} // namespace

ClientPageModel::ClientPageModel(int kind, int titleString, QVector<Column> columns, int lockTimeoutMs, QObject* parent)
    : QAbstractTableModel(parent), m_kind(kind), m_titleString(titleString), m_columns(std::move(columns)),
      m_lock(lockTimeoutMs) {}

QString ClientPageModel::title() const {
    return StringTable::text(m_titleString);
}

QString ClientPageModel::caption() const {
    if (m_rows.isEmpty())
        return title();
    return title() + QStringLiteral(" (") + QString::number(m_rows.size()) + QLatin1Char(')');
}

int ClientPageModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int ClientPageModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_columns.size());
}

QVariant ClientPageModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_rows.size() || index.column() >= m_columns.size())
        return {};
    const Row& row = m_rows[index.row()];
    switch (role) {
    case Qt::DisplayRole:
        return index.column() == 0 ? QVariant() : QVariant(row.text[static_cast<size_t>(index.column())]);
    case IconRole:
        return index.column() == 0 ? QVariant(row.icon) : QVariant();
    case Qt::TextAlignmentRole:
        return QVariant(Qt::AlignCenter);
    default:
        return {};
    }
}

QVariant ClientPageModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= m_columns.size())
        return {};
    if (role == Qt::DisplayRole)
        return StringTable::text(m_columns[section].headerString);
    if (role == Qt::TextAlignmentRole)
        return QVariant(Qt::AlignCenter);
    return {};
}

void ClientPageModel::UpdateCaption(bool highlight) {
    // An empty list removes the highlight.
    emit captionChanged(caption(), highlight && !m_rows.isEmpty());
}

void ClientPageModel::ShowPage() {
    emit redrawRequested();
}

int ClientPageModel::AddClient(ClientRecord* client) {
    TimedLockGuard guard(m_lock);
    return addClientUnlocked(client, false);
}

void ClientPageModel::RemoveClient(ClientRecord* client) {
    TimedLockGuard guard(m_lock);
    removeClientUnlocked(client);
}

void ClientPageModel::UpdateIcon(ClientRecord* client) {
    if (!client)
        return;
    TimedLockGuard guard(m_lock);
    const int row = FindRow(client);
    if (row >= 0)
        setIcon(row, client->linkIcon());
}

int ClientPageModel::FindRow(const ClientRecord* client) const {
    if (!client)
        return -1;
    // Every contact looks its client's row up: keep an index of row positions, rebuilt only after
    // rows were removed or replaced, so a page of tens of thousands of clients costs no scan per contact.
    if (!m_rowIndexValid) {
        m_rowIndex.clear();
        m_rowIndex.reserve(m_rows.size());
        for (int i = static_cast<int>(m_rows.size()) - 1; i >= 0; --i)
            m_rowIndex.insert(m_rows[i].client, i);
        m_rowIndexValid = true;
    }
    return m_rowIndex.value(client, -1);
}

ClientRecord* ClientPageModel::clientAt(int row) const {
    return (row >= 0 && row < m_rows.size()) ? m_rows[row].client : nullptr;
}

int ClientPageModel::iconAt(int row) const {
    return (row >= 0 && row < m_rows.size()) ? m_rows[row].icon : -1;
}

QString ClientPageModel::textAt(int row, int column) const {
    if (row < 0 || row >= m_rows.size() || column < 0 || column >= kColumnCount)
        return {};
    return m_rows[row].text[static_cast<size_t>(column)];
}

int ClientPageModel::addClientUnlocked(ClientRecord* client, bool allowDependentRow, bool* inserted) {
    if (inserted)
        *inserted = false;
    if (!client)
        return -1;
    int row = FindRow(client);
    if (row < 0) {
        if (client->isPrimary() || allowDependentRow) {
            row = appendRow(client, client->linkIcon());
            if (inserted)
                *inserted = true;
        } else {
            // A dependent listed through its primary: no row of its own.
            row = static_cast<int>(m_rows.size());
        }
        UpdateCaption(true);
    } else if (client->isPrimary()) {
        setIcon(row, client->linkIcon());
    }
    return row;
}

void ClientPageModel::removeClientUnlocked(ClientRecord* client) {
    const int row = FindRow(client);
    if (row < 0)
        return;
    deleteRow(row);
    UpdateCaption(false);
}

ClientPageModel::Row ClientPageModel::makeRow(ClientRecord* client, int icon) {
    Row row;
    row.client = client;
    row.icon = icon;
    row.text[kNameColumn] = client->name;
    row.text[kAccountColumn] = HexText::hex4(client->account);
    return row;
}

int ClientPageModel::appendRow(ClientRecord* client, int icon) {
    const int row = static_cast<int>(m_rows.size());
    beginInsertRows(QModelIndex(), row, row);
    m_rows.append(makeRow(client, icon));
    if (m_rowIndexValid && !m_rowIndex.contains(client))
        m_rowIndex.insert(client, row);
    endInsertRows();
    return row;
}

void ClientPageModel::deleteRow(int row) {
    if (row < 0 || row >= m_rows.size())
        return;
    ClientRecord* client = m_rows[row].client;
    beginRemoveRows(QModelIndex(), row, row);
    m_rows.removeAt(row);
    m_rowIndexValid = false;
    endRemoveRows();
    if (client && client == m_selected) {
        m_selected = nullptr;
        emit selectionCleared();
    }
}

void ClientPageModel::setText(int row, int column, const QString& text) {
    if (row < 0 || row >= m_rows.size() || column < 0 || column >= kColumnCount)
        return;
    QString& cell = m_rows[row].text[static_cast<size_t>(column)];
    if (cell == text)
        return;
    cell = text;
    const QModelIndex at = index(row, column);
    emit dataChanged(at, at, {Qt::DisplayRole});
}

void ClientPageModel::setIcon(int row, int icon) {
    if (row < 0 || row >= m_rows.size() || m_rows[row].icon == icon)
        return;
    m_rows[row].icon = icon;
    const QModelIndex at = index(row, 0);
    emit dataChanged(at, at, {IconRole});
}

void ClientPageModel::resetRows(QVector<Row> rows) {
    beginResetModel();
    m_rows = std::move(rows);
    m_rowIndexValid = false;
    endResetModel();
    // The selected client may have no row any more (or may be gone altogether).
    if (m_selected && FindRow(m_selected) < 0) {
        m_selected = nullptr;
        emit selectionCleared();
    }
}
