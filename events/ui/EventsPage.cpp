#include "events/ui/EventsPage.h"

#include "common/ui/CStripedList.h"
#include "common/ui/RowIcons.h"
#include "events/ClientChoices.h"
#include "events/EventList.h"
#include "events/ui/EventRowDelegate.h"
#include "events/ui/SelectClient.h"

#include <QHeaderView>
#include <QVBoxLayout>

EventsPage::EventsPage(EventList& events, ClientRegistry& registry, const RowIcons& icons, QWidget* parent)
    : QWidget(parent), m_events(events), m_registry(registry), m_view(new CStripedList(this)) {
    m_view->setObjectName(QStringLiteral("eventsList"));
    events.model().setIconProvider([&icons](int result) { return QVariant(icons.reportResult(result)); });
    m_view->setModel(&events.model());
    // Rows are drawn from shaped texts kept between repaints, never laid out cell by cell.
    m_view->setItemDelegate(new EventRowDelegate(icons, m_view));
    m_view->setIconSize(QSize(RowIcons::kSize, RowIcons::kSize));
    QList<int> widths;
    for (int width : EventListModel::kDefaultWidths)
        widths.append(width);
    m_view->setColumnWidths(widths);
    m_view->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_view, &QWidget::customContextMenuRequested, this, &EventsPage::archiveAt);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addWidget(m_view);
}

QList<int> EventsPage::columnWidths() const {
    return m_view->columnWidths();
}

void EventsPage::setColumnWidths(const QList<int>& widths) {
    m_view->setColumnWidths(widths);
}

void EventsPage::showAllClients() {
    m_events.setFilter(std::nullopt);
    emit filterChanged(QString());
}

void EventsPage::selectClient() {
    // Window-modal and asynchronous: the main loop keeps running while it is open.
    auto* dialog = new SelectClient(clientChoices(m_registry), this);
    dialog->setObjectName(QStringLiteral("selectClient"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this, [this, dialog] {
        const std::optional<QString> chosen = dialog->chosenClient();
        m_events.setFilter(chosen);
        emit filterChanged(chosen.value_or(QString()));
    });
    dialog->open();
}

void EventsPage::archiveAt(const QPoint& position) {
    const QModelIndex index = m_view->indexAt(position);
    if (!index.isValid())
        return;
    m_events.ArchiveEvents(m_events.model().cellText(index.row(), EventListModel::TimeColumn));
}
