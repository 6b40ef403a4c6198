#include "shell/ui/ServerWindow.h"

#include "clients/ui/ClientPageView.h"
#include "clients/ui/ClientPageWidget.h"
#include "clients/ui/QtClientDialogHost.h"
#include "common/StringTable.h"
#include "common/ui/CStripedList.h"
#include "common/ui/RowIcons.h"
#include "config/Dc09Section.h"
#include "config/GeneralOptions.h"
#include "config/ValueExchange.h"
#include "config/ui/ConfigPage.h"
#include "config/ui/Dc09SectionView.h"
#include "config/ui/OperatorsSectionView.h"
#include "device/ui/QtDeviceCommandView.h"
#include "events/EventListModel.h"
#include "events/ui/EventsPage.h"
#include "events/ui/InternalEventsSection.h"
#include "reporting/ui/ReportSectionView.h"
#include "shell/ServerCore.h"
#include "shell/ui/MainFrame.h"
#include "shell/ui/TabCaptionBatch.h"

#include <QHash>
#include <QLayout>
#include <QPointer>
#include <QTabWidget>

ServerWindow::ServerWindow(ServerCore& core, QObject* parent) : QObject(parent), m_core(core) {}

ServerWindow::~ServerWindow() {
    // The core outlives the window: nothing of it may call into the pages any more.
    if (!m_frame)
        return; // never built
    m_core.setLayoutSource({});
    m_core.setClientDialogHost(nullptr);
    m_core.deviceCommands().setView(nullptr);
    m_core.transitions().setCurrentPage({});
    m_core.generalOptions().setOperatorsExchange({});
    m_core.internalEventEditor().setPageExchange({});
}

void ServerWindow::build() {
    const WindowLayout& stored = m_core.windowLayout();
    m_icons = std::make_unique<RowIcons>();
    m_frame = std::make_unique<CMainFrame>();
    m_frame->place(stored.size);
    m_captions = std::make_unique<TabCaptionBatch>(*m_frame);
    emit created(m_frame.get());

    // Widths from "Server.ini" are kept exactly; the defaults grow with the font in use.
    const auto widthsFor = [&stored](const CStripedList* list, size_t index) {
        const QList<int>& widths = stored.columnWidths[index];
        return stored.stored ? widths : list->scaledToFont(widths);
    };
    m_eventsPage = new EventsPage(m_core.eventList(), m_core.registry(), *m_icons);
    QList<int> eventWidths = widthsFor(m_eventsPage->list(), 0);
    if (!stored.stored) {
        // The time is read whole, whatever the font.
        const int timeWidth =
            m_eventsPage->list()->fontMetrics().horizontalAdvance(QStringLiteral("00/00/0000 00:00:00")) +
            CStripedList::kCellPadding;
        int& column = eventWidths[EventListModel::TimeColumn];
        column = qMax(column, timeWidth);
    }
    m_eventsPage->setColumnWidths(eventWidths);
    m_frame->setPage(CMainFrame::kEventsTab, m_eventsPage);
    connect(m_frame.get(), &CMainFrame::showAllClientsRequested, m_eventsPage, &EventsPage::showAllClients);
    connect(m_frame.get(), &CMainFrame::selectClientRequested, m_eventsPage, &EventsPage::selectClient);
    // The tab says when the list is narrowed to one client.
    connect(m_eventsPage, &EventsPage::filterChanged, m_frame.get(), [frame = m_frame.get()](const QString& client) {
        const QString events = StringTable::text(CMainFrame::kStrFirstTab + CMainFrame::kEventsTab);
        frame->setTabCaption(CMainFrame::kEventsTab,
                             client.isEmpty() ? events : QStringLiteral("%1 - %2").arg(events, client), false);
    });

    m_dialogHost = std::make_unique<QtClientDialogHost>(m_frame.get());
    m_core.setClientDialogHost(m_dialogHost.get());
    QHash<int, QPointer<QWidget>> clientPages; // by page kind, for the device commands' busy pages
    for (int status = ClientStatus::Online; status <= ClientStatus::New; ++status) {
        ClientPagePanel& panel = m_core.panel(status);
        auto* page = new ClientPageWidget(panel, *m_icons);
        clientPages.insert(status, page);
        page->list()->setColumnWidths(widthsFor(page->list(), static_cast<size_t>(status)));
        m_clientLists.append(page->list());
        m_frame->setPage(status, page);
        connect(&panel.model(), &ClientPageModel::captionChanged, m_captions.get(),
                [captions = m_captions.get(), status](const QString& caption, bool highlight) {
                    captions->post(status, caption, highlight);
                });
    }
    m_deviceView = std::make_unique<QtDeviceCommandView>(
        m_frame.get(), [clientPages](int pageKind) -> QWidget* { return clientPages.value(pageKind); });
    m_core.deviceCommands().setView(m_deviceView.get());
    m_core.transitions().setCurrentPage([frame = m_frame.get()] { return frame->tabs()->currentIndex(); });

    buildConfigPage();
    m_frame->tabs()->setCurrentIndex(CMainFrame::kEventsTab);
    connect(m_frame->tabs(), &QTabWidget::currentChanged, this, &ServerWindow::onTabChanged);

    // Once the server runs, the general Save starts disabled.
    connect(&m_core, &ServerCore::started, m_configPage, &ConfigPage::disableGeneralSave);
    // Closing asks the core, which checks right A and asks for a login first.
    connect(m_frame.get(), &CMainFrame::closeRequested, &m_core, &ServerCore::requestClose);
    connect(m_frame.get(), &CMainFrame::changeOperatorRequested, &m_core, &ServerCore::changeOperator);
    connect(&m_core, &ServerCore::operatorChanged, this, [this] {
        // The new operator's right B decides at once whether the page shows.
        if (m_frame->tabs()->currentIndex() == CMainFrame::kConfigTab)
            m_configPage->activate();
    });
    connect(&m_core, &ServerCore::shutdownBegun, m_frame.get(), &QWidget::hide);
    m_core.setLayoutSource([this] { return layout(); });
}

