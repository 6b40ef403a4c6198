#include "common/StringTable.h"
#include "events/LocalEventsFile.h"
#include "tests/support/HostileFile.h"
#include "tests/support/RecordingUserInterface.h"
#include "tests/support/TempDataDir.h"

#include <QFile>

#include <gtest/gtest.h>

namespace {

InternalEventTable filledTable() {
    InternalEventTable table;
    for (int i = 0; i < InternalEvent::kRowCount; ++i)
        table.row(i) = InternalEventRow{quint16(600 + i), true, QStringLiteral("old"), QStringLiteral("old R")};
    return table;
}

} // namespace

TEST(InternalEventFileTest, HeaderAndThreeRowsLoadAndTheRestIsCleared) {
    InternalEventTable table = filledTable();
    ASSERT_TRUE(LocalEventsFile::parse("1A2B 00FF 012 03\n"
                                       "601 1 Teste manual\n"
                                       "\n"
                                       "0 0 \n"
                                       "Nada\n"
                                       "150 1 Callback  enviado\n"
                                       "Restaurado",
                                       table));
    EXPECT_EQ(table.settings.cidAccount, 0x1A2B);
    EXPECT_EQ(table.settings.dc09Account, 0x00FF);
    EXPECT_EQ(table.settings.zone, 12);
    EXPECT_EQ(table.settings.partition, 3);
    EXPECT_EQ(table.row(0).code, 601);
    EXPECT_TRUE(table.row(0).enabled);
    EXPECT_EQ(table.row(0).eventText, QStringLiteral("Teste manual"));
    EXPECT_TRUE(table.row(0).restoreText.isEmpty());
    EXPECT_EQ(table.row(1).code, 0);
    EXPECT_FALSE(table.row(1).enabled);
    EXPECT_EQ(table.row(1).restoreText, QStringLiteral("Nada"));
    EXPECT_EQ(table.row(2).eventText, QStringLiteral("Callback  enviado")) << "only one separating space is dropped";
    EXPECT_EQ(table.row(2).restoreText, QStringLiteral("Restaurado")) << "last line without a line feed";
    for (int i = 3; i < InternalEvent::kRowCount; ++i) {
        EXPECT_EQ(table.row(i).code, 0) << i;
        EXPECT_FALSE(table.row(i).enabled) << i;
        EXPECT_TRUE(table.row(i).eventText.isEmpty() && table.row(i).restoreText.isEmpty()) << i;
    }
}

TEST(InternalEventFileTest, SaveWritesTheFormatAndReadsBackTheSame) {
    TempDataDir dir;
    InternalEventTable table;
    table.settings = InternalEventSettings{0x00AB, 0xC, 7, 2};
    table.row(3) = InternalEventRow{409, true, QStringLiteral("Operador entrou"), QStringLiteral("Operador saiu")};
    table.row(6) = InternalEventRow{308, false, QStringLiteral("Cliente offline\nduas linhas"), QString()};
    ASSERT_TRUE(LocalEventsFile::SaveInternalEvents(dir.dataDirectory(), table));
    const QList<QByteArray> lines = dir.read(QStringLiteral("LocalEvents.lst")).split('\n');
    ASSERT_EQ(lines.size(), 22) << "header, 20 row lines, empty rest after the last line feed";
    EXPECT_EQ(lines[0], QByteArray("00AB 000C 007 02"));
    EXPECT_EQ(lines[1], QByteArray("0 0 "));
    EXPECT_EQ(lines[7], QByteArray("409 1 Operador entrou"));
    EXPECT_EQ(lines[8], QByteArray("Operador saiu"));
    EXPECT_EQ(lines[13], QByteArray("308 0 Cliente offline duas linhas")) << "a text never breaks the rows";

    InternalEventTable loaded;
    RecordingUserInterface ui;
    LocalEventsFile::LoadInternalEvents(dir.dataDirectory(), loaded, ui);
    EXPECT_TRUE(ui.messages.isEmpty());
    EXPECT_EQ(loaded.settings.cidAccount, 0x00AB);
    EXPECT_EQ(loaded.settings.dc09Account, 0x000C);
    EXPECT_EQ(loaded.row(3).restoreText, QStringLiteral("Operador saiu"));
    EXPECT_EQ(LocalEventsFile::serialize(loaded), LocalEventsFile::serialize(table));
}

