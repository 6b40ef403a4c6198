// atalaiad: the receiver as a service, without a window; it links no graphical library at all.
#include "shell/ProcessLimits.h"
#include "shell/ReceiverStart.h"

#include <QCoreApplication>

int main(int argc, char** argv) {
    QCoreApplication::setApplicationName(QStringLiteral("Atalaia"));
    const CommandLine options = ReceiverStart::commandLine(argc, argv);
    if (const auto exitCode = ReceiverStart::answered(options, "atalaiad", true))
        return *exitCode;
    raiseOpenFileLimit();
    return ReceiverStart::runHeadless(argc, argv, options);
}
