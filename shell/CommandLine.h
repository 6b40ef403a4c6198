#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// The receiver's command line: "--data-dir DIR" names the data directory
// (without it, the executable's directory); "--headless" runs the receiver
// without a window, as a service; "--metrics-port N" serves its health
// figures on localhost port N (0: a free port, told on standard error; off
// without the option); "--quiet-events" keeps the headless receiver from
// writing a line per event to standard error; "--help" and "--version" answer
// on standard output and end the run.
struct CommandLine {
    QString dataDir;
    bool headless = false;
    bool quietEvents = false;
    bool help = false;
    bool version = false;
    std::optional<quint16> metricsPort;
    bool ok = true;
    QString error;

    static CommandLine parse(const QStringList& arguments, const QString& executableDir);
    // The text of --help for the window executable, or for the headless one
    // (which always runs without a window).
    static QString usage(const QString& program, bool headlessOnly);
};
