#include "config/ServerConfigFile.h"
#include "tests/support/HostileFile.h"
#include "tests/support/RecordingUserInterface.h"
#include "tests/support/TempDataDir.h"

#include <gtest/gtest.h>

namespace {

const QByteArray kWrittenFile = "[Ports]\r\n"
                                "UDP 5000\r\n"
                                "TCP 0\r\n"
                                "MC 6000\r\n"
                                "\r\n"
                                "[Timeouts]\r\n"
                                "Yellow 120\r\n"
                                "\r\n"
                                "[Callback]\r\n"
                                "Tavi  central.example\r\n"
                                "Port 51069\r\n"
                                "\r\n"
                                "[Sounds]\r\n"
                                "SoundNewEvent    7\r\n"
                                "SoundNewRegister 1\r\n"
                                "SoundOffline     0\r\n"
                                "SoundAckFail     1\r\n"
                                "UseSpeaker       0\r\n"
                                "\r\n"
                                "[Run]\r\n"
                                "AnonymEntry\t\t1\r\n"
                                "EnableMulticom\t0\r\n"
                                "LogAll\t\t\t1\r\n";

} // namespace

TEST(ServerConfigFileTest, ReadingFollowsTheLooseLineRules) {
    ServerSettings s;
    s.UDP = s.TCP = s.MC = 9;            // reading starts the ports from 0
    ServerConfigFile::parse("UDP 1111\n" // before any section: ignored
                            "Ports\n"    // a section name without brackets
                            "UDP 70000\r\n"
                            "MC\t 00042xyz\n"
                            "\n"
                            "[Timeouts]\nYellow 5\n"
                            "[Callback]\n"
                            "Port 1\n" // before the address line: ignored
                            "Tavi  \n"
                            "Port 4000\n"
                            "Port 5000\n"
                            "Tavi 10.0.0.1\n" // after a stored port the section is done
                            "[Sounds]\nSoundNewEvent 7\nSoundOffline 0\nUseSpeaker 3 1\n"
                            "[Run]\nAnonymEntry\t\t2\nEnableMulticom\t0\nLogAll x\n",
                            s);
    EXPECT_EQ(s.UDP, 70000u); // no range check while loading
    EXPECT_EQ(s.TCP, 0u);
    EXPECT_EQ(s.MC, 42u);
    EXPECT_EQ(s.Yellow, 5u);
    EXPECT_EQ(s.Tavi, QString());
    EXPECT_EQ(s.Port, 4000u);
    EXPECT_EQ(s.SoundNewEvent, 7);
    EXPECT_EQ(s.SoundNewRegister, 1); // not named: keeps its default
    EXPECT_EQ(s.SoundOffline, 0);
    EXPECT_EQ(s.UseSpeaker, 3);
    EXPECT_TRUE(s.AnonymEntry); // any digit but 0 is on
    EXPECT_FALSE(s.EnableMulticom);
    EXPECT_FALSE(s.LogAll); // no digit: unchanged

    // Only the first 80 characters are searched for the value; an overlong
    // line still ends the reading.
    ServerSettings t;
    ServerConfigFile::parse("[Ports]\nUDP" + QByteArray(90, ' ') + "7\nMC " + QByteArray(2000, '9') + "\nTCP 3\n", t);
    EXPECT_EQ(t.UDP, 0u);
    EXPECT_EQ(t.MC, 0xFFFFFFFFu);
    EXPECT_EQ(t.TCP, 3u);
}

TEST(ServerConfigFileTest, WritingIsExactAndReadsBackByteForByte) {
    ServerSettings s;
    s.UDP = 5000;
    s.MC = 6000;
    s.Tavi = QStringLiteral("central.example");
    s.SoundNewEvent = 7; // written back as the stored integer
    s.SoundOffline = 0;
    s.AnonymEntry = true;
    s.LogAll = true;
    EXPECT_EQ(ServerConfigFile::serialize(s), kWrittenFile);

    ServerSettings back;
    ServerConfigFile::parse(kWrittenFile, back);
    EXPECT_EQ(ServerConfigFile::serialize(back), kWrittenFile);
    EXPECT_EQ(back.Tavi, s.Tavi);
    EXPECT_EQ(back.Port, s.Port);
}

TEST(ServerConfigFileTest, StartUpQuestions) {
    TempDataDir dir;
    RecordingUserInterface ui;
    ServerSettings s;
    // No file: both questions; Yes to both keeps every default with all ports 0.
    EXPECT_TRUE(LoadServerConfig(dir.file("Server.cfg"), s, ui));
    ASSERT_EQ(ui.questions.size(), 2);
    EXPECT_TRUE(ui.questions[0].startsWith(QStringLiteral("\"Server.cfg\" faltando ou corrompido.")));
    EXPECT_EQ(ui.questions[1], QStringLiteral("Portas não definidas.\nContinuar?"));
    EXPECT_EQ(s.Yellow, 120u);

    RecordingUserInterface declining;
    declining.queueAnswer(false);
    EXPECT_FALSE(LoadServerConfig(dir.file("Server.cfg"), s, declining));
    EXPECT_EQ(declining.questions.size(), 1);

    dir.write("Server.cfg", kWrittenFile);
    RecordingUserInterface quiet;
    EXPECT_TRUE(LoadServerConfig(dir.file("Server.cfg"), s, quiet));
    EXPECT_TRUE(quiet.questions.isEmpty());
    EXPECT_EQ(s.UDP, 5000u);
}

