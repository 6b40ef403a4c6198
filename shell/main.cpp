#include "shell/CommandLine.h"
#include "shell/MainFrame.h"
#include "shell/SignalHandling.h"

#include <QApplication>
#include <QDir>

#include <cstdio>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Atalaia"));
    const CommandLine options = CommandLine::parse(QApplication::arguments(), QApplication::applicationDirPath());
    if (!options.ok) {
        std::fprintf(stderr, "atalaia: %s\n", qPrintable(options.error));
        return 2;
    }
    installQuitOnTermination(&app);
    CMainFrame frame;
    frame.show();
    return QApplication::exec();
}
