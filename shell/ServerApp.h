#pragma once

#include "clients/ClientContact.h"
#include "clients/ClientMonitor.h"
#include "clients/ClientPages.h"
#include "clients/ClientRegistry.h"
#include "common/DataDirectory.h"
#include "config/ServerSettings.h"
#include "device/CallbackStarter.h"
#include "device/DatagramServer.h"
#include "device/LinkStatusWatch.h"
#include "device/MulticomListener.h"
#include "device/SessionProtocol.h"
#include "events/AlarmTextTable.h"
#include "events/EventList.h"
#include "events/EventPipeline.h"
#include "events/InternalEventEditor.h"
#include "events/InternalEventForwarder.h"
#include "events/InternalEventRequests.h"
#include "events/InternalEventTable.h"
#include "reporting/ReportSender.h"
#include "reporting/ReportSettings.h"

#include <QObject>

#include <memory>

class CMainFrame;
class ClientListFile;
class ConfigPage;
class EventsPage;
class GeneralOptions;
class RowIcons;
class UserInterface;

// The application object: every single instance of the receiver (settings,
// tables, registry, pages, event list, report sender, sockets) as members, in
// a fixed order of creation and destruction, and the start-up and shutdown
// sequences. Nothing here is global, so a test can run two receivers in one
// process.
class ServerApp : public QObject {
    Q_OBJECT
public:
    ServerApp(const QString& dataDirectory, UserInterface& ui, QObject* parent = nullptr);
    ~ServerApp() override;

    // Reads the data files, builds the main window and starts the server.
    // False when the program must end; exitCode() then tells with what.
    bool start();
    int exitCode() const { return m_exitCode; }

    // Stops reporting (letting forwardings under way finish, so no event is
    // lost), closes the sockets and writes "Clients.lst". Safe to call twice.
    void shutdown();

    CMainFrame* mainFrame() const { return m_frame.get(); }
    ServerSettings& serverSettings() { return m_serverSettings; }
    ReportSettings& reportSettings() { return m_reportSettings; }
    ClientRegistry& registry() { return m_registry; }
    ClientPages& pages() { return m_pages; }
    EventList& eventList() { return m_eventList; }
    DatagramServer& datagramServer() { return m_datagram; }
    LinkStatusWatch& linkWatch() { return m_linkWatch; }
    ReportSender& reportSender() { return m_reportSender; }
    const DataDirectory& dataDirectory() const { return m_dir; }

signals:
    // The main window exists: the user interface can put its message boxes and status texts there.
    void mainWindowCreated(CMainFrame* frame);

private:
    void buildMainWindow();
    void restartDatagramServer();
    void playNewRegisterSound();

    DataDirectory m_dir;
    UserInterface& m_ui;
    int m_exitCode = 0;
    bool m_started = false;
    bool m_shutDown = false;

    // Settings and tables: one each for the whole run.
    ServerSettings m_serverSettings;
    ReportSettings m_reportSettings;
    InternalEventTable m_internalEvents;
    AlarmTextTable m_alarmTexts;

    // Clients, events and forwarding.
    ClientRegistry m_registry;
    ClientPages m_pages;
    ReportSender m_reportSender;
    EventList m_eventList;
    EventPipeline m_events;
    InternalEventForwarder m_internalRaiser;
    InternalEventRequests m_requests;
    InternalEventEditor m_internalEditor;
    ContactRecorder m_contacts;

    // Device link.
    NoCallbackStarter m_callbacks;
    NoSessionProtocol m_sessionProtocol;
    DatagramServer m_datagram;
    LinkStatusWatch m_linkWatch;
    ClientMonitor m_monitor;
    MulticomListener m_multicom;

    // Built once "Server.cfg" has been read: they take values from it.
    std::unique_ptr<ClientListFile> m_clientList;
    std::unique_ptr<GeneralOptions> m_generalOptions;

    // The window and its pages.
    std::unique_ptr<RowIcons> m_icons;
    std::unique_ptr<CMainFrame> m_frame;
    EventsPage* m_eventsPage = nullptr;
    ConfigPage* m_configPage = nullptr;
};
