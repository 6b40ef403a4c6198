#include "shell/CommandLine.h"

CommandLine CommandLine::parse(const QStringList& arguments, const QString& executableDir) {
    CommandLine result;
    result.dataDir = executableDir;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == QLatin1String("--data-dir")) {
            if (i + 1 >= arguments.size()) {
                result.ok = false;
                result.error = QStringLiteral("--data-dir needs a directory");
                return result;
            }
            result.dataDir = arguments[++i];
        } else if (argument.startsWith(QLatin1String("--data-dir="))) {
            result.dataDir = argument.mid(int(sizeof("--data-dir=")) - 1);
        } else if (argument.startsWith(QLatin1String("-platform")) || argument.startsWith(QLatin1String("-style"))) {
            ++i; // Qt's own options with a value
        } else {
            result.ok = false;
            result.error = QStringLiteral("unknown option: ") + argument;
            return result;
        }
    }
    return result;
}
