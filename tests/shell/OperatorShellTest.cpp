#include "common/StringTable.h"
#include "config/UsersFile.h"
#include "config/ui/ConfigPage.h"
#include "events/EventList.h"
#include "events/EventListModel.h"
#include "shell/SignalHandling.h"
#include "shell/ui/MainFrame.h"
#include "tests/shell/ReceiverFixture.h"
#include "tests/support/RecordingUserInterface.h"

#include <QSignalSpy>
#include <QTabWidget>

#include <csignal>

using namespace ReceiverFixture;

namespace {

const QString kAccessDenied = QStringLiteral("Acesso não permitido!");

QByteArray code(const char* password) {
    return QByteArray::number(UsersFile::passwordCode(QString::fromLatin1(password)));
}

// "Admin" 1111; the anonymous operator with anonymousRights; "Ana" 0042 with
// A and B; "Beto" 1234 without rights.
void writeUsers(const TempDataDir& dir, quint16 anonymousRights = 0) {
    dir.write("Users.lst", code("1111") + " " + QByteArray::number(anonymousRights) + "\r\nAna\t3\t" + code("0042") +
                               "\r\nBeto\t0\t" + code("1234") + "\r\n");
}

// The name on the top row once the waiting rows are shown.
QString topName(ServerCore& core) {
    core.eventList().model().showWaitingRows();
    return core.eventList().model().cellText(0, EventListModel::NameColumn);
}

} // namespace

TEST(OperatorShellTest, WithoutUsersFileOnlyTheDefaultAdministratorComesIn) {
    TempDataDir dir;
    writeDataFiles(dir, false); // no "Users.lst"
    RecordingUserInterface ui;
    Receiver receiver(dir.path(), ui);
    receiver.login.type(QStringLiteral("Ana"), QStringLiteral("8264"));
    receiver.login.type(QStringLiteral("Admin"), QStringLiteral("1111"));
    receiver.login.type(QStringLiteral("Admin"), QStringLiteral("8264"));
    ASSERT_TRUE(receiver.start());
    EXPECT_EQ(receiver.login.shown, 1);
    EXPECT_TRUE(receiver.core.currentOperator().isAdministrator());
    EXPECT_EQ(ui.messages.size(), 2) << "two wrong attempts";
    EXPECT_EQ(topName(receiver.core), QStringLiteral("Admin")) << "the login is raised once the operator is known";
}

TEST(OperatorShellTest, ACancelledStartLoginEndsWithExitCodeOneSavingWhatShutdownSaves) {
    TempDataDir dir;
    writeDataFiles(dir, false);
    RecordingUserInterface ui;
    Receiver cancelled(dir.path(), ui);
    bool receivingDuringLogin = false;
    cancelled.core.setLoginPrompt([&](bool) {
        receivingDuringLogin = cancelled.core.datagramServer().isRunning();
        return false;
    });
    QSignalSpy finished(&cancelled.core, &ServerCore::shutdownFinished);
    EXPECT_FALSE(cancelled.start());
    EXPECT_TRUE(receivingDuringLogin) << "the login gates the window, not the reception";
    EXPECT_EQ(cancelled.core.exitCode(), 1);
    ASSERT_TRUE(!finished.isEmpty() || finished.wait(5000));
    EXPECT_FALSE(cancelled.core.datagramServer().isRunning());
    EXPECT_TRUE(dir.exists("Server.ini"));
    EXPECT_TRUE(dir.read("Clients.lst").contains("Padaria Central"));
    EXPECT_EQ(cancelled.core.eventList().model().rowCount(), 0) << "nobody logged in, nobody logged out";
}

