#pragma once

#include "common/DataDirectory.h"
#include "common/DataFileReader.h"
#include "events/EventLine.h"
#include "events/EventListModel.h"

#include <QByteArrayView>
#include <QString>

#include <functional>
#include <optional>

// The event log files in the data directory: "Events.log" (one line per
// event, oldest first), "Archive.log" (archived lines, same format),
// "Events.tmp" (scratch file of an archive run), "Archive.jnl" (the size
// "Archive.log" had before the archive run in progress).
//
// Reading is tolerant: lines may end in LF or CR LF, the last one may lack its
// end, texts that are not valid UTF-8 are shown with replacement characters,
// lines that do not start with a number are skipped, missing fields are empty
// and fields beyond the eleventh are ignored. A line is shown with at most
// kMaxShownLineBytes of its bytes; the rest of a longer line is passed over.
// Archiving copies lines byte for byte whatever their length.
//
// Every file here is a regular file of the data directory: reading never
// follows a link in a log's place nor waits on a FIFO there (it is refused,
// as DataFileReader does), and appending never writes through a link or into
// anything but a regular file. New logs are created 0640. The log is the
// alarm history and may be as large as it grows: it is never refused for its
// size, but only its last kMaxListedBytes are listed.
class EventLogFile {
public:
    static constexpr qsizetype kMaxShownLineBytes = 4096;
    // The most of the log that a reload lists: its end, from the first line that starts in it.
    static constexpr qint64 kMaxListedBytes = DataFileReader::kMaxBytes;

    // Renames from over to (replacing to); returns an empty text on success,
    // else the system's error text.
    using RenameFunction = std::function<QString(const QString& from, const QString& to)>;

    struct ArchiveOutcome {
        enum Status {
            Archived,
            CannotRead, // "Events.log" could not be opened or was refused; nothing moved
            Failed,     // a step failed; every file is as it was before the run
        };
        Status status = Archived;
        QString error;            // the system's text for the failed step
        qsizetype movedLines = 0; // lines appended to "Archive.log"
    };

    explicit EventLogFile(const DataDirectory& directory);
    ~EventLogFile();
    EventLogFile(const EventLogFile&) = delete;
    EventLogFile& operator=(const EventLogFile&) = delete;

    QString logPath() const { return m_logPath; }
    QString archivePath() const { return m_archivePath; }
    QString tempPath() const { return m_tempPath; }
    QString journalPath() const { return m_journalPath; }

    // Appends one line to "Events.log" (created when absent). false when it
    // could not be written; then the log is left as it was (a partly written
    // line is cut off again) and appendProblem() says why. The log stays open
    // between appends; each append checks that the name still names the open
    // file, so a log replaced (by an archive run, or by hand, or by a link) or
    // removed is opened afresh.
    bool AppendEventLine(const EventLine& line);
    // Why the last append failed, naming the file; empty once one succeeded.
    QString appendProblem() const { return m_appendProblem; }

    struct ReadOutcome {
        DataFileStatus status = DataFileStatus::Missing;
        QString problem;    // why the log was refused, naming it; empty when read or missing
        qint64 size = 0;    // the log's size
        qint64 skipped = 0; // bytes at its start that were not listed (a log over kMaxListedBytes)
        bool read() const { return status == DataFileStatus::Read; }
    };
    // Opens "Events.log", calls opened, then hands every event line to visit,
    // oldest first; of a log larger than kMaxListedBytes only the lines that
    // start in its last kMaxListedBytes. No call when it cannot be opened or
    // is refused.
    ReadOutcome readEvents(const std::function<void()>& opened,
                           const std::function<void(const EventListModel::RawFields&)>& visit) const;

    // Moves the lines up to and including the first (oldest) one whose time
    // field equals timeText to the end of "Archive.log", and keeps the rest in
    // "Events.log"; when no line has that time the whole log moves. Steps:
    // the remaining lines are written to "Events.tmp", the moved lines are
    // appended to "Archive.log", then "Events.tmp" is renamed over
    // "Events.log" in one step. A step that fails undoes the earlier ones
    // ("Archive.log" is cut back to its old size, "Events.tmp" removed), so no
    // line is ever lost or doubled.
    //
    // A run cut short by a crash or a power cut is settled by the next
    // finishInterruptedArchive: before anything is appended, "Archive.jnl"
    // records the old size of "Archive.log" (written whole and synced). While
    // it exists, "Events.tmp" still there means the rename was not done: the
    // run is undone. "Events.tmp" gone means it was: the run stands. Every
    // file reaches the disk before the step that relies on it.
    ArchiveOutcome archive(const QString& timeText);

    // Settles an archive run that a crash cut short (see archive); called at
    // start-up before the log is read, and by every archive run. Returns the
    // system's error text when it could not be settled (the journal then
    // stays for the next try, and no archive run starts), else an empty text.
    QString finishInterruptedArchive();

    // Replaces the rename step (tests force its failure with it).
    void setRenameFunction(RenameFunction rename) { m_rename = std::move(rename); }

    // Splits one log line (without its line end) into its fields; none for an
    // empty line, a line without a leading number, or a number without a rest.
    static std::optional<EventListModel::RawFields> parseLine(QByteArrayView line);

private:
    bool openForAppend();
    void closeAppend();

    QString m_logPath;
    QByteArray m_logPathName; // m_logPath as the file system takes it, for the check before every append
    QString m_archivePath;
    QString m_tempPath;
    QString m_journalPath;
    RenameFunction m_rename;

    // "Events.log" as it is open for appending, and which file that is.
    int m_appendFd = -1;
    quint64 m_appendDevice = 0;
    quint64 m_appendInode = 0;
    qint64 m_appendSize = 0; // as this object last left it
    bool m_appendNeedsLineEnd = false;
    QString m_appendProblem;
};
