// atalaia: the receiver with its window; "--headless" runs it as a service, as atalaiad does.
#include "shell/ProcessLimits.h"
#include "shell/ReceiverStart.h"
#include "shell/ui/WindowStart.h"

#include <QCoreApplication>

int main(int argc, char** argv) {
    QCoreApplication::setApplicationName(QStringLiteral("Atalaia"));
    const CommandLine options = ReceiverStart::commandLine(argc, argv);
    if (const auto exitCode = ReceiverStart::answered(options, "atalaia", false))
        return *exitCode;
    raiseOpenFileLimit();
    return options.headless ? ReceiverStart::runHeadless(argc, argv, options) : WindowStart::run(argc, argv, options);
}
