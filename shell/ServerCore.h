#pragma once

#include "clients/ClientContact.h"
#include "clients/ClientMonitor.h"
#include "clients/ClientPagePanel.h"
#include "clients/ClientPages.h"
#include "clients/ClientRegistry.h"
#include "clients/ClientTransitions.h"
#include "common/DataDirectory.h"
#include "config/Dc09Settings.h"
#include "config/Operators.h"
#include "config/OperatorsSection.h"
#include "config/ServerSettings.h"
#include "device/CommandRequester.h"
#include "device/DatagramServer.h"
#include "device/Dc09Server.h"
#include "device/DeviceCommands.h"
#include "device/DeviceReportIntake.h"
#include "device/LinkStatusWatch.h"
#include "device/MulticomListener.h"
#include "device/MulticomProtocol.h"
#include "device/SiaCodeTable.h"
#include "events/AlarmTextTable.h"
#include "events/ClientStatusRaiser.h"
#include "events/EventJournal.h"
#include "events/EventList.h"
#include "events/EventPipeline.h"
#include "events/InternalEventEditor.h"
#include "events/InternalEventForwarder.h"
#include "events/InternalEventRequests.h"
#include "events/InternalEventTable.h"
#include "reporting/ReportSection.h"
#include "reporting/ReportSender.h"

#include "reporting/ReportSettings.h"
#include "shell/ServerIniFile.h"
#include <QTimer>

#include <QObject>

#include <array>
#include <functional>
#include <memory>

class ClientListFile;
class GeneralOptions;
class UserInterface;

// The receiver without its window: every single instance (settings, tables,
// registry, page models, event list, report sender, sockets) as members, in a
// fixed order of creation and destruction, and the start-up and shutdown
// sequences. Nothing here is global, so a test can run two receivers in one
// process.
class ServerCore : public QObject {
    Q_OBJECT
public:
    // Builds the main window with its pages; called at its place in the
    // start-up sequence (after the event texts, the event list and the
    // internal events are read, before reporting and the client list).
    using WindowBuilder = std::function<void()>;
    // Shows the Login dialog over the operator table; true when it ended with
    // OK (the chosen operator is then current). The anonymous mode in force
    // decides whether an empty name comes in.
    using LoginPrompt = std::function<bool(bool anonymousMode)>;
    // The window's outer size and its lists' column widths, for "Server.ini".
    using LayoutSource = std::function<WindowLayout()>;

    ServerCore(const QString& dataDirectory, UserInterface& ui, QObject* parent = nullptr);
    ~ServerCore() override;

    // Without a prompt the start-up login is declined (outside anonymous mode).
    void setLoginPrompt(LoginPrompt prompt) { m_loginPrompt = std::move(prompt); }
    void setLayoutSource(LayoutSource source) { m_layoutSource = std::move(source); }

    // Reads "Server.ini", "Server.cfg", "Users.lst" and the other data files,
    // builds the window, starts reporting and the server, and only then lets
    // the operator log in: devices are answered while the Login waits. False
    // when the program must end; exitCode() then tells with what, and
    // finished() whether the shutdown still has to run its course. Every data
    // file is read through DataFileReader: one refused (a FIFO, a directory, a
    // link, a file over its size limit) is said once, then taken as missing.
    bool start(const WindowBuilder& buildWindow = {});
    int exitCode() const { return m_exitCode; }

    // "&Trocar operador": the Login dialog; on OK the logout of the previous
    // operator and the login of the new one are raised, the status bar shows
    // the new name and operatorChanged() is emitted. False when cancelled.
    bool changeOperator();
    // The operator closes the window or chooses "&Sair": right A, then a fresh
    // login outside anonymous mode; only then the shutdown begins. False when
    // the program stays open.
    bool requestClose();
    // True when the logged-in operator holds right; otherwise shows
    // "Acesso não permitido!" and returns false.
    bool checkRight(quint16 right);

    // Ends the run without asking anyone (a termination signal takes this path
    // directly): raises the operator's logout, stops taking datagrams and
    // sessions, stops reporting, writes "Server.ini", lets the forwardings
    // under way finish and list their events (at most a turn wait plus a reply
    // wait), then writes "Clients.lst" and emits shutdownFinished(). Nothing
    // waits in a nested loop.
    void beginShutdown();
    // The same at once, for the end of the process: forwardings still under
    // way are not waited for. Safe to call after beginShutdown().
    void shutdown();
    // A termination signal: the orderly shutdown; a second one finishes it
    // without waiting for the forwardings under way.
    void terminate();
    bool shuttingDown() const { return m_shutdownBegun; }
    // The shutdown has finished (shutdownFinished() was emitted).
    bool finished() const { return m_shutdownFinished; }

