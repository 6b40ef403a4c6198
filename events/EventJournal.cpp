#include "events/EventJournal.h"

#include "common/FileWriter.h"

#include <QByteArrayList>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
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

} // namespace

EventJournal::EventJournal(const DataDirectory& directory) : m_path(directory.file(QString::fromLatin1(kFileName))) {}

EventJournal::~EventJournal() {
    commit();
    sync();
    if (m_fd >= 0)
        ::close(m_fd);
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
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return {};
    QByteArray tail;
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0) {
        const qint64 from = qMax<qint64>(0, info.st_size - kTail);
        tail.resize(qsizetype(info.st_size - from));
        const ssize_t got = ::pread(fd, tail.data(), size_t(tail.size()), from);
        tail.truncate(got > 0 ? qsizetype(got) : 0);
    }
    ::close(fd);
    if (!tail.endsWith('\n'))
        return {}; // a last line cut short is nobody's line
    tail.chop(1);
    return tail.mid(tail.lastIndexOf('\n') + 1);
}

QList<EventJournal::Entry> EventJournal::takeLeftOver(const std::function<bool(const EventRecord&)>& loggedLast) {
    QList<Entry> leftOver;
    QByteArray content;
    // Only a regular file of the data directory is read, and never a FIFO's endless wait.
    const int fd = ::open(QFile::encodeName(m_path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
        struct stat info {};
        if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size <= kMaxReadBytes) {
            QFile file;
            if (file.open(fd, QIODevice::ReadOnly))
                content = file.readAll();
        }
        ::close(fd);
    }
    std::map<quint64, Entry> held;
    const QByteArrayList lines = content.split('\n');
    // The last piece has no line end: a write cut short, or nothing.
    for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
        const QByteArray& line = lines[i];
        if (line.startsWith(kReleased)) {
            held.erase(line.mid(2).toULongLong());
            continue;
        }
        Entry entry;
        if (readHeldLine(line, entry))
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
    // Never through a link, never into a FIFO; owner-only, like the operators' file.
    m_fd = ::open(QFile::encodeName(m_path).constData(),
                  O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (m_fd < 0)
        return false;
    struct stat info {};
    if (::fstat(m_fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(m_fd);
        m_fd = -1;
        errno = EINVAL;
        return false;
    }
    m_size = info.st_size;
    return true;
}

bool EventJournal::writeAll(const QByteArray& bytes) {
    if (!openForAppend())
        return false;
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::write(m_fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            // A line cut short is cut off again, so the next one starts on a line of its own.
            if (done > 0 && ::ftruncate(m_fd, m_size) == 0)
                done = 0;
            m_size += done;
            return false;
        }
        done += written;
    }
    m_size += done;
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
    if (m_fd >= 0 && m_unsynced) {
        ::fdatasync(m_fd);
        m_unsynced = false;
    }
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
    if (m_held.empty() && m_pending.isEmpty()) {
        // Nothing held: the file empties at no cost.
        if (m_fd >= 0 && ::ftruncate(m_fd, 0) == 0) {
            m_size = 0;
            m_unsynced = true;
            return;
        }
    }
    writeAll(QByteArray(1, kReleased) + '\t' + QByteArray::number(id) + '\n');
    if (m_size > kCompactBytes)
        compact();
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
        return; // the old file still holds everything, released marks included
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_unsynced = false;
    openForAppend();
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
