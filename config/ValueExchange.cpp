#include "config/ValueExchange.h"

#include "common/UserInterface.h"

namespace {

const QString kNotANumber = QStringLiteral("Enter a positive integer.");
const QString kOutOfRange = QStringLiteral("Enter an integer between %1 and %2.");

// Digits only (blanks around them allowed), saturating above 32 bits.
bool parseDigits(const QString& text, quint64& value) {
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return false;
    value = 0;
    for (const QChar c : trimmed) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
        value = qMin<quint64>(value * 10 + static_cast<quint64>(c.unicode() - '0'), 0x100000000ull);
    }
    return true;
}

} // namespace

bool ValueExchange::parseUnsigned(const QString& text, quint32& value) {
    quint64 number;
    if (!parseDigits(text, number) || number > 0xFFFFFFFFull)
        return false;
    value = static_cast<quint32>(number);
    return true;
}

void ValueExchange::takeUnsigned(int control, const QString& text, quint32& field) {
    if (failed())
        return;
    quint32 value;
    if (!parseUnsigned(text, value))
        return fail(control, kNotANumber);
    field = value;
}

void ValueExchange::takeUnsigned(int control, const QString& text, quint32 low, quint32 high, quint32& field) {
    if (failed())
        return;
    quint64 value;
    if (!parseDigits(text, value))
        return fail(control, kNotANumber);
    if (value < low || value > high)
        return fail(control, kOutOfRange.arg(low).arg(high));
    field = static_cast<quint32>(value);
}

void ValueExchange::takeText(const QString& text, QString& field) {
    if (!failed())
        field = text;
}

void ValueExchange::takeFlag(bool checked, bool& field) {
    if (!failed())
        field = checked;
}

void ValueExchange::takeCheck(bool checked, int& field) {
    if (failed())
        return;
    if (!checked)
        field = 0;
    else if (field == 0)
        field = 1;
}

void ValueExchange::fail(int control, const QString& message) {
    m_failedControl = control;
    m_ui.showMessage(message, UserInterface::Icon::Error);
}
