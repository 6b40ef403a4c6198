#include "events/ui/EventsPage.h"
#include "clients/ClientRecord.h"
#include "clients/ClientRegistry.h"
#include "common/ui/CStripedList.h"
#include "common/ui/RowIcons.h"
#include "common/ui/SoundPlayer.h"
#include "config/ServerSettings.h"
#include "events/AlarmTextTable.h"
#include "events/ClientChoices.h"
#include "events/EventList.h"
#include "events/EventPipeline.h"
#include "events/InternalEventTable.h"
#include "events/ui/SelectClient.h"
#include "tests/events/EventListTestSupport.h"
#include "tests/support/RecordingUserInterface.h"
#include "tests/support/TempDataDir.h"

#include <QComboBox>
#include <QContextMenuEvent>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QImage>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QTimerEvent>

#include <gtest/gtest.h>

using eventlist_test::logLine;

namespace {

PrimaryClient* addPrimary(ClientRegistry& registry, quint16 account, const QString& name) {
    auto* client = new PrimaryClient;
    client->account = account;
    client->name = name;
    registry.Register(client);
    return client;
}

// An events page over a log of three events of three clients.
class EventsPageWithThreeEvents : public ::testing::Test {
protected:
    EventsPageWithThreeEvents() {
        dir.write("Events.log", logLine(0, "t1", "Ana") + logLine(2, "t2", "Bia") + logLine(3, "t3", "Cid"));
        events.ReloadEvents();
        page.resize(900, 300);
    }

    TempDataDir dir;
    RecordingUserInterface ui;
    EventList events{dir.dataDirectory(), ui};
    ClientRegistry registry;
    RowIcons icons;
    EventsPage page{events, registry, icons};
};

} // namespace

