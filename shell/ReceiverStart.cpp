#include "shell/ReceiverStart.h"

#include "common/ProgramVersion.h"
#include "shell/EventConsole.h"
#include "shell/HeadlessUserInterface.h"
#include "shell/MetricsServer.h"
#include "shell/ServerCore.h"
#include "shell/ServerMetrics.h"
#include "shell/SignalHandling.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QFileInfo>

#include <cstdio>

CommandLine ReceiverStart::commandLine(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    // The executable's directory, before there is an application object to ask.
    const QString executableDir = QFileInfo(QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget()).absolutePath();
    return CommandLine::parse(arguments, executableDir);
}

std::optional<int> ReceiverStart::answered(const CommandLine& options, const char* program, bool headlessOnly) {
    if (!options.ok) {
        std::fprintf(stderr, "%s: %s (see --help)\n", program, qPrintable(options.error));
        return kExitUsage;
    }
    if (options.help) {
        std::fputs(CommandLine::usage(QString::fromLatin1(program), headlessOnly).toUtf8().constData(), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("%s %s\n", program, qPrintable(ProgramVersion::text()));
        return 0;
    }
    return std::nullopt;
}

bool ReceiverStart::serveMetrics(const CommandLine& options, ServerCore& core, std::unique_ptr<MetricsServer>& server) {
    if (!options.metricsPort)
        return true;
    server = std::make_unique<MetricsServer>([&core, &server] { return ServerMetrics::text(core, server.get()); });
    server->setProblemHandler([&core](const QString& text) { core.sayNotice(text); });
    if (server->listen(*options.metricsPort)) {
        std::fprintf(stderr, "atalaia: health figures at http://127.0.0.1:%u/metrics\n", unsigned(server->port()));
        return true;
    }
    std::fprintf(stderr, "atalaia: cannot serve the health figures on port %u: %s\n", unsigned(*options.metricsPort),
                 qPrintable(server->errorString()));
    return false;
}

int ReceiverStart::runHeadless(int argc, char** argv, const CommandLine& options) {
    QCoreApplication app(argc, argv);
    HeadlessUserInterface ui;
    EventConsole events;
    QObject eventsFlush; // goes before the console
    ServerCore core(options.dataDir, ui);
    if (!options.quietEvents) {
        core.eventPipeline().setListedHandler([&events](const EventLine& line) { events.add(line); });
        // The lines of a round of the event loop go out together before it waits again.
        QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, &eventsFlush,
                         [&events] { events.flush(); });
    }
    core.setLoginPrompt([&core](bool) {
        core.operators().logIn(OperatorTable::kAnonymous, core.currentOperator());
        return true;
    });
    QObject::connect(
        &core, &ServerCore::shutdownFinished, &app, [&core] { QCoreApplication::exit(core.exitCode()); },
        Qt::QueuedConnection);
    installTerminationHandler(&app, [&core] { core.terminate(); });
    if (!core.start()) {
        if (core.shuttingDown() && !core.finished())
            QCoreApplication::exec();
        return core.exitCode();
    }
    std::fprintf(stderr, "atalaia: receiving on UDP port %u, data directory %s\n",
                 unsigned(core.datagramServer().boundPort()), qPrintable(core.dataDirectory().path()));
    std::unique_ptr<MetricsServer> metrics;
    if (!serveMetrics(options, core, metrics)) {
        core.shutdown();
        return kExitFailed;
    }
    QCoreApplication::exec();
    return core.exitCode();
}
