#include "events/EventJournal.h"

#include "tests/support/TempDataDir.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include <memory>
#include <sys/stat.h>

namespace {

EventRecord burglary(quint16 zone, const QString& name = QStringLiteral("Padaria Central")) {
    EventRecord event;
    event.account = 0x1001;
    event.reportAccount = 0x1001;
    event.code = 1130;
    event.partition = 1;
    event.zone = zone;
    event.protocol = 1;
    event.name = name;
    event.panel = QStringLiteral("Korvo 16IP");
    return event;
}

QList<quint16> zonesOf(const QList<EventJournal::Entry>& entries) {
    QList<quint16> zones;
    for (const EventJournal::Entry& entry : entries)
        zones << entry.event.zone;
    return zones;
}

} // namespace

TEST(EventJournalTest, HeldLinesReadBackAsTheyWereHeld) {
    struct Case {
        const char* name;
        EventRecord event;
    };
    EventRecord noPanel = burglary(999, QStringLiteral("Loja\tdo\nCentro"));
    noPanel.panel.reset();
    EventRecord extremes = burglary(65535);
    extremes.partition = 255;
    extremes.code = 65535;
    extremes.panel = QString();
    const Case cases[] = {{"a plain alarm", burglary(5)},
                          {"no panel, tab and line end in the name", noPanel},
                          {"largest values, empty panel", extremes}};
    for (const Case& c : cases) {
        const QByteArray line = EventJournal::heldLine(42, 1700000000123, c.event);
        ASSERT_TRUE(line.endsWith('\n')) << c.name;
        EXPECT_EQ(line.count('\n'), 1) << c.name;
        EventJournal::Entry entry;
        ASSERT_TRUE(EventJournal::readHeldLine(line.chopped(1), entry)) << c.name;
        EXPECT_EQ(entry.id, 42u);
        EXPECT_EQ(entry.heldAtMs, 1700000000123);
        EXPECT_EQ(entry.event.zone, c.event.zone) << c.name;
        EXPECT_EQ(entry.event.partition, c.event.partition) << c.name;
        EXPECT_EQ(entry.event.code, c.event.code) << c.name;
        EXPECT_EQ(entry.event.panel, c.event.panel) << c.name;
        EXPECT_EQ(entry.event.name, QString(c.event.name).replace('\t', ' ').replace('\n', ' ')) << c.name;
    }
    EventJournal::Entry entry;
    for (const char* bad : {"", "H\t1", "L\t1", "H\tx\t1\t1\t1\t1\t1\t1\t1\t0\tn\t",
                            "H\t0\t1\t1\t1\t1\t1\t1\t1\t0\tn\t", "H\t1\t1\t1\t1\t1\t256\t1\t1\t0\tn\t"})
        EXPECT_FALSE(EventJournal::readHeldLine(bad, entry)) << bad;
}

TEST(EventJournalTest, WhatWasHeldAndNeverLoggedComesBackOnce) {
    struct Case {
        const char* name;
        std::function<void(EventJournal&)> run;
        QList<quint16> leftOver;
        bool loggedLast = false; // the log's last line is the oldest left-over's
    };
    const Case cases[] = {
        {"held, never logged",
         [](EventJournal& j) {
             j.hold(burglary(1), 0);
             j.hold(burglary(2), 0);
             j.commit();
         },
         {1, 2}},
        {"logged ones are released",
         [](EventJournal& j) {
             const quint64 first = j.hold(burglary(1), 0);
             j.hold(burglary(2), 0);
             j.commit();
             j.release(first);
         },
         {2}},
        {"the oldest was logged without its mark",
         [](EventJournal& j) {
             j.hold(burglary(1), 0);
             j.hold(burglary(2), 0);
             j.commit();
         },
         {2},
         true},
        {"an event that was not raised is withdrawn",
         [](EventJournal& j) {
             const quint64 id = j.hold(burglary(1), 0);
             j.commit();
             j.offer(id);
             j.withdraw();
             const quint64 raised = j.hold(burglary(2), 0);
             j.commit();
             j.offer(raised);
             EXPECT_EQ(j.claim(), raised);
             j.withdraw(); // claimed: stays held
         },
         {2}},
        {"released before its commit",
         [](EventJournal& j) {
             j.hold(burglary(1), 0);
             j.commit();
             const quint64 second = j.hold(burglary(2), 0);
             j.hold(burglary(3), 0);
             j.release(second);
             j.commit();
         },
         {1, 3}},
    };
    for (const Case& c : cases) {
        TempDataDir dir;
        {
            EventJournal journal(dir.dataDirectory());
            c.run(journal);
        }
        EventJournal next(dir.dataDirectory());
        const QList<EventJournal::Entry> left =
            next.takeLeftOver([&](const EventRecord& event) { return c.loggedLast && event.zone == 1; });
        EXPECT_EQ(zonesOf(left), c.leftOver) << c.name;
        EXPECT_EQ(next.heldCount(), size_t(c.leftOver.size())) << c.name;
        // Given back once: logged now, a third run finds nothing.
        for (const EventJournal::Entry& entry : left)
            next.release(entry.id);
        EventJournal third(dir.dataDirectory());
        EXPECT_TRUE(third.takeLeftOver({}).isEmpty()) << c.name;
    }
}

