#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

// What became of an attempt to read a data file.
enum class DataFileStatus {
    Read,         // open (and read, where asked): a regular file within its size limit
    Missing,      // nothing has that name
    NotRegular,   // a FIFO, a directory, a device or a socket: never read
    SymbolicLink, // a link in the file's place: never followed
    TooLarge,     // larger than the limit for its kind of file
    Unreadable,   // there, but the system refused it (rights, no descriptor left, a read error)
};

// The one way the receiver opens a data file for reading. A data file is a
// regular file of the data directory, so whoever can put something else in
// its place (a FIFO, a link to a file elsewhere, a device, a file of a
// gigabyte) never makes the receiver wait for ever, read another file or fill
// its memory:
// - the name is opened without following a link and without waiting for a
//   writer (a FIFO then opens at once, and is refused);
// - the descriptor opened is looked at (fstat), not the name, so what is
//   read is what was checked;
// - anything that is not a regular file, and a regular file larger than the
//   limit, is refused with a text that names the file and says why.
// A refused file is for its reader what a missing file is (the reader says
// so once, then goes on as without the file).
class DataFileReader {
public:
    // The limit of the register and settings files: far above any list this
    // receiver writes (65,536 clients take some 5 MiB).
    static constexpr qint64 kMaxBytes = qint64(64) << 20;
    // A limit of none: for a log, which may grow as large as it likes and is
    // read in blocks (a regular file is still required).
    static constexpr qint64 kNoLimit = -1;

    explicit DataFileReader(const QString& path, qint64 maxBytes = kMaxBytes);
    DataFileReader(const DataFileReader&) = delete;
    DataFileReader& operator=(const DataFileReader&) = delete;

    // The whole content of a file within its limit, and why there is none.
    struct Content {
        DataFileStatus status = DataFileStatus::Missing;
        QByteArray bytes;
        QString problem; // see problem() below
        bool read() const { return status == DataFileStatus::Read; }
    };
    static Content readWhole(const QString& path, qint64 maxBytes = kMaxBytes);

    DataFileStatus status() const { return m_status; }
    bool isOpen() const { return m_status == DataFileStatus::Read; }
    // Neither read nor missing: something is there that is not taken.
    bool refused() const { return m_status != DataFileStatus::Read && m_status != DataFileStatus::Missing; }
    // Why the file was refused, naming it; empty when it was read or is missing.
    QString problem() const { return m_problem; }
    QString path() const { return m_path; }
    // The size of the regular file opened (also of one refused as too large).
    qint64 size() const { return m_size; }

    // The rest of the file from where the device stands; a read error turns
    // the status to Unreadable and gives nothing.
    QByteArray readAll();
    // The open file, read-only (for reading in blocks and seeking).
    QFile& device() { return m_file; }

    // What a file that is not a regular one is ("um FIFO (pipe nomeado)", "um diretório"...), from its st_mode.
    static QString kindOf(unsigned mode);

    // The text that says why a file was refused (the one problem() gives).
    static QString problemText(const QString& path, DataFileStatus status, qint64 size, qint64 maxBytes,
                               const QString& detail = {});

private:
    void open();
    void refuse(DataFileStatus status, const QString& detail = {});

    QString m_path;
    qint64 m_maxBytes;
    DataFileStatus m_status = DataFileStatus::Missing;
    QString m_problem;
    qint64 m_size = 0;
    QFile m_file;
};
