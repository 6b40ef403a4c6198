#include "config/LoginCheck.h"

#include "common/UserInterface.h"
#include "config/Operators.h"

LoginCheck::LoginCheck(const OperatorTable& table, CurrentOperator& current, bool anonymousMode, UserInterface& ui)
    : m_table(table), m_current(current), m_anonymousMode(anonymousMode), m_ui(ui) {}

LoginCheck::Result LoginCheck::submit(const QString& name, const QString& password) {
    const Operator& administrator = m_table.entry(OperatorTable::kAdministrator);
    if (name == administrator.name && password == administrator.password) {
        m_table.logIn(OperatorTable::kAdministrator, m_current);
        return Result::Accepted;
    }
    const Operator& anonymous = m_table.entry(OperatorTable::kAnonymous);
    if (name.isEmpty() || name == anonymous.name) {
        if (!m_anonymousMode)
            return Result::Cancelled;
        m_table.logIn(OperatorTable::kAnonymous, m_current);
        return Result::Accepted;
    }
    // Named operators up to the first entry without a name; "Admin" with a
    // wrong password is looked for here too.
    for (int index = OperatorTable::kFirstNamed; index < OperatorTable::kSize; ++index) {
        const Operator& named = m_table.entry(index);
        if (named.name.isEmpty())
            break;
        if (named.name == name && named.password == password) {
            m_table.logIn(index, m_current);
            return Result::Accepted;
        }
    }
    return fail();
}

LoginCheck::Result LoginCheck::fail() {
    if (++m_failures >= kMaxFailures) {
        m_ui.showMessage(QString::fromUtf8(kExceededText), UserInterface::Icon::Error);
        return Result::Exceeded;
    }
    m_ui.showMessage(QString::fromUtf8(kWrongText), UserInterface::Icon::Error);
    return Result::Retry;
}
