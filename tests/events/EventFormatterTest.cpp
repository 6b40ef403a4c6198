#include "events/EventFormatter.h"
#include "events/AlarmTextTable.h"
#include "events/EventRaiser.h"
#include "events/InternalEventTable.h"

#include <gtest/gtest.h>

namespace {

struct FormatterFixture {
    FormatterFixture() {
        alarms.newText[130] = QStringLiteral("Disparo de alarme de roubo");
        alarms.restoreText[130] = QStringLiteral("Restauro de alarme de roubo");
        internal.row(4).code = 570;
        internal.row(4).eventText = QStringLiteral("Serial ON");
        internal.row(4).restoreText = QStringLiteral("Serial OFF");
    }

    EventLine format(quint16 code, quint16 account = 0x0123, quint8 partition = 1, quint16 zone = 5,
                     int protocol = EventProtocol::TaviCom,
                     std::optional<QString> panel = QStringLiteral("Korvo 12IP")) const {
        EventRecord event;
        event.code = code;
        event.account = account;
        event.partition = partition;
        event.zone = zone;
        event.protocol = protocol;
        event.panel = std::move(panel);
        event.name = QStringLiteral("Loja");
        event.result = ReportResult::Sent;
        return EventFormatter(alarms, internal).format(event, QStringLiteral("08/12/2026 14:05:09"));
    }

    AlarmTextTable alarms;
    InternalEventTable internal;
};

} // namespace

TEST(EventFormatterTest, ContactIdCodesSplitIntoQualifierNumberAndTexts) {
    FormatterFixture f;
    const EventLine newEvent = f.format(1130);
    EXPECT_EQ(newEvent.qualifier, "E");
    EXPECT_EQ(newEvent.code, "130");
    EXPECT_EQ(newEvent.partition, "01");
    EXPECT_EQ(newEvent.zone, "005");
    EXPECT_EQ(newEvent.account, "0123");
    EXPECT_EQ(newEvent.text, "Disparo de alarme de roubo");
    EXPECT_EQ(newEvent.protocol, "TaviCom");
    EXPECT_EQ(newEvent.panel, "Korvo 12IP");

    const EventLine restore = f.format(3130);
    EXPECT_EQ(restore.qualifier, "R");
    EXPECT_EQ(restore.text, "Restauro de alarme de roubo");

    // Only R selects the restore text.
    const EventLine present = f.format(6130);
    EXPECT_EQ(present.qualifier, "P");
    EXPECT_EQ(present.code, "130");
    EXPECT_EQ(present.text, "Disparo de alarme de roubo");

    // No text in the table.
    EXPECT_EQ(f.format(1131).text, "Unknown");
    // Unqualified Contact ID code.
    const EventLine bare = f.format(130);
    EXPECT_EQ(bare.qualifier, " ");
    EXPECT_EQ(bare.code, "130");
}

TEST(EventFormatterTest, OtherNumbersAreInternalPositions) {
    FormatterFixture f;
    const EventLine row4 = f.format(1004);
    EXPECT_EQ(row4.text, "Serial ON");
    EXPECT_EQ(row4.code, "570");
    EXPECT_EQ(row4.partition, "---");
    EXPECT_EQ(row4.zone, "---");
    EXPECT_EQ(f.format(3004).text, "Serial OFF");

    const EventLine outside = f.format(1015);
    EXPECT_EQ(outside.text, "Unknown");
    EXPECT_EQ(outside.code, "  0");
    EXPECT_EQ(outside.partition, "---");
    EXPECT_EQ(outside.zone, "---");

    // Unqualified 12: blank qualifier, the code number of the (empty) position... 12 is no position.
    const EventLine twelve = f.format(12);
    EXPECT_EQ(twelve.qualifier, " ");
    EXPECT_EQ(twelve.code, "  0");
    // Above the Contact ID range as well.
    EXPECT_EQ(f.format(2500).text, "Unknown");
}

TEST(EventFormatterTest, AccountPanelAndProtocolPlaceholders) {
    FormatterFixture f;
    EXPECT_EQ(f.format(1004, 0).account, "---") << "internal event without a client";
    EXPECT_EQ(f.format(1004, 0xBEEF).account, "BEEF");
    EXPECT_EQ(f.format(1130, 0).account, "0000") << "a Contact ID event always shows its account";

    EXPECT_EQ(f.format(1130, 1, 1, 5, EventProtocol::TaviCom, std::nullopt).panel, "---");
    EXPECT_EQ(f.format(1130, 1, 1, 5, EventProtocol::TaviCom, QString()).panel, "---");
    EXPECT_EQ(f.format(1130, 1, 1, 5, 0).protocol, "---");
    EXPECT_EQ(f.format(1130, 1, 1, 5, 7).protocol, "---");
    EXPECT_EQ(f.format(1130, 1, 1, 5, EventProtocol::Dc09).protocol, "DC-09");
    EXPECT_EQ(f.format(1130, 1, 1, 5, EventProtocol::Multicom).protocol, "Multicom");
}

TEST(EventFormatterTest, OutOfRangeValuesAndOddTextsKeepTheElevenFields) {
    FormatterFixture f;
    EventLine line = f.format(1130, 0x0123, 150, 1234);
    EXPECT_EQ(line.partition, "150");
    EXPECT_EQ(line.zone, "1234");
    line.name = QStringLiteral("Tab\there\nand line");
    line.panel = QStringLiteral("Painel\r\n");
    const QByteArray bytes = line.toLogLine();
    EXPECT_TRUE(bytes.endsWith('\n'));
    EXPECT_EQ(bytes.count('\n'), 1);
    EXPECT_EQ(bytes.count('\t'), 10);
    EXPECT_TRUE(bytes.startsWith("0\t08/12/2026 14:05:09\tTab here and line\t0123\t"));
    EXPECT_TRUE(bytes.endsWith("\tTaviCom\tPainel  \n")) << bytes.constData();
}
