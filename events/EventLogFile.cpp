#include "events/EventLogFile.h"

#include "common/FileWriter.h"

#include <QFile>
#include <QFileInfo>
#include <QIODevice>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace {

// The most read at once; a log is read in one block when it is no larger.
constexpr qint64 kReadBlockBytes = 1 << 20;
constexpr int kMaxResultDigits = 9;
// "Archive.jnl" holds one number: anything larger is not one this program wrote.
constexpr qint64 kMaxArchiveJournalBytes = 4096;

// Reads lines from a device in blocks no larger than what is left of the file.
// A line is handed out without its LF (and without a CR before it); a line
// longer than the limit is cut to the limit and the rest of it is passed over,
// whatever block boundaries it crosses. endOffset() is the file offset just
// after the line's end.
class LineReader {
public:
    // Reads from where the device stands.
    LineReader(QIODevice& device, qsizetype limit) : m_device(device), m_limit(limit), m_base(device.pos()) {}

    bool next(QByteArrayView& line) {
        for (;;) {
            const qsizetype newline = m_buffer.indexOf('\n', m_pos);
            if (newline >= 0) {
                line = finish(QByteArrayView(m_buffer).sliced(m_pos, newline - m_pos));
                m_pos = newline + 1;
                return true;
            }
            if (m_buffer.size() - m_pos > m_limit) {
                // An overlong line: keep its start, pass over the rest. What is
                // kept is the start whole: a CR among it is not the line's end.
                m_long = m_buffer.mid(m_pos, m_limit);
                if (!skipRestOfLine())
                    m_pos = m_buffer.size();
                line = QByteArrayView(m_long);
                return true;
            }
            if (!fill()) {
                if (m_pos >= m_buffer.size())
                    return false;
                line = finish(QByteArrayView(m_buffer).sliced(m_pos));
                m_pos = m_buffer.size();
                return true;
            }
        }
    }

    qint64 endOffset() const { return m_base + m_pos; }

private:
    QByteArrayView finish(QByteArrayView line) const {
        if (line.endsWith('\r'))
            line.chop(1);
        return line.size() > m_limit ? line.first(m_limit) : line;
    }

    // Appends the next block; false at the end of the file.
    bool fill() {
        if (m_pos > 0) {
            m_base += m_pos;
            m_buffer.remove(0, m_pos);
            m_pos = 0;
        }
        const qint64 left = m_device.isSequential() ? kReadBlockBytes : m_device.size() - m_device.pos();
        if (left <= 0)
            return false;
        const qint64 block = std::min(left, kReadBlockBytes);
        const qsizetype old = m_buffer.size();
        m_buffer.resize(old + block);
        const qint64 got = m_device.read(m_buffer.data() + old, block);
        m_buffer.resize(old + (got > 0 ? got : 0));
        return got > 0;
    }

    // Drops bytes up to and including the next LF; false at the end of the file.
    bool skipRestOfLine() {
        for (;;) {
            const qsizetype newline = m_buffer.indexOf('\n', m_pos);
            if (newline >= 0) {
                m_pos = newline + 1;
                return true;
            }
            m_pos = m_buffer.size();
            if (!fill())
                return false;
        }
    }

    QIODevice& m_device;
    qsizetype m_limit;
    QByteArray m_buffer;
    QByteArray m_long;
    qsizetype m_pos = 0;
    qint64 m_base;
};

QString defaultRename(const QString& from, const QString& to) {
    std::error_code error;
    std::filesystem::rename(std::filesystem::path(from.toStdString()), std::filesystem::path(to.toStdString()), error);
    return error ? QString::fromLocal8Bit(error.message()) : QString();
}

QString fileError(const QString& path, const QFile& file) {
    return path + QStringLiteral("\n") + file.errorString();
}

QString systemError(const QString& path) {
    return path + QStringLiteral("\n") + QString::fromLocal8Bit(std::strerror(errno));
}

// Copies bytes [from, to) of source to target, then a LF when the copied part
// does not end with one.
bool copyRange(QFile& source, qint64 from, qint64 to, QFile& target) {
    if (from >= to)
        return true;
    if (!source.seek(from))
        return false;
    QByteArray block;
    char last = '\n';
    for (qint64 pos = from; pos < to;) {
        block = source.read(std::min<qint64>(kReadBlockBytes, to - pos));
        if (block.isEmpty())
            return false;
        if (target.write(block) != block.size())
            return false;
        last = block.back();
        pos += block.size();
    }
    if (last != '\n' && !target.putChar('\n'))
        return false;
    return true;
}

