// atalaia-screenshots: runs a receiver on a temporary copy of the demo data
// directory, sends it a few alarms from loopback devices and renders the main
// window (once per tab, each client page with a client picked) and the Login,
// client picker, about, client and details dialogs to PNG files. Meant for
// QT_QPA_PLATFORM=offscreen; nothing waits for an operator.

#include "clients/ClientForms.h"
#include "clients/ClientRecord.h"
#include "clients/ui/ClientData.h"
#include "clients/ui/ClientSetup.h"
#include "clients/ui/SetupDependent.h"
#include "common/UserInterface.h"
#include "config/Operators.h"
#include "config/ui/Login.h"
#include "device/DeviceDetailsForm.h"
#include "device/TaviComCodec.h"
#include "device/ui/DialogDetails.h"
#include "events/ClientChoices.h"
#include "events/EventListModel.h"
#include "events/ui/SelectClient.h"
#include "shell/ServerCore.h"
#include "shell/ui/AboutBox.h"
#include "shell/ui/InfoBar.h"
#include "shell/ui/MainFrame.h"
#include "shell/ui/ServerWindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QCommandLineParser>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QPixmap>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QThread>
#include <QUdpSocket>

#include <array>
#include <cstdio>
#include <functional>

namespace {

constexpr int kExitFailed = 1;
constexpr int kListedTimeoutMs = 3000;
// Rounds of event processing before a grab, so that layouts, scroll bars,
// deferred repaints and the batches of rows and tab captions (50 ms) have settled.
constexpr int kSettleRounds = 20;
constexpr const char* kServerConfigFile = "Server.cfg";
// Demo clients of "Clients.lst" the pictures show: a primary with two
// dependents, one of them, and the client blocked for the Bloqueados page.
constexpr quint16 kPrimaryWithDependents = 0x1001;
constexpr quint16 kDependentAccount = 0x1002;
constexpr quint16 kBlockedAccount = 0x2001;

// One alarm a demo device reports: both devices are clients of the demo "Clients.lst".
struct DemoAlarm {
    quint32 deviceId;
    quint16 code; // qualifier x 1000 + Contact ID event number
    quint8 partition;
    quint16 zone;
};
constexpr std::array<DemoAlarm, 5> kDemoAlarms = {{
    {0x1001, 1130, 1, 5},  // burglary, zone 5
    {0x2001, 1602, 1, 0},  // periodic test of the pharmacy
    {0x1001, 1110, 2, 12}, // fire, zone 12 of partition 2
    {0x1001, 3130, 1, 5},  // burglary of zone 5 restored
    {0x1001, 1401, 1, 3},  // disarmed by user 3
}};

void complain(const QString& text) {
    std::fprintf(stderr, "atalaia-screenshots: %s\n", qPrintable(text));
}

// Answers every question Yes and writes messages and questions on standard
// error, so the receiver never stops for a message box; the status fields go
// to the window's status bar, which the pictures show.
class UnattendedUserInterface : public UserInterface {
public:
    void setInfoBar(CInfoBar* infoBar) { m_infoBar = infoBar; }

    void showMessage(const QString& text, Icon) override { complain(QStringLiteral("message: ") + oneLine(text)); }
    bool askYesNo(const QString& text, Icon, bool) override {
        complain(QStringLiteral("question answered Yes: ") + oneLine(text));
        return true;
    }
    void setStatusField(int field, const QString& text) override {
        if (m_infoBar)
            m_infoBar->setField(field, text);
    }
    void playSound(const QString&) override {}

private:
    static QString oneLine(QString text) { return text.replace(QLatin1Char('\n'), QLatin1Char(' ')); }

    CInfoBar* m_infoBar = nullptr;
};

// Copies the files and subdirectories of from into to.
bool copyTree(const QString& from, const QString& to) {
    const QDir source(from);
    if (!source.exists())
        return false;
    QDirIterator it(from, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString target = QDir(to).filePath(source.relativeFilePath(path));
        const bool copied = it.fileInfo().isDir() ? QDir().mkpath(target) : QFile::copy(path, target);
        if (!copied)
            return false;
    }
    return true;
}

// Sets the "UDP" line of "Server.cfg" to port 0: the socket then takes a free
// port, so the pictures can be made while a receiver runs on the demo's port.
bool useFreeUdpPort(const QString& configPath) {
    QFile file(configPath);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QList<QByteArray> lines = file.readAll().split('\n');
    file.close();
    bool found = false;
    for (QByteArray& line : lines) {
        const QList<QByteArray> words = line.simplified().split(' ');
        if (words.size() == 2 && words[0] == "UDP") {
            line = "UDP 0" + QByteArray(line.endsWith('\r') ? "\r" : "");
            found = true;
        }
    }
    if (!found || !file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(lines.join('\n')) >= 0;
}

// A TaviCom event report of a device, as a Tavi device sends it.
QByteArray eventReport(const DemoAlarm& alarm, quint16 sequence) {
    TaviCom::DatagramBuffer buffer{};
    buffer[TaviCom::kOffType] = TaviCom::kTypeEvent;
    TaviCom::writeU32(buffer, TaviCom::kOffDeviceId, alarm.deviceId);
    TaviCom::writeU16(buffer, TaviCom::kOffSequence, sequence);
    buffer[TaviCom::kOffAnswerKind] = TaviCom::kKindAnswer;
    buffer[TaviCom::kOffKind] = TaviCom::kKindReport;
    TaviCom::DeviceReport report;
    report.account = static_cast<quint16>(alarm.deviceId & 0xFFFF);
    report.code = alarm.code;
    report.partition = alarm.partition;
    report.zone = alarm.zone;
    report.period = 60;
    TaviCom::writeDeviceReport(buffer, report);
    const int padded = TaviCom::SealDatagram(buffer, TaviCom::kReportPayloadLength);
    return QByteArray(reinterpret_cast<const char*>(buffer.data()), TaviCom::kFrameOverhead + padded);
}

// Runs the event loop until done() holds; false when timeoutMs passed first.
bool runUntil(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.hasExpired(timeoutMs))
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        QThread::msleep(5);
    }
    return true;
}