TEST_F(EventsPageWithThreeEvents, ListLooksLikeTheOtherListsAndStripesGoOnBelowTheRows) {
    CStripedList* list = page.list();

    EXPECT_TRUE(list->showGrid());
    EXPECT_EQ(list->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_TRUE(list->horizontalHeader()->sectionsMovable());
    EXPECT_EQ(page.columnWidths(), (QList<int>{25, 80, 160, 25, 160, 45, 40, 40, 142, 25}));
    EXPECT_EQ(list->model()->headerData(1, Qt::Horizontal).toString(), "Data / Hora");
    EXPECT_EQ(list->model()->headerData(9, Qt::Horizontal).toString(), "Protocolo");
    EXPECT_EQ(list->model()->data(list->model()->index(0, 1)).toString(), "t3");
    // Each result has its own icon; a value outside the table none.
    const QVariant sent = list->model()->data(list->model()->index(2, 0), Qt::DecorationRole);
    EXPECT_FALSE(sent.value<QIcon>().isNull());
    EXPECT_TRUE(icons.reportResult(1).isNull());
    EXPECT_NE(icons.reportResult(0).pixmap(16).toImage(), icons.reportResult(2).pixmap(16).toImage());
    EXPECT_NE(icons.linkState(0).pixmap(16).toImage(), icons.linkState(2).pixmap(16).toImage());
    EXPECT_FALSE(icons.linkState(3).isNull());

    // Below the three rows the bands go on: row 3 grey, row 4 white, row 5 grey.
    page.show();
    const QImage image = list->viewport()->grab().toImage();
    const int x = list->viewport()->width() - 3; // right of the last column
    auto colourAt = [&](int row) {
        return image.pixelColor(x, row * CStripedList::kRowHeight + CStripedList::kRowHeight / 2);
    };
    EXPECT_EQ(colourAt(1), QColor(225, 225, 225));
    EXPECT_EQ(colourAt(2), QColor(255, 255, 255));
    EXPECT_EQ(colourAt(3), QColor(225, 225, 225));
    EXPECT_EQ(colourAt(4), QColor(255, 255, 255));
    EXPECT_EQ(colourAt(5), QColor(225, 225, 225));
}

// The rows are drawn from cached texts and icons: each cell still on its
// row's band, the selected row in the highlight, each result's icon in column 0.
TEST_F(EventsPageWithThreeEvents, CellsKeepTheirBandsTheSelectionAndTheResultIcons) {
    page.show();
    CStripedList* list = page.list();
    list->selectRow(1);
    const QImage image = list->viewport()->grab().toImage();
    // Just inside a cell's top left corner, where a centred text never reaches.
    auto background = [&](int row, int column) {
        return image.pixelColor(list->columnViewportPosition(column) + 2, list->rowViewportPosition(row) + 2);
    };
    for (int column : {int(EventListModel::TimeColumn), int(EventListModel::TextColumn)}) {
        EXPECT_EQ(background(0, column), CStripedList::bandColour(0)) << "column " << column;
        EXPECT_EQ(background(1, column), list->palette().color(QPalette::Active, QPalette::Highlight))
            << "column " << column;
        EXPECT_EQ(background(2, column), CStripedList::bandColour(2)) << "column " << column;
    }
    // Pixels of a cell (its grid lines left out) that are not its band's colour.
    auto inked = [&](int row, int column) {
        const QImage cell = image.copy(list->columnViewportPosition(column), list->rowViewportPosition(row),
                                       list->columnWidth(column) - 1, list->rowHeight(row) - 1);
        int count = 0;
        for (int y = 0; y < cell.height(); ++y)
            for (int x = 0; x < cell.width(); ++x)
                count += cell.pixelColor(x, y) != CStripedList::bandColour(row);
        return count;
    };
    EXPECT_GT(inked(0, EventListModel::TimeColumn), 10) << "the top row's time text";
    EXPECT_GT(inked(2, EventListModel::IconColumn), 50) << "the sent row's icon";
    // Rows 0 and 2 carry different results (not sent, sent): their icons differ.
    auto iconCell = [&](int row) {
        return image.copy(list->columnViewportPosition(EventListModel::IconColumn), list->rowViewportPosition(row),
                          list->columnWidth(EventListModel::IconColumn) - 1, list->rowHeight(row) - 1);
    };
    EXPECT_NE(iconCell(0), iconCell(2));
}

TEST_F(EventsPageWithThreeEvents, RightClickOnARowArchivesUpToItsTime) {
    page.show();
    CStripedList* list = page.list();

    // Below the rows: no question.
    const QPoint empty(40, CStripedList::kRowHeight * 6);
    QContextMenuEvent outside(QContextMenuEvent::Mouse, empty, list->viewport()->mapToGlobal(empty));
    QCoreApplication::sendEvent(list->viewport(), &outside);
    EXPECT_TRUE(ui.questions.isEmpty());

    ui.queueAnswer(true);
    const QPoint second(40, list->rowViewportPosition(1) + 3);
    QContextMenuEvent click(QContextMenuEvent::Mouse, second, list->viewport()->mapToGlobal(second));
    QCoreApplication::sendEvent(list->viewport(), &click);
    ASSERT_EQ(ui.questions.size(), 1);
    EXPECT_TRUE(ui.questions[0].contains("(t2)"));
    EXPECT_EQ(dir.read("Events.log"), logLine(3, "t3", "Cid"));
    EXPECT_EQ(list->model()->rowCount(), 1);
}

// A burst raised in one pass of the event loop reaches the view as one
// insertion when the batch timer first fires (no sooner than its interval of
// at most 1/20 s: the operator reads no faster), not as a row per event.
TEST_F(EventsPageWithThreeEvents, ThousandEventsRaisedInOnePassShowAfterOneBatchInterval) {
    FakeReporter reporter;
    reporter.immediateResult = ReportResult::Sent;
    AlarmTextTable alarms;
    InternalEventTable internal;
    ServerSettings settings;
    EventPipeline pipeline(events, reporter, alarms, internal, settings, ui, dir.dataDirectory());
    PrimaryClient client;
    client.account = 0x0A1B;
    client.name = QStringLiteral("Padaria");
    client.status = ClientStatus::Online;
    page.show();
    CStripedList* list = page.list();
    QSignalSpy inserted(list->model(), &QAbstractItemModel::rowsInserted);

    constexpr int kBurst = 1000;
    for (int i = 0; i < kBurst; ++i)
        pipeline.RaiseClientEvent(&client, 1130, 1, quint16(i), EventProtocol::TaviCom);
    EXPECT_EQ(list->verticalHeader()->count(), 3) << "the view learns of the burst only when the batch ends";
    EXPECT_EQ(inserted.count(), 0);

    // One batch interval: its timer fires once.
    auto* batchTimer = events.model().findChild<QTimer*>(QStringLiteral("eventBatchTimer"));
    ASSERT_NE(batchTimer, nullptr);
    ASSERT_TRUE(batchTimer->isActive());
    EXPECT_LE(batchTimer->interval(), 1000 / 20);
    QTimerEvent tick(batchTimer->timerId());
    QCoreApplication::sendEvent(batchTimer, &tick);

    EXPECT_EQ(list->verticalHeader()->count(), kBurst + 3);
    EXPECT_EQ(list->model()->rowCount(), kBurst + 3);
    EXPECT_EQ(inserted.count(), 1);
    EXPECT_FALSE(batchTimer->isActive()) << "nothing left to show";
    EXPECT_EQ(list->model()->data(list->model()->index(0, EventListModel::ZoneColumn)).toString(), "999");
    EXPECT_EQ(list->model()->data(list->model()->index(kBurst - 1, EventListModel::ZoneColumn)).toString(), "000");
    EXPECT_EQ(list->model()->data(list->model()->index(kBurst, EventListModel::TimeColumn)).toString(), "t3");
    EXPECT_EQ(dir.read("Events.log").count('\n'), kBurst + 3) << "every event is logged at once";
}

TEST(EventsPageTest, ClientPickerOffersAllThenThePrimariesAndFilters) {
    TempDataDir dir;
    dir.write("Events.log", logLine(0, "t1", "Ana") + logLine(2, "t2", "Bia") + logLine(3, "t3", "Ana"));
    RecordingUserInterface ui;
    EventList events(dir.dataDirectory(), ui);
    events.ReloadEvents();
    ClientRegistry registry;
    PrimaryClient* ana = addPrimary(registry, 0x0101, "Ana");
    addPrimary(registry, 0x0202, "Bia");
    auto* dependent = new DependentAccount;
    dependent->account = 0x0303;
    dependent->name = "Dependente";
    ana->AddDependent(dependent);
    registry.Register(dependent);

    QStringList expected{"Todos"};
    registry.ForEachPrimary([&expected](const PrimaryClient* p) { expected.append(p->name); });
    const QList<ClientChoice> choices = clientChoices(registry);
    QStringList texts;
    for (const ClientChoice& choice : choices)
        texts.append(choice.text);
    EXPECT_EQ(texts, expected);
    EXPECT_EQ(texts.size(), 3) << "dependent accounts are not offered";
    EXPECT_FALSE(choices[0].clientName.has_value());

    // OK without a choice: all clients.
    SelectClient untouched(choices);
    EXPECT_EQ(untouched.windowTitle(), "Selecionar clientes...");
    EXPECT_FALSE(untouched.chosenClient().has_value());

    RowIcons icons;
    EventsPage page(events, registry, icons);
    page.selectClient();
    auto* dialog = page.findChild<SelectClient*>("selectClient");
    ASSERT_NE(dialog, nullptr);
    auto* combo = dialog->findChild<QComboBox*>("choice1011");
    ASSERT_NE(combo, nullptr);
    combo->setCurrentIndex(texts.indexOf("Ana"));
    dialog->findChild<QPushButton*>("ok")->click();
    EXPECT_EQ(events.filter(), std::optional<QString>("Ana"));
    EXPECT_EQ(events.model().rowCount(), 2);

    page.showAllClients();
    EXPECT_FALSE(events.filter().has_value());
    EXPECT_EQ(events.model().rowCount(), 3);
    registry.Shutdown();
}

TEST(EventsPageTest, SoundPlayerReplacesTheSoundAndIgnoresWhatIsMissing) {
    TempDataDir dir;
    dir.write("Event.wav", "RIFF");
    // A shell that sleeps stands in for the player.
    SoundPlayer player(QStringLiteral("sh"),
                       {QStringLiteral("-c"), QStringLiteral("sleep 30"), QStringLiteral("player")});
    if (!player.available())
        GTEST_SKIP() << "no shell";
    auto running = [&player] {
        int count = 0;
        for (const QProcess* process : player.findChildren<QProcess*>())
            count += process->state() != QProcess::NotRunning;
        return count;
    };
    player.play(dir.file("Event.wav"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return running() == 1; }, 2000));
    player.play(dir.file("Event.wav"));
    EXPECT_TRUE(player.isPlaying());
    // The first sound was ended: one player process is left.
    EXPECT_TRUE(QTest::qWaitFor([&] { return running() == 1 && player.findChildren<QProcess*>().size() == 1; }, 2000));
    player.stop();
    EXPECT_FALSE(player.isPlaying());

    SoundPlayer missing(QStringLiteral("/nonexistent/aplay"), {QStringLiteral("-q")});
    EXPECT_FALSE(missing.available());
    missing.play(dir.file("Event.wav"));
    EXPECT_FALSE(missing.isPlaying());
    SoundPlayer real;
    real.play(dir.file("missing.wav"));
    EXPECT_FALSE(real.isPlaying());
}