TEST(ServerConfigFileTest, AFileRefusedIsSaidThenAskedAboutAsAMissingOne) {
    for (const HostileCase& c : refusedHostileCases()) {
        TempDataDir dir;
        HostileFiles files;
        files.place(dir, "Server.cfg", c.kind, kWrittenFile); // a link names a good file with UDP 5000
        RecordingUserInterface ui;
        ServerSettings s;
        EXPECT_TRUE(LoadServerConfig(dir.file("Server.cfg"), s, ui)) << c.name;
        ASSERT_EQ(ui.messages.size(), 1) << c.name;
        EXPECT_TRUE(ui.messages[0].text.contains(dir.file("Server.cfg"))) << c.name;
        ASSERT_EQ(ui.questions.size(), 2) << c.name;
        EXPECT_TRUE(ui.questions[0].startsWith(QStringLiteral("\"Server.cfg\" faltando ou corrompido."))) << c.name;
        EXPECT_EQ(s.UDP, 0u) << c.name << ": nothing of what a link names is read";
        EXPECT_EQ(s.Yellow, 120u) << c.name;

        // Declining the first question ends the start, as without the file.
        RecordingUserInterface declining;
        declining.queueAnswer(false);
        EXPECT_FALSE(LoadServerConfig(dir.file("Server.cfg"), s, declining)) << c.name;
    }
}

TEST(ServerConfigFileTest, CallbackAddressReadsBackAsWrittenSaveAfterSave) {
    const QString before504(504, QLatin1Char('a'));
    const struct {
        const char* name;
        QString written;
        QString read;
    } cases[] = {
        {"a character that would cross the line cut is left out whole", before504 + QStringLiteral("é"), before504},
        {"a four-byte character at the cut", before504.left(503) + QStringLiteral("\U0001F600"), before504.left(503)},
        {"an address as long as the line holds", before504 + QStringLiteral("b"), before504 + QStringLiteral("b")},
        {"a host name holding section names", QStringLiteral("Runner.Ports.example"),
         QStringLiteral("Runner.Ports.example")},
        {"line breaks are blanks", QStringLiteral("a\nb\rc"), QStringLiteral("a b c")},
        {"blanks around are dropped", QStringLiteral(" 10.0.0.1  "), QStringLiteral("10.0.0.1")},
    };
    for (const auto& c : cases) {
        ServerSettings s;
        s.Tavi = c.written;
        s.Port = 4000;
        ServerSettings once;
        ServerConfigFile::parse(ServerConfigFile::serialize(s), once);
        EXPECT_EQ(once.Tavi, c.read) << c.name;
        EXPECT_EQ(once.Port, 4000u) << c.name << ": the port line after it is still read";
        ServerSettings twice;
        ServerConfigFile::parse(ServerConfigFile::serialize(once), twice);
        EXPECT_EQ(twice.Tavi, once.Tavi) << c.name << ": the next save changes nothing";
    }
}

TEST(ServerConfigFileTest, AddressLinesOfOlderFilesAndOverlongLines) {
    ServerSettings s;
    // An 8-bit line reads as Windows-1252, like every other data file.
    ServerConfigFile::parse("[Callback]\r\nTavi  Jo\xE3o \x96 Central\r\nPort 1\r\n", s);
    EXPECT_EQ(s.Tavi, QStringLiteral("Jo\u00E3o \u2013 Central"));
    // A UTF-8 line is cut at 511 bytes before the character that crosses the cut.
    ServerConfigFile::parse("[Callback]\r\nTavi  " + QByteArray(504, 'a') + "\xC3\xA9" + "\r\nPort 2\r\n", s);
    EXPECT_EQ(s.Tavi, QString(504, QLatin1Char('a')));
    EXPECT_EQ(s.Port, 2u);
}

TEST(ServerConfigFileTest, RunSettingsBeyondTheOriginalLinesAreWrittenOnlyWhenChanged) {
    const struct {
        const char* name;
        quint32 ServerSettings::*field;
        quint32 defaultValue;
        QByteArray key;
    } cases[] = {
        {"resend age", &ServerSettings::ResendAge, ServerSettings::kDefaultResendAge, "ResendAge"},
        {"Multicom sessions at once", &ServerSettings::MaxSessions, ServerSettings::kDefaultMaxSessions, "MaxSessions"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ServerSettings defaults;
        EXPECT_EQ(defaults.*c.field, c.defaultValue);
        EXPECT_FALSE(ServerConfigFile::serialize(defaults).contains(c.key)) << "the default is not written";

        // Read from its line of [Run], whatever the other lines hold.
        ServerSettings read;
        ServerConfigFile::parse(kWrittenFile + c.key + "\t\t7\r\n", read);
        EXPECT_EQ(read.*c.field, 7u);
        EXPECT_EQ(read.UDP, 5000u);
        // Outside [Run] the line means nothing.
        ServerSettings elsewhere;
        ServerConfigFile::parse("[Ports]\r\n" + c.key + " 7\r\n", elsewhere);
        EXPECT_EQ(elsewhere.*c.field, c.defaultValue);

        // Another value goes out as the last line and reads back the same.
        const QByteArray written = ServerConfigFile::serialize(read);
        EXPECT_TRUE(written.endsWith("LogAll\t\t\t1\r\n" + c.key + "\t\t7\r\n")) << written.constData();
        ServerSettings back;
        ServerConfigFile::parse(written, back);
        EXPECT_EQ(back.*c.field, 7u);
        EXPECT_EQ(ServerConfigFile::serialize(back), written);
    }
}
