#include "clients/ui/ClientData.h"

#include "clients/ClientForms.h"
#include "clients/ClientRecord.h"
#include "common/StringTable.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

namespace {
constexpr int kTitle = 128;
constexpr int kStrAccount = 1203;
constexpr int kStrName = 122;
constexpr int kStrDependent = 1236;
constexpr int kStrPrimaryAccount = 1238;
constexpr int kAccountLength = 4;
} // namespace

ClientData::ClientData(ClientDataForm& form, QWidget* parent) : ClientFormDialog(kTitle, parent), m_form(form) {
    setObjectName(QStringLiteral("clientData"));
    const ClientDataForm::Fields fields = form.fields();
    m_account = addEdit(ClientField::Account, kStrAccount, kAccountLength);
    m_account->setText(fields.account);
    m_name = addEdit(ClientField::Name, kStrName);
    m_name->setText(fields.name);
    m_panel = addPanelBox(fields.panel);
    m_primary = addEdit(ClientField::PrimaryAccount, kStrPrimaryAccount, kAccountLength);
    m_primary->setText(fields.primaryAccount);
    m_dependent = addCheck(ClientField::Dependent, kStrDependent);
    m_dependent->setChecked(fields.dependent);
    connect(m_dependent, &QCheckBox::toggled, this, &ClientData::showDependent);
    showDependent(fields.dependent);

    QPushButton* save = addSaveButton([this] { return this->save(); });
    save->setVisible(form.saveVisible());
    QPushButton* button3 = addButton(kButton3, form.button3Text());
    button3->setVisible(form.button3Visible());
    button3->setEnabled(form.button3Enabled());
    connect(button3, &QPushButton::clicked, this, [this] { done(ClientDialogResult::BlockOrRemove); });
    addCancelButton();
}

// A dependent names its primary account; a primary has a panel.
void ClientData::showDependent(bool dependent) {
    setRowVisible(m_panel, !dependent);
    setRowVisible(m_primary, dependent);
}

FormOutcome ClientData::save() {
    ClientDataForm::Fields fields;
    fields.account = m_account->text();
    fields.name = m_name->text();
    fields.panel = m_panel->currentText();
    fields.dependent = m_dependent->isChecked();
    fields.primaryAccount = m_primary->text();
    return m_form.save(fields);
}
