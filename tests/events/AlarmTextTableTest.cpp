#include "events/AlarmTextTable.h"
#include "common/StringTable.h"
#include "tests/support/HostileFile.h"
#include "tests/support/RecordingUserInterface.h"
#include "tests/support/TempDataDir.h"

#include <QFile>

#include <gtest/gtest.h>

TEST(AlarmTextTableTest, CodeRestoreHeadingAndReplacementRules) {
    AlarmTextTable table;
    const QByteArray content = "[Burglary]\n"
                               "Restore before any code\n"
                               "130 = Fire\n"
                               "Fire restored\n"
                               "\n"
                               "131\t==  \tPerimeter\r\n"
                               "Perimeter restored\r\n"
                               "130=Fire again\n"
                               " indented restore\n"
                               "602 =";
    ASSERT_EQ(parseAlarmTexts(content, table), AlarmTextStatus::Loaded);
    EXPECT_EQ(table.text(130, false), "Fire again") << "a later line replaces the earlier text";
    EXPECT_EQ(table.text(130, true), " indented restore");
    EXPECT_EQ(table.text(131, false), "Perimeter");
    EXPECT_EQ(table.text(131, true), "Perimeter restored");
    EXPECT_TRUE(table.text(602, false).isEmpty());
    EXPECT_TRUE(table.text(602, true).isEmpty());
    EXPECT_TRUE(table.text(999, true).isEmpty());
    EXPECT_TRUE(table.text(1000, false).isEmpty());
}

TEST(AlarmTextTableTest, BadCodeLinesAndMissingFileAreFatal) {
    AlarmTextTable table;
    EXPECT_EQ(parseAlarmTexts("130 = Fire\n13A Fire\n", table), AlarmTextStatus::BadCodeLine);
    EXPECT_EQ(parseAlarmTexts("12\n", table), AlarmTextStatus::BadCodeLine);

    TempDataDir dir;
    RecordingUserInterface ui;
    EXPECT_FALSE(loadAlarmTextsAtStart(dir.file("Alarms.lst"), table, ui));
    ASSERT_EQ(ui.messages.size(), 1);
    EXPECT_EQ(ui.messages[0].text, "Arquivo \"Alarm.lst\" faltando ou corrompido\nServer será fechado");
    EXPECT_EQ(ui.messages[0].icon, UserInterface::Icon::Error);

    dir.write("Alarms.lst", "1x0 Fire\n");
    EXPECT_FALSE(loadAlarmTextsAtStart(dir.file("Alarms.lst"), table, ui));
    ASSERT_EQ(ui.messages.size(), 2);
    EXPECT_EQ(ui.messages[1].text, "Erro em evento!\nServer será fechado");
}

TEST(AlarmTextTableTest, AFileRefusedIsSaidAndFatalAsAMissingOne) {
    for (const HostileCase& c : refusedHostileCases()) {
        TempDataDir dir;
        HostileFiles files;
        files.place(dir, "Alarms.lst", c.kind, "130 Fire\n");
        AlarmTextTable table;
        RecordingUserInterface ui;
        EXPECT_FALSE(loadAlarmTextsAtStart(dir.file("Alarms.lst"), table, ui)) << c.name;
        ASSERT_EQ(ui.messages.size(), 2) << c.name;
        EXPECT_TRUE(ui.messages[0].text.contains(dir.file("Alarms.lst"))) << c.name;
        EXPECT_EQ(ui.messages[1].text, StringTable::text(129)) << c.name;
        EXPECT_TRUE(table.text(130, false).isEmpty()) << c.name << ": nothing of what a link names is read";
    }
}

TEST(AlarmTextTableTest, LongLinesInvalidBytesAndByteOrderMark) {
    AlarmTextTable table;
    // 140 characters: cut at 127, the rest of the line does not become a line of its own.
    const QByteArray longText(136, 'x');
    const QByteArray content = "\xEF\xBB\xBF"
                               "130 " +
                               longText + "9999 trailing\n" + "Restauro \xE7\xE3o \xFF\n" + // Latin-1 bytes, not UTF-8
                               "131 Pânico\n";
    ASSERT_EQ(parseAlarmTexts(content, table), AlarmTextStatus::Loaded);
    EXPECT_EQ(table.text(130, false), QString(123, 'x'));
    EXPECT_TRUE(table.text(999, false).isEmpty());
    // Each line is decoded on its own: the Latin-1 line beside UTF-8 ones keeps its letters.
    EXPECT_EQ(table.text(130, true), QString::fromUtf8("Restauro ção ÿ"));
    EXPECT_EQ(table.text(131, false), QString::fromUtf8("Pânico"));
}

TEST(AlarmTextTableTest, EightBitFileKeepsItsAccentedLetters) {
    AlarmTextTable table;
    // Windows-1252 / Latin-1 bytes, as older files were written.
    const QByteArray content = "130\tP\xE2nico\r\nRestaura\xE7\xE3o\r\n"
                               "131 = Inc\xEAndio\r\n";
    ASSERT_EQ(parseAlarmTexts(content, table), AlarmTextStatus::Loaded);
    EXPECT_EQ(table.text(130, false), QString::fromUtf8("Pânico"));
    EXPECT_EQ(table.text(130, true), QString::fromUtf8("Restauração"));
    EXPECT_EQ(table.text(131, false), QString::fromUtf8("Incêndio"));
    EXPECT_FALSE(table.text(130, true).contains(QChar::ReplacementCharacter));
}

TEST(AlarmTextTableTest, DemoFileCoversTheStandardCodes) {
    AlarmTextTable table;
    ASSERT_EQ(LoadAlarmTexts(QStringLiteral(ATALAIA_SOURCE_DIR "/demo/Alarms.lst"), table), AlarmTextStatus::Loaded);
    for (int code : {100, 110, 120, 121, 130, 131, 137, 301, 302, 381, 401, 407, 570, 602}) {
        EXPECT_FALSE(table.text(code, false).isEmpty()) << code;
        EXPECT_FALSE(table.text(code, true).isEmpty()) << code;
    }
    EXPECT_EQ(table.text(130, false), QString::fromUtf8("Disparo de alarme de roubo"));
}
