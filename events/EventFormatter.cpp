#include "events/EventFormatter.h"

#include "common/HexText.h"
#include "events/AlarmTextTable.h"
#include "events/EventCode.h"
#include "events/EventRaiser.h"
#include "events/InternalEventTable.h"

namespace {

const QString kNone = QStringLiteral("---");
const QString kUnknown = QStringLiteral("Unknown");

} // namespace

EventFormatter::EventFormatter(const AlarmTextTable& alarmTexts, const InternalEventTable& internalEvents)
    : m_alarmTexts(alarmTexts), m_internalEvents(internalEvents) {}

QString EventFormatter::protocolName(int protocol) {
    switch (protocol) {
    case EventProtocol::TaviCom:
        return QStringLiteral("TaviCom");
    case EventProtocol::Dc09:
        return QStringLiteral("DC-09");
    case EventProtocol::Multicom:
        return QStringLiteral("Multicom");
    default:
        return kNone;
    }
}

EventLine EventFormatter::format(const EventRecord& event, const QString& timeText) const {
    EventLine line;
    line.result = static_cast<int>(event.result);
    line.time = timeText;
    line.name = event.name;

    const EventCode::Parts parts = EventCode::split(event.code);
    int number = parts.number;
    QString text;
    if (EventCode::isContactIdCode(number)) {
        text = m_alarmTexts.text(number, parts.restore);
        // Values beyond the data model (partition above 99, zone above 999)
        // are shown in full; they never break the line format.
        line.partition = QStringLiteral("%1").arg(event.partition, 2, 10, QLatin1Char('0'));
        line.zone = QStringLiteral("%1").arg(event.zone, 3, 10, QLatin1Char('0'));
        line.account = HexText::hex4(event.account);
    } else {
        if (number >= 0 && number < InternalEvent::kRowCount) {
            const InternalEventRow& row = m_internalEvents.row(number);
            text = parts.restore ? row.restoreText : row.eventText;
            number = row.code;
        } else {
            number = 0;
        }
        line.partition = kNone;
        line.zone = kNone;
        line.account = event.account != 0 ? HexText::hex4(event.account) : kNone;
    }
    line.text = text.isEmpty() ? kUnknown : text;
    line.qualifier = QString(parts.qualifier);
    line.code = QStringLiteral("%1").arg(number, 3);
    line.protocol = protocolName(event.protocol);
    line.panel = (event.panel && !event.panel->isEmpty()) ? *event.panel : kNone;
    return line;
}
