// The data files under kills: crash-writer does to a data directory what the
// receiver does to its files, and is killed with SIGKILL again and again at a
// random moment; after every kill the files must read back whole, and hold at
// least every step the writer had announced as done.

#include "clients/ClientListFile.h"
#include "clients/ClientRecord.h"
#include "clients/ClientRegistry.h"
#include "common/HexText.h"
#include "events/EventLine.h"
#include "events/EventLogFile.h"
#include "tests/support/TempDataDir.h"
#include "tools/crash-writer/CrashRecords.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <set>
#include <vector>

namespace {

constexpr int kKills = 150;
// The writer works this long (after it has read its files) before the kill.
constexpr int kMinWorkMs = 2;
constexpr int kMaxWorkMs = 100;
constexpr int kStartTimeoutMs = 10000;
constexpr int kEndTimeoutMs = 10000;
constexpr int kDefaultKeepAlive = 60;
constexpr int kClientLineFields = 10;
constexpr int kEventLineTabs = EventLine::FieldCount - 1;

const QString kClientList = QStringLiteral("Clients.lst");
const QString kBackupClientList = QStringLiteral("Backup/Clients.lst");
const QString kEventsLog = QStringLiteral("Events.log");
const QString kArchiveLog = QStringLiteral("Archive.log");
// The names the data directory may hold: the files, the archive's scratch
// file, the backup directory, and the temporary files of saves cut short.
const QStringList kDataNames{kClientList, kEventsLog, kArchiveLog, QStringLiteral("Events.tmp"),
                             QStringLiteral("Backup")};
const QRegularExpression kSaveTemporary(QStringLiteral("^(Clients\\.lst|Archive\\.jnl)\\.[A-Za-z0-9]{6}$"));
// Named as the temporary file of a killed save and planted before the first
// run: a reader that took it for the list would find this client.
const QString kDecoy = QStringLiteral("Clients.lst.Zz9Zz9");
const QByteArray kDecoyContent = "FFFF\tIntruso\tKorvo 12IP\t\t\t1\t0\t1\t120\t0000FFFF\r\n";

// What a run of the writer announced as done before it was killed.
struct Announced {
    bool ready = false;
    bool killed = false;
    qint64 client = 0; // the last client saved, 0 for none
    qint64 event = 0;  // the last event logged, 0 for none
    int archives = 0;
};

// Starts the writer on dir, lets it work workMs once it is ready, kills it.
// With a negative workMs it is not killed: it must end by itself.
Announced runWriter(const QString& dir, int workMs, const QStringList& options = {}) {
    Announced announced;
    QProcess writer;
    writer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    writer.start(QStringLiteral(CRASH_WRITER_PATH), QStringList{dir} + options);
    if (!writer.waitForStarted(kStartTimeoutMs))
        return announced;
    const QByteArray ready = QByteArray(1, CrashRecords::kReady) + '\n';
    QByteArray output;
    QElapsedTimer clock;
    clock.start();
    while (!output.contains(ready) && writer.state() == QProcess::Running && clock.elapsed() < kStartTimeoutMs) {
        writer.waitForReadyRead(kStartTimeoutMs);
        output += writer.readAllStandardOutput();
    }
    announced.ready = output.contains(ready);
    if (workMs >= 0) {
        // Waiting for the end reads the writer's output meanwhile, so it never blocks on a full pipe.
        writer.waitForFinished(workMs);
        writer.kill();
    }
    writer.waitForFinished(kEndTimeoutMs);
    output += writer.readAllStandardOutput();
    announced.killed = writer.exitStatus() == QProcess::CrashExit;

    // Only whole lines count: a line being written at the kill was not announced.
    output.truncate(output.lastIndexOf('\n') + 1);
    for (const QByteArray& line : output.split('\n')) {
        if (line.size() < 3)
            continue;
        const qint64 n = line.mid(2).toLongLong();
        switch (line[0]) {
        case CrashRecords::kClientSaved:
            announced.client = std::max(announced.client, n);
            break;
        case CrashRecords::kEventLogged:
            announced.event = std::max(announced.event, n);
            break;
        case CrashRecords::kArchived:
            ++announced.archives;
            break;
        default:
            break;
        }
    }
    return announced;
}

// The number of a well-formed event line as crash-writer writes it (without its LF), none for any other line.
std::optional<qint64> eventOf(QByteArrayView line) {
    if (line.count('\t') != kEventLineTabs)
        return std::nullopt;
    const auto raw = EventLogFile::parseLine(line);
    if (!raw)
        return std::nullopt;
    const auto& f = raw->fields;
    const QByteArray prefix = CrashRecords::eventText(0).chopped(1).toUtf8();
    if (f[EventLine::Result] != "0" || !f[EventLine::Text].startsWith(prefix))
        return std::nullopt;
    bool ok = false;
    const qint64 n = f[EventLine::Text].sliced(prefix.size()).toByteArray().toLongLong(&ok);
    if (!ok || n <= 0 || f[EventLine::Text] != CrashRecords::eventText(n).toUtf8() ||
        f[EventLine::Time] != CrashRecords::timeText(n).toUtf8())
        return std::nullopt;
    const bool named = f[EventLine::Name] == CrashRecords::kNoClientName || f[EventLine::Name].startsWith("Cliente ");
    if (!named || f[EventLine::Account] != CrashRecords::kEventAccount ||
        f[EventLine::Qualifier] != CrashRecords::kEventQualifier || f[EventLine::Code] != CrashRecords::kEventCode ||
        f[EventLine::Partition] != CrashRecords::kEventPartition || f[EventLine::Zone] != CrashRecords::kEventZone ||
        f[EventLine::Protocol] != CrashRecords::kEventProtocol || f[EventLine::Panel] != CrashRecords::kEventPanel)
        return std::nullopt;
    return n;
}

// Every line of one copy of the client list whole and well formed, and the
// clients exactly 1..k: returns k, or -1 after a failure was recorded.
qint64 checkClientLines(const QByteArray& content, const QString& which) {
    if (content.isEmpty())
        return 0;
    if (!content.endsWith("\r\n")) {
        ADD_FAILURE() << qPrintable(which) << ": the last line has no end";
        return -1;
    }
    std::set<qint64> numbers;
    const QList<QByteArray> lines = content.chopped(2).split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        // Every line ends with CR LF: all but the last still hold their CR here.
        QByteArray line = lines[i];
        const bool ended = i + 1 == lines.size() || line.endsWith('\r');
        if (i + 1 < lines.size())
            line.chop(1);
        const QList<QByteArray> fields = line.split('\t');
        const qint64 n = fields.value(0).toLongLong(nullptr, 16);
        QByteArray deviceId;
        HexText::appendHex(deviceId, quint32(n), 8);
        if (!ended || fields.size() != kClientLineFields || n <= 0 ||
            fields[1] != CrashRecords::clientName(n).toUtf8() || fields[2] != CrashRecords::kClientPanel ||
            fields[7] != "1" || fields[8] != QByteArray::number(CrashRecords::kClientPeriod) || fields[9] != deviceId) {
            ADD_FAILURE() << qPrintable(which) << ": a line that is not whole: " << line.toStdString();
            return -1;
        }
        numbers.insert(n);
    }
    const qint64 k = qint64(numbers.size());
    if (*numbers.begin() != 1 || *numbers.rbegin() != k) {
        ADD_FAILURE() << qPrintable(which) << ": the clients are not 1.." << k;
        return -1;
    }
    return k;
}

