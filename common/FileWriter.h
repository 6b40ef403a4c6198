#pragma once

#include <QByteArray>
#include <QString>

// Data files are always rewritten whole: the content goes to a temporary file
// beside the target, which is then renamed over it, so a crash never leaves a
// half-written file. Returns false when the file could not be written (for
// example a missing directory); the old file is then left as it was.
bool writeFileWhole(const QString& path, const QByteArray& content);
