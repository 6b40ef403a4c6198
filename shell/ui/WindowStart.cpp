#include "shell/ui/WindowStart.h"

#include "common/ui/SoundPlayer.h"
#include "config/ui/Login.h"
#include "shell/HeadlessUserInterface.h"
#include "shell/MetricsServer.h"
#include "shell/ReceiverStart.h"
#include "shell/ServerCore.h"
#include "shell/SignalHandling.h"
#include "shell/ui/GuiUserInterface.h"
#include "shell/ui/MainFrame.h"
#include "shell/ui/ServerWindow.h"
#include "shell/ui/WindowTermination.h"

#include <QApplication>

#include <cstdio>
#include <memory>

namespace {

// Platforms that show nothing to anyone: a box there would wait forever.
bool hasNoDisplay() {
    const QString platform = QGuiApplication::platformName();
    return platform == QLatin1String("offscreen") || platform == QLatin1String("minimal");
}

} // namespace

int WindowStart::run(int argc, char** argv, const CommandLine& options) {
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
    ReceiverStart::serveMetrics(options, core, metrics);
    window.mainFrame()->show();
    QApplication::exec();
    return core.exitCode();
}
