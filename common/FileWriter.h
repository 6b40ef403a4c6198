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
// existing file keeps its own.
//
// A power cut leaves the old file or the new one, whole: the content reaches
// the disk before the rename (a content that cannot be synced fails the write
// and never replaces the old file), and the directory is synced after the
// rename so that the new name survives too. A sync of the directory that fails
// does not turn the write into a failure: the new file is in place by then.
bool writeFileWhole(const QString& path, const QByteArray& content, QFileDevice::Permissions permissions = {});

// Makes the renames and removals done in a directory durable. Best effort:
// some file systems refuse to sync a directory.
void syncDirectory(const QString& directory);
