#include "device/ui/DialogDetails.h"

#include "common/StringTable.h"
#include "device/DeviceDetailsForm.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int kStrTitle = 800;
constexpr int kStrOk = 1;
constexpr int kStrClient = 1200;
constexpr int kStrAccount = 1203;
constexpr int kStrPassword = 1233;
constexpr int kStrModel = 832;
constexpr int kStrFirmware = 833;
constexpr int kStrMac = 834;
constexpr int kStrIp = 835;
constexpr int kStrPort = 836;
constexpr int kStrGprsIp = 848;
constexpr int kStrGprsPort = 849;
constexpr int kStrRssi = 850;
// Labels whose control number is also the number of their text.
constexpr int kLineSwitchCaption = 838;
constexpr int kMinutesLabel = 840;
constexpr int kOkButton = 1;
// The fields show a model name or a client's name whole.
constexpr int kFieldCharacters = 28;
constexpr int kSectionSpacing = 6;

QString controlName(const char* kind, int control) {
    return QLatin1String(kind) + QString::number(control);
}

// A check box that shows a state the operator cannot change.
QCheckBox* stateBox(const QString& text, const QString& name, QWidget* parent) {
    auto* box = new QCheckBox(text, parent);
    box->setObjectName(name);
    box->setAttribute(Qt::WA_TransparentForMouseEvents);
    box->setFocusPolicy(Qt::NoFocus);
    return box;
}

} // namespace

DialogDetails::DialogDetails(DeviceDetailsForm& form, QWidget* parent)
    : QDialog(parent), m_form(form), m_content(new QWidget(this)) {
    using namespace DetailsControl;
    setObjectName(QStringLiteral("dialogDetails"));
    setWindowTitle(StringTable::text(kStrTitle));

    auto* rows = new QFormLayout;
    rows->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    addRow(rows, Name, kStrClient);
    addRow(rows, Account, kStrAccount);
    QLineEdit* password = addRow(rows, Password, kStrPassword);
    QLineEdit* model = addRow(rows, Model, kStrModel);
    QLineEdit* firmware = addRow(rows, Firmware, kStrFirmware);
    addRow(rows, Mac, kStrMac);
    addRow(rows, Ip, kStrIp);
    addRow(rows, Port, kStrPort);
    QLineEdit* gprsIp = addRow(rows, GprsIp, kStrGprsIp);
    QLineEdit* gprsPort = addRow(rows, GprsPort, kStrGprsPort);
    QLineEdit* rssi = addRow(rows, Rssi, kStrRssi);
    for (QLineEdit* deviceRow : {password, model, firmware})
        rows->setRowVisible(deviceRow, form.deviceRowsVisible());
    rows->setRowVisible(gprsIp, form.cellularVisible());
    rows->setRowVisible(rssi, form.cellularVisible());
    rows->setRowVisible(gprsPort, false); // kept in the form, never shown

    auto* note = new QLabel(StringTable::text(NoAnswerNote), m_content);
    note->setObjectName(controlName("label", NoAnswerNote));
    note->setWordWrap(true);
    note->setVisible(form.noAnswerNoteVisible());

    QWidget* pgmSection = buildPgmSection();
    pgmSection->setVisible(form.pgmSectionVisible());
    QWidget* lineSwitch = buildLineSwitchSection();
    lineSwitch->setVisible(form.lineSwitchVisible());

    auto* ok = new QPushButton(StringTable::text(kStrOk), m_content);
    ok->setObjectName(controlName("button", kOkButton));
    ok->setDefault(true);
    ok->setFocus(); // rather than the first field, whose text would show selected
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);

    auto* contentLayout = new QVBoxLayout(m_content);
    contentLayout->setContentsMargins(0, 0, 0, 0);
    contentLayout->addLayout(rows);
    contentLayout->addWidget(note);
    // The sections are set apart from the rows and each other; a hidden one leaves no gap.
    for (QWidget* section : {pgmSection, lineSwitch}) {
        if (!section->isHidden())
            contentLayout->addSpacing(kSectionSpacing);
        contentLayout->addWidget(section);
    }
    contentLayout->addSpacing(kSectionSpacing);
    contentLayout->addLayout(buttons);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_content);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(&form, &DeviceDetailsForm::changed, this, &DialogDetails::showState);
    showState();
}