TEST(OperatorShellTest, AnonymousModeComesInAndClosesWithoutLoginWhenRightAAllows) {
    struct Case {
        quint16 anonymousRights;
        bool closes;
    };
    for (const Case c : {Case{0, false}, Case{OperatorRight::Close, true}}) {
        TempDataDir dir;
        writeDataFiles(dir, true);
        writeUsers(dir, c.anonymousRights);
        RecordingUserInterface ui;
        Receiver receiver(dir.path(), ui);
        ASSERT_TRUE(receiver.start());
        EXPECT_EQ(receiver.login.shown, 0);
        EXPECT_EQ(ui.statusFields.value(StatusField::Operator), QStringLiteral("Anonimo"));
        EXPECT_EQ(topName(receiver.core), QStringLiteral("Anonimo")) << "the login is listed under its name";

        QSignalSpy finished(&receiver.core, &ServerCore::shutdownFinished);
        EXPECT_EQ(receiver.core.requestClose(), c.closes);
        EXPECT_EQ(receiver.login.shown, 0);
        if (!c.closes) {
            ASSERT_FALSE(ui.messages.isEmpty());
            EXPECT_EQ(ui.messages.last().text, kAccessDenied);
            EXPECT_EQ(ui.messages.last().icon, UserInterface::Icon::Exclamation);
            EXPECT_TRUE(receiver.core.datagramServer().isRunning());
            continue;
        }
        ASSERT_TRUE(!finished.isEmpty() || finished.wait(5000));
        EXPECT_EQ(receiver.core.eventList().model().eventCount(), 2);
        EXPECT_EQ(topName(receiver.core), QStringLiteral("Anonimo")) << "the logout";
        EXPECT_EQ(receiver.core.eventList().model().cellText(0, EventListModel::CodeColumn).left(1),
                  QStringLiteral("R"));
        EXPECT_TRUE(dir.exists("Server.ini"));
        EXPECT_TRUE(dir.exists("Clients.lst"));
    }
}

TEST(OperatorShellTest, ChangingOperatorRaisesBothEventsAndClosingAsksForAFreshLogin) {
    TempDataDir dir;
    writeDataFiles(dir, false);
    writeUsers(dir);
    RecordingUserInterface ui;
    Receiver receiver(dir.path(), ui);
    ServerCore& core = receiver.core;
    receiver.login.type(QStringLiteral("Beto"), QStringLiteral("1234"));
    ASSERT_TRUE(receiver.start());

    // Beto lacks right A.
    EXPECT_FALSE(core.requestClose());
    EXPECT_EQ(ui.messages.last().text, kAccessDenied);

    // "Trocar operador": cancelled changes nothing; Ana's login follows Beto's logout.
    EXPECT_FALSE(core.changeOperator());
    EXPECT_EQ(core.currentOperator().name, QStringLiteral("Beto"));
    receiver.login.type(QStringLiteral("Ana"), QStringLiteral("0042"));
    QSignalSpy changed(&core, &ServerCore::operatorChanged);
    ASSERT_TRUE(core.changeOperator());
    EXPECT_EQ(changed.size(), 1);
    EventListModel& events = core.eventList().model();
    events.showWaitingRows();
    ASSERT_EQ(events.rowCount(), 3);
    EXPECT_EQ(events.cellText(1, EventListModel::NameColumn), QStringLiteral("Beto"));
    EXPECT_TRUE(events.cellText(1, EventListModel::CodeColumn).startsWith(QLatin1Char('R')));
    EXPECT_EQ(events.cellText(0, EventListModel::NameColumn), QStringLiteral("Ana"));
    EXPECT_TRUE(events.cellText(0, EventListModel::CodeColumn).startsWith(QLatin1Char('E')));
    EXPECT_EQ(ui.statusFields.value(StatusField::Operator), QStringLiteral("Ana"));

    // Closing asks for a login: cancelled, the receiver stays; whoever logs in is logged out.
    EXPECT_FALSE(core.requestClose());
    EXPECT_TRUE(core.datagramServer().isRunning());
    receiver.login.type(QStringLiteral("Admin"), QStringLiteral("1111"));
    QSignalSpy finished(&core, &ServerCore::shutdownFinished);
    EXPECT_TRUE(core.requestClose());
    ASSERT_TRUE(!finished.isEmpty() || finished.wait(5000));
    EXPECT_EQ(topName(core), QStringLiteral("Admin"));
    EXPECT_EQ(receiver.login.shown, 5);
}

