#include "shell/ServerCore.h"

#include "clients/ClientListFile.h"
#include "common/DataFileReader.h"
#include "common/FileWriter.h"
#include "common/StringTable.h"
#include "common/UserInterface.h"
#include "config/Dc09ConfigFile.h"
#include "config/GeneralOptions.h"
#include "config/ServerConfigFile.h"
#include "config/UsersFile.h"
#include "events/EventListModel.h"
#include "events/LocalEventsFile.h"
#include "reporting/ReportStartup.h"

#include <QDateTime>
#include <QTemporaryFile>
#include <QTimer>

#include <cstdio>
#include <utility>

namespace {

constexpr int kExitDeclined = 1;
constexpr int kStrAnonymous = 209;
constexpr int kMsgAccessDenied = 141;
constexpr const char* kServerConfigFile = "Server.cfg";
constexpr const char* kUnwritableDirText =
    "O diretório de dados %1 não existe ou não aceita gravação.\nServer será fechado";
constexpr const char* kAlarmTextsFile = "Alarms.lst";
constexpr const char* kNewRegisterSound = "New register.wav";
// Added to the longest time the forwardings under way can take, for the
// listing and logging of their results.
constexpr int kShutdownDrainMarginMs = 1000;
constexpr int kLogRetryMs = 1000;

} // namespace

ServerCore::ServerCore(const QString& dataDirectory, UserInterface& ui, QObject* parent)
    : QObject(parent), m_dir(dataDirectory), m_ui(ui), m_operatorsSection(m_operators, m_currentOperator, m_dir, m_ui),
      m_reportSender(m_reportSettings, m_ui),
      m_reportSection(m_reportSettings, m_serverSettings.LogAll, m_reportSender, m_ui, m_dir, ListSystemSerialPorts),
      m_eventList(m_dir, m_ui), m_journal(m_dir),
      m_events(m_eventList, m_reportSender, m_alarmTexts, m_internalEvents, m_serverSettings, m_ui, m_dir),
      m_internalRaiser(m_internalEvents, m_reportSender, m_events), m_requests(m_registry, m_internalRaiser),
      m_internalEditor(m_internalEvents, m_dir, m_internalRaiser, m_ui),
      m_clientReturns(m_events, m_internalRaiser, m_internalEvents),
      m_transitions(m_registry, m_pages, m_clientReturns, m_requests, m_ui, m_serverSettings, m_dir),
      m_contacts(m_registry, m_transitions),
      m_intake(m_serverSettings, m_reportSettings, m_contacts, m_events, m_reportSender),
      m_sessionProtocol(m_registry, m_transitions, m_intake),
      m_datagram(m_serverSettings, m_registry, m_intake, m_deviceCommands, m_ui),
      m_dc09(m_dc09Settings, m_siaCodes, m_registry, m_intake, m_ui), m_linkWatch(m_registry, m_requests, m_ui),
      m_monitor(m_registry, m_transitions), m_multicom(m_ui, m_sessionProtocol),
      m_commandRequester(m_datagram, m_registry),
      m_deviceCommands(m_commandRequester, m_registry, m_internalRaiser, m_currentOperator, m_ui) {
    m_reportSender.setReportingEvents(&m_internalRaiser);
    // Internal events without a client are listed under the logged-in operator's name.
    m_internalRaiser.setOperatorName([this] { return m_currentOperator.name; });
    m_datagram.setLinkStatusWatch(&m_linkWatch);
    // Acknowledged events stay in custody until "Events.log" has them.
    m_events.setJournal(&m_journal);
    m_datagram.setJournal(&m_journal);
    m_dc09.setJournal(&m_journal);
    m_dc09.setProblemHandler([this](const QString& text) { sayNotice(text); });
    m_journal.setProblemHandler([this](const QString& text) { sayNotice(text); });
    m_events.setLogProblemHandler([this](const QString& text) { sayNotice(text); });
    m_logRetry.setInterval(kLogRetryMs);
    connect(&m_logRetry, &QTimer::timeout, this, [this] { m_events.retryRefusedLines(); });
    m_eventList.setNoticeHandler([this](const QString& text) { sayNotice(text); });
    m_multicom.setProblemHandler([this](const QString& text) { sayNotice(text); });
    m_monitor.setLinkIndicator([this] { return m_linkWatch.isOnline(); });
    m_pages.newClients().setNewRegisterSound([this] { playNewRegisterSound(); });
    connect(&m_reportSender, &ReportSender::appliedModeChanged, &m_internalEditor,
            &InternalEventEditor::setAppliedReportMode);

    const ClientPagePanel::Services services{m_registry,        m_pages,          m_transitions,
                                             m_currentOperator, m_serverSettings, m_ui};
    for (int status = ClientStatus::Online; status <= ClientStatus::New; ++status)
        m_panels[static_cast<size_t>(status - ClientStatus::Online)] =
            std::make_unique<ClientPagePanel>(status, services);
    // A command on one page may change what another page's dependents box lists.
    for (auto& panel : m_panels)
        panel->setDeviceCommands(&m_deviceCommands);
    for (auto& changedPanel : m_panels)
        for (auto& panel : m_panels)
            connect(changedPanel.get(), &ClientPagePanel::clientsChanged, panel.get(), &ClientPagePanel::refresh);
}