TEST(InternalEventFileTest, MissingOrCorruptFileShowsMessage207AndClearsTheRows) {
    TempDataDir dir;
    RecordingUserInterface ui;
    InternalEventTable table = filledTable();
    LocalEventsFile::LoadInternalEvents(dir.dataDirectory(), table, ui);
    ASSERT_EQ(ui.messages.size(), 1);
    EXPECT_EQ(ui.messages[0].text, StringTable::text(207));
    EXPECT_EQ(ui.messages[0].icon, UserInterface::Icon::Exclamation);
    EXPECT_EQ(table.row(0).code, 0);
    EXPECT_TRUE(table.row(9).eventText.isEmpty());
    EXPECT_EQ(table.settings.cidAccount, 0xFFFF);

    dir.write(QStringLiteral("LocalEvents.lst"), "garbage header\n100 1 x\n\n");
    table = filledTable();
    LocalEventsFile::LoadInternalEvents(dir.dataDirectory(), table, ui);
    EXPECT_EQ(ui.messages.size(), 2) << "an unreadable header counts as a corrupt file";
    EXPECT_EQ(table.row(0).code, 0);

    dir.write(QStringLiteral("LocalEvents.lst"), "");
    LocalEventsFile::LoadInternalEvents(dir.dataDirectory(), table, ui);
    EXPECT_EQ(ui.messages.size(), 3);
}

TEST(InternalEventFileTest, AFileRefusedIsSaidThenTakenAsAMissingOne) {
    const QByteArray elsewhere = LocalEventsFile::serialize(filledTable());
    for (const HostileCase& c : refusedHostileCases()) {
        TempDataDir dir;
        HostileFiles files;
        files.place(dir, LocalEventsFile::kFileName, c.kind, elsewhere);
        RecordingUserInterface ui;
        InternalEventTable table = filledTable();
        LocalEventsFile::LoadInternalEvents(dir.dataDirectory(), table, ui);
        ASSERT_EQ(ui.messages.size(), 2) << c.name;
        EXPECT_TRUE(ui.messages[0].text.contains(dir.file(LocalEventsFile::kFileName))) << c.name;
        EXPECT_EQ(ui.messages[1].text, StringTable::text(LocalEventsFile::kMsgMissing)) << c.name;
        EXPECT_EQ(table.row(0).code, 0) << c.name << ": the rows are cleared, nothing is read through a link";
    }
}

