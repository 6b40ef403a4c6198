#pragma once

#include "config/LoginCheck.h"

#include <QDialog>

class QLineEdit;

// The Login dialog (175), without a title bar: a picture, "Operador:" with the
// name field 1039 (preset with the logged-in operator's name, at most 16
// characters), "Senha:" with the masked password field 1043, "OK" and
// "Cancela". OK follows LoginCheck: accepted ends with OK, a wrong name or
// password keeps the dialog open, the sixth failure ends it with Cancel.
class Login : public QDialog {
    Q_OBJECT
public:
    static constexpr int kNameField = 1039;
    static constexpr int kPasswordField = 1043;

    Login(const OperatorTable& table, CurrentOperator& current, bool anonymousMode, UserInterface& ui,
          QWidget* parent = nullptr);

private:
    void submit();

    LoginCheck m_check;
    QLineEdit* m_name;
    QLineEdit* m_password;
};