// The clients of a registry loaded from a list: exactly "Cliente 1".."Cliente k".
void expectClients(ClientRegistry& registry, qint64 k, const QString& which) {
    EXPECT_EQ(registry.primaryCount(), k) << qPrintable(which);
    for (qint64 n = 1; n <= k; ++n) {
        const PrimaryClient* client = registry.FindPrimary(quint16(n));
        ASSERT_NE(client, nullptr) << qPrintable(which) << ": client " << n;
        EXPECT_EQ(client->name, CrashRecords::clientName(n)) << qPrintable(which);
        EXPECT_EQ(client->deviceId, quint32(n)) << qPrintable(which);
    }
}

// What the files of the data directory hold, checked after each kill. The
// state carried from kill to kill: the clients found last time, and
// "Archive.log", which only grows, read from where the last check stopped.
class DataDirCheck {
public:
    explicit DataDirCheck(const TempDataDir& dir) : m_dir(dir) {}

    void afterKill(int kill, const Announced& announced) {
        SCOPED_TRACE(testing::Message() << "after kill " << kill);
        // As the receiver's start does before it reads the log: an archive run
        // cut short is settled.
        ASSERT_EQ(EventLogFile(m_dir.dataDirectory()).finishInterruptedArchive(), QString());
        checkClientLists(announced);
        checkEvents(announced);
        checkNames();
    }

    // At the end: an unended line left at the end of "Archive.log" is a torn one too.
    void finish() {
        if (m_archive.size() > m_archiveOffset)
            ++m_tornArchiveLines;
    }

