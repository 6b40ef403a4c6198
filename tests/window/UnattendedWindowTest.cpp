#include "clients/ui/ClientPageWidget.h"
#include "config/ui/Login.h"
#include "shell/SignalHandling.h"
#include "shell/ui/GuiUserInterface.h"
#include "shell/ui/WindowTermination.h"
#include "tests/window/WindowFixture.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QProcess>
#include <QSignalSpy>
#include <QUdpSocket>

#include <csignal>

// Nothing that serves devices waits for a person: alarms are taken while the
// Login waits, a start without a display never waits in an invisible box, and
// a termination signal ends the run in order whatever dialog is open.

using namespace WindowDriver;

namespace {

constexpr int kExitWaitMs = 5000;

QByteArray burglary(quint16 sequence) {
    return ReceiverFixture::eventReport(WindowFixture::kDeviceId, sequence, 1130, 1, 5);
}

// The first number after marker in text, or -1.
int numberAfter(const QByteArray& text, const char* marker) {
    const qsizetype at = text.indexOf(marker);
    if (at < 0)
        return -1;
    bool ok = false;
    const int number = text.mid(at + qstrlen(marker)).split(',').first().split(' ').first().toInt(&ok);
    return ok ? number : -1;
}

} // namespace

TEST_F(WindowFixture, AlarmsSentWhileTheLoginWaitsAreAnsweredListedAndLogged) {
    ReceiverFixture::writeDataFiles(dir, false);
    receiver.emplace(dir.path(), ui);
    ServerCore& core = receiver->core;
    // The real Login dialog; the operator comes to it only after two alarms.
    QByteArray firstAnswer;
    QByteArray logBeforeLogin;
    core.setLoginPrompt([&](bool anonymousMode) {
        Login dialog(core.operators(), core.currentOperator(), anonymousMode, ui);
        whenShown(QStringLiteral("login"), [&](QWidget* login) {
            const quint16 port = core.datagramServer().boundPort();
            firstAnswer = ReceiverFixture::exchange(port, burglary(1));
            ReceiverFixture::exchange(port, burglary(2));
            logBeforeLogin = dir.read("Events.log");
            QTest::keyClicks(find<QLineEdit>(login, QStringLiteral("edit%1").arg(Login::kNameField)),
                             QStringLiteral("Admin"));
            QTest::keyClicks(find<QLineEdit>(login, QStringLiteral("edit%1").arg(Login::kPasswordField)),
                             QStringLiteral("8264"));
            click(find<QAbstractButton>(login, QStringLiteral("ok")));
        });
        return dialog.exec() == QDialog::Accepted;
    });
    ASSERT_TRUE(receiver->start());
    EXPECT_FALSE(firstAnswer.isEmpty()) << "acknowledged while the Login was on screen";
    EXPECT_EQ(logBeforeLogin.count("Disparo de alarme de roubo"), 2) << logBeforeLogin.constData();
    EXPECT_TRUE(core.currentOperator().isAdministrator());
    // The rows were there before the window opened; the login came after them.
    const QStringList texts = eventTexts();
    ASSERT_EQ(texts.size(), 3);
    EXPECT_EQ(rowTexts(CMainFrame::kEventsTab, EventListModel::NameColumn).first(), QStringLiteral("Admin"));
    EXPECT_EQ(texts.mid(1), (QStringList{QStringLiteral("Disparo de alarme de roubo"),
                                         QStringLiteral("Disparo de alarme de roubo")}));
}