DialogDetails::~DialogDetails() {
    setWaitCursor(false);
}

QLineEdit* DialogDetails::addRow(QFormLayout* rows, int control, int labelString) {
    auto* label = new QLabel(StringTable::text(labelString), m_content);
    label->setObjectName(controlName("label", control));
    auto* field = new QLineEdit(m_form.text(control), m_content);
    field->setObjectName(controlName("edit", control));
    field->setReadOnly(true);
    field->setMinimumWidth(field->fontMetrics().averageCharWidth() * kFieldCharacters);
    field->setCursorPosition(0);
    rows->addRow(label, field);
    return field;
}

QWidget* DialogDetails::buildPgmSection() {
    using namespace DetailsControl;
    auto* section = new QWidget(m_content);
    auto* grid = new QGridLayout(section);
    grid->setContentsMargins(0, 0, 0, 0);
    for (int i = 0; i < int(m_inputs.size()); ++i) {
        m_inputs[size_t(i)] = stateBox(QStringLiteral("IN %1").arg(i + 1), controlName("check", In1 + i), section);
        grid->addWidget(m_inputs[size_t(i)], 0, i);
    }
    // Each output: its button with its state under it.
    for (int i = 0; i < int(m_pgmStates.size()); ++i) {
        auto* toggle = new QPushButton(QStringLiteral("PGM %1").arg(i + 1), section);
        toggle->setObjectName(controlName("button", FirstPgmButton + i));
        toggle->setAutoDefault(false);
        connect(toggle, &QPushButton::clicked, this, [this, i] { m_form.togglePgm(i); });
        grid->addWidget(toggle, 1, i);
        m_pgmStates[size_t(i)] = stateBox(QString(), controlName("check", FirstPgmState + i), section);
        grid->addWidget(m_pgmStates[size_t(i)], 2, i, Qt::AlignHCenter);
    }
    return section;
}

QWidget* DialogDetails::buildLineSwitchSection() {
    using namespace DetailsControl;
    auto* section = new QWidget(m_content);
    auto* caption = new QLabel(StringTable::text(kLineSwitchCaption), section);
    caption->setObjectName(controlName("label", kLineSwitchCaption));
    auto* to = new QLabel(StringTable::text(kMinutesLabel), section);
    to->setObjectName(controlName("label", kMinutesLabel));
    m_minutes = new QComboBox(section);
    m_minutes->setObjectName(controlName("combo", Minutes));
    m_minutes->addItems(DeviceDetailsForm::minuteChoices());
    m_minutes->setCurrentIndex(0);
    auto* apply = new QPushButton(QStringLiteral("Alternar"), section);
    apply->setObjectName(controlName("button", LineSwitch));
    apply->setAutoDefault(false);
    connect(apply, &QPushButton::clicked, this, [this] { m_form.switchLine(m_minutes->currentText()); });

    auto* choice = new QHBoxLayout;
    choice->addWidget(to);
    choice->addWidget(m_minutes);
    choice->addWidget(apply);
    choice->addStretch(1);
    auto* layout = new QVBoxLayout(section);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(caption);
    layout->addLayout(choice);
    return section;
}

void DialogDetails::showState() {
    for (int i = 0; i < int(m_inputs.size()); ++i)
        m_inputs[size_t(i)]->setChecked(m_form.input(i));
    for (int i = 0; i < int(m_pgmStates.size()); ++i)
        m_pgmStates[size_t(i)]->setChecked(m_form.pgm(i));
    m_content->setEnabled(!m_form.busy());
    setWaitCursor(m_form.busy());
}

void DialogDetails::setWaitCursor(bool on) {
    if (on == m_waitCursor)
        return;
    m_waitCursor = on;
    if (on)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

void DialogDetails::reject() {
    // Esc and the close box wait for a running command as the buttons do.
    if (!m_form.busy())
        QDialog::reject();
}