TEST(OperatorShellTest, ConfigurationTabNeedsRightBAndShowsAtOnceAfterAChangeOfOperator) {
    TempDataDir dir;
    writeDataFiles(dir, false);
    writeUsers(dir);
    RecordingUserInterface ui;
    Receiver receiver(dir.path(), ui);
    receiver.login.type(QStringLiteral("Beto"), QStringLiteral("1234"));
    ASSERT_TRUE(receiver.start());
    QWidget* content = receiver.window.configPage()->widget();

    receiver.window.mainFrame()->tabs()->setCurrentIndex(CMainFrame::kConfigTab);
    ASSERT_FALSE(ui.messages.isEmpty());
    EXPECT_EQ(ui.messages.last().text, kAccessDenied);
    EXPECT_EQ(ui.messages.last().icon, UserInterface::Icon::Exclamation);
    EXPECT_TRUE(content->isHidden());

    const qsizetype messages = ui.messages.size();
    receiver.login.type(QStringLiteral("Ana"), QStringLiteral("0042"));
    ASSERT_TRUE(receiver.core.changeOperator());
    EXPECT_FALSE(content->isHidden());
    EXPECT_EQ(ui.messages.size(), messages);
}

TEST(OperatorShellTest, ListWidthsComeBackFromServerIniAndATerminationSignalWritesItWithoutALogin) {
    TempDataDir dir;
    writeDataFiles(dir, false);
    dir.write("Server.ini", "1024\r\n700\r\n11\t12\t13\t14\t15\t16\t17\t18\t19\t20\r\n21\t22\t23\t24\t25\r\n"
                            "31\t32\t33\t34\t35\r\n41\t42\t43\t44\r\n51\t52\t53\t54\r\n");
    RecordingUserInterface ui;
    Receiver receiver(dir.path(), ui);
    receiver.login.type(QStringLiteral("Admin"), QStringLiteral("8264"));
    ASSERT_TRUE(receiver.start());
    EXPECT_EQ(receiver.core.windowLayout().size, QSize(1024, 700));
    const WindowLayout shown = receiver.window.layout();
    EXPECT_EQ(shown.columnWidths[0], (QList<int>{11, 12, 13, 14, 15, 16, 17, 18, 19, 20}));
    EXPECT_EQ(shown.columnWidths[3], (QList<int>{41, 42, 43, 44}));

    // SIGTERM takes the orderly shutdown and asks nobody (outside anonymous mode too).
    QObject handlerOwner;
    installTerminationHandler(&handlerOwner, [&receiver] { receiver.core.beginShutdown(); });
    QSignalSpy finished(&receiver.core, &ServerCore::shutdownFinished);
    ::raise(SIGTERM);
    const bool done = finished.wait(5000);
    std::signal(SIGTERM, SIG_DFL);
    ASSERT_TRUE(done);
    EXPECT_EQ(receiver.login.shown, 1);
    EXPECT_TRUE(ui.messages.isEmpty());
    const QByteArray ini = dir.read("Server.ini");
    const QSize size = receiver.window.mainFrame()->size();
    EXPECT_TRUE(ini.startsWith(QByteArray::number(size.width()) + "\r\n" + QByteArray::number(size.height()) + "\r\n"));
    EXPECT_TRUE(ini.endsWith("\r\n41\t42\t43\t44\r\n51\t52\t53\t54\r\n")) << ini.constData();
    EXPECT_TRUE(dir.read("Clients.lst").startsWith("1001\tPadaria Central"));
    EXPECT_TRUE(dir.read("Events.log").contains("Admin"));
}