    ServerSettings& serverSettings() { return m_serverSettings; }
    ReportSettings& reportSettings() { return m_reportSettings; }
    ClientRegistry& registry() { return m_registry; }
    ClientPages& pages() { return m_pages; }
    ClientMonitor& monitor() { return m_monitor; }
    DeviceCommands& deviceCommands() { return m_deviceCommands; }
    const DeviceReportIntake& reportIntake() const { return m_intake; }
    const MulticomListener& multicomListener() const { return m_multicom; }
    ClientTransitions& transitions() { return m_transitions; }
    // The side panel of the client page of a status (1 online .. 4 new).
    ClientPagePanel& panel(int status) { return *m_panels[static_cast<size_t>(status - ClientStatus::Online)]; }
    // Where the client pages show their dialogs (none: the commands that need one do nothing).
    void setClientDialogHost(ClientDialogHost* host);
    EventList& eventList() { return m_eventList; }
    const EventJournal& journal() const { return m_journal; }
    const EventPipeline& eventPipeline() const { return m_events; }
    EventPipeline& eventPipeline() { return m_events; }
    InternalEventEditor& internalEventEditor() { return m_internalEditor; }
    GeneralOptions& generalOptions() { return *m_generalOptions; }
    DatagramServer& datagramServer() { return m_datagram; }
    // SIA DC-09 reception ("Dc09.cfg"; running only with a port there).
    Dc09Server& dc09Server() { return m_dc09; }
    Dc09Settings& dc09Settings() { return m_dc09Settings; }
    LinkStatusWatch& linkWatch() { return m_linkWatch; }
    ReportSender& reportSender() { return m_reportSender; }
    ReportSection& reportSection() { return m_reportSection; }
    OperatorTable& operators() { return m_operators; }
    CurrentOperator& currentOperator() { return m_currentOperator; }
    OperatorsSection& operatorsSection() { return m_operatorsSection; }
    // The layout read from "Server.ini" (or the defaults) at start-up.
    const WindowLayout& windowLayout() const { return m_layout; }
    const DataDirectory& dataDirectory() const { return m_dir; }
    UserInterface& userInterface() { return m_ui; }
    // A notice of the receiver about itself: the status bar and standard error
    // (the journal of a service); nobody is asked anything.
    void sayNotice(const QString& text);

signals:
    // The server is running: the window may disable its general Save.
    void started();
    void shutdownBegun();
    void shutdownFinished();
    // Another operator logged in with "&Trocar operador".
    void operatorChanged();

private:
    bool logInAtStart();
    void raiseOperatorEvent(bool logout, const QString& name);
    void showOperator();
    void writeWindowLayout();
    void finishShutdown();
    void restartDatagramServer();
    void playNewRegisterSound();
    void recoverHeldEvents();
    // Reads "Dc09.cfg" and "Sia.lst"; what they hold that cannot be read is told once reception runs.
    void loadDc09Settings();
    void startDc09();
    // A data file refused or put aside at start-up, told once (nothing when text is empty).
    void sayProblem(const QString& text);

    DataDirectory m_dir;
    UserInterface& m_ui;
    LoginPrompt m_loginPrompt;
    LayoutSource m_layoutSource;
    WindowLayout m_layout;
    int m_exitCode = 0;
    bool m_started = false;
    bool m_loggedIn = false;
    bool m_shutdownBegun = false;
    bool m_shutdownFinished = false;

    // Settings and tables: one each for the whole run.
    Dc09Settings m_dc09Settings;
    ServerSettings m_serverSettings;
    ReportSettings m_reportSettings;
    InternalEventTable m_internalEvents;
    AlarmTextTable m_alarmTexts;
    OperatorTable m_operators;
    CurrentOperator m_currentOperator;
    OperatorsSection m_operatorsSection;
    SiaCodeTable m_siaCodes;
    QStringList m_dc09Problems;

    // Clients, events and forwarding.
    ClientRegistry m_registry;
    ClientPages m_pages;
    ReportSender m_reportSender;
    ReportSection m_reportSection;
    EventList m_eventList;
    EventJournal m_journal;
    EventPipeline m_events;
    InternalEventForwarder m_internalRaiser;
    InternalEventRequests m_requests;
    InternalEventEditor m_internalEditor;
    ClientStatusRaiser m_clientReturns;
    ClientTransitions m_transitions;
    ContactRecorder m_contacts;
    std::array<std::unique_ptr<ClientPagePanel>, 4> m_panels;
    // Lines "Events.log" refused are tried again while none arrive, so that
    // freed space brings them in without waiting for the next event.
    QTimer m_logRetry;

    // Device link.
    DeviceReportIntake m_intake;
    MulticomProtocol m_sessionProtocol;
    DatagramServer m_datagram;
    Dc09Server m_dc09;
    LinkStatusWatch m_linkWatch;
    ClientMonitor m_monitor;
    MulticomListener m_multicom;
    // Commands to devices; the datagram server holds a reference for the
    // callbacks that devices ask for (used only once the server runs).
    CommandRequester m_commandRequester;
    DeviceCommands m_deviceCommands;

    // Built once "Server.cfg" has been read: they take values from it.
    std::unique_ptr<ClientListFile> m_clientList;
    std::unique_ptr<GeneralOptions> m_generalOptions;
};