void ServerCore::setClientDialogHost(ClientDialogHost* host) {
    for (auto& panel : m_panels)
        panel->setDialogHost(host);
}

ServerCore::~ServerCore() {
    shutdown();
}

bool ServerCore::start(const WindowBuilder& buildWindow) {
    // Every data file is rewritten through a temporary file beside it: a
    // directory that takes none would lose every change without a word.
    if (!QTemporaryFile(m_dir.file(QStringLiteral("write-test-XXXXXX"))).open()) {
        m_ui.showMessage(QString::fromUtf8(kUnwritableDirText).arg(m_dir.path()), UserInterface::Icon::Error);
        m_exitCode = kExitDeclined;
        return false;
    }
    // The window's size and the lists' column widths, before any list exists.
    WindowLayout defaults;
    defaults.columnWidths[0] =
        QList<int>(std::begin(EventListModel::kDefaultWidths), std::end(EventListModel::kDefaultWidths));
    for (int status = ClientStatus::Online; status <= ClientStatus::New; ++status) {
        for (const ClientPageModel::Column& column : m_pages.PageForStatus(status)->columns())
            defaults.columnWidths[static_cast<size_t>(status)].append(column.width);
    }
    const DataFileReader::Content ini =
        DataFileReader::readWhole(m_dir.file(QString::fromLatin1(ServerIniFile::kFileName)));
    m_layout = ini.read() ? ServerIniFile::parse(ini.bytes, defaults) : defaults;
    sayProblem(ini.problem);

    // The settings file with its two start-up questions, then the operators and the login.
    if (!LoadServerConfig(m_dir.file(QString::fromLatin1(kServerConfigFile)), m_serverSettings, m_ui)) {
        m_exitCode = kExitDeclined;
        return false;
    }
    m_multicom.setMaxSessions(m_serverSettings.MaxSessions);
    m_dc09.setMaxSessions(m_serverSettings.MaxSessions);
    loadDc09Settings();
    sayProblem(UsersFile::LoadOperators(m_dir, StringTable::text(kStrAnonymous), m_operators));
    m_clientList = std::make_unique<ClientListFile>(m_registry, m_dir, m_serverSettings.defaultKeepAlive());
    m_generalOptions =
        std::make_unique<GeneralOptions>(m_serverSettings, m_ui, m_dir.file(QString::fromLatin1(kServerConfigFile)),
                                         m_multicom, [this] { restartDatagramServer(); });

    // The events page: event texts (fatal when missing or broken), then the list from the log.
    if (!loadAlarmTextsAtStart(m_dir.file(QString::fromLatin1(kAlarmTextsFile)), m_alarmTexts, m_ui)) {
        m_exitCode = kExitDeclined;
        return false;
    }
    m_eventList.ReloadEvents();

    // The configuration page reads the internal events table and opens the Multicom listener when enabled.
    LocalEventsFile::LoadInternalEvents(m_dir, m_internalEvents, m_ui);
    m_internalEditor.refresh();
    // As a click on the page's switch would, with or without a window.
    if (m_serverSettings.EnableMulticom)
        m_generalOptions->multicomClicked(true, QString::number(m_serverSettings.MC));
    if (buildWindow)
        buildWindow();

    // Reporting with the stored settings; "Report.cfg" is read after "Server.cfg", so its "LogAll" is in force.
    m_reportSection.startUp();

    // The clients, their supervision and their pages. The registry saves the
    // list only once it is loaded: a save before (a Multicom device heard
    // while a start-up message waits) would write an empty list over both copies.
    sayProblem(m_clientList->LoadClientList().problem);
    m_registry.setSaveHandler([this] { m_clientList->SaveClientList(); });
    m_monitor.StartMonitor();
    m_pages.refillAll(m_registry);
    for (int status = ClientStatus::Online; status <= ClientStatus::New; ++status)
        m_pages.PageForStatus(status)->UpdateCaption(true);

    // What a run that stopped short had acknowledged and not yet logged.
    recoverHeldEvents();
    m_logRetry.start();

    // Without the datagram socket the program does not run.
    if (m_shutdownBegun || !m_datagram.StartServer()) {
        if (!m_shutdownBegun)
            m_exitCode = kExitDeclined;
        return false;
    }
    startDc09();
    // From here devices are answered, their events listed, logged and forwarded
    // whatever the operator does: the login gates the window, not the reception.
    m_started = true;
    if (!logInAtStart()) {
        // A cancelled login ends the run, saving what a shutdown saves; a
        // termination signal that closed the dialog has begun that already.
        if (!m_shutdownBegun)
            m_exitCode = kExitDeclined;
        beginShutdown();
        return false;
    }
    m_loggedIn = true;
    showOperator();
    // The login is raised once the stored reporting mode runs, so it is forwarded like any later login.
    raiseOperatorEvent(false, m_currentOperator.name);
    emit started();
    return true;
}

