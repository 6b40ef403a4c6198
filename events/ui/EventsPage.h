#pragma once

#include <QList>
#include <QWidget>

class CStripedList;
class ClientRegistry;
class EventList;
class RowIcons;

// The "Eventos" tab: the events list (newest event on top, the forwarding
// result as row icon). A right-click on a row archives the log up to that
// row's time. The "&Visualizar" menu items call showAllClients and
// selectClient.
class EventsPage : public QWidget {
    Q_OBJECT
public:
    EventsPage(EventList& events, ClientRegistry& registry, const RowIcons& icons, QWidget* parent = nullptr);

    CStripedList* list() const { return m_view; }
    // Column widths by logical column, as kept in "Server.ini".
    QList<int> columnWidths() const;
    void setColumnWidths(const QList<int>& widths);

signals:
    // The list shows only this client's events now (empty: every client's).
    void filterChanged(const QString& clientName);

public slots:
    // "&Todos": every client's events.
    void showAllClients();
    // "&Selecionar Cliente": the client picker; on OK its choice becomes the filter.
    void selectClient();
    // Archives up to the row at a viewport position (the right-click).
    void archiveAt(const QPoint& position);

private:
    EventList& m_events;
    ClientRegistry& m_registry;
    CStripedList* m_view;
};