TEST_F(WindowFixture, ATerminationSignalClosesWhateverDialogIsOpenAndEndsInOrder) {
    struct Case {
        const char* name;
        std::function<void(WindowFixture&, GuiUserInterface&)> openDialog;
    };
    const Case cases[] = {
        {"message box",
         [](WindowFixture&, GuiUserInterface& gui) { gui.showMessage("Aviso", UserInterface::Icon::Error); }},
        {"question", [](WindowFixture&,
                        GuiUserInterface& gui) { gui.askYesNo("Pergunta?", UserInterface::Icon::Question, false); }},
        {"client dialog",
         [](WindowFixture& f, GuiUserInterface&) {
             f.page(ClientStatus::Online);
             clickRow(f.list(ClientStatus::Online), 0);
             f.press(ClientStatus::Online, QStringLiteral("button%1").arg(ClientPageControl::Edit));
         }},
    };
    for (const Case& c : cases) {
        TempDataDir caseDir;
        ReceiverFixture::writeDataFiles(caseDir, true);
        GuiUserInterface gui;
        RecordingUserInterface console;
        receiver.emplace(caseDir.path(), gui);
        gui.setConsole(&console); // the start's questions ("Portas não definidas") take their answers
        ASSERT_TRUE(receiver->start()) << c.name;
        gui.setConsole(nullptr);
        console.messages.clear();
        gui.setWindow(frame());
        frame()->show();
        WindowTermination termination(receiver->core, gui, console);
        QObject owner;
        installTerminationHandler(&owner, [&termination] { termination.terminate(); });
        QSignalSpy finished(&receiver->core, &ServerCore::shutdownFinished);

        QTimer::singleShot(100, [] { ::raise(SIGTERM); });
        QElapsedTimer clock;
        clock.start();
        c.openDialog(*this, gui); // returns once the signal has closed it
        EXPECT_TRUE(!finished.isEmpty() || finished.wait(kExitWaitMs)) << c.name;
        std::signal(SIGTERM, SIG_DFL);
        EXPECT_LT(clock.elapsed(), kExitWaitMs) << c.name;
        EXPECT_FALSE(receiver->core.datagramServer().isRunning()) << c.name;
        EXPECT_TRUE(caseDir.exists("Server.ini")) << c.name;
        EXPECT_TRUE(caseDir.read("Clients.lst").contains("Padaria Central")) << c.name;
        // From the signal on nothing waits for a person: messages go to the console.
        gui.showMessage(QStringLiteral("depois"), UserInterface::Icon::Information);
        EXPECT_EQ(console.messages.size(), 1) << c.name;
        receiver.reset();
    }
}

// The program as it is started, on a platform without a display.
TEST(UnattendedWindowTest, WithoutADisplayABusyPortEndsTheStartAndSigtermEndsALoginWait) {
    TempDataDir dir;
    ReceiverFixture::writeDataFiles(dir, false);
    QUdpSocket holder;
    ASSERT_TRUE(holder.bind(QHostAddress::AnyIPv4, 0));
    QByteArray config = dir.read("Server.cfg");
    dir.write("Server.cfg", config.replace("UDP 0", "UDP " + QByteArray::number(holder.localPort())));

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    QProcess busy;
    busy.setProcessEnvironment(environment);
    busy.start(QStringLiteral(ATALAIA_PATH), {QStringLiteral("--data-dir"), dir.path()});
    ASSERT_TRUE(busy.waitForFinished(kExitWaitMs)) << "no box waits for nobody";
    EXPECT_NE(busy.exitCode(), 0);
    const QByteArray reason = busy.readAllStandardError();
    EXPECT_TRUE(reason.contains("message 121: Servidor será desconectado")) << reason.constData();
    EXPECT_TRUE(reason.contains("in use")) << reason.constData();

    // Outside anonymous mode the Login waits for an operator nobody can see: alarms are answered
    // meanwhile, and SIGTERM ends the run in order.
    dir.write("Server.cfg", config.replace("UDP " + QByteArray::number(holder.localPort()), "UDP 0"));
    holder.close();
    QProcess waiting;
    waiting.setProcessEnvironment(environment);
    waiting.start(QStringLiteral(ATALAIA_PATH), {QStringLiteral("--data-dir"), dir.path()});
    QByteArray output;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            output += waiting.readAllStandardError();
            return output.contains("the Login waits");
        },
        kExitWaitMs))
        << output.constData();
    const int port = numberAfter(output, "UDP port ");
    ASSERT_GT(port, 0) << output.constData();
    EXPECT_FALSE(ReceiverFixture::exchange(quint16(port), burglary(3)).isEmpty());
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return dir.read("Events.log").contains("Disparo de alarme de roubo"); }, kExitWaitMs));
    waiting.terminate();
    ASSERT_TRUE(waiting.waitForFinished(kExitWaitMs));
    EXPECT_EQ(waiting.exitCode(), 0) << waiting.readAllStandardError().constData();
    EXPECT_TRUE(dir.exists("Server.ini"));
}
