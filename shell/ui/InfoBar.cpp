#include "shell/ui/InfoBar.h"

#include "common/StringTable.h"
#include "common/UserInterface.h"

#include <QHBoxLayout>

namespace {
constexpr int kStrReportBy = 420;
constexpr int kStrStatus = 421;
constexpr int kStrOperator = 422;
} // namespace

CInfoBar::CInfoBar(QWidget* parent) : QWidget(parent) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(6, 2, 6, 2);
    addField(StatusField::Internet, QStringLiteral("Internet:"));
    addField(StatusField::ReportMode, StringTable::text(kStrReportBy));
    addField(StatusField::ReportStatus, StringTable::text(kStrStatus));
    addField(StatusField::Operator, StringTable::text(kStrOperator));
    layout->addStretch(1);
    auto* notice = new QLabel(this);
    notice->setObjectName(QStringLiteral("field%1").arg(StatusField::Notice));
    layout->addWidget(notice);
    m_fields.insert(StatusField::Notice, notice);
    setField(StatusField::ReportMode, QStringLiteral("Desligado"));
    setReportStatusVisible(false);
}

QLabel* CInfoBar::addField(int field, const QString& label) {
    auto* caption = new QLabel(label, this);
    auto* value = new QLabel(this);
    value->setObjectName(QStringLiteral("field%1").arg(field));
    value->setMinimumWidth(110);
    value->setAutoFillBackground(true);
    value->setFrameShape(QFrame::Panel);
    value->setFrameShadow(QFrame::Sunken);
    value->setStyleSheet(QStringLiteral("QLabel { background: white; color: black; padding: 1px 4px; }"));
    layout()->addWidget(caption);
    layout()->addWidget(value);
    m_fields.insert(field, value);
    if (field == StatusField::ReportStatus)
        m_statusLabel = caption;
    return value;
}

void CInfoBar::setField(int field, const QString& text) {
    if (QLabel* label = m_fields.value(field))
        label->setText(text);
    // The report sender clears "Status:" while reporting is off: the field is then hidden.
    if (field == StatusField::ReportStatus)
        setReportStatusVisible(!text.isEmpty());
}

QString CInfoBar::field(int field) const {
    const QLabel* label = m_fields.value(field);
    return label ? label->text() : QString();
}

void CInfoBar::setReportStatusVisible(bool visible) {
    m_statusLabel->setVisible(visible);
    m_fields.value(StatusField::ReportStatus)->setVisible(visible);
}
