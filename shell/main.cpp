#include "common/ui/SoundPlayer.h"
#include "config/ui/Login.h"
#include "shell/CommandLine.h"
#include "shell/ServerCore.h"
#include "shell/SignalHandling.h"
#include "shell/ui/GuiUserInterface.h"
#include "shell/ui/MainFrame.h"
#include "shell/ui/ServerWindow.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Atalaia"));
    // The run ends when the shutdown has finished, not when the window closes.
    QApplication::setQuitOnLastWindowClosed(false);
    const CommandLine options = CommandLine::parse(QApplication::arguments(), QApplication::applicationDirPath());
    if (!options.ok) {
        std::fprintf(stderr, "atalaia: %s\n", qPrintable(options.error));
        return 2;
    }

    SoundPlayer sounds;
    GuiUserInterface ui;
    ui.setSoundPlayer([&sounds](const QString& path) { sounds.play(path); });

    ServerCore core(options.dataDir, ui);
    ServerWindow window(core);
    QObject::connect(&window, &ServerWindow::created, &window, [&ui](CMainFrame* frame) {
        ui.setWindow(frame);
        ui.setInfoBar(frame->infoBar());
    });
    core.setLoginPrompt([&core, &ui, &window](bool anonymousMode) {
        Login dialog(core.operators(), core.currentOperator(), anonymousMode, ui, window.mainFrame());
        return dialog.exec() == QDialog::Accepted;
    });
    QObject::connect(&core, &ServerCore::shutdownFinished, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    // A service manager's stop takes the orderly shutdown without asking anyone.
    installTerminationHandler(&app, [&core] { core.beginShutdown(); });

    if (!core.start([&window] { window.build(); }))
        return core.exitCode();
    window.mainFrame()->show();
    return QApplication::exec();
}