// A log whose last line lacks its end (edited by hand) gets one before the
// next line, so that line is never glued to it.
bool endsWithoutLineEnd(int fd, qint64 size) {
    char last = '\n';
    return size > 0 && ::pread(fd, &last, 1, size - 1) == 1 && last != '\n';
}

// Puts a file back to an earlier size (undoing an append), on the disk.
bool cutBack(const QString& path, qint64 size) {
    const DataFileForWriting file = openDataFileForWriting(path, false);
    if (file.fd < 0)
        return false;
    const bool cut = file.size <= size || (::ftruncate(file.fd, size) == 0 && ::fdatasync(file.fd) == 0);
    ::close(file.fd);
    return cut;
}

// The file of an open descriptor, for reading and writing through QFile
// (which closes it); false (and the descriptor closed) when QFile refuses it.
bool adopt(QFile& file, int fd, QIODevice::OpenMode mode) {
    if (file.open(fd, mode, QFileDevice::AutoCloseHandle))
        return true;
    ::close(fd);
    return false;
}

// What was written to a file, on the disk.
bool flushToDisk(QFile& file) {
    return file.flush() && ::fdatasync(file.handle()) == 0;
}

} // namespace

EventLogFile::EventLogFile(const DataDirectory& directory)
    : m_logPath(directory.file(QStringLiteral("Events.log"))), m_logPathName(QFile::encodeName(m_logPath)),
      m_archivePath(directory.file(QStringLiteral("Archive.log"))),
      m_tempPath(directory.file(QStringLiteral("Events.tmp"))),
      m_journalPath(directory.file(QStringLiteral("Archive.jnl"))), m_rename(defaultRename) {}

QString EventLogFile::finishInterruptedArchive() {
    DataFileReader journal(m_journalPath, kMaxArchiveJournalBytes);
    if (journal.status() == DataFileStatus::Missing)
        return {};
    // A journal that cannot be opened now (no file handle left, say) is
    // tried again later: only one that reads but makes no sense is given up
    // (as is anything but a regular file of a journal's size in its place).
    bool known = false;
    const qint64 oldSize = journal.readAll().trimmed().toLongLong(&known);
    if (journal.status() == DataFileStatus::Unreadable)
        return journal.problem();
    known = known && journal.isOpen();
    if (QFile::exists(m_tempPath)) {
        // The rename was not done: "Events.log" still holds the moved lines,
        // so what reached "Archive.log" goes. A journal that cannot be read
        // (it is written whole, so only a damaged disk gives one) leaves them
        // in both logs rather than losing any.
        if (known && oldSize >= 0 && !cutBack(m_archivePath, oldSize))
            return systemError(m_archivePath);
        QFile::remove(m_tempPath);
    }
    QFile journalFile(m_journalPath);
    if (!journalFile.remove())
        return fileError(m_journalPath, journalFile);
    syncDirectory(QFileInfo(m_journalPath).absolutePath());
    return {};
}

EventLogFile::~EventLogFile() {
    closeAppend();
}

bool EventLogFile::openForAppend() {
    const QByteArray& path = m_logPathName;
    // The name itself, not what a link there names: a link put in the log's place is another file.
    struct stat named {};
    const bool exists = ::lstat(path.constData(), &named) == 0;
    if (m_appendFd >= 0) {
        if (exists && quint64(named.st_dev) == m_appendDevice && quint64(named.st_ino) == m_appendInode) {
            // Written meanwhile by someone else (edited in place): its end is looked at again.
            if (named.st_size != m_appendSize)
                m_appendNeedsLineEnd = endsWithoutLineEnd(m_appendFd, named.st_size);
            m_appendSize = named.st_size;
            return true;
        }
        closeAppend();
    }
    const DataFileForWriting log = openDataFileForWriting(m_logPath, true);
    if (log.fd < 0) {
        m_appendProblem = log.problem;
        return false;
    }
    m_appendFd = log.fd;
    struct stat opened {};
    if (::fstat(m_appendFd, &opened) != 0) {
        m_appendProblem = systemError(m_logPath);
        closeAppend();
        return false;
    }
    m_appendDevice = quint64(opened.st_dev);
    m_appendInode = quint64(opened.st_ino);
    m_appendNeedsLineEnd = endsWithoutLineEnd(m_appendFd, opened.st_size);
    m_appendSize = opened.st_size;
    return true;
}

