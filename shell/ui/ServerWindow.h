#pragma once

#include <QObject>

#include <memory>

class CMainFrame;
class ConfigPage;
class EventsPage;
class RowIcons;
class ServerCore;

// The main window of a receiver: the events page, the four client pages and
// the configuration page over the core's models, the menu and the status bar.
// Closing the window begins the core's shutdown.
class ServerWindow : public QObject {
    Q_OBJECT
public:
    explicit ServerWindow(ServerCore& core, QObject* parent = nullptr);
    ~ServerWindow() override;

    // Builds the window and its pages; the core calls it during start-up.
    void build();
    CMainFrame* mainFrame() const { return m_frame.get(); }

signals:
    // The window exists: the user interface can put its message boxes and status texts there.
    void created(CMainFrame* frame);

private:
    ServerCore& m_core;
    std::unique_ptr<RowIcons> m_icons;
    std::unique_ptr<CMainFrame> m_frame;
    EventsPage* m_eventsPage = nullptr;
    ConfigPage* m_configPage = nullptr;
};