bool ServerCore::logInAtStart() {
    if (m_serverSettings.AnonymEntry) {
        m_operators.logIn(OperatorTable::kAnonymous, m_currentOperator);
        return true;
    }
    return m_loginPrompt && m_loginPrompt(false) && !m_shutdownBegun;
}

void ServerCore::raiseOperatorEvent(bool logout, const QString& name) {
    m_internalRaiser.raiseInternalAs(InternalEvent::OperatorLogin, logout, InternalForward::IfEnabled, name);
}

void ServerCore::showOperator() {
    m_ui.setStatusField(StatusField::Operator, m_currentOperator.name);
}

bool ServerCore::changeOperator() {
    if (m_shutdownBegun || !m_loginPrompt)
        return false;
    const QString previous = m_currentOperator.name;
    if (!m_loginPrompt(m_serverSettings.AnonymEntry))
        return false;
    raiseOperatorEvent(true, previous);
    raiseOperatorEvent(false, m_currentOperator.name);
    showOperator();
    emit operatorChanged();
    return true;
}

bool ServerCore::checkRight(quint16 right) {
    if (m_currentOperator.has(right))
        return true;
    m_ui.showMessage(StringTable::text(kMsgAccessDenied), UserInterface::Icon::Exclamation);
    return false;
}

bool ServerCore::requestClose() {
    if (m_shutdownBegun)
        return true;
    if (!m_currentOperator.has(OperatorRight::Close)) {
        m_ui.showMessage(StringTable::text(kMsgAccessDenied), UserInterface::Icon::Exclamation);
        return false;
    }
    // Whoever logs in here is the operator whose logout is raised.
    if (!m_serverSettings.AnonymEntry && !m_currentOperator.isAnonymous()) {
        if (!m_loginPrompt || !m_loginPrompt(false))
            return false;
        showOperator();
    }
    beginShutdown();
    return true;
}

void ServerCore::writeWindowLayout() {
    if (m_layoutSource)
        m_layout = m_layoutSource();
    writeFileWhole(m_dir.file(QString::fromLatin1(ServerIniFile::kFileName)), ServerIniFile::serialize(m_layout));
}

void ServerCore::restartDatagramServer() {
    if (m_shutdownBegun)
        return;
    m_datagram.stopServer();
    m_datagram.StartServer();
}

void ServerCore::sayProblem(const QString& text) {
    if (!text.isEmpty())
        m_ui.showMessage(text, UserInterface::Icon::Exclamation);
}

void ServerCore::sayNotice(const QString& text) {
    // Nobody is asked anything: the status bar and standard error (the journal of a service).
    m_ui.setStatusField(StatusField::Notice, text);
    std::fprintf(stderr, "atalaia: %s\n", qPrintable(text));
}

void ServerCore::recoverHeldEvents() {
    const QByteArray lastLine = EventJournal::lastLineOf(m_dir.file(QStringLiteral("Events.log")));
    const QList<EventJournal::Entry> leftOver =
        m_journal.takeLeftOver([&](const EventRecord& event) { return m_events.isLogLineOf(event, lastLine); });
    if (leftOver.isEmpty())
        return;
    // Forwarded again while the station is reachable and the event still young; else listed as failed.
    const bool linkUp = m_reportSender.appliedMode() != ReportMode::Off;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    int resent = 0;
    for (const EventJournal::Entry& entry : leftOver) {
        const bool young = now - entry.heldAtMs <= qint64(m_serverSettings.ResendAge) * 1000;
        m_events.RaiseRecovered(entry, linkUp && young);
        resent += linkUp && young ? 1 : 0;
    }
    sayNotice(QStringLiteral("%1 eventos recebidos e não registrados antes da última parada foram recuperados de %2 "
                             "(%3 reenviados à central)")
                  .arg(leftOver.size())
                  .arg(QString::fromLatin1(EventJournal::kFileName))
                  .arg(resent));
}

