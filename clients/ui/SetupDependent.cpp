#include "clients/ui/SetupDependent.h"

#include "clients/ClientForms.h"
#include "clients/ClientRecord.h"
#include "common/StringTable.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>

namespace {
constexpr int kTitle = 191;
constexpr int kStrAccount = 1203;
constexpr int kStrName = 122;
constexpr int kStrPrimaryAccount = 1238;
constexpr int kAccountLength = 4;
} // namespace

SetupDependent::SetupDependent(SetupDependentForm& form, QWidget* parent)
    : ClientFormDialog(kTitle, parent), m_form(form) {
    setObjectName(QStringLiteral("setupDependent"));
    const SetupDependentForm::Fields fields = form.fields();

    auto* primaryRow = new QWidget(this);
    auto* primary = new QHBoxLayout(primaryRow);
    primary->setContentsMargins(0, 0, 0, 0);
    m_primary = new QLineEdit(fields.primaryAccount, primaryRow);
    m_primary->setObjectName(QStringLiteral("edit%1").arg(ClientField::PrimaryAccount));
    m_primary->setMaxLength(kAccountLength);
    m_primary->setFixedWidth(shortFieldWidth(m_primary, kAccountLength));
    m_confirm = new QPushButton(StringTable::text(kConfirmButton), primaryRow);
    m_confirm->setObjectName(QStringLiteral("button%1").arg(kConfirmButton));
    m_confirm->setAutoDefault(false);
    primary->addWidget(m_primary);
    primary->addWidget(m_confirm);
    primary->addStretch(1);
    addRow(kStrPrimaryAccount, primaryRow);
    addField(ClientField::PrimaryAccount, m_primary);
    connect(m_confirm, &QPushButton::clicked, this, &SetupDependent::confirm);

    m_account = addEdit(ClientField::SetupAccount, kStrAccount, kAccountLength);
    m_account->setText(fields.account);
    m_name = addEdit(ClientField::Name, kStrName);
    m_name->setText(fields.name);

    addSaveButton([this] { return save(); });
    addCancelButton();
    showPrimary();
    (form.primaryFixed() ? m_account : m_primary)->setFocus();
}

// Until a primary is fixed only its account may be typed; once fixed, only the dependent's fields.
void SetupDependent::showPrimary() {
    const bool fixed = m_form.primaryFixed();
    m_primary->setEnabled(!fixed);
    m_confirm->setVisible(!fixed);
    m_account->setEnabled(fixed);
    m_name->setEnabled(fixed);
}

void SetupDependent::confirm() {
    if (!m_form.confirm(m_primary->text()))
        return;
    m_primary->setText(m_form.fields().primaryAccount);
    showPrimary();
    m_account->setFocus();
}

FormOutcome SetupDependent::save() {
    SetupDependentForm::Fields fields;
    fields.account = m_account->text();
    fields.name = m_name->text();
    fields.primaryAccount = m_primary->text();
    return m_form.save(fields);
}
