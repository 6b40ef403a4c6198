#pragma once

#include <QByteArray>
#include <QFileDevice>
#include <QString>

// Data files are always rewritten whole: the content goes to a temporary file
// beside the target, which is then renamed over it, so a crash never leaves a
// half-written file. Returns false when the file could not be written (for
// example a missing directory); the old file is then left as it was.
// With permissions given, the new file gets exactly those (the operators'
// passwords are readable by the owner only); otherwise an existing file keeps its own.
bool writeFileWhole(const QString& path, const QByteArray& content, QFileDevice::Permissions permissions = {});
