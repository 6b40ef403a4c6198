#include "shell/EventConsole.h"

#include "reporting/ReportTypes.h"

namespace {

const char* resultWord(int result) {
    switch (static_cast<ReportResult>(result)) {
    case ReportResult::Sent:
        return "sent";
    case ReportResult::Failed:
        return "failed";
    case ReportResult::NotSent:
        return "not sent";
    }
    return "unknown";
}

// Appends a text as one piece of one line: no line end, tab or other control character inside it, no blank
// around it.
void appendFlat(QByteArray& line, const QString& text) {
    const qsizetype start = line.size();
    line += text.trimmed().toUtf8();
    for (qsizetype i = start; i < line.size(); ++i)
        if (static_cast<unsigned char>(line[i]) < 0x20 || line[i] == '\x7f')
            line[i] = ' ';
}

} // namespace

QByteArray EventConsole::format(const EventLine& line) {
    constexpr qsizetype kTypicalLength = 160;
    QByteArray bytes;
    bytes.reserve(kTypicalLength);
    bytes += "atalaia: event | ";
    appendFlat(bytes, line.time);
    bytes += " | account ";
    appendFlat(bytes, line.account);
    bytes += " | client ";
    appendFlat(bytes, line.name);
    bytes += " | ";
    appendFlat(bytes, line.qualifier);
    appendFlat(bytes, line.code);
    if (!line.text.trimmed().isEmpty()) {
        bytes += ' ';
        appendFlat(bytes, line.text);
    }
    bytes += " | partition ";
    appendFlat(bytes, line.partition);
    bytes += " | zone ";
    appendFlat(bytes, line.zone);
    bytes += " | ";
    appendFlat(bytes, line.protocol);
    bytes += " | ";
    bytes += resultWord(line.result);
    bytes += '\n';
    return bytes;
}

void EventConsole::flush() {
    if (m_pending.isEmpty())
        return;
    std::fwrite(m_pending.constData(), 1, size_t(m_pending.size()), m_out);
    std::fflush(m_out);
    m_pending.clear();
}
