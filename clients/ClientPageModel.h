#pragma once

#include "common/TimedLock.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QList>
#include <QString>
#include <QVector>

#include <array>

class ClientRecord;
class ClientRegistry;

// The list of one client page (Online, Offline, Blocked, New): which clients
// it shows, in which order, and what each row's cells and icon say. The page
// kind is also the tab index and the `status` of the clients it lists. A page
// is told what changed and never changes a record: the client transitions
// give a client its status and call the pages to match.
//
// The cells are set at the moments the page operations name (a row keeps the
// texts it was given until an operation changes them), so the list shows what
// the operations decided rather than the records' live fields.
//
// Threads: used on the main thread only. Every public operation takes the
// page lock for its own duration (waiting at most the time-out, then going on
// without it); the protected helpers never take it, so an operation that needs
// another one calls the helper instead of the locked operation and the lock is
// never asked for twice in one call chain.
class ClientPageModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // Role of the row icon index (the client's `linkIcon` when it was last set:
    // 0 green, 1 yellow, 2 red, 3 white).
    static constexpr int IconRole = Qt::UserRole + 1;
    static constexpr int kColumnCount = 5;

    struct Column {
        int headerString; // string table number of the header text
        int width;        // default width in pixels
    };

    int kind() const { return m_kind; }
    QString title() const;
    // The tab text: the title, followed by " (" count ")" when the list is not empty.
    QString caption() const;
    const QVector<Column>& columns() const { return m_columns; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // The page operations.
    void UpdateCaption(bool highlight);
    void ShowPage();
    virtual void Refill(ClientRegistry& registry) = 0;
    // Row index of the client, or -1 (see the pages for the dependent rule).
    virtual int AddClient(ClientRecord* client);
    virtual void RemoveClient(ClientRecord* client);
    void UpdateIcon(ClientRecord* client);
    int FindRow(const ClientRecord* client) const;

    ClientRecord* clientAt(int row) const;
    int iconAt(int row) const;
    QString textAt(int row, int column) const;

    // The client last picked in the list or by name; cleared when its row goes.
    ClientRecord* selected() const { return m_selected; }
    void setSelected(ClientRecord* client) { m_selected = client; }

signals:
    void captionChanged(const QString& caption, bool highlight);
    // The page on screen should be hidden and shown again so that it repaints.
    void redrawRequested();
    // The selected client's row went away: the view clears the name text.
    void selectionCleared();

protected:
    ClientPageModel(int kind, int titleString, QVector<Column> columns, int lockTimeoutMs, QObject* parent);

    struct Row {
        ClientRecord* client = nullptr;
        int icon = 0;
        std::array<QString, kColumnCount> text;
    };

    TimedLock& pageLock() { return m_lock; }

    // Base AddClient without the lock: a row at the end for a primary (or for
    // any record when allowDependentRow); an existing primary row only gets its
    // icon again. inserted tells whether a row was added.
    int addClientUnlocked(ClientRecord* client, bool allowDependentRow, bool* inserted = nullptr);
    // Base RemoveClient without the lock.
    void removeClientUnlocked(ClientRecord* client);
    // Appends a row with the client's name, account and icon; returns its index.
    int appendRow(ClientRecord* client, int icon);
    // Deletes the row; clears the selection when it held the selected client.
    void deleteRow(int row);
    void setText(int row, int column, const QString& text);
    void setIcon(int row, int icon);
    // Replaces every row (used by the refills; the caller holds the lock).
    void resetRows(QVector<Row> rows);
    static Row makeRow(ClientRecord* client, int icon);

private:
    int m_kind;
    int m_titleString;
    QVector<Column> m_columns;
    QVector<Row> m_rows;
    mutable QHash<const ClientRecord*, int> m_rowIndex; // row of each client, while valid
    mutable bool m_rowIndexValid = false;
    ClientRecord* m_selected = nullptr;
    TimedLock m_lock;
};