void ServerWindow::buildConfigPage() {
    m_configPage = new ConfigPage(m_core.generalOptions(), m_core.userInterface());
    m_configPage->reportSection()->layout()->addWidget(new ReportSectionView(m_core.reportSection()));

    m_dc09 = std::make_unique<Dc09Section>(m_core.dataDirectory(), m_core.currentOperator(), m_core.userInterface());
    m_dc09View = new Dc09SectionView(*m_dc09);
    m_configPage->dc09Section()->layout()->addWidget(m_dc09View);

    m_operatorsView =
        new OperatorsSectionView(m_core.operatorsSection(), [page = m_configPage] { page->exchangeValues(); });
    m_configPage->operatorsSection()->layout()->addWidget(m_operatorsView);
    m_core.generalOptions().setOperatorsExchange(
        [&section = m_core.operatorsSection(), view = m_operatorsView](ValueExchange& values) {
            section.takeFields(values, view->form());
        });

    InternalEventEditor& editor = m_core.internalEventEditor();
    auto* internalSection = new InternalEventsSection(editor);
    // The page's own frame carries the section title.
    internalSection->setTitle(QString());
    internalSection->setFlat(true);
    m_configPage->internalEventsSection()->layout()->addWidget(internalSection);
    m_core.generalOptions().setInternalEventsExchange([&editor](ValueExchange& values) {
        const int refused = editor.takeFields();
        if (refused >= 0)
            values.markFailed(InternalEventIds::kDc09Field + refused); // fields 565.. in editor order
    });
    editor.setPageExchange([page = m_configPage] { page->exchangeValues(); });

    m_configPage->setAccessCheck([&core = m_core] { return core.currentOperator().has(OperatorRight::Configuration); });
    m_configPage->setActivationHook([&editor, view = m_operatorsView, dc09 = m_dc09View] {
        editor.refresh();
        view->activate();
        dc09->activate();
    });
    m_frame->setPage(CMainFrame::kConfigTab, m_configPage);
}

void ServerWindow::onTabChanged(int index) {
    if (index == CMainFrame::kConfigTab)
        m_configPage->activate();
}

WindowLayout ServerWindow::layout() const {
    WindowLayout layout;
    layout.size = m_frame->size();
    layout.columnWidths[0] = m_eventsPage->columnWidths();
    for (qsizetype i = 0; i < m_clientLists.size(); ++i)
        layout.columnWidths[static_cast<size_t>(i + 1)] = m_clientLists[i]->columnWidths();
    return layout;
}
