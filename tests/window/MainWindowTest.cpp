#include "config/Dc09ConfigFile.h"
#include "config/GeneralOptions.h"
#include "config/OperatorsSection.h"
#include "events/InternalEventEditor.h"
#include "events/ui/InternalEventsSection.h"
#include "events/ui/SelectClient.h"
#include "reporting/ReportSection.h"
#include "reporting/ReportSender.h"
#include "shell/ServerIniFile.h"
#include "tests/window/WindowFixture.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QStyle>
#include <QTableView>

// The menu, the events page and the configuration page of the real window:
// every command pressed once, checked by its effect on the files and lists.

using namespace WindowDriver;

namespace {

QAction* action(CMainFrame* frame, const char* name) {
    return frame->findChild<QAction*>(QLatin1String(name));
}

} // namespace

TEST_F(WindowFixture, MenuCommandsAndTheEventsPage) {
    start();
    const quint16 port = receiver->core.datagramServer().boundPort();
    ASSERT_FALSE(ReceiverFixture::exchange(port, ReceiverFixture::eventReport(kDeviceId, 7, 1130, 1, 5)).isEmpty());
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return eventTexts().contains(QStringLiteral("Disparo de alarme de roubo")); }, kWaitMs));
    page(CMainFrame::kEventsTab);

    // "Selecionar Cliente" narrows the list to one client and the tab says so; "Todos" undoes both.
    auto picked = whenShown(QStringLiteral("selectClient"), [](QWidget* dialog) {
        find<QComboBox>(dialog, QStringLiteral("choice%1").arg(SelectClient::kChoiceList))->setCurrentIndex(1);
        click(find<QAbstractButton>(dialog, QStringLiteral("ok")));
    });
    action(frame(), "actionSelectClient")->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return *picked; }, kWaitMs));
    const QString tab = frame()->tabs()->tabText(CMainFrame::kEventsTab);
    EXPECT_TRUE(tab.contains(QStringLiteral("Padaria Central"))) << tab.toStdString();
    EXPECT_EQ(rowTexts(CMainFrame::kEventsTab, EventListModel::NameColumn),
              QStringList{QStringLiteral("Padaria Central")});
    action(frame(), "actionShowAll")->trigger();
    EXPECT_EQ(frame()->tabs()->tabText(CMainFrame::kEventsTab), QStringLiteral("Eventos"));
    EXPECT_GT(eventRows(), 1);

    // The about box opens over the window.
    auto about = whenShown(QStringLiteral("about"), [](QWidget* box) { box->close(); });
    action(frame(), "actionAbout")->trigger();
    EXPECT_TRUE(*about);

    // A right-click on a row archives the log up to it (the question is answered Yes).
    QAbstractItemView* events = list(CMainFrame::kEventsTab);
    const QPoint rowCentre = events->visualRect(events->model()->index(0, 1)).center();
    QContextMenuEvent rightClick(QContextMenuEvent::Mouse, rowCentre, events->viewport()->mapToGlobal(rowCentre));
    QApplication::sendEvent(events->viewport(), &rightClick);
    const QByteArray archived = dir.read("Archive.log");
    ASSERT_FALSE(archived.isEmpty());
    EXPECT_FALSE(dir.read("Events.log").contains(archived)) << "moved, not copied";

    // "Trocar operador": the login, then the new operator's login event.
    receiver->login.type(QStringLiteral("Admin"), QStringLiteral("8264"));
    action(frame(), "actionChangeOperator")->trigger();
    EXPECT_EQ(receiver->login.shown, 1);
    EXPECT_EQ(ui.statusFields.value(StatusField::Operator), QStringLiteral("Admin"));

    // "Sair": the orderly shutdown writes the layout and the client list.
    QSignalSpy finished(&receiver->core, &ServerCore::shutdownFinished);
    receiver->login.type(QStringLiteral("Admin"), QStringLiteral("8264"));
    action(frame(), "actionExit")->trigger();
    ASSERT_TRUE(!finished.isEmpty() || finished.wait(kWaitMs));
    EXPECT_TRUE(dir.exists("Server.ini"));
    EXPECT_FALSE(receiver->core.datagramServer().isRunning());
}

