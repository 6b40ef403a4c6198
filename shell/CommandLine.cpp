#include "shell/CommandLine.h"

namespace {

// The value of an option given as "--name VALUE" or "--name=VALUE"; false when it is missing.
bool takeValue(const QStringList& arguments, qsizetype& i, const QString& name, QString& value) {
    const QString& argument = arguments[i];
    if (argument.startsWith(name + QLatin1Char('='))) {
        value = argument.mid(name.size() + 1);
        return true;
    }
    if (i + 1 >= arguments.size())
        return false;
    value = arguments[++i];
    return true;
}

bool isOption(const QString& argument, const char* name) {
    const QLatin1String option(name);
    return argument == option || argument.startsWith(option + QLatin1Char('='));
}

} // namespace

CommandLine CommandLine::parse(const QStringList& arguments, const QString& executableDir) {
    CommandLine result;
    result.dataDir = executableDir;
    auto fail = [&result](const QString& error) {
        result.ok = false;
        result.error = error;
        return result;
    };
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (isOption(argument, "--data-dir")) {
            if (!takeValue(arguments, i, QStringLiteral("--data-dir"), result.dataDir) || result.dataDir.isEmpty())
                return fail(QStringLiteral("--data-dir needs a directory"));
        } else if (argument == QLatin1String("--headless")) {
            result.headless = true;
        } else if (argument == QLatin1String("--quiet-events")) {
            result.quietEvents = true;
        } else if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
            result.help = true;
        } else if (argument == QLatin1String("--version")) {
            result.version = true;
        } else if (isOption(argument, "--metrics-port")) {
            QString value;
            bool valid = false;
            const uint port =
                takeValue(arguments, i, QStringLiteral("--metrics-port"), value) ? value.toUInt(&valid) : 0;
            if (!valid || port > 65535)
                return fail(QStringLiteral("--metrics-port needs a port from 0 to 65535"));
            result.metricsPort = static_cast<quint16>(port);
        } else if (argument.startsWith(QLatin1String("-platform")) || argument.startsWith(QLatin1String("-style"))) {
            ++i; // Qt's own options with a value
        } else {
            return fail(QStringLiteral("unknown option: ") + argument);
        }
    }
    return result;
}

QString CommandLine::usage(const QString& program, bool headlessOnly) {
    QString text = QStringLiteral("Usage: %1 [options]\n").arg(program);
    text += headlessOnly ? QStringLiteral("The Atalaia alarm receiver as a service, without a window: messages, "
                                          "questions (answered with their defaults) and one line per event go to "
                                          "standard error.\n\n")
                         : QStringLiteral("The Atalaia alarm receiver with its window.\n\n");
    text += QStringLiteral("Options:\n"
                           "  --data-dir DIR        the data directory (default: the executable's directory)\n");
    if (!headlessOnly)
        text += QStringLiteral("  --headless            run without a window, as atalaiad does\n");
    text += QStringLiteral("  --quiet-events        without a window: no line per event on standard error\n"
                           "  --metrics-port N      serve the health figures on http://127.0.0.1:N/metrics\n"
                           "                        (0: a free port, told on standard error)\n"
                           "  -h, --help            show this text and end\n"
                           "  --version             show the version and end\n");
    return text;
}
