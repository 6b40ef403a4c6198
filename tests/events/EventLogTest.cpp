#include "events/EventList.h"
#include "tests/events/EventListTestSupport.h"
#include "tests/support/HostileFile.h"
#include "tests/support/RecordingUserInterface.h"
#include "tests/support/TempDataDir.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <malloc.h>

#include <algorithm>

#include <gtest/gtest.h>

#include <functional>

using eventlist_test::eventLine;
using eventlist_test::logLine;

namespace {

QString time(int n) {
    return QStringLiteral("01/02/2026 10:00:%1").arg(n, 2, 10, QLatin1Char('0'));
}

// Bytes the C allocator has handed out and not had back (glibc's counts).
size_t bytesInUse() {
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

// Column texts of every row, top first.
QStringList column(const EventListModel& model, int column) {
    QStringList texts;
    for (int row = 0; row < model.rowCount(); ++row)
        texts.append(model.cellText(row, column));
    return texts;
}

} // namespace

TEST(EventLogTest, ReloadShowsNewestFirstUnderTheClientFilter) {
    TempDataDir dir;
    QByteArray log;
    const QStringList clients{"Ana", "Bruno", "Carla"};
    for (int i = 0; i < 9; ++i)
        log += logLine(i % 2 == 0 ? 0 : 2, time(i), clients[i % 3]);
    log += "\n"; // an empty last line shows no row
    dir.write("Events.log", log);
    RecordingUserInterface ui;
    EventList list(dir.dataDirectory(), ui);

    list.ReloadEvents();
    const EventListModel& model = list.model();
    ASSERT_EQ(model.rowCount(), 9);
    EXPECT_EQ(model.cellText(0, EventListModel::TimeColumn), time(8));
    EXPECT_EQ(model.cellText(8, EventListModel::TimeColumn), time(0));
    EXPECT_EQ(model.resultAt(0), 0);
    EXPECT_EQ(model.resultAt(1), 2);
    // Columns: the panel (field 10) in column 8, the protocol (field 9) in column 9.
    EXPECT_EQ(model.cellText(0, EventListModel::CodeColumn), "E 130");
    EXPECT_EQ(model.cellText(0, EventListModel::PanelColumn), "Korvo 12IP");
    EXPECT_EQ(model.cellText(0, EventListModel::ProtocolColumn), "TaviCom");

    list.setFilter(QStringLiteral("Bruno"));
    EXPECT_EQ(column(model, EventListModel::TimeColumn), (QStringList{time(7), time(4), time(1)}));
    EXPECT_EQ(column(model, EventListModel::NameColumn), (QStringList{"Bruno", "Bruno", "Bruno"}));

    list.setFilter(QStringLiteral("Brun")); // exact names only
    EXPECT_EQ(model.rowCount(), 0);
    list.setFilter(std::nullopt);
    EXPECT_EQ(model.rowCount(), 9);
    EXPECT_TRUE(ui.messages.isEmpty());

    // A line of an older 8-bit log names the client as the text it decodes to.
    dir.write("Events.log", log + logLine(0, time(9), "Ana").replace("Ana", "Jo\xE3o \x96 Loja"));
    list.setFilter(QStringLiteral("Jo\u00E3o \u2013 Loja"));
    EXPECT_EQ(column(model, EventListModel::TimeColumn), (QStringList{time(9)}));
}

TEST(EventLogTest, MissingLogKeepsTheListAndTellsTheOperator) {
    TempDataDir dir;
    RecordingUserInterface ui;
    EventList list(dir.dataDirectory(), ui);
    EventLine line;
    line.time = time(1);
    list.model().prepend(line);
    list.ReloadEvents();
    list.model().showWaitingRows();
    ASSERT_EQ(ui.messages.size(), 1);
    EXPECT_EQ(ui.messages[0].text, "Arquivo \"Events.log\" faltando ou corrompido");
    EXPECT_EQ(ui.messages[0].icon, UserInterface::Icon::Information);
    EXPECT_EQ(list.model().rowCount(), 1);
}

TEST(EventLogTest, DamagedLinesNeitherCrashNorHang) {
    TempDataDir dir;
    QByteArray log;
    log += "garbage without a number\n";
    log += "\tstarts with a tab\n";
    log += "3\n";              // a number and nothing else
    log += "2\tonly\tthree\n"; // too few fields: the rest are empty
    log += "0\t" + time(1).toUtf8() + "\tA\t0001\tT\tE\t130\t01\t005\tTaviCom\tPanel\textra\tmore\n"; // too many
    log += "0\t" + QByteArray(10000, 'y') + "\tLong\n";  // longer than any limit
    log += "0\t" + time(2).toUtf8() + "\tJos\xE9\xFF\n"; // not UTF-8
    log += "99999999999999999999\tbig\n";                // an absurd result value: no icon
    log += "3\t" + time(3).toUtf8() + "\tLast\twithout\tend";
    dir.write("Events.log", log);
    RecordingUserInterface ui;
    EventList list(dir.dataDirectory(), ui);
    list.ReloadEvents();

    const EventListModel& model = list.model();
    ASSERT_EQ(model.rowCount(), 6);
    EXPECT_EQ(model.cellText(0, EventListModel::NameColumn), "Last");
    EXPECT_EQ(model.cellText(0, EventListModel::AccountColumn), "without");
    EXPECT_EQ(model.cellText(0, EventListModel::TextColumn), "end");
    EXPECT_EQ(model.resultAt(1), -1);
    EXPECT_EQ(model.cellText(2, EventListModel::NameColumn), QStringLiteral("Jos\u00E9\u00FF"))
        << "an 8-bit line reads as Windows-1252";
    EXPECT_EQ(model.cellText(3, EventListModel::TimeColumn).size(), EventLogFile::kMaxShownLineBytes - 2);
    EXPECT_EQ(model.cellText(4, EventListModel::PanelColumn), "Panel");
    EXPECT_EQ(model.cellText(5, EventListModel::TimeColumn), "only");
    EXPECT_EQ(model.cellText(5, EventListModel::NameColumn), "three");
    EXPECT_EQ(model.cellText(5, EventListModel::PanelColumn), "");
}

TEST(EventLogTest, AppendingKeepsLinesApartAndAFailedAppendStillShowsTheRow) {
    TempDataDir dir;
    RecordingUserInterface ui;
    EventList list(dir.dataDirectory(), ui);
    dir.write("Events.log", "0\told\tline\twithout\tend");
    EventLine line;
    line.result = 3;
    line.time = time(5);
    line.name = QStringLiteral("Ana");
    list.addEvent(line);
    EXPECT_EQ(dir.read("Events.log"), "0\told\tline\twithout\tend\n" + line.toLogLine());
    list.ReloadEvents();
    EXPECT_EQ(list.model().rowCount(), 2);
    EXPECT_EQ(list.model().cellText(0, EventListModel::NameColumn), "Ana");

    // A log that cannot be written: the line is lost, the row is shown, nothing is reported.
    QFile::remove(dir.file("Events.log"));
    ASSERT_TRUE(QDir(dir.path()).mkdir("Events.log"));
    list.addEvent(line);
    list.model().showWaitingRows();
    EXPECT_EQ(list.model().rowCount(), 3);
    EXPECT_EQ(list.model().cellText(0, EventListModel::TimeColumn), time(5));
    EXPECT_TRUE(ui.messages.isEmpty());
}

TEST(EventLogTest, ALogReplacedOrRemovedBetweenAppendsTakesTheNextLine) {
    const struct {
        const char* name;
        std::function<void(TempDataDir&)> change;
        QByteArray expected; // before the next line
    } cases[] = {
        {"removed", [](TempDataDir& dir) { QFile::remove(dir.file("Events.log")); }, ""},
        {"replaced by another file",
         [](TempDataDir& dir) {
             dir.write("other", "0\tedited\n");
             QFile::remove(dir.file("Events.log"));
             QFile::rename(dir.file("other"), dir.file("Events.log"));
         },
         "0\tedited\n"},
        {"rewritten in place without a line end", [](TempDataDir& dir) { dir.write("Events.log", "0\tedited"); },
         "0\tedited\n"},
    };
    for (const auto& c : cases) {
        TempDataDir dir;
        EventLogFile log(dir.dataDirectory());
        EventLine line;
        line.time = time(1);
        ASSERT_TRUE(log.AppendEventLine(line)) << c.name;
        c.change(dir);
        line.time = time(2);
        ASSERT_TRUE(log.AppendEventLine(line)) << c.name;
        EXPECT_EQ(dir.read("Events.log"), c.expected + line.toLogLine()) << c.name;
    }
}

TEST(EventLogTest, ReadingASmallLogTakesMemoryForItsSizeOnly) {
    constexpr size_t kProbeBytes = 512 * 1024;
    {
        const size_t before = bytesInUse();
        const QByteArray probe(qsizetype(kProbeBytes), 'x');
        if (bytesInUse() < before + kProbeBytes)
            GTEST_SKIP() << "the allocator does not count its blocks (a sanitizer's allocator)";
    }
    TempDataDir dir;
    dir.write("Events.log", logLine(0, time(1), "Ana") + logLine(2, time(2), "Bruno"));
    RecordingUserInterface ui;
    EventList list(dir.dataDirectory(), ui);

    // The reload's reading, with the reader's buffer alive at each line.
    const size_t before = bytesInUse();
    size_t peak = before;
    int lines = 0;
    ASSERT_TRUE(list.logFile()
                    .readEvents(nullptr,
                                [&](const EventListModel::RawFields&) {
                                    peak = std::max(peak, bytesInUse());
                                    ++lines;
                                })
                    .read());
    EXPECT_EQ(lines, 2);
    EXPECT_LT(peak - before, kProbeBytes / 2) << "a log of a few hundred bytes needs no large block";
}

TEST(EventLogTest, AnOverlongLastLineIsCutLikeAnyOther) {
    // Its first 4096 bytes end in a CR that is not the line's end: it stays, with or without a LF after the line.
    const QByteArray longLine = "0\t" + QByteArray(EventLogFile::kMaxShownLineBytes - 3, 'y') + "\r\ttail";
    QStringList shown;
    for (const QByteArray& log : {longLine + "\n", longLine}) {
        TempDataDir dir;
        dir.write("Events.log", log);
        RecordingUserInterface ui;
        EventList list(dir.dataDirectory(), ui);
        list.ReloadEvents();
        ASSERT_EQ(list.model().rowCount(), 1);
        shown.append(list.model().cellText(0, EventListModel::TimeColumn));
    }
    EXPECT_EQ(shown[0].size(), EventLogFile::kMaxShownLineBytes - 2);
    EXPECT_EQ(shown[1], shown[0]);
}

TEST(EventLogTest, ALogRefusedIsSaidOnceAndTheListStaysAsItWas) {
    for (const HostileCase& c : refusedHostileCases()) {
        if (c.kind == HostileKind::HugeSparse)
            continue; // the alarm history is never refused for its size (below)
        TempDataDir dir;
        HostileFiles files;
        files.place(dir, "Events.log", c.kind, logLine(0, time(1), "Elsewhere"));
        RecordingUserInterface ui;
        EventList list(dir.dataDirectory(), ui);
        list.ReloadEvents();
        list.setFilter(QStringLiteral("Ana")); // a second reload
        ASSERT_EQ(ui.messages.size(), 3) << c.name;
        EXPECT_TRUE(ui.messages[0].text.contains(dir.file("Events.log"))) << c.name;
        EXPECT_EQ(ui.messages[0].icon, UserInterface::Icon::Exclamation) << c.name;
        EXPECT_EQ(ui.messages[1].text, "Arquivo \"Events.log\" faltando ou corrompido") << c.name;
        EXPECT_EQ(ui.messages[2].text, ui.messages[1].text) << c.name << ": the reason is said once";
        EXPECT_EQ(list.model().rowCount(), 0) << c.name << ": nothing of what a link names is listed";

        // Archiving moves nothing and says why.
        ui.queueAnswer(true);
        list.ArchiveEvents(time(1));
        EXPECT_TRUE(ui.messages.last().text.contains(dir.file("Events.log"))) << c.name;
        EXPECT_FALSE(dir.exists("Archive.log")) << c.name;
        EXPECT_FALSE(dir.exists("Events.tmp")) << c.name;
    }
}

TEST(EventLogTest, OfALogOverTheLimitOnlyItsEndIsListedAndTheFileIsLeftAsItIs) {
    // The log is a hole of zeros (no line end in it) with lines around the
    // point where the listed part starts.
    const qint64 size = EventLogFile::kMaxListedBytes + 4096;
    const qint64 cut = size - EventLogFile::kMaxListedBytes;
    const struct {
        const char* name;
        qint64 at;          // where the lines are written
        QByteArray lines;   // written there (the rest of the log is the hole)
        QStringList listed; // times of the rows, newest first
    } cases[] = {
        {"a line starts right at the cut",
         cut - 1,
         "\n" + logLine(0, time(1), "A") + logLine(0, time(2), "B"),
         {time(2), time(1)}},
        {"the cut falls inside a line: passed over",
         cut - 10,
         "\n" + logLine(0, time(1), "A") + logLine(0, time(2), "B"),
         {time(2)}},
        {"no line end in the listed part: nothing", 0, logLine(0, time(1), "A"), {}},
    };
    for (const auto& c : cases) {
        TempDataDir dir;
        ASSERT_TRUE(HostileFiles::makeSparse(dir.file("Events.log"), size)) << c.name;
        QFile log(dir.file("Events.log"));
        ASSERT_TRUE(log.open(QIODevice::ReadWrite)) << c.name;
        ASSERT_TRUE(log.seek(c.at)) << c.name;
        log.write(c.lines);
        log.close();
        QStringList notices;
        RecordingUserInterface ui;
        EventList list(dir.dataDirectory(), ui);
        list.setNoticeHandler([&](const QString& text) { notices << text; });
        list.ReloadEvents();
        list.ReloadEvents();
        EXPECT_EQ(column(list.model(), EventListModel::TimeColumn), c.listed) << c.name;
        EXPECT_TRUE(ui.messages.isEmpty()) << c.name;
        ASSERT_EQ(notices.size(), 1) << c.name << ": said once";
        EXPECT_TRUE(notices[0].contains(dir.file("Events.log"))) << c.name;
        EXPECT_EQ(QFileInfo(dir.file("Events.log")).size(), size) << c.name << ": never cut or rewritten";

        // A line appended goes to the end of the whole log (after a line end: the log ends in the hole).
        ASSERT_TRUE(list.addEvent(eventLine(0, time(9), "C"))) << c.name;
        EXPECT_EQ(QFileInfo(dir.file("Events.log")).size(), size + 1 + logLine(0, time(9), "C").size()) << c.name;
    }
}

TEST(EventLogTest, AppendingNeverWritesThroughALinkNorWaitsOnAFifo) {
    for (const HostileCase& c : refusedHostileCases()) {
        if (c.kind == HostileKind::HugeSparse)
            continue; // a regular file: appended to
        TempDataDir dir;
        HostileFiles files;
        files.place(dir, "Events.log", c.kind, "outside\n");
        EventLogFile log(dir.dataDirectory());
        EXPECT_FALSE(log.AppendEventLine(eventLine(0, time(1), "A"))) << c.name;
        EXPECT_FALSE(log.AppendEventLine(eventLine(0, time(2), "B"))) << c.name << ": and again";
        EXPECT_TRUE(log.appendProblem().contains(dir.file("Events.log"))) << c.name;
        if (c.kind == HostileKind::LinkOutside) {
            EXPECT_EQ(files.outsideContent("Events.log"), QByteArray("outside\n")) << c.name;
            EXPECT_TRUE(log.appendProblem().contains(QStringLiteral("link simbólico"))) << c.name;
        }

        // Once a regular log is back in its place, it takes lines again.
        QFile::remove(dir.file("Events.log"));
        QDir(dir.file("Events.log")).removeRecursively();
        EXPECT_TRUE(log.AppendEventLine(eventLine(0, time(3), "C"))) << c.name;
        EXPECT_TRUE(log.appendProblem().isEmpty()) << c.name;
        EXPECT_EQ(dir.read("Events.log"), logLine(0, time(3), "C")) << c.name;
    }

    // A link put in place of a log that is open is seen at the next append.
    TempDataDir dir;
    HostileFiles files;
    EventLogFile log(dir.dataDirectory());
    ASSERT_TRUE(log.AppendEventLine(eventLine(0, time(1), "A")));
    files.place(dir, "Events.log", HostileKind::LinkOutside, "outside\n");
    EXPECT_FALSE(log.AppendEventLine(eventLine(0, time(2), "B")));
    EXPECT_EQ(files.outsideContent("Events.log"), QByteArray("outside\n"));
}
