#pragma once

#include "clients/ui/ClientFormDialog.h"

class SetupDependentForm;

// The "Dependente setup" dialog over SetupDependentForm: account 1265, name
// 1192 and the primary account 1237. Without a primary given, the operator
// first names one and confirms it with "Confirmar" 1271; only then may the
// account and name be typed. "Salvar" and "Cancela".
class SetupDependent : public ClientFormDialog {
    Q_OBJECT
public:
    static constexpr int kConfirmButton = 1271;

    explicit SetupDependent(SetupDependentForm& form, QWidget* parent = nullptr);

private:
    void confirm();
    void showPrimary();
    FormOutcome save();

    SetupDependentForm& m_form;
    QLineEdit* m_account;
    QLineEdit* m_name;
    QLineEdit* m_primary;
    QPushButton* m_confirm;
};