TEST(InternalEventFileTest, DamagedRowsDoNotShiftOrSpillIntoTheNextRows) {
    InternalEventTable table = filledTable();
    // Only the header: every row cleared, settings taken.
    ASSERT_TRUE(LocalEventsFile::parse("0001 0002 003 04\n", table));
    EXPECT_EQ(table.settings.partition, 4);
    EXPECT_EQ(table.row(0).code, 0);
    EXPECT_TRUE(table.row(0).eventText.isEmpty());

    const QByteArray longText(80, 'x');
    table = filledTable();
    ASSERT_TRUE(LocalEventsFile::parse("FFFF FFFF 000 00\n"
                                       "100 1 " +
                                           longText + "\n" + longText +
                                           "\n"
                                           "abc 1 codigo ruim\n"
                                           "restauro ruim\n"
                                           "102 x flag ruim\n"
                                           "r\n"
                                           "103 0 bom\n"
                                           "bom R\n"
                                           "104 1 cortado",
                                       table));
    EXPECT_EQ(table.row(0).eventText.size(), 63);
    EXPECT_EQ(table.row(0).restoreText.size(), 63);
    EXPECT_EQ(table.row(1).code, 0) << "a non-numeric code clears its row";
    EXPECT_TRUE(table.row(1).restoreText.isEmpty());
    EXPECT_EQ(table.row(2).code, 0);
    EXPECT_FALSE(table.row(2).enabled);
    EXPECT_EQ(table.row(3).code, 103) << "rows after a damaged one are still read in place";
    EXPECT_EQ(table.row(3).restoreText, QStringLiteral("bom R"));
    EXPECT_EQ(table.row(4).code, 104) << "a file cut after the event line keeps what it has";
    EXPECT_EQ(table.row(4).eventText, QStringLiteral("cortado"));
    EXPECT_TRUE(table.row(4).restoreText.isEmpty());
    EXPECT_EQ(table.row(5).code, 0);

    // Out-of-range values, Latin-1 texts and Windows line ends.
    table = filledTable();
    ASSERT_TRUE(
        LocalEventsFile::parse("ffff 0000 1000 300\r\n70000 1 grande\r\nx\r\n5 1 Parti\xe7\xe3o\r\n\r\n", table));
    EXPECT_EQ(table.settings.zone, 1000);
    EXPECT_EQ(table.settings.partition, 300 & 0xFF) << "the partition keeps its low 8 bits";
    EXPECT_EQ(table.row(0).code, 0) << "a code beyond 16 bits is not taken";
    EXPECT_EQ(table.row(1).eventText, QStringLiteral("Partição"));
    EXPECT_TRUE(table.row(1).restoreText.isEmpty());
}

TEST(InternalEventFileTest, DemoFileLoadsInCanonicalForm) {
    QFile file(QStringLiteral(ATALAIA_SOURCE_DIR "/demo/LocalEvents.lst"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray content = file.readAll();
    InternalEventTable table;
    ASSERT_TRUE(LocalEventsFile::parse(content, table));
    EXPECT_EQ(table.row(InternalEvent::ManualTest).code, 601);
    EXPECT_EQ(table.row(InternalEvent::ClientOffline).code, 350);
    EXPECT_EQ(table.row(InternalEvent::InternetFailure).restoreText,
              QStringLiteral("Conexão com a Internet restabelecida"));
    EXPECT_EQ(LocalEventsFile::serialize(table), content) << "the demo file is what Salvar would write";
}

TEST(InternalEventFileTest, TextsAreCutBetweenCharactersAndReadBackAsWritten) {
    const QString before62(62, QLatin1Char('a'));
    const QString emoji = QStringLiteral("\U0001F600"); // a surrogate pair in a QString
    InternalEventTable table;
    table.row(0) = InternalEventRow{601, true, before62 + emoji, QStringLiteral("b") + before62 + emoji};
    table.row(1) = InternalEventRow{602, true, before62.left(61) + emoji, QString()};

    InternalEventTable loaded;
    ASSERT_TRUE(LocalEventsFile::parse(LocalEventsFile::serialize(table), loaded));
    EXPECT_EQ(loaded.row(0).eventText, before62) << "the pair that crosses the cut is left out whole, never \"?\"";
    EXPECT_EQ(loaded.row(0).restoreText, QStringLiteral("b") + before62);
    EXPECT_EQ(loaded.row(1).eventText, before62.left(61) + emoji) << "a pair that fits stays";

    // A file's text is cut the same way, and a carriage return inside a text reads as the blank it is written as.
    InternalEventTable read;
    ASSERT_TRUE(LocalEventsFile::parse(
        "FFFF FFFF 000 00\n601 1 " + before62.toUtf8() + "\xF0\x9F\x98\x80" + "\nRest\rored\r\r\n", read));
    EXPECT_EQ(read.row(0).eventText, before62);
    EXPECT_EQ(read.row(0).restoreText, QStringLiteral("Rest ored "));
    InternalEventTable again;
    ASSERT_TRUE(LocalEventsFile::parse(LocalEventsFile::serialize(read), again));
    EXPECT_EQ(LocalEventsFile::serialize(again), LocalEventsFile::serialize(read));
    EXPECT_EQ(again.row(0).restoreText, read.row(0).restoreText);
}
