#include "events/EventList.h"
#include "tests/events/EventListTestSupport.h"
#include "tests/support/HostileFile.h"
#include "tests/support/RecordingUserInterface.h"
#include "tests/support/TempDataDir.h"

#include <QDir>
#include <QFile>

#include <cstdio>

#include <gtest/gtest.h>

using eventlist_test::logLine;

namespace {

QString time(int n) {
    return QStringLiteral("01/02/2026 10:00:%1").arg(n, 2, 10, QLatin1Char('0'));
}

// Ten lines, times 00..09 (line i has time i unless shared is set).
QByteArray tenLines(int sharedFrom = -1, int sharedTime = -1) {
    QByteArray log;
    for (int i = 0; i < 10; ++i)
        log += logLine(0, time((i >= sharedFrom && sharedFrom >= 0 && i <= sharedFrom + 1) ? sharedTime : i),
                       QStringLiteral("Cliente %1").arg(i));
    return log;
}

QByteArray lines(const QByteArray& log, int from, int to) {
    const QList<QByteArray> all = log.split('\n');
    QByteArray part;
    for (int i = from; i < to; ++i)
        part += all[i] + '\n';
    return part;
}

} // namespace

TEST(ArchiveEventsTest, CutsAtTheClickedRowAndAppendsToTheArchive) {
    TempDataDir dir;
    const QByteArray log = tenLines();
    dir.write("Events.log", log);
    dir.write("Archive.log", "earlier archive\n");
    RecordingUserInterface ui;
    EventList list(dir.dataDirectory(), ui);
    list.ReloadEvents();

    // The third-newest row.
    const QString clicked = list.model().cellText(2, EventListModel::TimeColumn);
    ASSERT_EQ(clicked, time(7));
    ui.queueAnswer(true);
    list.ArchiveEvents(clicked);
    ASSERT_EQ(ui.questions.size(), 1);
    EXPECT_EQ(ui.questions[0], "Todos eventos após (" + clicked + ") serão arquivados.\nContinuar?");
    EXPECT_EQ(dir.read("Archive.log"), "earlier archive\n" + lines(log, 0, 8));
    EXPECT_EQ(dir.read("Events.log"), lines(log, 8, 10));
    EXPECT_FALSE(dir.exists("Events.tmp"));
    EXPECT_EQ(list.model().rowCount(), 2) << "the list was reloaded";
    EXPECT_TRUE(ui.messages.isEmpty());

    // No: nothing moves. An empty time: not even a question.
    ui.queueAnswer(false);
    list.ArchiveEvents(time(9));
    list.ArchiveEvents(QString());
    EXPECT_EQ(ui.questions.size(), 2);
    EXPECT_EQ(dir.read("Events.log"), lines(log, 8, 10));
}

TEST(ArchiveEventsTest, SharedTimeCutsAtTheOldestAndUnknownTimeMovesEverything) {
    TempDataDir dir;
    // Lines 3 and 4 share time 4; clicking the newer (line 4) cuts after line 3.
    const QByteArray log = tenLines(3, 4);
    dir.write("Events.log", log);
    RecordingUserInterface ui;
    EventList list(dir.dataDirectory(), ui);
    list.ArchiveEvents(time(4));
    EXPECT_EQ(dir.read("Archive.log"), lines(log, 0, 4));
    EXPECT_EQ(dir.read("Events.log"), lines(log, 4, 10));

    // A time text that no line has: the whole log moves, "Events.log" stays, empty.
    list.ArchiveEvents(QStringLiteral("31/12/2099 23:59:59"));
    EXPECT_EQ(dir.read("Archive.log"), log);
    EXPECT_TRUE(dir.exists("Events.log"));
    EXPECT_TRUE(dir.read("Events.log").isEmpty());
    EXPECT_TRUE(ui.messages.isEmpty());
}

TEST(ArchiveEventsTest, OddLinesAreMovedWholeWithALineEnd) {
    TempDataDir dir;
    const QByteArray longLine = "0\t" + QByteArray(9000, 'z') + "\tlong\n";
    const QByteArray log =
        "not a number\n\n" + longLine + "2\t" + time(1).toUtf8() + "\tA\r\n" + "3\t" + time(2).toUtf8() + "\tB";
    dir.write("Events.log", log);
    dir.write("Archive.log", "archive without end");
    RecordingUserInterface ui;
    EventList list(dir.dataDirectory(), ui);
    list.ArchiveEvents(time(1));
    EXPECT_EQ(dir.read("Archive.log"),
              "archive without end\nnot a number\n\n" + longLine + "2\t" + time(1).toUtf8() + "\tA\r\n");
    EXPECT_EQ(dir.read("Events.log"), "3\t" + time(2).toUtf8() + "\tB\n");
}

