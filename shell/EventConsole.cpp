#include "shell/EventConsole.h"

#include "reporting/ReportTypes.h"

namespace {

QLatin1String resultWord(int result) {
    switch (static_cast<ReportResult>(result)) {
    case ReportResult::Sent:
        return QLatin1String("sent");
    case ReportResult::Failed:
        return QLatin1String("failed");
    case ReportResult::NotSent:
        return QLatin1String("not sent");
    }
    return QLatin1String("unknown");
}

// A text as one piece of one line: no line end, tab or other control character inside it.
QString flat(const QString& text) {
    QString result = text;
    for (QChar& c : result)
        if (c.category() == QChar::Other_Control)
            c = QLatin1Char(' ');
    return result.trimmed();
}

} // namespace

QByteArray EventConsole::format(const EventLine& line) {
    const QLatin1String separator(" | ");
    QString text = QStringLiteral("atalaia: event | ") + line.time + separator + QStringLiteral("account ") +
                   flat(line.account) + separator + QStringLiteral("client ") + flat(line.name) + separator +
                   flat(line.qualifier) + flat(line.code);
    if (!flat(line.text).isEmpty())
        text += QLatin1Char(' ') + flat(line.text);
    text += separator + QStringLiteral("partition ") + flat(line.partition) + separator + QStringLiteral("zone ") +
            flat(line.zone) + separator + flat(line.protocol) + separator + resultWord(line.result);
    QByteArray bytes = text.toUtf8();
    bytes += '\n';
    return bytes;
}

void EventConsole::write(const EventLine& line) {
    const QByteArray bytes = format(line);
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), m_out);
}
