#pragma once

#include <QByteArray>
#include <QFileDevice>
#include <QString>

// Data files are always rewritten whole: the content goes to a temporary file
// beside the target, which is then renamed over it, so a crash never leaves a
// half-written file. Returns false when the file could not be written (for
// example a missing directory); the old file is then left as it was.
// A symbolic link in the file's place is replaced by the new file; what it
// names is never written. With permissions given, the new file gets exactly
// those (the operators' passwords are readable by the owner only); otherwise an
// existing file keeps its own and a new one gets kNewDataFilePermissions.
//
// A power cut leaves the old file or the new one, whole: the content reaches
// the disk before the rename (a content that cannot be synced fails the write
// and never replaces the old file), and the directory is synced after the
// rename so that the new name survives too. A sync of the directory that fails
// does not turn the write into a failure: the new file is in place by then.
// Owner read and write, group read (0640): what a data file is created with
// when no permissions are asked for. Nobody else reads or writes it.
constexpr QFileDevice::Permissions kNewDataFilePermissions =
    QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup;
// The same as a mode for open(2).
constexpr unsigned kNewDataFileMode = 0640;

bool writeFileWhole(const QString& path, const QByteArray& content, QFileDevice::Permissions permissions = {});

// A data file opened to be written in place: appended to, or cut back to
// an earlier size. fd is -1 when it could not be opened; problem then says
// why, naming the file.
struct DataFileForWriting {
    int fd = -1;
    qint64 size = 0; // when it was opened
    QString problem;
};

// Opens a data file for reading and appending (O_APPEND): never through a
// symbolic link, never waiting on a FIFO, and only a regular file (a FIFO, a
// directory or a device in its place is refused). With create, a missing
// file is created with mode (the umask applies as well).
DataFileForWriting openDataFileForWriting(const QString& path, bool create, unsigned mode = kNewDataFileMode);

// Renames whatever has the name path (a file, a link, a FIFO...) to
// path + suffix, or to path + suffix + ".2", ".3"... when that name is taken:
// nothing earlier put aside is ever replaced. Returns the new name, or an
// empty text when it could not be renamed (path is then as it was).
QString moveAside(const QString& path, const QString& suffix);

// Makes the renames and removals done in a directory durable. Best effort:
// some file systems refuse to sync a directory.
void syncDirectory(const QString& directory);