TEST(ArchiveEventsTest, AFailedStepChangesNoFile) {
    TempDataDir dir;
    const QByteArray log = tenLines();
    const QByteArray archive = "earlier archive\n";
    RecordingUserInterface ui;
    EventList list(dir.dataDirectory(), ui);
    auto reset = [&] {
        dir.write("Events.log", log);
        dir.write("Archive.log", archive);
    };
    auto unchanged = [&](const char* step) {
        EXPECT_EQ(dir.read("Events.log"), log) << step;
        EXPECT_EQ(dir.read("Archive.log"), archive) << step;
        EXPECT_FALSE(dir.exists("Archive.jnl")) << step;
    };

    // The rename of "Events.tmp" over "Events.log" fails: the appended part is taken back.
    reset();
    list.ReloadEvents();
    list.logFile().setRenameFunction([](const QString&, const QString&) { return QStringLiteral("Access denied"); });
    list.ArchiveEvents(time(7));
    unchanged("rename");
    EXPECT_FALSE(dir.exists("Events.tmp"));
    ASSERT_EQ(ui.messages.size(), 1);
    EXPECT_TRUE(ui.messages[0].text.contains("Access denied"));
    EXPECT_EQ(ui.messages[0].icon, UserInterface::Icon::Error);
    EXPECT_EQ(list.model().rowCount(), 10) << "no reload after a failure";
    list.logFile().setRenameFunction([](const QString& from, const QString& to) {
        return ::rename(from.toLocal8Bit().constData(), to.toLocal8Bit().constData()) == 0 ? QString()
                                                                                           : QStringLiteral("x");
    });

    // "Events.tmp" cannot be created (a directory of that name with something in it).
    reset();
    ASSERT_TRUE(QDir(dir.path()).mkpath("Events.tmp/inside"));
    list.ArchiveEvents(time(7));
    unchanged("temporary file");
    EXPECT_EQ(ui.messages.size(), 2);
    ASSERT_TRUE(QDir(dir.file("Events.tmp")).removeRecursively());

    // "Archive.log" a link (to a full disk): refused, never written through;
    // nothing is appended, the log stays whole.
    reset();
    QFile::remove(dir.file("Archive.log"));
    if (QFile::link("/dev/full", dir.file("Archive.log"))) {
        list.ArchiveEvents(time(7));
        EXPECT_EQ(dir.read("Events.log"), log);
        EXPECT_FALSE(dir.exists("Events.tmp"));
        EXPECT_EQ(ui.messages.size(), 3);
        EXPECT_TRUE(ui.messages.last().text.contains("Archive.log"));
        QFile::remove(dir.file("Archive.log"));
    }

    // "Events.log" unreadable: nothing moves.
    reset();
    QFile::remove(dir.file("Events.log"));
    ASSERT_TRUE(QDir(dir.path()).mkdir("Events.log"));
    const qsizetype before = ui.messages.size();
    list.ArchiveEvents(time(7));
    EXPECT_EQ(dir.read("Archive.log"), archive);
    EXPECT_EQ(ui.messages.size(), before + 1);

    // After the failures the same archive run succeeds, with each line exactly once.
    ASSERT_TRUE(QDir(dir.path()).rmdir("Events.log"));
    reset();
    list.ArchiveEvents(time(7));
    EXPECT_EQ(dir.read("Archive.log") + dir.read("Events.log"), archive + log);
}

TEST(ArchiveEventsTest, AnArchiveThatIsNotARegularFileIsNeverWrittenThrough) {
    const QByteArray log = tenLines();
    for (const HostileCase& c : refusedHostileCases()) {
        if (c.kind == HostileKind::HugeSparse)
            continue; // a regular file: appended to
        TempDataDir dir;
        HostileFiles files;
        dir.write("Events.log", log);
        files.place(dir, "Archive.log", c.kind, "outside archive\n");
        RecordingUserInterface ui;
        EventList list(dir.dataDirectory(), ui);
        list.ArchiveEvents(time(7));
        ASSERT_EQ(ui.messages.size(), 1) << c.name;
        EXPECT_TRUE(ui.messages[0].text.contains(dir.file("Archive.log"))) << c.name;
        EXPECT_EQ(dir.read("Events.log"), log) << c.name << ": nothing moved";
        EXPECT_FALSE(dir.exists("Events.tmp")) << c.name;
        EXPECT_FALSE(dir.exists("Archive.jnl")) << c.name;
        if (c.kind == HostileKind::LinkOutside) {
            EXPECT_EQ(files.outsideContent("Archive.log"), QByteArray("outside archive\n")) << c.name;
        }
    }
}

TEST(ArchiveEventsTest, TheLogThatStaysKeepsItsPermissions) {
    TempDataDir dir;
    dir.write("Events.log", tenLines());
    const auto ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    ASSERT_TRUE(QFile::setPermissions(dir.file("Events.log"), ownerOnly));
    RecordingUserInterface ui;
    EventList list(dir.dataDirectory(), ui);
    list.ArchiveEvents(time(3));
    ASSERT_TRUE(ui.messages.isEmpty());
    EXPECT_EQ(dir.read("Events.log"), lines(tenLines(), 4, 10));
    EXPECT_EQ(QFile::permissions(dir.file("Events.log")) & ~(QFileDevice::ReadUser | QFileDevice::WriteUser),
              ownerOnly);
}