void settle() {
    for (int i = 0; i < kSettleRounds; ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        QThread::msleep(5);
    }
}

// Sends the demo alarms one after the other, each once the previous one is listed.
bool sendDemoAlarms(ServerCore& core) {
    QUdpSocket device;
    if (!device.bind(QHostAddress::LocalHost, 0)) {
        complain(QStringLiteral("no loopback socket for the demo devices: ") + device.errorString());
        return false;
    }
    const quint16 port = core.datagramServer().boundPort();
    const EventListModel& events = core.eventList().model();
    quint16 sequence = 1;
    for (const DemoAlarm& alarm : kDemoAlarms) {
        const int listed = events.rowCount();
        device.writeDatagram(eventReport(alarm, sequence++), QHostAddress::LocalHost, port);
        if (!runUntil([&events, listed] { return events.rowCount() > listed; }, kListedTimeoutMs)) {
            complain(QStringLiteral("the alarm with code %1 of device %2 was not listed")
                         .arg(alarm.code)
                         .arg(alarm.deviceId, 0, 16));
            return false;
        }
    }
    return true;
}

// Renders widgets into the output directory and remembers what could not be written.
class Camera {
public:
    explicit Camera(const QDir& directory) : m_directory(directory) {}

    void take(QWidget& widget, const QString& name) {
        widget.show();
        widget.activateWindow();
        settle();
        const QString path = m_directory.filePath(name);
        if (widget.grab().save(path, "PNG")) {
            std::printf("%s\n", qPrintable(path));
        } else {
            complain(QStringLiteral("could not write ") + path);
            m_failed = true;
        }
    }
    bool failed() const { return m_failed; }

private:
    QDir m_directory;
    bool m_failed = false;
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Atalaia"));
    QApplication::setQuitOnLastWindowClosed(false);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Renders the main window's tabs and the dialogs of a demo receiver to PNG files in DIR."));
    parser.addHelpOption();
    const QCommandLineOption demoOption(QStringLiteral("demo"),
                                        QStringLiteral("Demo data directory to copy (default: the source tree's)."),
                                        QStringLiteral("dir"), QStringLiteral(ATALAIA_DEMO_DIR));
    parser.addOption(demoOption);
    parser.addPositionalArgument(QStringLiteral("DIR"), QStringLiteral("Output directory (created when missing)."));
    parser.process(app);
    if (parser.positionalArguments().size() != 1)
        parser.showHelp(kExitFailed);

    const QDir output(parser.positionalArguments().first());
    if (!output.mkpath(QStringLiteral("."))) {
        complain(QStringLiteral("could not create ") + output.path());
        return kExitFailed;
    }
    QTemporaryDir data;
    if (!data.isValid() || !copyTree(parser.value(demoOption), data.path()) ||
        !useFreeUdpPort(QDir(data.path()).filePath(QString::fromLatin1(kServerConfigFile)))) {
        complain(QStringLiteral("could not copy the demo data directory ") + parser.value(demoOption));
        return kExitFailed;
    }

    UnattendedUserInterface ui;
    ServerCore core(data.path(), ui);
    ServerWindow window(core);
    QObject::connect(&window, &ServerWindow::created, &window,
                     [&ui](CMainFrame* frame) { ui.setInfoBar(frame->infoBar()); });
    // "&Trocar operador" logs the administrator in, who may see the configuration page.
    core.setLoginPrompt([&core](bool) {
        core.operators().logIn(OperatorTable::kAdministrator, core.currentOperator());
        return true;
    });
    if (!core.start([&window] { window.build(); })) {
        complain(QStringLiteral("the receiver did not start (exit code %1)").arg(core.exitCode()));
        return kExitFailed;
    }