TEST(EventsPageTest, SoundsThatCannotBePlayedAreSaidOnce) {
    TempDataDir dir;
    dir.write("Event.wav", "RIFF");
    struct Case {
        const char* name;
        const char* program;
        QStringList options;
        const char* reason; // null: nothing said
    };
    const Case cases[] = {
        {"no player program", "/nonexistent/aplay", {}, "não foi encontrado"},
        {"the player fails (no sound device)", "sh", {"-c", "exit 1", "player"}, "terminou com o código 1"},
        {"the player plays", "sh", {"-c", "exit 0", "player"}, nullptr},
    };
    for (const Case& c : cases) {
        SoundPlayer player(QString::fromLatin1(c.program), c.options);
        QSignalSpy said(&player, &SoundPlayer::unavailable);
        for (int i = 0; i < 2; ++i) {
            player.play(dir.file("Event.wav"));
            ASSERT_TRUE(QTest::qWaitFor([&] { return !player.isPlaying(); }, 2000)) << c.name;
        }
        QTest::qWait(50);
        ASSERT_EQ(said.size(), c.reason ? 1 : 0) << c.name;
        if (c.reason) {
            EXPECT_TRUE(said.first().first().toString().contains(QString::fromUtf8(c.reason))) << c.name;
        }
    }
}
