#pragma once

#include "shell/ServerIniFile.h"

#include <QList>
#include <QObject>

#include <memory>

class CMainFrame;
class CStripedList;
class ConfigPage;
class Dc09Section;
class Dc09SectionView;
class EventsPage;
class OperatorsSectionView;
class QtClientDialogHost;
class QtDeviceCommandView;
class RowIcons;
class ServerCore;
class TabCaptionBatch;

// The main window of a receiver: the events page, the four client pages and
// the configuration page over the core's models, the menu and the status bar.
// Closing the window asks the core to close (right A, a fresh login).
class ServerWindow : public QObject {
    Q_OBJECT
public:
    explicit ServerWindow(ServerCore& core, QObject* parent = nullptr);
    ~ServerWindow() override;

    // Builds the window and its pages; the core calls it during start-up.
    void build();
    CMainFrame* mainFrame() const { return m_frame.get(); }
    ConfigPage* configPage() const { return m_configPage; }
    EventsPage* eventsPage() const { return m_eventsPage; }

    // The window's size and every list's column widths, as "Server.ini" keeps them.
    WindowLayout layout() const;

signals:
    // The window exists: the user interface can put its message boxes and status texts there.
    void created(CMainFrame* frame);

private:
    void buildConfigPage();
    void onTabChanged(int index);

    ServerCore& m_core;
    std::unique_ptr<RowIcons> m_icons;
    // The "DC-09" group of the configuration page reads and writes "Dc09.cfg" itself; it outlives the page's view.
    std::unique_ptr<Dc09Section> m_dc09;
    std::unique_ptr<CMainFrame> m_frame;
    std::unique_ptr<TabCaptionBatch> m_captions;       // the client pages' captions, applied once per batch
    std::unique_ptr<QtClientDialogHost> m_dialogHost;  // the client pages' dialogs, over the main frame
    std::unique_ptr<QtDeviceCommandView> m_deviceView; // the device commands' busy pages and details dialog
    EventsPage* m_eventsPage = nullptr;
    QList<CStripedList*> m_clientLists; // online, offline, blocked, new
    ConfigPage* m_configPage = nullptr;
    OperatorsSectionView* m_operatorsView = nullptr;
    Dc09SectionView* m_dc09View = nullptr;
};