void EventLogFile::closeAppend() {
    if (m_appendFd >= 0)
        ::close(m_appendFd);
    m_appendFd = -1;
}

bool EventLogFile::AppendEventLine(const EventLine& line) {
    if (!openForAppend())
        return false;
    QByteArray bytes = line.toLogLine();
    if (m_appendNeedsLineEnd)
        bytes.prepend('\n');
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(m_appendFd, bytes.constData() + written, size_t(bytes.size() - written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        written += n;
    }
    if (written < bytes.size()) {
        m_appendProblem = QStringLiteral("\"%1\": %2").arg(m_logPath, QString::fromLocal8Bit(std::strerror(errno)));
        // The part of the line that was written is cut off again.
        struct stat now {};
        if (written > 0 && ::fstat(m_appendFd, &now) == 0)
            static_cast<void>(::ftruncate(m_appendFd, now.st_size - written));
        closeAppend();
        return false;
    }
    m_appendNeedsLineEnd = false;
    m_appendSize += written;
    m_appendProblem.clear();
    return true;
}

std::optional<EventListModel::RawFields> EventLogFile::parseLine(QByteArrayView line) {
    qsizetype pos = 0;
    while (pos < line.size() && line[pos] == ' ')
        ++pos;
    const qsizetype digitsStart = pos;
    qint64 result = 0;
    while (pos < line.size() && line[pos] >= '0' && line[pos] <= '9') {
        if (pos - digitsStart < kMaxResultDigits)
            result = result * 10 + (line[pos] - '0');
        ++pos;
    }
    if (pos == digitsStart || pos >= line.size())
        return std::nullopt; // no number, or nothing after it
    EventListModel::RawFields raw;
    raw.result = static_cast<int>(result);
    raw.fields[EventLine::Result] = line.sliced(digitsStart, pos - digitsStart);
    ++pos; // the tab after the result
    for (int field = EventLine::Time; field < EventLine::FieldCount && pos <= line.size(); ++field) {
        qsizetype tab = line.indexOf('\t', pos);
        if (tab < 0)
            tab = line.size();
        raw.fields[field] = line.sliced(pos, tab - pos);
        pos = tab + 1;
    }
    return raw;
}

EventLogFile::ReadOutcome
EventLogFile::readEvents(const std::function<void()>& opened,
                         const std::function<void(const EventListModel::RawFields&)>& visit) const {
    DataFileReader log(m_logPath, DataFileReader::kNoLimit);
    ReadOutcome outcome;
    outcome.status = log.status();
    outcome.problem = log.problem();
    outcome.size = log.size();
    if (!log.isOpen())
        return outcome;
    QFile& file = log.device();
    // A log too large to list whole: its end, from the first line that starts
    // there. Reading from the byte before it, the first line read is the rest
    // of the line cut (only its LF when the cut falls on a line start): passed over.
    const bool cut = outcome.size > kMaxListedBytes;
    if (cut) {
        outcome.skipped = outcome.size - kMaxListedBytes;
        if (!file.seek(outcome.skipped - 1)) {
            outcome.status = DataFileStatus::Unreadable;
            outcome.problem = DataFileReader::problemText(m_logPath, outcome.status, outcome.size,
                                                          DataFileReader::kNoLimit, file.errorString());
            return outcome;
        }
    }
    if (opened)
        opened();
    LineReader reader(file, kMaxShownLineBytes);
    QByteArrayView line;
    if (cut)
        reader.next(line);
    while (reader.next(line)) {
        if (const auto raw = parseLine(line))
            visit(*raw);
    }
    return outcome;
}

EventLogFile::ArchiveOutcome EventLogFile::archive(const QString& timeText) {
    ArchiveOutcome outcome;
    closeAppend(); // the run replaces the log
    if (const QString error = finishInterruptedArchive(); !error.isEmpty()) {
        outcome.status = ArchiveOutcome::Failed;
        outcome.error = error;
        return outcome;
    }
    DataFileReader logFile(m_logPath, DataFileReader::kNoLimit);
    if (!logFile.isOpen()) {
        outcome.status = ArchiveOutcome::CannotRead;
        outcome.error = logFile.refused()
                            ? logFile.problem()
                            : m_logPath + QStringLiteral("\n") + QString::fromLocal8Bit(std::strerror(ENOENT));
        return outcome;
    }
    QFile& log = logFile.device();

    // Where to cut: just after the first line with that time text, else at the end.
    const qint64 logSize = log.size();
    qint64 cut = logSize;
    {
        const QByteArray wanted = timeText.toUtf8();
        LineReader reader(log, kMaxShownLineBytes);
        QByteArrayView line;
        while (reader.next(line)) {
            ++outcome.movedLines;
            const auto raw = parseLine(line);
            if (raw && QString::fromUtf8(raw->fields[EventLine::Time]) == timeText) {
                cut = reader.endOffset();
                break;
            }
        }
    }

    auto fail = [&outcome](const QString& error) {
        outcome.status = ArchiveOutcome::Failed;
        outcome.error = error;
        outcome.movedLines = 0;
        return outcome;
    };

    // 1. The lines that stay, into "Events.tmp": a new file (never one a link
    // names), which will be the log and so gets the log's permissions.
    QFile::remove(m_tempPath);
    QFile temp;
    struct stat logInfo {};
    const mode_t logMode = ::fstat(log.handle(), &logInfo) == 0 ? (logInfo.st_mode & 07777) : kNewDataFileMode;
    const int tempFd = ::open(QFile::encodeName(m_tempPath).constData(),
                              O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, logMode);
    if (tempFd < 0)
        return fail(systemError(m_tempPath));
    ::fchmod(tempFd, logMode); // as the log has them, whatever the umask
    if (!adopt(temp, tempFd, QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        QFile::remove(m_tempPath);
        return fail(fileError(m_tempPath, temp));
    }
    if (!copyRange(log, cut, logSize, temp) || !flushToDisk(temp)) {
        const QString error =
            temp.error() != QFileDevice::NoError ? fileError(m_tempPath, temp) : fileError(m_logPath, log);
        temp.close();
        QFile::remove(m_tempPath);
        return fail(error);
    }
    temp.close();

    // 2. The moved lines, appended to "Archive.log" (a regular file, never through a link).
    QFile archive;
    const DataFileForWriting archiveFile = openDataFileForWriting(m_archivePath, true);
    if (archiveFile.fd < 0 ||
        !adopt(archive, archiveFile.fd, QIODevice::ReadWrite | QIODevice::Append | QIODevice::Unbuffered)) {
        QFile::remove(m_tempPath);
        return fail(archiveFile.fd < 0 ? archiveFile.problem : fileError(m_archivePath, archive));
    }
    const qint64 archiveSize = archive.size();
    if (!writeFileWhole(m_journalPath, QByteArray::number(archiveSize) + '\n')) {
        QFile::remove(m_tempPath);
        return fail(m_journalPath + QStringLiteral("\n") + QString::fromLocal8Bit(std::strerror(errno)));
    }
    auto undo = [&] {
        QFile::remove(m_tempPath);
        QFile::remove(m_journalPath);
    };
    bool appended = true;
    if (archiveSize > 0 && cut > 0) {
        char last = '\n';
        if (archive.seek(archiveSize - 1) && archive.getChar(&last) && last != '\n')
            appended = archive.putChar('\n');
    }
    appended = appended && copyRange(log, 0, cut, archive) && flushToDisk(archive);
    if (!appended) {
        const QString error =
            archive.error() != QFileDevice::NoError ? fileError(m_archivePath, archive) : fileError(m_logPath, log);
        archive.close();
        // Without the journal only when "Archive.log" is back to its old size
        // on the disk; else the next try cuts it back.
        if (cutBack(m_archivePath, archiveSize))
            undo();
        return fail(error);
    }
    archive.close();
    log.close();

    // 3. "Events.tmp" takes the place of "Events.log" in one step.
    const QString renameError = m_rename(m_tempPath, m_logPath);
    if (!renameError.isEmpty()) {
        // Without the journal only when "Archive.log" is back to its old size.
        if (cutBack(m_archivePath, archiveSize))
            undo();
        return fail(m_tempPath + QStringLiteral("\n") + renameError);
    }
    // The new "Events.log" on the disk before the journal goes, and the
    // journal gone for good before a next run's "Events.tmp" can appear.
    const QString directory = QFileInfo(m_logPath).absolutePath();
    syncDirectory(directory);
    QFile::remove(m_journalPath);
    syncDirectory(directory);
    return outcome;
}
