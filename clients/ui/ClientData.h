#pragma once

#include "clients/ui/ClientFormDialog.h"

class ClientDataForm;

// The "Informação sobre cliente" dialog over ClientDataForm: account 1178,
// name 1192, and either the panel 1030 or, with "Dependente" 1236 ticked, the
// primary account 1237; "Salvar", button 3 ("Bloquear" or "Remover") and
// "Cancela". It ends with a ClientDialogResult.
class ClientData : public ClientFormDialog {
    Q_OBJECT
public:
    static constexpr int kButton3 = 3;

    explicit ClientData(ClientDataForm& form, QWidget* parent = nullptr);

private:
    void showDependent(bool dependent);
    FormOutcome save();

    ClientDataForm& m_form;
    QLineEdit* m_account;
    QLineEdit* m_name;
    QComboBox* m_panel;
    QCheckBox* m_dependent;
    QLineEdit* m_primary;
};
