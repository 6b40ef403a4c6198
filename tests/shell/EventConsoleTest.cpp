#include "shell/EventConsole.h"
#include "reporting/ReportTypes.h"
#include "tests/support/TestNames.h"

#include <QByteArrayList>

#include <gtest/gtest.h>

#include <cstdio>

// The service's line per event, as an operator reads it in the journal and a
// script cuts it at " | ".

namespace {

EventLine burglary() {
    EventLine line;
    line.result = int(ReportResult::Sent);
    line.time = QStringLiteral("11/12/2026 17:02:03");
    line.name = QStringLiteral("Padaria Central");
    line.account = QStringLiteral("1001");
    line.text = QStringLiteral("Roubo");
    line.qualifier = QStringLiteral("E");
    line.code = QStringLiteral("130");
    line.partition = QStringLiteral("01");
    line.zone = QStringLiteral("005");
    line.protocol = QStringLiteral("TaviCom");
    line.panel = QStringLiteral("Korvo 16IP");
    return line;
}

struct LineCase {
    const char* name;
    std::function<void(EventLine&)> change;
    QByteArrayList fields; // the fields between " | ", without the line feed
};

class EventConsoleLineTest : public ::testing::TestWithParam<LineCase> {};

} // namespace

TEST_P(EventConsoleLineTest, IsOneLineOfItsFieldsInTheirOrder) {
    EventLine line = burglary();
    GetParam().change(line);
    const QByteArray bytes = EventConsole::format(line);
    ASSERT_TRUE(bytes.endsWith('\n'));
    EXPECT_EQ(bytes.count('\n'), 1) << bytes.constData();
    EXPECT_FALSE(bytes.contains('\t')) << bytes.constData();
    EXPECT_EQ(bytes.chopped(1).split('|'), GetParam().fields) << bytes.constData();
}

INSTANTIATE_TEST_SUITE_P(
    Events, EventConsoleLineTest,
    ::testing::Values(
        LineCase{"forwarded alarm",
                 [](EventLine&) {},
                 {"atalaia: event ", " 11/12/2026 17:02:03 ", " account 1001 ", " client Padaria Central ",
                  " E130 Roubo ", " partition 01 ", " zone 005 ", " TaviCom ", " sent"}},
        LineCase{"failed forwarding",
                 [](EventLine& l) { l.result = int(ReportResult::Failed); },
                 {"atalaia: event ", " 11/12/2026 17:02:03 ", " account 1001 ", " client Padaria Central ",
                  " E130 Roubo ", " partition 01 ", " zone 005 ", " TaviCom ", " failed"}},
        LineCase{"reporting off, restore, code of two digits and no text",
                 [](EventLine& l) {
                     l.result = int(ReportResult::NotSent);
                     l.qualifier = QStringLiteral("R");
                     l.code = QStringLiteral(" 30");
                     l.text.clear();
                 },
                 {"atalaia: event ", " 11/12/2026 17:02:03 ", " account 1001 ", " client Padaria Central ", " R30 ",
                  " partition 01 ", " zone 005 ", " TaviCom ", " not sent"}},
        LineCase{"line ends and tabs inside a client's name and an event text",
                 [](EventLine& l) {
                     l.name = QStringLiteral("Loja\n\"Centro\"\tNorte\r");
                     l.text = QStringLiteral("Pânico\nsilencioso");
                 },
                 {"atalaia: event ", " 11/12/2026 17:02:03 ", " account 1001 ", " client Loja \"Centro\" Norte ",
                  " E130 P\xc3\xa2nico silencioso ", " partition 01 ", " zone 005 ", " TaviCom ", " sent"}},
        LineCase{"an internal event without client",
                 [](EventLine& l) {
                     l.name = QStringLiteral("Admin");
                     l.account = QStringLiteral("0000");
                     l.protocol = QStringLiteral("Interno");
                     l.text = QStringLiteral("Login");
                 },
                 {"atalaia: event ", " 11/12/2026 17:02:03 ", " account 0000 ", " client Admin ", " E130 Login ",
                  " partition 01 ", " zone 005 ", " Interno ", " sent"}}),
    TestNames::fromCaseName<LineCase>);

TEST(EventConsoleTest, WritesTheLinesAddedSinceTheLastFlushTogetherAndTheRestWhenItEnds) {
    char* buffer = nullptr;
    size_t size = 0;
    std::FILE* out = open_memstream(&buffer, &size);
    ASSERT_NE(out, nullptr);
    EventLine second = burglary();
    second.zone = QStringLiteral("006");
    const auto written = [&] {
        std::fflush(out);
        return QByteArray(buffer, qsizetype(size));
    };
    {
        EventConsole console(out);
        console.add(burglary());
        console.add(second);
        EXPECT_EQ(written(), QByteArray()) << "nothing before the round ends";
        console.flush();
        EXPECT_EQ(written(), EventConsole::format(burglary()) + EventConsole::format(second));
        console.flush();
        console.add(burglary());
    }
    EXPECT_EQ(written(),
              EventConsole::format(burglary()) + EventConsole::format(second) + EventConsole::format(burglary()))
        << "the last line is not lost at the end";
    std::fclose(out);
    std::free(buffer);
}