void ServerCore::loadDc09Settings() {
    // A missing file: reception off.
    const DataFileReader::Content config =
        DataFileReader::readWhole(m_dir.file(QString::fromLatin1(Dc09ConfigFile::kFileName)));
    m_dc09Settings = Dc09Settings{};
    if (!config.problem.isEmpty())
        m_dc09Problems.append(config.problem);
    if (config.read()) {
        for (const Dc09ConfigFile::Problem& problem : Dc09ConfigFile::parse(config.bytes, m_dc09Settings))
            m_dc09Problems.append(Dc09ConfigFile::problemText(problem));
    }
    // The station link's options hold whether reception runs or not.
    m_reportSender.setStationOptions(m_dc09Settings.station);
    if (!m_dc09Settings.enabled())
        return;
    const DataFileReader::Content sia =
        DataFileReader::readWhole(m_dir.file(QString::fromLatin1(SiaCodeTable::kFileName)));
    if (!sia.read()) {
        m_dc09Problems.append(
            QStringLiteral("Arquivo \"%1\" não pôde ser lido: os códigos SIA chegam como "
                           "eventos \"%2\"")
                .arg(QString::fromLatin1(SiaCodeTable::kFileName), QString::fromLatin1(SiaCodeTable::kUnknownText)));
        return;
    }
    for (int line : m_siaCodes.parse(sia.bytes))
        m_dc09Problems.append(QStringLiteral("Linha %1 de \"%2\" ignorada: não segue a forma \"BA 1 130 Texto\"")
                                  .arg(line)
                                  .arg(QString::fromLatin1(SiaCodeTable::kFileName)));
}

void ServerCore::startDc09() {
    if (m_dc09Settings.enabled())
        m_dc09.start(m_dc09Settings.port);
    // Told once the devices are answered: a message box waiting for the operator keeps nothing from them.
    const QStringList problems = std::exchange(m_dc09Problems, {});
    for (const QString& text : problems)
        m_ui.showMessage(text, UserInterface::Icon::Exclamation);
}

void ServerCore::playNewRegisterSound() {
    if (m_serverSettings.SoundNewRegister)
        m_ui.playSound(m_dir.file(QString::fromLatin1(kNewRegisterSound)));
}

void ServerCore::beginShutdown() {
    if (m_shutdownBegun)
        return;
    m_shutdownBegun = true;
    if (m_loggedIn)
        raiseOperatorEvent(true, m_currentOperator.name);
    emit shutdownBegun();
    // No new datagrams, sessions or supervision from here on.
    m_monitor.stop();
    m_linkWatch.stop();
    m_datagram.stopServer();
    m_dc09.stop();
    m_multicom.CloseMulticomListener();
    if (!m_started) {
        finishShutdown();
        return;
    }
    // Forwardings under way finish (or fail) and list their events before the list is written.
    m_reportSender.StopReporting();
    writeWindowLayout();
    if (m_reportSender.isIdle()) {
        finishShutdown();
        return;
    }
    connect(&m_reportSender, &ReportSender::idle, this, &ServerCore::finishShutdown, Qt::QueuedConnection);
    // The wait is sized from the attempts and windows in force: a slow serial
    // line may need far longer than a DC-09 station.
    QTimer::singleShot(m_reportSender.longestDrainMs() + kShutdownDrainMarginMs, this, &ServerCore::finishShutdown);
}

void ServerCore::finishShutdown() {
    if (m_shutdownFinished)
        return;
    m_shutdownFinished = true;
    disconnect(&m_reportSender, &ReportSender::idle, this, &ServerCore::finishShutdown);
    // A last try; what the log still refuses stays in custody for the next start.
    m_logRetry.stop();
    m_events.retryRefusedLines();
    if (m_started)
        m_clientList->SaveClientList();
    emit shutdownFinished();
}

void ServerCore::terminate() {
    if (m_shutdownBegun) {
        // A second signal does not wait for the forwardings under way.
        finishShutdown();
        return;
    }
    beginShutdown();
}

void ServerCore::shutdown() {
    beginShutdown();
    finishShutdown();
}
