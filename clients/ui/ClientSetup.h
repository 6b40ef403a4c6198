#pragma once

#include "clients/ui/ClientFormDialog.h"

class ClientSetupForm;

// The "Cliente setup" dialog over ClientSetupForm: account 1265, name 1192,
// panel 1030 and, while Multicom is enabled, "Multicomm" 410, whose tick
// shows the MAC 1275 (its last three octets). "Salvar" and "Cancela".
class ClientSetup : public ClientFormDialog {
    Q_OBJECT
public:
    explicit ClientSetup(ClientSetupForm& form, QWidget* parent = nullptr);

private:
    void setMulticom(bool on);
    FormOutcome save();

    ClientSetupForm& m_form;
    QLineEdit* m_account;
    QLineEdit* m_name;
    QComboBox* m_panel;
    QCheckBox* m_multicom;
    QWidget* m_macRow;
    QLineEdit* m_mac;
};
