#pragma once

#include "events/EventLine.h"
#include "events/EventTextPool.h"

#include <QAbstractTableModel>
#include <QTimer>

#include <functional>
#include <vector>

// The rows of the events list, newest first. Rows are kept in arrival order
// and shown reversed, so a new event becomes the top row in constant time;
// each row is a small record of text indexes into a shared text pool, so a
// list of a million rows stays small.
//
// New rows reach the views in batches: a new event is stored at once and
// waits, with those that follow it, until the batch timer (kBatchIntervalMs
// after the first of them) shows them all as one insertion at the top. The
// views are told once per batch, so a burst of events costs them at most one
// repaint per interval; rowCount() counts the rows shown, eventCount() every
// row stored. A rebuild reads the waiting rows back from the log with the
// others.
class EventListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column {
        IconColumn = 0,
        TimeColumn,
        NameColumn,
        AccountColumn,
        TextColumn,
        CodeColumn,
        PartitionColumn,
        ZoneColumn,
        PanelColumn,
        ProtocolColumn,
        ColumnCount
    };
    static constexpr int kHeaderStrings[ColumnCount] = {400, 401, 402, 403, 404, 405, 406, 407, 408, 409};
    static constexpr int kDefaultWidths[ColumnCount] = {25, 80, 160, 25, 160, 45, 40, 40, 142, 25};
    // The row's result value (0 Sent, 2 Failed, 3 NotSent) in column 0.
    static constexpr int ResultRole = Qt::UserRole + 1;
    // The operator reads no faster than this: at most 20 batches a second.
    static constexpr int kBatchIntervalMs = 50;

    // The fields of one log line as read back from "Events.log", UTF-8.
    struct RawFields {
        int result = 0;
        QByteArrayView fields[EventLine::FieldCount];
    };

    explicit EventListModel(QObject* parent = nullptr);

    // The row icon for a result value; the widgets set it, the logic has no images.
    void setIconProvider(std::function<QVariant(int result)> provider) { m_icons = std::move(provider); }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // Stores a new top row; it is shown with the next batch.
    void prepend(const EventLine& line);
    // Shows the waiting rows now (the batch timer calls it).
    void showWaitingRows();
    int waitingRows() const { return static_cast<int>(m_rows.size() - m_shown); }
    // Every row stored, shown or waiting.
    int eventCount() const { return static_cast<int>(m_rows.size()); }

    // Rebuilding: clear, add the log's lines oldest first, finish.
    void beginRebuild();
    void appendOldest(const RawFields& raw);
    void endRebuild();

signals:
    // A batch of count rows has just been inserted at the top.
    void rowsShown(int count);

public:
    // The text of a cell as shown (column 1 is the time text).
    QString cellText(int row, int column) const;
    int resultAt(int row) const;

private:
    struct Row {
        EventTextPool::Id time;
        EventTextPool::Id name;
        EventTextPool::Id account;
        EventTextPool::Id text;
        EventTextPool::Id code; // qualifier, blank, code number: as the "Codigo" column shows it
        EventTextPool::Id partition;
        EventTextPool::Id zone;
        EventTextPool::Id panel;
        EventTextPool::Id protocol;
        quint8 result;
    };

    const Row& rowAt(int row) const { return m_rows[m_shown - 1 - static_cast<size_t>(row)]; }
    static quint8 clampResult(int result);

    std::vector<Row> m_rows; // arrival order; the view shows the last one first
    size_t m_shown = 0;      // the first m_shown rows are shown, the others wait for the batch timer
    QTimer m_batchTimer;
    EventTextPool m_pool;
    std::function<QVariant(int)> m_icons;
};