TEST_F(WindowFixture, ConfigurationPageSavesEachSection) {
    start();
    const int tab = CMainFrame::kConfigTab;
    page(tab);

    // General options: a change enables "Salvar", which rewrites "Server.cfg".
    const QByteArray config = dir.read("Server.cfg");
    auto* udp = in<QLineEdit>(tab, QStringLiteral("edit%1").arg(GeneralControl::Udp));
    udp->clear();
    QTest::keyClicks(udp, QString::number(receiver->core.datagramServer().boundPort()));
    click(in<QCheckBox>(tab, QStringLiteral("check%1").arg(GeneralControl::LogAll)));
    press(tab, QStringLiteral("button%1").arg(GeneralControl::Save));
    EXPECT_NE(dir.read("Server.cfg"), config);

    // Reporting: DC-09 chosen and applied, then "Salvar" writes "Report.cfg" and its backup.
    QFile::remove(dir.file("Backup/Report.cfg"));
    click(in<QCheckBox>(tab, QStringLiteral("check%1").arg(ReportControl::Edit)));
    auto* protocol = in<QComboBox>(tab, QStringLiteral("combo%1").arg(ReportControl::Protocol));
    ASSERT_TRUE(protocol->isEnabled());
    // Chosen with the keyboard, as a list choice is made: "Desligado", "Serial", "DC-09".
    protocol->setFocus();
    while (protocol->currentIndex() < int(ReportMode::Dc09))
        QTest::keyClick(protocol, Qt::Key_Down);
    press(tab, QStringLiteral("button%1").arg(ReportControl::Apply));
    EXPECT_EQ(receiver->core.reportSender().appliedMode(), ReportMode::Dc09);
    press(tab, QStringLiteral("button%1").arg(ReportControl::Save));
    EXPECT_TRUE(dir.exists("Backup/Report.cfg"));
    EXPECT_TRUE(dir.read("Report.cfg").startsWith("2")) << dir.read("Report.cfg").constData();

    // Operators: a new operator typed in, "Salvar" writes "Users.lst" and its backup.
    QFile::remove(dir.file("Backup/Users.lst"));
    const int entry = OperatorTable::kFirstNamed;
    press(tab, QStringLiteral("button%1").arg(OperatorControl::button(entry))); // "Novo"
    QTest::keyClicks(in<QLineEdit>(tab, QStringLiteral("edit%1").arg(OperatorControl::name(entry))),
                     QStringLiteral("Carla"));
    QTest::keyClicks(in<QLineEdit>(tab, QStringLiteral("edit%1").arg(OperatorControl::password(entry))),
                     QStringLiteral("1234"));
    press(tab, QStringLiteral("button%1").arg(OperatorControl::Save));
    EXPECT_TRUE(dir.read("Users.lst").contains("Carla"));
    EXPECT_TRUE(dir.exists("Backup/Users.lst"));
    press(tab, QStringLiteral("button%1").arg(OperatorControl::button(entry))); // now "Remover"
    press(tab, QStringLiteral("button%1").arg(OperatorControl::Save));
    EXPECT_FALSE(dir.read("Users.lst").contains("Carla"));
    auto* showAdmin = in<QCheckBox>(tab, QStringLiteral("check%1").arg(OperatorControl::ShowAdminPassword));
    if (showAdmin->isVisible()) {
        click(showAdmin);
        EXPECT_TRUE(in<QLineEdit>(tab, QStringLiteral("edit%1").arg(OperatorControl::password(0)))->isVisible());
    }

    // Internal events: "Editar", a row switched, "Salvar" rewrites "LocalEvents.lst"; "Enviar" forwards the manual
    // test.
    const QByteArray internalEvents = dir.read("LocalEvents.lst");
    click(in<QCheckBox>(tab, InternalEventsSection::objectNameFor(InternalEventIds::kEdit)));
    click(in<QCheckBox>(tab, InternalEventsSection::objectNameFor(InternalEventIds::kFirstRowCheck)));
    press(tab, InternalEventsSection::objectNameFor(InternalEventIds::kSave));
    EXPECT_NE(dir.read("LocalEvents.lst"), internalEvents);
    const int rows = eventRows();
    press(tab, InternalEventsSection::objectNameFor(InternalEventIds::kSend));
    EXPECT_TRUE(QTest::qWaitFor([&] { return eventRows() > rows; }, 3 * kWaitMs));
}

