#include "events/EventJournal.h"

#include "common/DataFileReader.h"
#include "common/FileWriter.h"

#include <QByteArrayList>
#include <algorithm>

#include <cerrno>
#include <cstring>
#include <set>
#include <unistd.h>

namespace {

constexpr char kHeld = 'H';
constexpr char kReleased = 'L';
constexpr int kHeldFields = 12;

// Names and panels travel inside one tab-separated line.
QByteArray fieldText(const QString& text) {
    QByteArray bytes = text.toUtf8();
    for (char& c : bytes)
        if (c == '\t' || c == '\n' || c == '\r')
            c = ' ';
    return bytes;
}

// A regular file of the data directory, whole; nothing for a link, a FIFO
// (never an endless wait) or a file larger than any journal.
QByteArray readRegularFile(const QString& path) {
    return DataFileReader::readWhole(path, EventJournal::kMaxReadBytes).bytes;
}

// Opens a file of the journal for appending: never through a link, never
// into a FIFO, owner-only; -1 when it is not a regular file.
int openAppendable(const QString& path, qint64& size) {
    constexpr unsigned kOwnerOnly = 0600;
    const DataFileForWriting file = openDataFileForWriting(path, true, kOwnerOnly);
    size = file.size;
    return file.fd;
}

// Appends bytes whole; a line cut short is cut off again, so the next one
// starts on a line of its own.
bool appendWhole(int fd, qint64& size, const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            const int error = errno;
            if (done > 0 && ::ftruncate(fd, size) == 0)
                done = 0;
            size += done;
            errno = error;
            return false;
        }
        done += written;
    }
    size += done;
    return true;
}

} // namespace

EventJournal::EventJournal(const DataDirectory& directory)
    : m_path(directory.file(QString::fromLatin1(kFileName))),
      m_releasedPath(directory.file(QString::fromLatin1(kReleasedFileName))), m_syncer([this] { runSyncer(); }) {}

EventJournal::~EventJournal() {
    commit();
    syncNow();
    {
        std::lock_guard guard(m_syncLock);
        m_stopping = true;
    }
    m_syncWanted.notify_one();
    m_syncer.join();
    closeFile();
}

void EventJournal::runSyncer() {
    std::unique_lock guard(m_syncLock);
    for (;;) {
        m_syncWanted.wait(guard, [this] { return m_stopping || m_syncsDone < m_syncRequests; });
        if (m_syncsDone == m_syncRequests)
            return; // stopping with nothing left to sync
        // Every request made so far is covered by this one sync. The lock is
        // not held through it: a slow disk must not stall the main thread's
        // next request, and the descriptor stays open until m_syncing ends.
        const quint64 covered = m_syncRequests;
        const int fd = m_fd;
        m_syncing = true;
        guard.unlock();
        if (fd >= 0)
            ::fdatasync(fd);
        guard.lock();
        m_syncing = false;
        m_syncsDone = covered;
        m_syncDone.notify_all();
    }
}

void EventJournal::closeFile() {
    if (m_markFd >= 0)
        ::close(m_markFd);
    m_markFd = -1;
    std::unique_lock guard(m_syncLock);
    m_syncDone.wait(guard, [this] { return !m_syncing; });
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

QByteArray EventJournal::heldLine(quint64 id, qint64 heldAtMs, const EventRecord& event) {
    QByteArrayList fields{QByteArray(1, kHeld),
                          QByteArray::number(id),
                          QByteArray::number(heldAtMs),
                          QByteArray::number(event.account),
                          QByteArray::number(event.reportAccount),
                          QByteArray::number(event.code),
                          QByteArray::number(event.partition),
                          QByteArray::number(event.zone),
                          QByteArray::number(event.protocol),
                          event.panel ? QByteArray("1") : QByteArray("0"),
                          fieldText(event.name),
                          fieldText(event.panel.value_or(QString()))};
    return fields.join('\t') + '\n';
}

bool EventJournal::readHeldLine(const QByteArray& line, Entry& entry) {
    const QByteArrayList fields = line.split('\t');
    if (fields.size() != kHeldFields || fields[0] != QByteArray(1, kHeld))
        return false;
    bool ok[9] = {};
    entry.id = fields[1].toULongLong(&ok[0]);
    entry.heldAtMs = fields[2].toLongLong(&ok[1]);
    entry.event.account = fields[3].toUShort(&ok[2]);
    entry.event.reportAccount = fields[4].toUShort(&ok[3]);
    entry.event.code = fields[5].toUShort(&ok[4]);
    const uint partition = fields[6].toUInt(&ok[5]);
    entry.event.zone = fields[7].toUShort(&ok[6]);
    entry.event.protocol = fields[8].toInt(&ok[7]);
    ok[8] = fields[9] == "0" || fields[9] == "1";
    for (bool each : ok)
        if (!each)
            return false;
    if (partition > 0xFF || entry.id == 0)
        return false;
    entry.event.partition = quint8(partition);
    entry.event.name = QString::fromUtf8(fields[10]);
    entry.event.panel = fields[9] == "1" ? std::optional<QString>(QString::fromUtf8(fields[11])) : std::nullopt;
    entry.event.result = ReportResult::NotSent;
    return true;
}

QByteArray EventJournal::lastLineOf(const QString& path) {
    constexpr qint64 kTail = 8192;
    DataFileReader file(path, DataFileReader::kNoLimit);
    QByteArray tail;
    if (file.isOpen() && file.size() > 0) {
        const qint64 from = qMax<qint64>(0, file.size() - kTail);
        if (file.device().seek(from))
            tail = file.readAll();
    }
    if (!tail.endsWith('\n'))
        return {}; // a last line cut short is nobody's line
    tail.chop(1);
    return tail.mid(tail.lastIndexOf('\n') + 1);
}

QList<EventJournal::Entry> EventJournal::takeLeftOver(const std::function<bool(const EventRecord&)>& loggedLast) {
    QList<Entry> leftOver;
    std::set<quint64> released;
    for (const QByteArray& line : readRegularFile(m_releasedPath).split('\n'))
        if (line.startsWith(kReleased))
            released.insert(line.mid(2).toULongLong());
    const QByteArray content = readRegularFile(m_path);
    std::map<quint64, Entry> held;
    const QByteArrayList lines = content.split('\n');
    // The last piece has no line end: a write cut short, or nothing.
    for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
        Entry entry;
        if (readHeldLine(lines[i], entry) && !released.count(entry.id))
            held[entry.id] = entry;
    }
    if (!held.empty() && loggedLast && loggedLast(held.begin()->second.event))
        held.erase(held.begin());
    for (const auto& [id, entry] : held) {
        leftOver.append(entry);
        m_held[id] = heldLine(id, entry.heldAtMs, entry.event);
        m_nextId = id + 1;
    }
    m_firstPending = m_nextId;
    // The file keeps only what is still held, whatever it held before.
    compact();
    return leftOver;
}