TEST(EventJournalTest, ATornLastLineIsIgnoredAndAGrownFileIsCompacted) {
    TempDataDir dir;
    {
        EventJournal journal(dir.dataDirectory());
        const quint64 kept = journal.hold(burglary(7), 0);
        journal.commit();
        // Enough held and released to pass the compaction size; the first stays held.
        const int rounds = int(EventJournal::kCompactBytes / 60) + 10;
        for (int i = 0; i < rounds; ++i) {
            const quint64 id = journal.hold(burglary(quint16(i % 1000)), 0);
            journal.commit();
            journal.release(id);
        }
        EXPECT_LT(QFile(journal.path()).size(), EventJournal::kCompactBytes);
        EXPECT_EQ(journal.heldCount(), 1u);
        Q_UNUSED(kept);
    }
    QFile file(dir.file(EventJournal::kFileName));
    ASSERT_TRUE(file.open(QIODevice::Append));
    file.write("H\t99999\t0\t4097\t4097\t1130\t1\t8"); // cut short by a crash
    file.close();
    EventJournal next(dir.dataDirectory());
    EXPECT_EQ(zonesOf(next.takeLeftOver({})), QList<quint16>{7});
    EXPECT_EQ(QFile(dir.file(EventJournal::kFileName)).permissions() &
                  (QFileDevice::ReadGroup | QFileDevice::ReadOther),
              QFileDevice::Permissions{})
        << "names of clients are readable by the owner only";
}

TEST(EventJournalTest, ALongWaitWithMuchHeldRewritesTheFileRarely) {
    // A station that answers late leaves several MiB held; releasing them one by
    // one must not rewrite the whole file at each release.
    TempDataDir dir;
    EventJournal journal(dir.dataDirectory());
    const int held = int(3 * EventJournal::kCompactBytes / 60);
    std::vector<quint64> ids;
    for (int i = 0; i < held; ++i)
        ids.push_back(journal.hold(burglary(quint16(i % 1000)), 0));
    ASSERT_TRUE(journal.commit());
    const auto inode = [&] {
        struct stat info {};
        return ::stat(QFile::encodeName(journal.path()).constData(), &info) == 0 ? info.st_ino : ino_t(0);
    };
    int rewrites = 0;
    ino_t last = inode();
    for (size_t i = 0; i + 1 < ids.size(); ++i) {
        journal.release(ids[i]);
        if (const ino_t now = inode(); now != last) {
            ++rewrites;
            last = now;
        }
    }
    EXPECT_LE(rewrites, 4);
    EXPECT_EQ(journal.heldCount(), 1u);
    EventJournal next(dir.dataDirectory());
    EXPECT_EQ(next.takeLeftOver({}).size(), 1) << "what is still held survives the rewrites";
}

TEST(EventJournalTest, AJournalThatCannotBeWrittenIsSaidOnceAndWrittenLater) {
    struct Case {
        const char* name;
        std::function<void(const TempDataDir&)> block;
    };
    const Case cases[] = {
        {"a directory in its place", [](const TempDataDir& dir) { QDir().mkdir(dir.file(EventJournal::kFileName)); }},
        {"a link in its place, never written through",
         [](const TempDataDir& dir) {
             dir.write("other.txt", "untouched");
             QFile::link(dir.file("other.txt"), dir.file(EventJournal::kFileName));
         }},
    };
    for (const Case& c : cases) {
        TempDataDir dir;
        c.block(dir);
        QStringList said;
        EventJournal journal(dir.dataDirectory());
        journal.setProblemHandler([&](const QString& text) { said << text; });
        journal.hold(burglary(1), 0);
        EXPECT_FALSE(journal.commit()) << c.name;
        journal.hold(burglary(2), 0);
        EXPECT_FALSE(journal.commit()) << c.name;
        ASSERT_EQ(said.size(), 1) << c.name;
        EXPECT_TRUE(said.first().contains(QStringLiteral("não puderam ser guardados"))) << c.name;
        if (dir.exists("other.txt")) {
            EXPECT_EQ(dir.read("other.txt"), QByteArray("untouched")) << c.name;
        }

        // Room again: both lines are written and the operator hears it.
        QFile::remove(dir.file(EventJournal::kFileName));
        QDir().rmdir(dir.file(EventJournal::kFileName));
        EXPECT_TRUE(journal.commit()) << c.name;
        EXPECT_EQ(said.size(), 2) << c.name;
        EXPECT_EQ(dir.read(EventJournal::kFileName).count("\n"), 2) << c.name;
    }
}
