#pragma once

#include <QString>

class OperatorTable;
class UserInterface;
struct CurrentOperator;

// The rules of the Login dialog's OK button, without the dialog: who may come
// in with a name and a password, the failure count and its messages. One
// object per opening of the dialog, so the count starts at 0 each time.
class LoginCheck {
public:
    enum class Result {
        Accepted,  // the operator is now current: the dialog ends with OK
        Retry,     // "Operador ou senha incorretos. Digite novamente": the dialog stays
        Exceeded,  // the sixth failure, "Tentativas excedidas": the dialog ends with Cancel
        Cancelled, // empty or anonymous name outside anonymous mode: Cancel, no message
    };

    static constexpr int kMaxFailures = 6;
    static constexpr int kMaxNameLength = 16;
    static constexpr const char* kWrongText = "Operador ou senha incorretos. Digite novamente";
    static constexpr const char* kExceededText = "Tentativas excedidas";

    LoginCheck(const OperatorTable& table, CurrentOperator& current, bool anonymousMode, UserInterface& ui);

    Result submit(const QString& name, const QString& password);
    int failures() const { return m_failures; }

private:
    Result fail();

    const OperatorTable& m_table;
    CurrentOperator& m_current;
    bool m_anonymousMode;
    UserInterface& m_ui;
    int m_failures = 0;
};