    qint64 clients() const { return m_clients; }
    qint64 lastEvent() const { return m_lastEvent; }
    int leftovers() const { return m_leftovers; }
    int tornArchiveLines() const { return m_tornArchiveLines; }
    // Events found more than once in "Archive.log" and "Events.log" together.
    qint64 doubledEvents() const {
        qint64 doubled = 0;
        for (qint64 n = 1; n < qint64(m_archived.size()); ++n) {
            const int copies = m_archived[size_t(n)] + (m_logged.count(n) ? 1 : 0);
            doubled += copies > 1 ? copies - 1 : 0;
        }
        return doubled;
    }

private:
    void checkClientLists(const Announced& announced) {
        // The main list: read as the receiver reads it at start, whole, holding
        // every client announced as saved and at most the one being saved.
        qint64 k = 0;
        if (m_dir.exists(kClientList)) {
            k = checkClientLines(m_dir.read(kClientList), kClientList);
            ClientRegistry registry;
            ClientListFile list(registry, m_dir.dataDirectory(), kDefaultKeepAlive);
            ASSERT_TRUE(list.LoadClientList().loaded());
            expectClients(registry, k, kClientList);
        } else {
            EXPECT_FALSE(m_dir.exists(kBackupClientList)) << "the backup is written after the main list";
        }
        const qint64 confirmed = std::max(m_clients, announced.client);
        EXPECT_GE(k, confirmed) << "a saved client is missing";
        EXPECT_LE(k, confirmed + 1) << "more clients than were saved";

        // The backup: whole too, and holding every client whose save was
        // announced (both copies written); it may lag behind the main list by
        // the saves that were killed between the two writes.
        const QByteArray backup = m_dir.read(kBackupClientList);
        const qint64 backupCount = checkClientLines(backup, kBackupClientList);
        ClientRegistry registry;
        ClientListFile list(registry, m_dir.dataDirectory(), kDefaultKeepAlive);
        EXPECT_EQ(list.parse(backup), backupCount);
        expectClients(registry, backupCount, kBackupClientList);
        EXPECT_GE(backupCount, announced.client) << "a saved client is missing from the backup";
        EXPECT_LE(backupCount, k) << "the backup is ahead of the list";
        m_clients = k;
    }

    void checkEvents(const Announced& announced) {
        // "Events.log": whole lines only, one event after the other.
        const QByteArray log = m_dir.read(kEventsLog);
        ASSERT_TRUE(log.isEmpty() || log.endsWith('\n')) << "Events.log ends in a torn line";
        m_logged.clear();
        qint64 previous = 0;
        const QList<QByteArray> lines = log.isEmpty() ? QList<QByteArray>() : log.chopped(1).split('\n');
        for (const QByteArray& line : lines) {
            const auto n = eventOf(line);
            ASSERT_TRUE(n) << "Events.log holds a line that is not whole: " << line.toStdString();
            EXPECT_TRUE(previous == 0 || *n == previous + 1) << "Events.log skips from " << previous << " to " << *n;
            previous = *n;
            m_logged.insert(*n);
        }

        // "Archive.log": never shorter; its new whole lines counted, a torn one noted.
        m_archive = m_dir.read(kArchiveLog);
        ASSERT_GE(m_archive.size(), m_archiveOffset) << "Archive.log shrank";
        const qsizetype end = m_archive.lastIndexOf('\n') + 1;
        if (end > m_archiveOffset) {
            for (const QByteArray& line : m_archive.sliced(m_archiveOffset, end - m_archiveOffset - 1).split('\n')) {
                const auto n = eventOf(line);
                if (!n) {
                    ++m_tornArchiveLines;
                    continue;
                }
                if (qint64(m_archived.size()) <= *n)
                    m_archived.resize(size_t(*n + 1), 0);
                ++m_archived[size_t(*n)];
            }
            m_archiveOffset = end;
        }

        // Nothing lost: every event up to the last one is in one of the logs,
        // and the last is the last announced or the one being logged.
        const qint64 last = std::max(qint64(m_archived.size()) - 1, m_logged.empty() ? 0 : *m_logged.rbegin());
        const qint64 confirmed = std::max(m_lastEvent, announced.event);
        EXPECT_GE(last, confirmed) << "a logged event is missing";
        EXPECT_LE(last, confirmed + 1) << "more events than were logged";
        for (qint64 n = 1; n <= last; ++n) {
            if ((n >= qint64(m_archived.size()) || m_archived[size_t(n)] == 0) && !m_logged.count(n)) {
                ADD_FAILURE() << "event " << n << " is in neither log";
                break;
            }
        }
        m_lastEvent = last;
    }

    // Only the data files, the archive's scratch file, the decoys and the
    // temporary files of saves cut short; each kill leaves at most one more of
    // those (one save runs at a time), and none is ever read.
    void checkNames() {
        int leftovers = 0;
        for (const QString& sub : {QString(), QStringLiteral("Backup")}) {
            const QDir dir(sub.isEmpty() ? m_dir.path() : m_dir.file(sub));
            for (const QString& name : dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)) {
                if (name == kDecoy || (sub.isEmpty() ? kDataNames.contains(name) : name == kClientList))
                    continue;
                EXPECT_TRUE(kSaveTemporary.match(name).hasMatch()) << "a stray file: " << qPrintable(name);
                ++leftovers;
            }
        }
        EXPECT_LE(leftovers, m_leftovers + 1) << "one kill left more than one temporary file";
        m_leftovers = leftovers;
    }

    const TempDataDir& m_dir;
    qint64 m_clients = 0;
    qint64 m_lastEvent = 0;
    int m_leftovers = 0;
    QByteArray m_archive;
    qsizetype m_archiveOffset = 0;
    std::vector<int> m_archived; // copies of each event in "Archive.log"
    std::set<qint64> m_logged;   // the events in "Events.log"
    int m_tornArchiveLines = 0;
};

} // namespace

