#include "events/ui/InternalEventsSection.h"

#include "common/StringTable.h"
#include "events/InternalEventEditor.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>

namespace {

using namespace InternalEventIds;

constexpr int kLeftColumnRows = 7; // rows 0..6 on the left, 7..9 and the inactive rows on the right

QLineEdit* makeEdit(int id, int maxLength, const QString& pattern, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(InternalEventsSection::objectNameFor(id));
    edit->setMaxLength(maxLength);
    edit->setValidator(new QRegularExpressionValidator(QRegularExpression(pattern), edit));
    edit->setMaximumWidth(60);
    return edit;
}

QLabel* makeLabel(int id, QWidget* parent) {
    auto* label = new QLabel(StringTable::text(id), parent);
    label->setObjectName(InternalEventsSection::objectNameFor(id));
    return label;
}

} // namespace

QString InternalEventsSection::objectNameFor(int id) {
    return QStringLiteral("internalEvents%1").arg(id);
}

InternalEventsSection::InternalEventsSection(InternalEventEditor& editor, QWidget* parent)
    : QGroupBox(StringTable::text(kGroup), parent), m_editor(editor) {
    setObjectName(objectNameFor(kGroup));
    const QString hex4 = QStringLiteral("[0-9A-Fa-f]{0,4}");
    m_fields[InternalEventEditor::Dc09Account] = makeEdit(kDc09Field, 4, hex4, this);
    m_fields[InternalEventEditor::CidAccount] = makeEdit(kCidField, 4, hex4, this);
    m_fields[InternalEventEditor::Partition] = makeEdit(kPartitionField, 2, QStringLiteral("[0-9]{0,2}"), this);
    m_fields[InternalEventEditor::Zone] = makeEdit(kZoneField, 3, QStringLiteral("[0-9]{0,3}"), this);

    auto* layout = new QVBoxLayout(this);
    auto* settings = new QHBoxLayout;
    const int settingLabels[] = {kLabelDc09, kLabelCid, kLabelPartition, kLabelZone};
    for (int i = 0; i < 4; ++i) {
        settings->addWidget(makeLabel(settingLabels[i], this));
        settings->addWidget(m_fields[static_cast<size_t>(i)]);
    }
    settings->addStretch();
    layout->addLayout(settings);

    auto* rows = new QGridLayout;
    for (int position = 0; position < InternalEvent::kRowCount; ++position) {
        const bool left = position < kLeftColumnRows;
        const int line = left ? position : position - kLeftColumnRows;
        const int column = left ? 0 : 4;
        QLineEdit* code = makeEdit(kFirstCodeField + position, 3, QStringLiteral("[0-9]{0,3}"), this);
        m_fields[static_cast<size_t>(InternalEventEditor::FirstCode + position)] = code;
        rows->addWidget(makeLabel(kFirstRowLabel + position, this), line, column);
        rows->addWidget(code, line, column + 1);
        if (position == InternalEvent::ManualTest) {
            m_send = new QPushButton(StringTable::text(kSend), this);
            m_send->setObjectName(objectNameFor(kSend));
            m_status = new QLabel(this);
            m_status->setObjectName(objectNameFor(kStatusText));
            rows->addWidget(m_send, line, column + 2);
            rows->addWidget(m_status, line, column + 3);
            continue;
        }
        auto* check = new QCheckBox(this);
        check->setObjectName(objectNameFor(kFirstRowCheck + position - 1));
        m_rowChecks[static_cast<size_t>(position)] = check;
        rows->addWidget(check, line, column + 2);
        connect(check, &QCheckBox::clicked, this, [this, position](bool on) { m_editor.setRowEnabled(position, on); });
    }
    const int rightRows = InternalEvent::kRowCount - kLeftColumnRows;
    for (int i = 0; i < kInactiveRowCount; ++i) {
        auto* inactive = new QLabel(StringTable::text(kInactiveRow), this);
        inactive->setEnabled(false);
        rows->addWidget(inactive, rightRows + i, 4);
    }
    layout->addLayout(rows);

    auto* bottom = new QHBoxLayout;
    m_edit = new QCheckBox(StringTable::text(kEdit), this);
    m_edit->setObjectName(objectNameFor(kEdit));
    m_save = new QPushButton(StringTable::text(kSave), this);
    m_save->setObjectName(objectNameFor(kSave));
    bottom->addWidget(m_edit);
    bottom->addWidget(makeLabel(kHint, this));
    bottom->addStretch();
    bottom->addWidget(m_save);
    layout->addLayout(bottom);

    for (int field = 0; field < InternalEventEditor::kFieldCount; ++field) {
        connect(m_fields[static_cast<size_t>(field)], &QLineEdit::textEdited, this,
                [this, field](const QString& text) { m_editor.setText(field, text); });
    }
    connect(m_edit, &QCheckBox::clicked, this, [this](bool on) { m_editor.setEditing(on); });
    connect(m_save, &QPushButton::clicked, this, [this] { m_editor.save(); });
    connect(m_send, &QPushButton::clicked, this, [this] { m_editor.sendManualTest(); });
    connect(&m_editor, &InternalEventEditor::changed, this, &InternalEventsSection::showState);
    connect(&m_editor, &InternalEventEditor::fieldRefused, this,
            [this](int field) { m_fields[static_cast<size_t>(field)]->setFocus(); });
    showState();
}

void InternalEventsSection::showState() {
    const bool editing = m_editor.editing();
    for (int field = 0; field < InternalEventEditor::kFieldCount; ++field) {
        QLineEdit* edit = m_fields[static_cast<size_t>(field)];
        if (edit->text() != m_editor.text(field))
            edit->setText(m_editor.text(field));
        edit->setEnabled(editing);
    }
    for (int position = 1; position < InternalEvent::kRowCount; ++position) {
        QCheckBox* check = m_rowChecks[static_cast<size_t>(position)];
        check->setChecked(m_editor.rowEnabled(position));
        check->setEnabled(editing);
    }
    m_edit->setChecked(editing);
    m_save->setEnabled(m_editor.saveEnabled());
    m_send->setEnabled(m_editor.sendEnabled());
    m_status->setText(m_editor.statusText());
}
