#pragma once

#include <QString>
#include <QStringList>

// The receiver's command line: "--data-dir DIR" names the data directory;
// without it the data directory is the executable's directory.
struct CommandLine {
    QString dataDir;
    bool ok = true;
    QString error;

    static CommandLine parse(const QStringList& arguments, const QString& executableDir);
};
