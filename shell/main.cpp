#include "common/ui/SoundPlayer.h"
#include "config/ui/Login.h"
#include "shell/CommandLine.h"
#include "shell/HeadlessUserInterface.h"
#include "shell/MetricsServer.h"
#include "shell/ProcessLimits.h"
#include "shell/ServerCore.h"
#include "shell/ServerMetrics.h"
#include "shell/SignalHandling.h"
#include "shell/ui/GuiUserInterface.h"
#include "shell/ui/MainFrame.h"
#include "shell/ui/ServerWindow.h"
#include "shell/ui/WindowTermination.h"

#include <QApplication>
#include <QFileInfo>

#include <cstdio>
#include <memory>

namespace {

constexpr int kExitUsage = 2;
constexpr int kExitFailed = 1;

// The health figures on localhost when asked for; false when the port cannot be had.
bool serveMetrics(const CommandLine& options, ServerCore& core, std::unique_ptr<MetricsServer>& server) {
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

// The receiver as a service: the same core without a window. Anonymous entry
// is implied; messages and questions go to standard error; SIGTERM and SIGINT
// end it through the orderly shutdown.
int runHeadless(int argc, char** argv, const CommandLine& options) {
    QCoreApplication app(argc, argv);
    HeadlessUserInterface ui;
    ServerCore core(options.dataDir, ui);
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

// Platforms that show nothing to anyone: a box there would wait forever.
bool hasNoDisplay() {
    const QString platform = QGuiApplication::platformName();
    return platform == QLatin1String("offscreen") || platform == QLatin1String("minimal");
}

int runWindow(int argc, char** argv, const CommandLine& options) {
    QApplication app(argc, argv);
    // The run ends when the shutdown has finished, not when the window closes.
    QApplication::setQuitOnLastWindowClosed(false);

    HeadlessUserInterface console;
    GuiUserInterface ui;
    if (hasNoDisplay()) {
        ui.setConsole(&console);
        std::fprintf(stderr,
                     "atalaia: no display (platform %s): messages and questions go to standard error, questions "
                     "take their default answers\n",
                     qPrintable(QGuiApplication::platformName()));
    }
    SoundPlayer sounds;
    ui.setSoundPlayer([&sounds](const QString& path) { sounds.play(path); });
    QObject::connect(&sounds, &SoundPlayer::unavailable, &app, [&ui](const QString& reason) {
        const QString text = QStringLiteral("Não é possível tocar sons: %1").arg(reason);
        ui.setStatusField(StatusField::Notice, text);
        std::fprintf(stderr, "atalaia: %s\n", qPrintable(text));
    });

    ServerCore core(options.dataDir, ui);
    ServerWindow window(core);
    QObject::connect(&window, &ServerWindow::created, &window, [&ui](CMainFrame* frame) {
        ui.setWindow(frame);
        ui.setInfoBar(frame->infoBar());
    });
    bool receptionSaid = false;
    const auto sayReception = [&core, &receptionSaid] {
        if (!receptionSaid)
            std::fprintf(stderr, "atalaia: receiving on UDP port %u, data directory %s\n",
                         unsigned(core.datagramServer().boundPort()), qPrintable(core.dataDirectory().path()));
        receptionSaid = true;
    };
    core.setLoginPrompt([&core, &ui, &window, &sayReception](bool anonymousMode) {
        sayReception();
        if (ui.usesConsole() && !core.shuttingDown())
            std::fprintf(stderr, "atalaia: the Login waits for an operator that this platform cannot show; alarms "
                                 "are received meanwhile; SIGTERM or Ctrl+C ends the run\n");
        Login dialog(core.operators(), core.currentOperator(), anonymousMode, ui, window.mainFrame());
        return dialog.exec() == QDialog::Accepted;
    });
    // exit() rather than quit(): it ends every event loop, also that of a dialog still open.
    QObject::connect(
        &core, &ServerCore::shutdownFinished, &app, [&core] { QCoreApplication::exit(core.exitCode()); },
        Qt::QueuedConnection);
    // A service manager's stop, or Ctrl+C, takes the orderly shutdown without asking anyone.
    WindowTermination termination(core, ui, console);
    installTerminationHandler(&app, [&termination] { termination.terminate(); });

    if (!core.start([&window] { window.build(); })) {
        // A cancelled login or a signal during the start: the shutdown may still be finishing.
        if (core.shuttingDown() && !core.finished())
            QApplication::exec();
        return core.exitCode();
    }
    sayReception();
    std::unique_ptr<MetricsServer> metrics;
    serveMetrics(options, core, metrics);
    window.mainFrame()->show();
    QApplication::exec();
    return core.exitCode();
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication::setApplicationName(QStringLiteral("Atalaia"));
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    // The executable's directory, before there is an application object to ask.
    const QString executableDir = QFileInfo(QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget()).absolutePath();
    const CommandLine options = CommandLine::parse(arguments, executableDir);
    if (!options.ok) {
        std::fprintf(stderr, "atalaia: %s\n", qPrintable(options.error));
        return kExitUsage;
    }
    raiseOpenFileLimit();
    return options.headless ? runHeadless(argc, argv, options) : runWindow(argc, argv, options);
}
