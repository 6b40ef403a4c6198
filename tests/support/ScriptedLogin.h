#pragma once

#include "config/LoginCheck.h"

#include <QList>
#include <QPair>
#include <QString>

// Stands in for the Login dialog: each showing submits prepared (name,
// password) attempts in order until one ends the dialog; with no attempt left
// the dialog is cancelled. Counts how often it was shown.
class ScriptedLogin {
public:
    ScriptedLogin(const OperatorTable& table, CurrentOperator& current, UserInterface& ui)
        : m_table(table), m_current(current), m_ui(ui) {}

    void type(const QString& name, const QString& password) { m_attempts.append({name, password}); }

    bool show(bool anonymousMode) {
        ++shown;
        LoginCheck check(m_table, m_current, anonymousMode, m_ui);
        while (!m_attempts.isEmpty()) {
            const auto [name, password] = m_attempts.takeFirst();
            const LoginCheck::Result result = check.submit(name, password);
            if (result != LoginCheck::Result::Retry)
                return result == LoginCheck::Result::Accepted;
        }
        return false;
    }

    int shown = 0;

private:
    const OperatorTable& m_table;
    CurrentOperator& m_current;
    UserInterface& m_ui;
    QList<QPair<QString, QString>> m_attempts;
};
