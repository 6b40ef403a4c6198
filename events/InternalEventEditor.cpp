#include "events/InternalEventEditor.h"

#include "common/HexText.h"
#include "common/UserInterface.h"
#include "events/InternalEventForwarder.h"
#include "events/LocalEventsFile.h"

#include <QPointer>

namespace {

constexpr quint32 kAccountMax = 0xFFFF;
constexpr quint32 kCodeMax = 65535;
constexpr quint32 kZoneMax = 65535;
constexpr quint32 kPartitionMax = 255;

bool allDigits(const QString& text, int base) {
    if (text.isEmpty())
        return false;
    for (QChar c : text) {
        const bool digit = base == 16
                               ? (c.isDigit() || (c.toUpper() >= QLatin1Char('A') && c.toUpper() <= QLatin1Char('F')))
                               : (c >= QLatin1Char('0') && c <= QLatin1Char('9'));
        if (!digit || c.unicode() > 0x7F)
            return false;
    }
    return true;
}

} // namespace

InternalEventEditor::InternalEventEditor(InternalEventTable& table, const DataDirectory& dir,
                                         InternalEventForwarder& forwarder, UserInterface& ui, QObject* parent)
    : QObject(parent), m_table(table), m_dir(dir), m_forwarder(forwarder), m_ui(ui) {
    refresh();
}

void InternalEventEditor::refresh() {
    const InternalEventSettings& s = m_table.settings;
    m_texts[Dc09Account] = HexText::hex4(s.dc09Account);
    m_texts[CidAccount] = HexText::hex4(s.cidAccount);
    m_texts[Partition] = QString::number(s.partition);
    m_texts[Zone] = QString::number(s.zone);
    for (int position = 0; position < InternalEvent::kRowCount; ++position)
        m_texts[FirstCode + position] = QString::number(m_table.row(position).code);
    emit changed();
}

void InternalEventEditor::setText(int field, const QString& text) {
    if (field < 0 || field >= kFieldCount)
        return;
    m_texts[static_cast<size_t>(field)] = text;
    if (field != FirstCode + InternalEvent::ManualTest)
        m_saveEnabled = true;
    emit changed();
}

void InternalEventEditor::setEditing(bool on) {
    takeFields();
    m_editing = on;
    emit changed();
}

void InternalEventEditor::setRowEnabled(int position, bool on) {
    if (position <= InternalEvent::ManualTest || position >= InternalEvent::kRowCount)
        return; // row 0 has no check box
    m_table.row(position).enabled = on;
    m_saveEnabled = true;
    emit changed();
}

void InternalEventEditor::setAppliedReportMode(ReportMode mode) {
    m_mode = mode;
    emit changed();
}

bool InternalEventEditor::takeField(int field) {
    const bool hex = field == Dc09Account || field == CidAccount;
    const quint32 max = hex ? kAccountMax : field == Partition ? kPartitionMax : field == Zone ? kZoneMax : kCodeMax;
    const QString text = m_texts[static_cast<size_t>(field)].trimmed();
    bool ok = allDigits(text, hex ? 16 : 10);
    const qulonglong value = ok ? text.toULongLong(&ok, hex ? 16 : 10) : 0;
    if (!ok && !hex) {
        m_ui.showMessage(QString::fromLatin1(kMsgNotNumber), UserInterface::Icon::Exclamation);
        return false;
    }
    if (!ok || value > max) {
        const QString high = hex ? HexText::hex4(static_cast<quint16>(max)) : QString::number(max);
        const QString low = hex ? QStringLiteral("0000") : QStringLiteral("0");
        m_ui.showMessage(QString::fromLatin1(kMsgOutOfRange).arg(low, high), UserInterface::Icon::Exclamation);
        return false;
    }
    InternalEventSettings& s = m_table.settings;
    switch (field) {
    case Dc09Account:
        s.dc09Account = static_cast<quint16>(value);
        break;
    case CidAccount:
        s.cidAccount = static_cast<quint16>(value);
        break;
    case Partition:
        s.partition = static_cast<quint8>(value);
        break;
    case Zone:
        s.zone = static_cast<quint16>(value);
        break;
    default:
        m_table.row(field - FirstCode).code = static_cast<quint16>(value);
        break;
    }
    return true;
}

int InternalEventEditor::takeFields() {
    for (int field = 0; field < kFieldCount; ++field) {
        if (!takeField(field)) {
            emit fieldRefused(field);
            return field;
        }
    }
    return -1;
}

void InternalEventEditor::save() {
    if (m_pageExchange)
        m_pageExchange();
    else
        takeFields();
    LocalEventsFile::SaveInternalEvents(m_dir, m_table);
    m_saveEnabled = false;
    emit changed();
}

void InternalEventEditor::sendManualTest() {
    if (!sendEnabled())
        return;
    takeFields();
    QPointer<InternalEventEditor> self(this);
    m_forwarder.SendManualTest([self](ReportResult result) {
        if (!self)
            return;
        self->m_statusText = resultText(result);
        emit self->changed();
    });
}

QString InternalEventEditor::resultText(ReportResult result) {
    switch (result) {
    case ReportResult::Sent:
        return QString::fromLatin1(kSentText);
    case ReportResult::Failed:
        return QString::fromLatin1(kFailedText);
    case ReportResult::NotSent:
        break;
    }
    return QString::fromLatin1(kNotSentText);
}