quint64 EventJournal::hold(const EventRecord& event, qint64 nowMs) {
    const quint64 id = m_nextId++;
    QByteArray line = heldLine(id, nowMs, event);
    m_pending += line;
    m_held.emplace(id, std::move(line));
    return id;
}

bool EventJournal::openForAppend() {
    if (m_fd >= 0)
        return true;
    const int fd = openAppendable(m_path, m_size);
    if (fd < 0)
        return false;
    std::lock_guard guard(m_syncLock);
    m_fd = fd;
    return true;
}

bool EventJournal::writeMark(quint64 id) {
    if (m_markFd < 0)
        m_markFd = openAppendable(m_releasedPath, m_markSize);
    return m_markFd >= 0 &&
           appendWhole(m_markFd, m_markSize, QByteArray(1, kReleased) + '\t' + QByteArray::number(id) + '\n');
}

bool EventJournal::writeAll(const QByteArray& bytes) {
    if (!openForAppend() || !appendWhole(m_fd, m_size, bytes))
        return false;
    m_unsynced = true;
    return true;
}

bool EventJournal::commit() {
    if (m_pending.isEmpty())
        return true;
    if (!writeAll(m_pending)) {
        ++m_writeFailures;
        reportProblem(true);
        return false;
    }
    m_pending.clear();
    m_firstPending = m_nextId;
    reportProblem(false);
    return true;
}

void EventJournal::sync() {
    if (m_fd < 0 || !m_unsynced)
        return;
    m_unsynced = false;
    {
        std::lock_guard guard(m_syncLock);
        ++m_syncRequests;
    }
    m_syncWanted.notify_one();
}

void EventJournal::syncNow() {
    sync();
    std::unique_lock guard(m_syncLock);
    const quint64 wanted = m_syncRequests;
    m_syncDone.wait(guard, [&] { return m_syncsDone >= wanted; });
}

void EventJournal::release(quint64 id) {
    if (m_held.erase(id) == 0)
        return;
    if (id >= m_firstPending) {
        // Never written: it leaves what waits for the next commit.
        m_pending.clear();
        for (auto it = m_held.lower_bound(m_firstPending); it != m_held.end(); ++it)
            m_pending += it->second;
        return;
    }
    if (m_held.empty() && m_pending.isEmpty() && m_size > kEmptyingBytes && emptyFiles())
        return;
    writeMark(id);
    if (m_size > m_compactAt)
        compact();
}

bool EventJournal::emptyFiles() {
    // Nothing held: both files empty without a rewrite (the held lines first, so
    // a crash in between leaves marks of nothing).
    if (m_fd < 0 || ::ftruncate(m_fd, 0) != 0)
        return false;
    m_size = 0;
    m_compactAt = kCompactBytes;
    m_unsynced = true;
    if (m_markFd >= 0 && ::ftruncate(m_markFd, 0) == 0)
        m_markSize = 0;
    return true;
}

void EventJournal::withdraw() {
    if (const quint64 id = claim())
        release(id);
}

void EventJournal::compact() {
    QByteArray content;
    for (auto it = m_held.begin(); it != m_held.end() && it->first < m_firstPending; ++it)
        content += it->second;
    if (!writeFileWhole(m_path, content, QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        return;  // the old file still holds everything, released marks included
    closeFile(); // the new file was synced before it took the name
    m_unsynced = false;
    openForAppend();
    m_compactAt = std::max(kCompactBytes, 2 * qint64(content.size()));
    // The marks were of lines the new file no longer has.
    if (m_markFd < 0)
        m_markFd = openAppendable(m_releasedPath, m_markSize);
    if (m_markFd >= 0 && ::ftruncate(m_markFd, 0) == 0)
        m_markSize = 0;
}

void EventJournal::reportProblem(bool failing) {
    if (failing == m_failing)
        return;
    m_failing = failing;
    if (!m_problem)
        return;
    m_problem(failing ? QStringLiteral("Eventos recebidos não puderam ser guardados em %1: %2 (ficam na memória e "
                                       "são gravados quando houver espaço)")
                            .arg(m_path, QString::fromLocal8Bit(std::strerror(errno)))
                      : QStringLiteral("Eventos recebidos voltaram a ser guardados em %1").arg(m_path));
}
