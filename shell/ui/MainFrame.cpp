#include "shell/ui/MainFrame.h"

#include "common/StringTable.h"
#include "shell/ui/AboutBox.h"
#include "shell/ui/InfoBar.h"

#include <QCloseEvent>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

constexpr int kStrProductName = 100;
constexpr int kStrMenuFile = 32771;
constexpr int kStrChangeOperator = 32772;
constexpr int kStrExit = 32773;
constexpr int kStrMenuView = 32777;
constexpr int kStrSelectClient = 32778;
constexpr int kStrAbout = 32779;
constexpr int kStrShowAll = 32781;

constexpr int kDefaultWidth = 800;
constexpr int kDefaultHeight = 613;
constexpr int kMinimumWidth = 800;
constexpr int kMinimumHeight = 603;

const QColor kHighlightColor(200, 0, 0);

} // namespace

CMainFrame::CMainFrame(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("mainFrame"));
    setWindowTitle(StringTable::text(kStrProductName));
    setMinimumSize(kMinimumWidth, kMinimumHeight);
    resize(kDefaultWidth, kDefaultHeight);

    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName(QStringLiteral("mainTabs"));
    for (int i = 0; i < kPageCount; ++i) {
        auto* placeholder = new QWidget(m_tabs);
        placeholder->setObjectName(QStringLiteral("page%1").arg(i));
        m_tabs->addTab(placeholder, StringTable::text(CMainFrame::kStrFirstTab + i));
    }
    setCentralWidget(m_tabs);

    m_infoBar = new CInfoBar(this);
    statusBar()->addWidget(m_infoBar, 1);
    statusBar()->setSizeGripEnabled(true);

    buildMenu();
    connect(m_tabs, &QTabWidget::currentChanged, this, &CMainFrame::onTabChanged);
    onTabChanged(m_tabs->currentIndex());
}

void CMainFrame::buildMenu() {
    QMenu* file = menuBar()->addMenu(StringTable::text(kStrMenuFile));
    QAction* changeOperator = file->addAction(StringTable::text(kStrChangeOperator));
    changeOperator->setObjectName(QStringLiteral("actionChangeOperator"));
    connect(changeOperator, &QAction::triggered, this, &CMainFrame::changeOperatorRequested);
    QAction* exit = file->addAction(StringTable::text(kStrExit));
    exit->setObjectName(QStringLiteral("actionExit"));
    connect(exit, &QAction::triggered, this, &QWidget::close);

    QMenu* view = menuBar()->addMenu(StringTable::text(kStrMenuView));
    m_showAll = view->addAction(StringTable::text(kStrShowAll));
    m_showAll->setObjectName(QStringLiteral("actionShowAll"));
    m_selectClient = view->addAction(StringTable::text(kStrSelectClient));
    m_selectClient->setObjectName(QStringLiteral("actionSelectClient"));
    connect(m_showAll, &QAction::triggered, this, &CMainFrame::showAllClientsRequested);
    connect(m_selectClient, &QAction::triggered, this, &CMainFrame::selectClientRequested);

    QAction* about = menuBar()->addAction(StringTable::text(kStrAbout));
    about->setObjectName(QStringLiteral("actionAbout"));
    connect(about, &QAction::triggered, this, [this] { AboutBox(this).exec(); });
}

QRect CMainFrame::placement(QSize stored, const QRect& available, QSize minimum) {
    QRect placed(QPoint(0, 0), stored.boundedTo(available.size()).expandedTo(minimum));
    placed.moveCenter(available.center());
    return placed;
}

void CMainFrame::place(QSize size) {
    const QRect placed = placement(size, screen()->availableGeometry(), minimumSize());
    resize(placed.size());
    move(placed.topLeft());
}

void CMainFrame::setPage(int index, QWidget* page) {
    if (index < 0 || index >= kPageCount || !page)
        return;
    const QString caption = m_tabs->tabText(index);
    QWidget* old = m_tabs->widget(index);
    const bool wasCurrent = m_tabs->currentIndex() == index;
    m_tabs->blockSignals(true);
    m_tabs->removeTab(index);
    m_tabs->insertTab(index, page, caption);
    if (wasCurrent)
        m_tabs->setCurrentIndex(index);
    m_tabs->blockSignals(false);
    delete old;
}

void CMainFrame::setTabCaption(int index, const QString& caption, bool highlight) {
    m_tabs->setTabText(index, caption);
    const bool marked = highlight && m_tabs->currentIndex() != index;
    m_tabs->tabBar()->setTabTextColor(index, marked ? kHighlightColor : palette().color(QPalette::WindowText));
}

void CMainFrame::onTabChanged(int index) {
    // The "&Visualizar" items act on the events list only.
    const bool events = index == kEventsTab;
    m_showAll->setEnabled(events);
    m_selectClient->setEnabled(events);
    // Looking at a page removes its highlight.
    if (index >= 0)
        m_tabs->tabBar()->setTabTextColor(index, palette().color(QPalette::WindowText));
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    // The window stays until the shutdown has written what it must.
    event->ignore();
    emit closeRequested();
}