TEST_F(WindowFixture, ConfigurationPageDc09GroupShowsKeysMaskedAndRewritesItsFile) {
    const QByteArray key128 = "2B7E151628AED2A6ABF7158809CF4F3C";
    const QString key256 = QStringLiteral("603DEB1015CA71BE2B73AEF0857D77811F352C073B6108D72D9810A30914DFF4");
    // Reception off at start (a port of its own would be bound); the page still edits the file.
    dir.write("Dc09.cfg", "; filial norte\r\nPort 0\r\nWindow 40 25\r\nKey ABC " + key128 + "\r\n");
    start();
    const int tab = CMainFrame::kConfigTab;
    page(tab);

    // What the file holds, the key masked.
    auto* port = in<QLineEdit>(tab, QStringLiteral("dc09Port"));
    auto* keys = in<QListWidget>(tab, QStringLiteral("dc09Keys"));
    ASSERT_NE(port, nullptr);
    ASSERT_NE(keys, nullptr);
    EXPECT_EQ(port->text(), QStringLiteral("0"));
    EXPECT_EQ(in<QLineEdit>(tab, QStringLiteral("dc09Lead"))->text(), QStringLiteral("25"));
    ASSERT_EQ(keys->count(), 1);
    EXPECT_TRUE(keys->item(0)->text().startsWith(QStringLiteral("ABC"))) << qPrintable(keys->item(0)->text());
    EXPECT_FALSE(keys->item(0)->text().contains(QString::fromLatin1(key128.left(6)))) << "a key on screen";
    EXPECT_FALSE(in<QPushButton>(tab, QStringLiteral("dc09Save"))->isEnabled());

    // A new port and a second key, typed as the operator does; the key leaves the screen once taken.
    port->clear();
    QTest::keyClicks(port, QStringLiteral("5071"));
    QTest::keyClicks(in<QLineEdit>(tab, QStringLiteral("dc09Account")), QStringLiteral("1234"));
    auto* keyEdit = in<QLineEdit>(tab, QStringLiteral("dc09Key"));
    EXPECT_EQ(keyEdit->echoMode(), QLineEdit::Password);
    QTest::keyClicks(keyEdit, key256);
    press(tab, QStringLiteral("dc09SetKey"));
    EXPECT_TRUE(keyEdit->text().isEmpty());
    EXPECT_EQ(keys->count(), 2);
    press(tab, QStringLiteral("dc09Save"));
    EXPECT_TRUE(ui.messages.isEmpty()) << qPrintable(messageTexts().join('\n'));

    // On disk: the new settings, the other line kept, owner only, the copy in "Backup".
    const QByteArray written = dir.read("Dc09.cfg");
    EXPECT_TRUE(written.startsWith("; filial norte\r\n")) << written.constData();
    Dc09Settings settings;
    EXPECT_TRUE(Dc09ConfigFile::parse(written, settings).isEmpty());
    EXPECT_EQ(settings.port, 5071);
    EXPECT_EQ(settings.keys.value("ABC").toHex().toUpper(), key128);
    EXPECT_EQ(settings.keys.value("1234").toHex().toUpper(), key256.toLatin1());
    EXPECT_EQ(dir.read("Backup/Dc09.cfg"), written);
    EXPECT_FALSE(QFile::permissions(dir.file("Dc09.cfg")) & (QFileDevice::ReadGroup | QFileDevice::ReadOther));

    // Typed and not saved: the page opened again shows the file.
    port->clear();
    QTest::keyClicks(port, QStringLiteral("6000"));
    page(CMainFrame::kEventsTab);
    page(tab);
    EXPECT_EQ(port->text(), QStringLiteral("5071"));
}

TEST_F(WindowFixture, DefaultWidthsFitTheFontStoredOnesAreKeptAndTheLastColumnFillsTheList) {
    start();
    frame()->resize(1280, 700);
    page(CMainFrame::kEventsTab);
    auto* events = qobject_cast<QTableView*>(list(CMainFrame::kEventsTab));
    const QHeaderView* header = events->horizontalHeader();
    const QString common = QStringLiteral("Disparo de alarme de roubo");
    EXPECT_GE(header->sectionSize(EventListModel::TextColumn),
              events->fontMetrics().horizontalAdvance(common) +
                  2 * events->style()->pixelMetric(QStyle::PM_FocusFrameHMargin))
        << "an 8-point width grown to the font in use";
    const int last = header->logicalIndex(header->count() - 1);
    QTest::qWait(20);
    EXPECT_EQ(header->sectionViewportPosition(last) + header->sectionSize(last), events->viewport()->width())
        << "no empty band right of the last column";

    // What "Server.ini" holds is shown and written back exactly, the stretched last column included.
    const QList<int> stored{11, 12, 13, 14, 15, 16, 17, 18, 19, 20};
    WindowLayout layout = receiver->core.windowLayout();
    layout.columnWidths[0] = stored;
    receiver.reset();
    dir.write("Server.ini", ServerIniFile::serialize(layout));
    start();
    frame()->resize(1280, 700);
    QTest::qWait(20);
    auto* again = qobject_cast<QTableView*>(list(CMainFrame::kEventsTab));
    EXPECT_EQ(again->horizontalHeader()->sectionSize(EventListModel::TextColumn), 15);
    EXPECT_GT(again->horizontalHeader()->sectionSize(EventListModel::ColumnCount - 1), 20);
    receiver->core.shutdown();
    EXPECT_TRUE(dir.read("Server.ini").contains("11\t12\t13\t14\t15\t16\t17\t18\t19\t20\r\n"))
        << dir.read("Server.ini").constData();
}
