#include "clients/ui/ClientSetup.h"

#include "clients/ClientForms.h"
#include "clients/ClientRecord.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>

namespace {
constexpr int kTitle = 127;
constexpr int kStrAccount = 1203;
constexpr int kStrName = 122;
constexpr int kStrMulticom = 410;
constexpr int kStrMac = 1274;
constexpr int kStrMacHint = 1276;
constexpr int kAccountLength = 4;
constexpr int kMacLength = 6;
} // namespace

ClientSetup::ClientSetup(ClientSetupForm& form, QWidget* parent) : ClientFormDialog(kTitle, parent), m_form(form) {
    setObjectName(QStringLiteral("clientSetup"));
    const ClientSetupForm::Fields fields = form.fields();
    m_account = addEdit(ClientField::SetupAccount, kStrAccount, kAccountLength);
    m_account->setText(fields.account);
    m_name = addEdit(ClientField::Name, kStrName);
    m_name->setText(fields.name);
    m_panel = addPanelBox(fields.panel);

    m_multicom = addCheck(ClientField::Multicom, kStrMulticom);
    m_multicom->setChecked(fields.multicom);
    setRowVisible(m_multicom, form.multicomVisible());

    m_macRow = new QWidget(this);
    auto* mac = new QHBoxLayout(m_macRow);
    mac->setContentsMargins(0, 0, 0, 0);
    m_mac = new QLineEdit(fields.mac, m_macRow);
    m_mac->setObjectName(QStringLiteral("edit%1").arg(ClientField::Mac));
    m_mac->setMaxLength(kMacLength);
    m_mac->setFixedWidth(shortFieldWidth(m_mac, kMacLength));
    mac->addWidget(m_mac);
    mac->addWidget(label(kStrMacHint, m_macRow));
    mac->addStretch(1);
    addRow(kStrMac, m_macRow);
    addField(ClientField::Mac, m_mac);
    setRowVisible(m_macRow, form.multicomVisible() && fields.multicom);
    connect(m_multicom, &QCheckBox::toggled, this, &ClientSetup::setMulticom);

    addSaveButton([this] { return save(); });
    addCancelButton();
}

void ClientSetup::setMulticom(bool on) {
    m_form.setMulticom(on);
    m_mac->setText(m_form.fields().mac);
    setRowVisible(m_macRow, on);
}

FormOutcome ClientSetup::save() {
    ClientSetupForm::Fields fields;
    fields.account = m_account->text();
    fields.name = m_name->text();
    fields.panel = m_panel->currentText();
    fields.multicom = m_multicom->isChecked();
    fields.mac = m_mac->text();
    return m_form.save(fields);
}
