#include "clients/ui/ClientFormDialog.h"

#include "clients/ClientForms.h"
#include "clients/ClientRecord.h"
#include "common/StringTable.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <array>

namespace {

constexpr int kStrSave = 124;
constexpr int kStrCancel = 2;
constexpr int kFreeTextCharacters = 40;
// The panel models the receiver knows; any other text may be typed.
constexpr std::array<const char*, 2> kPanelModels = {"Korvo 12IP", "Korvo 16IP"};

QString controlName(const char* kind, int control) {
    return QLatin1String(kind) + QString::number(control);
}

} // namespace

int ClientFormDialog::shortFieldWidth(const QWidget* field, int characters) {
    constexpr int kFrameAndMargins = 16;
    return field->fontMetrics().horizontalAdvance(QString(characters, QLatin1Char('M'))) + kFrameAndMargins;
}

ClientFormDialog::ClientFormDialog(int titleString, QWidget* parent)
    : QDialog(parent), m_fields(new QFormLayout), m_buttons(new QHBoxLayout) {
    setWindowTitle(StringTable::text(titleString));
    auto* layout = new QVBoxLayout(this);
    m_fields->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    layout->addLayout(m_fields);
    layout->addSpacing(6);
    m_buttons->addStretch(1);
    layout->addLayout(m_buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void ClientFormDialog::reject() {
    done(ClientDialogResult::Cancelled);
}

QLabel* ClientFormDialog::label(int textString, QWidget* parent) {
    auto* text = new QLabel(StringTable::text(textString), parent);
    text->setObjectName(controlName("label", textString));
    return text;
}

void ClientFormDialog::addField(int control, QWidget* field) {
    m_byControl.insert(control, field);
}

void ClientFormDialog::addRow(int labelString, QWidget* widget) {
    m_fields->addRow(label(labelString, this), widget);
}

QLineEdit* ClientFormDialog::addEdit(int control, int labelString, int maxLength) {
    auto* edit = new QLineEdit(this);
    edit->setObjectName(controlName("edit", control));
    if (maxLength > 0) {
        edit->setMaxLength(maxLength);
        edit->setMaximumWidth(shortFieldWidth(edit, maxLength));
    } else {
        // A free text (a name) shows some forty characters whole.
        edit->setMinimumWidth(edit->fontMetrics().averageCharWidth() * kFreeTextCharacters);
    }
    addRow(labelString, edit);
    addField(control, edit);
    return edit;
}

QComboBox* ClientFormDialog::addPanelBox(const QString& panel) {
    constexpr int kStrPanel = 123;
    auto* box = new QComboBox(this);
    box->setObjectName(controlName("combo", ClientField::Panel));
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::InsertAlphabetically);
    for (const char* model : kPanelModels)
        box->addItem(QString::fromLatin1(model));
    box->model()->sort(0);
    box->setCurrentText(panel);
    addRow(kStrPanel, box);
    addField(ClientField::Panel, box);
    return box;
}

QCheckBox* ClientFormDialog::addCheck(int control, int textString) {
    auto* check = new QCheckBox(StringTable::text(textString), this);
    check->setObjectName(controlName("check", control));
    m_fields->addRow(QString(), check);
    addField(control, check);
    return check;
}

void ClientFormDialog::setRowVisible(QWidget* field, bool visible) {
    m_fields->setRowVisible(field, visible);
}

QPushButton* ClientFormDialog::addButton(int control, int textString) {
    auto* button = new QPushButton(StringTable::text(textString), this);
    button->setObjectName(controlName("button", control));
    m_buttons->addWidget(button);
    return button;
}

QPushButton* ClientFormDialog::addSaveButton(std::function<FormOutcome()> save) {
    QPushButton* button = addButton(kSaveButton, kStrSave);
    button->setDefault(true);
    connect(button, &QPushButton::clicked, this, [this, save = std::move(save)] { conclude(save()); });
    return button;
}

QPushButton* ClientFormDialog::addCancelButton() {
    QPushButton* button = addButton(kCancelButton, kStrCancel);
    connect(button, &QPushButton::clicked, this, &ClientFormDialog::reject);
    return button;
}

void ClientFormDialog::conclude(const FormOutcome& outcome) {
    if (outcome.result != ClientDialogResult::StayOpen) {
        done(outcome.result);
        return;
    }
    if (QWidget* field = m_byControl.value(outcome.focusField)) {
        field->setFocus();
        if (auto* edit = qobject_cast<QLineEdit*>(field))
            edit->selectAll();
    }
}
