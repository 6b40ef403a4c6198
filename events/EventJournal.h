#pragma once

#include "common/DataDirectory.h"
#include "events/EventRecord.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <utility>

// Custody of the events that devices were told were received, until
// "Events.log" has them: a device stops sending once it has its
// acknowledgement, so an acknowledged event must outlive a crash while it
// waits for the station.
//
// Each held event is a line of "Events.jnl", written before the
// acknowledgements of its reading round leave (commit: one write for the
// round, which a killed process cannot take back) and synced to the disk
// right after they left (sync). The sync runs on a thread of its own, so the
// main thread never waits for the disk: a power cut can take at most what one
// sync was still writing. When the event's line is in "Events.log" its release
// mark goes to "Events.jnr". The file is emptied when nothing is held past
// kEmptyingBytes, and rewritten with only what is held when it grows past
// kCompactBytes and twice what the last rewrite left (so that a long wait for
// the station, with much held, does not rewrite it at every release). At the next start the events held
// and never released are taken back (takeLeftOver) and listed, logged and,
// when still young, forwarded again.
//
// A socket's reading round hands its events to their raise without widening
// any interface between them: offer() before the report is handed on, claim()
// by the raise, withdraw() after it (an event that was not raised, of a
// blocked client say, is released then).
//
// Threads: everything here runs on the main thread, except the disk syncs,
// which run on the journal's syncer thread. The two share only m_syncLock's
// members: the descriptor being synced (changed by the main thread under the
// lock, taken by the syncer under it and not closed while it syncs) and the
// request counts.
class EventJournal {
public:
    static constexpr const char* kFileName = "Events.jnl";
    // The release marks: never synced (a mark lost to a power cut only lists an
    // event twice), so they stay off the pages the syncer is writing out.
    static constexpr const char* kReleasedFileName = "Events.jnr";
    static constexpr qint64 kCompactBytes = 1 << 20;
    // Emptied when nothing is held once it is this large.
    static constexpr qint64 kEmptyingBytes = 64 << 10;
    // A file larger than this is not a journal this program wrote: it is refused.
    static constexpr qint64 kMaxReadBytes = 64 << 20;

    struct Entry {
        quint64 id = 0;
        qint64 heldAtMs = 0; // milliseconds since the epoch
        EventRecord event;
    };
    // Told once when the journal cannot be written, and once when it can again.
    using ProblemHandler = std::function<void(const QString& text)>;

    explicit EventJournal(const DataDirectory& directory);
    ~EventJournal();
    EventJournal(const EventJournal&) = delete;
    EventJournal& operator=(const EventJournal&) = delete;

    void setProblemHandler(ProblemHandler handler) { m_problem = std::move(handler); }

    // Start-up, before anything is held: reads what an earlier run held and
    // never released and keeps it held under its own numbers, oldest first.
    // The oldest of them may have been logged just before the crash without
    // its release mark: loggedLast tells whether it is the last line of
    // "Events.log", and it is released then.
    QList<Entry> takeLeftOver(const std::function<bool(const EventRecord&)>& loggedLast);

    // Holds an event received now; it reaches the file at the next commit.
    quint64 hold(const EventRecord& event, qint64 nowMs);
    // Writes what was held since the last commit; false (and kept for the next
    // commit) when the file cannot take it.
    bool commit();
    // Makes what was committed survive a power cut: asks the syncer thread, waits for nothing.
    void sync();
    // Waits until what was committed before the call is on the disk (tests, shutdown).
    void syncNow();
    // The event's line is in "Events.log": it needs no custody any more.
    void release(quint64 id);

    void offer(quint64 id) { m_offered = id; }
    quint64 claim() { return std::exchange(m_offered, 0); }
    void withdraw();

    std::size_t heldCount() const { return m_held.size(); }
    quint64 writeFailures() const { return m_writeFailures; }
    QString path() const { return m_path; }

    // The last whole line of a file (without its line end), read from its end; empty when there is none.
    static QByteArray lastLineOf(const QString& path);

    // The line of an entry and its reading back (tests and the fuzz target).
    static QByteArray heldLine(quint64 id, qint64 heldAtMs, const EventRecord& event);
    static bool readHeldLine(const QByteArray& line, Entry& entry);

private:
    bool openForAppend();
    bool writeMark(quint64 id);
    bool emptyFiles();
    void closeFile();
    void runSyncer();
    bool writeAll(const QByteArray& bytes);
    void compact();
    void reportProblem(bool failing);

    QString m_path;
    QString m_releasedPath;
    int m_markFd = -1; // the main thread's only
    qint64 m_markSize = 0;
    int m_fd = -1; // written by the main thread under m_syncLock
    qint64 m_size = 0;
    qint64 m_compactAt = kCompactBytes;
    bool m_unsynced = false;
    bool m_failing = false;
    quint64 m_writeFailures = 0;
    quint64 m_nextId = 1;
    quint64 m_offered = 0;
    quint64 m_firstPending = 1;           // ids from here on are in m_pending, not yet in the file
    QByteArray m_pending;                 // held lines not yet written
    std::map<quint64, QByteArray> m_held; // id -> its line, while held
    ProblemHandler m_problem;

    std::mutex m_syncLock;
    std::condition_variable m_syncWanted;
    std::condition_variable m_syncDone;
    quint64 m_syncRequests = 0; // under m_syncLock
    quint64 m_syncsDone = 0;    // under m_syncLock
    bool m_stopping = false;    // under m_syncLock
    bool m_syncing = false;     // under m_syncLock: the syncer is using m_fd
    std::thread m_syncer;
};
