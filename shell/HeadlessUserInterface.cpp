#include "shell/HeadlessUserInterface.h"

#include "common/StringTable.h"

#include <QDateTime>

namespace {

const QString kContinuation = QStringLiteral("\n    ");

QString fieldName(int field) {
    switch (field) {
    case StatusField::Internet:
        return QStringLiteral("Internet");
    case StatusField::ReportMode:
        return QStringLiteral("Reporta por");
    case StatusField::ReportStatus:
        return QStringLiteral("Status");
    case StatusField::Operator:
        return QStringLiteral("Operador");
    default:
        return QStringLiteral("Aviso");
    }
}

} // namespace

void HeadlessUserInterface::write(const char* kind, const QString& text, const QString& suffix) {
    const int number = StringTable::numberOf(text);
    QString line =
        QDateTime::currentDateTime().toString(Qt::ISODate) + QStringLiteral(" atalaia: ") + QLatin1String(kind);
    if (number != 0)
        line += QStringLiteral(" %1").arg(number);
    // A line break inside a text is one: its further lines are indented, so the
    // journal shows where each message begins.
    line += QStringLiteral(": ") + QString(text).replace(QLatin1Char('\n'), kContinuation) + suffix;
    std::fprintf(m_out, "%s\n", line.toUtf8().constData());
    std::fflush(m_out);
}

void HeadlessUserInterface::showMessage(const QString& text, Icon) {
    write("message", text);
}

bool HeadlessUserInterface::askYesNo(const QString& text, Icon, bool defaultYes) {
    write("question", text,
          defaultYes ? QStringLiteral(" -> Yes (no operator: the default)")
                     : QStringLiteral(" -> No (no operator: the default)"));
    return defaultYes;
}

bool HeadlessUserInterface::askOkCancel(const QString& text, Icon) {
    write("question", text, QStringLiteral(" -> OK (no operator: nothing more is done)"));
    return true;
}

void HeadlessUserInterface::setStatusField(int field, const QString& text) {
    if (m_fields.value(field) == text && m_fields.contains(field))
        return;
    m_fields.insert(field, text);
    write("status", fieldName(field) + QStringLiteral(" = ") + text);
}