    CMainFrame* frame = window.mainFrame();
    // The offscreen screen is smaller than the window's default size, which
    // placing the window would cut to the screen; the pictures show the size
    // a desktop gets.
    frame->resize(core.windowLayout().size);
    frame->show();
    settle();
    if (!sendDemoAlarms(core)) {
        core.shutdown();
        return kExitFailed;
    }

    Camera camera(output);
    QTabWidget* tabs = frame->tabs();
    const std::array<const char*, CMainFrame::kPageCount> names = {"main-0-eventos.png", "main-1-online.png",
                                                                   "main-2-offline.png", "main-3-bloqueados.png",
                                                                   "main-4-novos.png",   "main-5-configuracao.png"};
    for (int tab = CMainFrame::kEventsTab; tab < CMainFrame::kConfigTab; ++tab) {
        // The demo has no blocked client: the pharmacy is blocked once the Online page has been taken with it.
        if (tab == ClientStatus::Blocked) {
            if (PrimaryClient* client = core.registry().FindPrimary(kBlockedAccount))
                core.transitions().block(*client, ClientStatus::Online);
        }
        // Each client page with its first client picked, as a left click on its row does.
        if (tab >= ClientStatus::Online && tab <= ClientStatus::New && core.panel(tab).model().rowCount() > 0)
            core.panel(tab).pickRow(0);
        tabs->setCurrentIndex(tab);
        camera.take(*frame, QString::fromLatin1(names[static_cast<size_t>(tab)]));
    }
    // The anonymous operator of the demo lacks the right to see the configuration page.
    core.changeOperator();
    tabs->setCurrentIndex(CMainFrame::kConfigTab);
    camera.take(*frame, QString::fromLatin1(names[CMainFrame::kConfigTab]));

    {
        Login login(core.operators(), core.currentOperator(), core.serverSettings().AnonymEntry, ui, frame);
        camera.take(login, QStringLiteral("login.png"));
    }
    {
        SelectClient select(clientChoices(core.registry()), frame);
        camera.take(select, QStringLiteral("select-client.png"));
    }
    {
        AboutBox about(frame);
        camera.take(about, QStringLiteral("about.png"));
    }

    // The client dialogs, with the administrator logged in (so "Salvar" shows).
    const bool mayEdit = core.currentOperator().has(OperatorRight::Edit);
    if (PrimaryClient* primary = core.registry().FindPrimary(kPrimaryWithDependents)) {
        ClientDataForm form(*primary, ClientStatus::Online, mayEdit, core.registry(), core.transitions(), ui);
        ClientData dialog(form, frame);
        camera.take(dialog, QStringLiteral("client-data.png"));
        if (ClientRecord* dependent = primary->FindAccount(kDependentAccount)) {
            ClientDataForm dependentForm(*dependent, ClientStatus::Online, mayEdit, core.registry(), core.transitions(),
                                         ui);
            ClientData dependentDialog(dependentForm, frame);
            camera.take(dependentDialog, QStringLiteral("client-data-dependent.png"));
        }
    }
    {
        ClientSetupForm form(nullptr, core.serverSettings().EnableMulticom, core.registry(), ui);
        ClientSetup dialog(form, frame);
        camera.take(dialog, QStringLiteral("client-setup.png"));
    }
    {
        core.serverSettings().EnableMulticom = true;
        ClientSetupForm form(nullptr, core.serverSettings().EnableMulticom, core.registry(), ui);
        ClientSetup dialog(form, frame);
        if (auto* multicom = dialog.findChild<QCheckBox*>(QStringLiteral("check%1").arg(ClientField::Multicom)))
            multicom->setChecked(true);
        camera.take(dialog, QStringLiteral("client-setup-multicom.png"));
    }
    {
        SetupDependentForm form(nullptr, nullptr, core.registry(), ui);
        SetupDependent dialog(form, frame);
        camera.take(dialog, QStringLiteral("setup-dependent.png"));
    }

    // The details dialog of the online demo device: once as a cellular model
    // with PGM outputs and the line switch answers, once with no answer.
    if (PrimaryClient* client = core.registry().FindPrimary(kPrimaryWithDependents)) {
        DeviceCommand::Details details;
        details.model = QStringLiteral("Tavi-UG Rev. 1.2");
        details.firmware = QStringLiteral("1.2.3.4");
        details.password = QStringLiteral("4321");
        details.mac = QStringLiteral("00:1A:2B:3C:4D:5E");
        details.pgmSection = true;
        details.lineSwitch = true;
        details.cellular = true;
        details.in1 = true;
        details.pgm = {true, false, true, false};
        details.rssi = 23;
        DeviceDetailsForm form(core.deviceCommands(), *client, client->name, details, client->port, false);
        DialogDetails dialog(form, frame);
        camera.take(dialog, QStringLiteral("details.png"));

        DeviceDetailsForm noAnswer(core.deviceCommands(), *client, client->name, std::nullopt, 0, true);
        DialogDetails noAnswerDialog(noAnswer, frame);
        camera.take(noAnswerDialog, QStringLiteral("details-no-answer.png"));
    }

    core.shutdown();
    return camera.failed() ? kExitFailed : 0;
}