TEST(CrashSafetyTest, KilledAtRandomTheWriterLeavesWholeFilesWithEveryAnnouncedStep) {
    TempDataDir dir;
    dir.write(kEventsLog, QByteArray());
    dir.write(kDecoy, kDecoyContent);
    dir.write(QStringLiteral("Backup/") + kDecoy, kDecoyContent);
    DataDirCheck check(dir);
    QRandomGenerator random(QRandomGenerator::global()->generate());
    QElapsedTimer clock;
    clock.start();
    int archives = 0;
    for (int kill = 1; kill <= kKills; ++kill) {
        const Announced announced = runWriter(dir.path(), int(random.bounded(kMinWorkMs, kMaxWorkMs + 1)));
        ASSERT_TRUE(announced.ready) << "the writer did not start on what run " << kill - 1 << " left";
        ASSERT_TRUE(announced.killed) << "the writer ended by itself";
        archives += announced.archives;
        check.afterKill(kill, announced);
        if (testing::Test::HasFailure())
            return;
    }
    check.finish();

    // The run did cover the ground: saves, events and archive runs (with room
    // for a slow disk or a sanitizer build).
    EXPECT_GT(check.clients(), kKills / 10);
    EXPECT_GT(check.lastEvent(), kKills * 4);
    EXPECT_GT(archives, kKills / 30);
    EXPECT_EQ(dir.read(kDecoy), kDecoyContent);
    EXPECT_EQ(dir.read(QStringLiteral("Backup/") + kDecoy), kDecoyContent);

    // An archive run killed halfway is undone: no torn line, no event in both logs.
    const qint64 doubled = check.doubledEvents();
    EXPECT_EQ(check.tornArchiveLines(), 0);
    EXPECT_EQ(doubled, 0);
    testing::Test::RecordProperty("kills", kKills);
    testing::Test::RecordProperty("clients", int(check.clients()));
    testing::Test::RecordProperty("events", int(check.lastEvent()));
    testing::Test::RecordProperty("archives", archives);
    testing::Test::RecordProperty("leftover_temporaries", check.leftovers());
    testing::Test::RecordProperty("torn_archive_lines", check.tornArchiveLines());
    testing::Test::RecordProperty("doubled_events", int(doubled));
    std::printf("%d kills in %.1f s: %lld clients saved, %lld events logged, %d archive runs; "
                "%d temporary files left by killed saves, %d torn lines in Archive.log, %lld events in both logs\n",
                kKills, double(clock.elapsed()) / 1000, static_cast<long long>(check.clients()),
                static_cast<long long>(check.lastEvent()), archives, check.leftovers(), check.tornArchiveLines(),
                static_cast<long long>(doubled));
}

TEST(CrashSafetyTest, AnArchiveRunKilledBeforeItsRenameIsUndoneAtTheNextStart) {
    TempDataDir dir;
    const QByteArray archived = CrashRecords::eventText(0).toUtf8() + "\n"; // an older archive, kept as it is
    dir.write(kArchiveLog, archived);
    dir.write(kEventsLog, QByteArray());
    // The writer kills itself in its first archive run, with the moved lines
    // in "Archive.log" and the rest in "Events.tmp".
    const Announced announced = runWriter(dir.path(), -1, {QStringLiteral("--die-in-archive")});
    ASSERT_TRUE(announced.ready && announced.killed);
    ASSERT_TRUE(dir.exists(QStringLiteral("Archive.jnl")));
    ASSERT_GT(dir.read(kArchiveLog).size(), archived.size());

    EventLogFile log(dir.dataDirectory());
    EXPECT_EQ(log.finishInterruptedArchive(), QString());
    EXPECT_EQ(dir.read(kArchiveLog), archived);
    EXPECT_FALSE(dir.exists(QStringLiteral("Events.tmp")));
    EXPECT_FALSE(dir.exists(QStringLiteral("Archive.jnl")));
    const QList<QByteArray> lines = dir.read(kEventsLog).chopped(1).split('\n');
    ASSERT_EQ(qint64(lines.size()), announced.event);
    for (qsizetype i = 0; i < lines.size(); ++i)
        EXPECT_EQ(eventOf(lines[i]), i + 1);
}
