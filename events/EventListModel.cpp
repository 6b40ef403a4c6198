#include "events/EventListModel.h"

#include "common/StringTable.h"

#include <algorithm>
#include <limits>

namespace {
constexpr quint8 kNoResult = std::numeric_limits<quint8>::max();
} // namespace

EventListModel::EventListModel(QObject* parent) : QAbstractTableModel(parent), m_batchTimer(this) {
    m_batchTimer.setObjectName(QStringLiteral("eventBatchTimer"));
    m_batchTimer.setSingleShot(true);
    m_batchTimer.setInterval(kBatchIntervalMs);
    connect(&m_batchTimer, &QTimer::timeout, this, &EventListModel::showWaitingRows);
}

int EventListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_shown);
}

int EventListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

quint8 EventListModel::clampResult(int result) {
    return (result >= 0 && result < kNoResult) ? static_cast<quint8>(result) : kNoResult;
}

int EventListModel::resultAt(int row) const {
    if (row < 0 || static_cast<size_t>(row) >= m_shown)
        return -1;
    const quint8 result = rowAt(row).result;
    return result == kNoResult ? -1 : result;
}

QString EventListModel::cellText(int row, int column) const {
    if (row < 0 || static_cast<size_t>(row) >= m_shown)
        return {};
    const Row& r = rowAt(row);
    switch (column) {
    case TimeColumn:
        return m_pool.text(r.time);
    case NameColumn:
        return m_pool.text(r.name);
    case AccountColumn:
        return m_pool.text(r.account);
    case TextColumn:
        return m_pool.text(r.text);
    case CodeColumn:
        return m_pool.text(r.code);
    case PartitionColumn:
        return m_pool.text(r.partition);
    case ZoneColumn:
        return m_pool.text(r.zone);
    case PanelColumn:
        return m_pool.text(r.panel);
    case ProtocolColumn:
        return m_pool.text(r.protocol);
    default:
        return {};
    }
}

QVariant EventListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || static_cast<size_t>(index.row()) >= m_shown)
        return {};
    switch (role) {
    case Qt::DisplayRole:
        if (index.column() == IconColumn)
            return {};
        return cellText(index.row(), index.column());
    case Qt::DecorationRole:
        if (index.column() == IconColumn && m_icons)
            return m_icons(resultAt(index.row()));
        return {};
    case ResultRole:
        return resultAt(index.row());
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(Qt::Alignment(Qt::AlignCenter));
    default:
        return {};
    }
}

QVariant EventListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount)
        return {};
    if (role == Qt::DisplayRole)
        return StringTable::text(kHeaderStrings[section]);
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::Alignment(Qt::AlignCenter));
    return {};
}

void EventListModel::prepend(const EventLine& line) {
    Row row;
    row.time = m_pool.appendSequential(line.time);
    row.name = m_pool.intern(line.name);
    row.account = m_pool.intern(line.account);
    row.text = m_pool.intern(line.text);
    row.code = m_pool.intern(line.qualifier + QLatin1Char(' ') + line.code);
    row.partition = m_pool.intern(line.partition);
    row.zone = m_pool.intern(line.zone);
    row.panel = m_pool.intern(line.panel);
    row.protocol = m_pool.intern(line.protocol);
    row.result = clampResult(line.result);
    m_rows.push_back(row);
    if (!m_batchTimer.isActive())
        m_batchTimer.start();
}

void EventListModel::showWaitingRows() {
    m_batchTimer.stop();
    const int count = waitingRows();
    if (count == 0)
        return;
    // The waiting rows are the newest: they go on top, the newest first.
    beginInsertRows(QModelIndex(), 0, count - 1);
    m_shown = m_rows.size();
    endInsertRows();
    emit rowsShown(count);
}

void EventListModel::beginRebuild() {
    m_batchTimer.stop();
    beginResetModel();
    m_shown = 0;
    m_rows.clear();
    m_rows.shrink_to_fit();
    m_pool.clear();
}

void EventListModel::appendOldest(const RawFields& raw) {
    using F = EventLine::Field;
    Row row;
    row.time = m_pool.appendSequential(raw.fields[F::Time]);
    row.name = m_pool.intern(raw.fields[F::Name]);
    row.account = m_pool.intern(raw.fields[F::Account]);
    row.text = m_pool.intern(raw.fields[F::Text]);
    // "Codigo" shows the qualifier, one blank, the code text.
    const QByteArrayView qualifier = raw.fields[F::Qualifier];
    const QByteArrayView code = raw.fields[F::Code];
    char buffer[64];
    if (qualifier.size() + 1 + code.size() <= qsizetype(sizeof buffer)) {
        char* out = buffer;
        out = std::copy(qualifier.begin(), qualifier.end(), out);
        *out++ = ' ';
        out = std::copy(code.begin(), code.end(), out);
        row.code = m_pool.intern(QByteArrayView(buffer, out - buffer));
    } else {
        const QByteArray joined = qualifier.toByteArray() + ' ' + code.toByteArray();
        row.code = m_pool.intern(QByteArrayView(joined));
    }
    row.partition = m_pool.intern(raw.fields[F::Partition]);
    row.zone = m_pool.intern(raw.fields[F::Zone]);
    row.panel = m_pool.intern(raw.fields[F::Panel]);
    row.protocol = m_pool.intern(raw.fields[F::Protocol]);
    row.result = clampResult(raw.result);
    m_rows.push_back(row);
}

void EventListModel::endRebuild() {
    m_shown = m_rows.size();
    endResetModel();
}
