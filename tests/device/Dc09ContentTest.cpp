#include "device/Dc09Content.h"
#include "device/SiaCodeTable.h"

#include <QFile>

#include <gtest/gtest.h>

namespace {

using Dc09Content::Event;
using Dc09Content::Fault;

Event cid(quint16 account, quint16 code, quint8 partition, quint16 zone) {
    Event e;
    e.account = account;
    e.code = code;
    e.partition = partition;
    e.zone = zone;
    return e;
}

Event sia(quint16 account, const char* siaCode, quint16 code, quint8 partition, quint16 zone, const char* text) {
    Event e = cid(account, code, partition, zone);
    e.siaCode = siaCode;
    e.text = QString::fromUtf8(text);
    e.known = code != SiaCodeTable::kUnknownCode;
    return e;
}

SiaCodeTable smallTable() {
    SiaCodeTable table;
    EXPECT_TRUE(table
                    .parse("BA 1 130 Roubo\r\nBR 3 130 Restauro: roubo\r\nOP 1 401 Desarme\nCL 3 401 Arme\n"
                           "FA 1 110 Incêndio\n")
                    .isEmpty());
    return table;
}

} // namespace

TEST(Dc09ContentTest, ContactIdBlocks) {
    const struct {
        const char* data;
        Fault fault;
        Event event;
    } cases[] = {
        {"#1234|1130 01 005", Fault::None, cid(0x1234, 1130, 1, 5)},
        {"#abc|3401 12 999", Fault::None, cid(0x0ABC, 3401, 12, 999)},
        {"#5678|6602 00 000", Fault::None, cid(0x5678, 6602, 0, 0)},
        {"#12345|1130 01 005", Fault::AccountTooLong, {}},
        {"#0000001234|1130 01 005", Fault::AccountTooLong, {}},
        {"#12|1130 01 005", Fault::Layout, {}},
        {"1234|1130 01 005", Fault::Layout, {}},
        {"#1234 1130 01 005", Fault::Layout, {}},
        {"#1234|2130 01 005", Fault::Layout, {}}, // no such qualifier
        {"#1234|1130 1 005", Fault::Layout, {}},
        {"#1234|1130 01 05", Fault::Layout, {}},
        {"#1234|1130 01 0050", Fault::Layout, {}},
        {"#1234|1130-01-005", Fault::Layout, {}},
        {"#1234|113A 01 005", Fault::Layout, {}},
        {"#1234|", Fault::Layout, {}},
        {"", Fault::Layout, {}},
    };
    for (const auto& c : cases) {
        const Dc09Content::Read read = Dc09Content::readAdmCid(c.data);
        EXPECT_EQ(read.fault, c.fault) << c.data;
        if (c.fault == Fault::None) {
            ASSERT_EQ(read.events.size(), 1) << c.data;
            EXPECT_EQ(read.events[0], c.event) << c.data;
        } else {
            EXPECT_TRUE(read.events.isEmpty()) << c.data;
        }
    }
}

TEST(Dc09ContentTest, SiaBlocksBecomeContactIdEventsThroughTheTable) {
    const SiaCodeTable table = smallTable();
    const struct {
        const char* data;
        Fault fault;
        QList<Event> events;
    } cases[] = {
        {"#1234|Nri1/BA005", Fault::None, {sia(0x1234, "BA", 1130, 1, 5, "Roubo")}},
        {"#1234|Nri1BA5", Fault::None, {sia(0x1234, "BA", 1130, 1, 5, "Roubo")}},
        {"#1234|NBA005", Fault::None, {sia(0x1234, "BA", 1130, 0, 5, "Roubo")}},
        {"#1234|NFA", Fault::None, {sia(0x1234, "FA", 1110, 0, 0, "Incêndio")}},
        {"#1234|Nri2/BA005/BR005/ri3/OP12",
         Fault::None,
         {sia(0x1234, "BA", 1130, 2, 5, "Roubo"), sia(0x1234, "BR", 3130, 2, 5, "Restauro: roubo"),
          sia(0x1234, "OP", 1401, 3, 12, "Desarme")}},
        {"#5678|Nti10:30/id7/CL7^Joana^/pi3BA9999",
         Fault::None,
         {sia(0x5678, "CL", 3401, 0, 7, "Arme"), sia(0x5678, "BA", 1130, 0, 9999, "Roubo")}},
        {"#1234|Nri1/ZZ005", Fault::None, {sia(0x1234, "ZZ", SiaCodeTable::kUnknownCode, 1, 5, "Unknown")}},
        {"#123456|NBA5", Fault::AccountTooLong, {}},
        {"#1234|N", Fault::Layout, {}},          // no code
        {"#1234|Nri1", Fault::Layout, {}},       // a partition and no code
        {"#1234|BA005", Fault::Layout, {}},      // no "N"
        {"#1234|Nri/BA5", Fault::Layout, {}},    // partition without digits
        {"#1234|Nri256/BA5", Fault::Layout, {}}, // beyond a partition
        {"#1234|NBA12345", Fault::Layout, {}},   // five-digit zone
        {"#1234|NB5", Fault::Layout, {}},        // one letter
        {"#1234|NBA5^open", Fault::Layout, {}},  // text without its end
        {"#1234|NBA5 BA6", Fault::Layout, {}},   // blank
        {"NBA5", Fault::Layout, {}},
    };
    for (const auto& c : cases) {
        const Dc09Content::Read read = Dc09Content::readSiaDcs(c.data, table);
        EXPECT_EQ(read.fault, c.fault) << c.data;
        EXPECT_EQ(read.events, c.events) << c.data;
    }
}

