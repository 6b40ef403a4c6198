#include "shell/ui/ServerWindow.h"

#include "clients/ui/ClientPageView.h"
#include "common/ui/RowIcons.h"
#include "config/GeneralOptions.h"
#include "config/ValueExchange.h"
#include "config/ui/ConfigPage.h"
#include "events/ui/EventsPage.h"
#include "events/ui/InternalEventsSection.h"
#include "reporting/ui/ReportSectionView.h"
#include "shell/ServerCore.h"
#include "shell/ui/MainFrame.h"

#include <QLayout>
#include <QTabWidget>

ServerWindow::ServerWindow(ServerCore& core, QObject* parent) : QObject(parent), m_core(core) {}

ServerWindow::~ServerWindow() = default;

void ServerWindow::build() {
    m_icons = std::make_unique<RowIcons>();
    m_frame = std::make_unique<CMainFrame>();
    emit created(m_frame.get());

    m_eventsPage = new EventsPage(m_core.eventList(), m_core.registry(), *m_icons);
    m_frame->setPage(CMainFrame::kEventsTab, m_eventsPage);
    connect(m_frame.get(), &CMainFrame::showAllClientsRequested, m_eventsPage, &EventsPage::showAllClients);
    connect(m_frame.get(), &CMainFrame::selectClientRequested, m_eventsPage, &EventsPage::selectClient);

    for (int status = ClientStatus::Online; status <= ClientStatus::New; ++status) {
        ClientPageModel* model = m_core.pages().PageForStatus(status);
        m_frame->setPage(status, new ClientPageView(*model, *m_icons));
        connect(model, &ClientPageModel::captionChanged, m_frame.get(),
                [frame = m_frame.get(), status](const QString& caption, bool highlight) {
                    frame->setTabCaption(status, caption, highlight);
                });
    }
    m_core.transitions().setCurrentPage([frame = m_frame.get()] { return frame->tabs()->currentIndex(); });

    m_configPage = new ConfigPage(m_core.generalOptions(), m_core.userInterface());
    m_configPage->reportSection()->layout()->addWidget(new ReportSectionView(m_core.reportSection()));
    auto* internalSection = new InternalEventsSection(m_core.internalEventEditor());
    // The page's own frame carries the section title.
    internalSection->setTitle(QString());
    internalSection->setFlat(true);
    m_configPage->internalEventsSection()->layout()->addWidget(internalSection);
    m_core.generalOptions().setInternalEventsExchange([&editor = m_core.internalEventEditor()](ValueExchange& values) {
        const int refused = editor.takeFields();
        if (refused >= 0)
            values.markFailed(InternalEventIds::kDc09Field + refused); // fields 565.. in editor order
    });
    m_frame->setPage(CMainFrame::kConfigTab, m_configPage);
    m_frame->tabs()->setCurrentIndex(CMainFrame::kEventsTab);

    // Once the server runs, the general Save starts disabled; closing the window ends the run.
    connect(&m_core, &ServerCore::started, m_configPage, &ConfigPage::disableGeneralSave);
    connect(m_frame.get(), &CMainFrame::closeRequested, &m_core, &ServerCore::beginShutdown);
    connect(&m_core, &ServerCore::shutdownBegun, m_frame.get(), &QWidget::hide);
}
