#include "common/ui/SoundPlayer.h"
#include "shell/CommandLine.h"
#include "shell/GuiUserInterface.h"
#include "shell/MainFrame.h"
#include "shell/ServerApp.h"
#include "shell/SignalHandling.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Atalaia"));
    QApplication::setApplicationVersion(QStringLiteral("1.0.0.0"));
    const CommandLine options = CommandLine::parse(QApplication::arguments(), QApplication::applicationDirPath());
    if (!options.ok) {
        std::fprintf(stderr, "atalaia: %s\n", qPrintable(options.error));
        return 2;
    }
    installQuitOnTermination(&app);

    SoundPlayer sounds;
    GuiUserInterface ui;
    ui.setSoundPlayer([&sounds](const QString& path) { sounds.play(path); });

    ServerApp server(options.dataDir, ui);
    QObject::connect(&server, &ServerApp::mainWindowCreated, &server, [&ui](CMainFrame* frame) {
        ui.setWindow(frame);
        ui.setInfoBar(frame->infoBar());
    });
    if (!server.start())
        return server.exitCode();
    server.mainFrame()->show();
    const int result = QApplication::exec();
    server.shutdown();
    return result;
}