TEST(SiaCodeTableTest, LinesCommentsAndTheLinesItCannotRead) {
    SiaCodeTable table;
    const QByteArray content = "\xEF\xBB\xBF[Heading]\r\n"
                               "; comment\r\n"
                               "\r\n"
                               "BA 1 130 Roubo\r\n"
                               "BR\t3\t130\t  Restauro \r\n"
                               "Ba 1 130 lower case\r\n" // line 6
                               "BA 2 130 no such qualifier\r\n"
                               "BA 1 13 two digits\r\n"
                               "BA 1 1300 four digits\r\n"
                               "BAX 1 130 three letters\r\n" // line 10
                               "OP 1 401\n"
                               "BA 6 130 Roubo presente\n"
                               "   \n"
                               "FA 1 110 Inc\xEAndio"; // Windows-1252, no line end
    EXPECT_EQ(table.parse(content), (QList<int>{6, 7, 8, 9, 10}));
    EXPECT_EQ(table.size(), 4);
    const struct {
        const char* code;
        quint16 cid;
        const char* text;
    } found[] = {{"BA", 6130, "Roubo presente"}, {"BR", 3130, "Restauro"}, {"OP", 1401, ""}, {"FA", 1110, "Incêndio"}};
    for (const auto& f : found) {
        const SiaCodeTable::Entry* entry = table.find(f.code);
        ASSERT_NE(entry, nullptr) << f.code;
        EXPECT_EQ(entry->code, f.cid) << f.code;
        EXPECT_EQ(entry->text, QString::fromUtf8(f.text)) << f.code;
    }
    EXPECT_EQ(table.find("Ba"), nullptr);
    EXPECT_EQ(table.find("B"), nullptr);
    EXPECT_EQ(table.find("BAX"), nullptr);

    EXPECT_TRUE(table.parse("").isEmpty());
    EXPECT_EQ(table.size(), 0) << "a table read again starts empty";
}

TEST(SiaCodeTableTest, DemoFileMapsTheCommonCodesAndTheirRestores) {
    SiaCodeTable table;
    QList<int> badLines{99};
    ASSERT_TRUE(table.load(QStringLiteral(ATALAIA_SOURCE_DIR "/demo/Sia.lst"), badLines));
    EXPECT_TRUE(badLines.isEmpty()) << badLines.size();
    const struct {
        const char* what;
        const char* code;
        quint16 cid;
    } expected[] = {
        {"burglary", "BA", 1130},
        {"burglary restore", "BR", 3130},
        {"fire", "FA", 1110},
        {"fire restore", "FR", 3110},
        {"panic", "PA", 1120},
        {"panic restore", "PR", 3120},
        {"medical", "MA", 1100},
        {"medical restore", "MR", 3100},
        {"tamper", "TA", 1137},
        {"tamper restore", "TR", 3137},
        {"AC loss", "AT", 1301},
        {"AC restore", "AR", 3301},
        {"low battery", "YT", 1302},
        {"battery restore", "YR", 3302},
        {"opening by user", "OP", 1401},
        {"closing by user", "CL", 3401},
        {"bypass", "BB", 1570},
        {"unbypass", "BU", 3570},
        {"trouble", "BT", 1380},
        {"trouble restore", "BJ", 3380},
        {"periodic test", "RP", 1602},
        {"manual test", "RX", 1601},
    };
    for (const auto& e : expected) {
        const SiaCodeTable::Entry* entry = table.find(e.code);
        ASSERT_NE(entry, nullptr) << e.what;
        EXPECT_EQ(entry->code, e.cid) << e.what;
        EXPECT_FALSE(entry->text.isEmpty()) << e.what;
    }

    QFile file(QStringLiteral(ATALAIA_SOURCE_DIR "/demo/Sia.lst"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray content = file.readAll();
    EXPECT_EQ(content.count('\n'), content.count("\r\n")) << "written with CR LF";

    EXPECT_FALSE(table.load(QStringLiteral("/nonexistent/Sia.lst"), badLines));
    EXPECT_EQ(table.size(), 0);
}
