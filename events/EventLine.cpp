#include "events/EventLine.h"

namespace {

void appendField(QByteArray& line, const QString& text) {
    QByteArray bytes = text.toUtf8();
    for (char& c : bytes) {
        if (c == '\t' || c == '\n' || c == '\r')
            c = ' ';
    }
    line += bytes;
}

} // namespace

QByteArray EventLine::toLogLine() const {
    QByteArray line;
    line.reserve(160);
    line += QByteArray::number(result);
    for (const QString* field :
         {&time, &name, &account, &text, &qualifier, &code, &partition, &zone, &protocol, &panel}) {
        line += '\t';
        appendField(line, *field);
    }
    line += '\n';
    return line;
}
