#include "reporting/ReportConfigFile.h"

#include "common/StringTable.h"
#include "tests/support/HostileFile.h"
#include "tests/support/RecordingUserInterface.h"
#include "tests/support/TempDataDir.h"

#include <gtest/gtest.h>

TEST(ReportConfigFile, WritesSixteenLinesAndReadsThemBack) {
    ReportSettings settings;
    settings.mode = ReportMode::Dc09;
    const bool logAll = true;
    settings.reportHeartbeat = true;
    settings.heartbeatPeriod = 30;
    settings.attemptsIndex = 2;
    settings.serialPort = QStringLiteral("/dev/ttyUSB 0");
    settings.receiver = 20;
    settings.line = 4;
    settings.baudIndex = 13;
    settings.parityIndex = 2;
    settings.dataBitsIndex = 0;
    settings.stopBitsIndex = 1;
    settings.stationHost = QStringLiteral("central station.example");
    settings.stationPort = 12000;

    const QByteArray text = ReportConfigFile::serialize(settings, logAll);
    EXPECT_EQ(text,
              QByteArray("2\n1\n0\n1\n0\n30\n2\n/dev/ttyUSB 0\n20\n4\n13\n2\n0\n1\ncentral station.example\n12000\n"));

    TempDataDir dir;
    ASSERT_TRUE(SaveReportConfig(dir.dataDirectory(), settings, logAll));
    EXPECT_EQ(dir.read("Report.cfg"), text);
    EXPECT_EQ(dir.read("Backup/Report.cfg"), text);

    ReportSettings loaded;
    bool loadedLogAll = false;
    RecordingUserInterface ui;
    EXPECT_TRUE(LoadReportConfig(dir.dataDirectory(), loaded, loadedLogAll, ui));
    EXPECT_TRUE(ui.messages.isEmpty());
    EXPECT_TRUE(loadedLogAll) << "line 2 sets the one LogAll flag";
    EXPECT_EQ(ReportConfigFile::serialize(loaded, loadedLogAll), text);
    EXPECT_EQ(loaded.serialPort, settings.serialPort);
    EXPECT_EQ(loaded.stationHost, settings.stationHost);
}

TEST(ReportConfigFile, ReadingRulesAndRanges) {
    ReportSettings settings;
    bool logAll = true;
    // Receiver and line 0 read as 1, baud index 0 as 3; trailing text after
    // lines 7 and 14 is skipped; CR LF line ends are accepted.
    ReportConfigFile::parse(
        "1\r\n0\r\n1\r\n0\r\n1\r\n-5\r\n7 extra\r\nttyS1\r\n0\r\n0\r\n0\r\n1\r\n1\r\n2 x\r\n10.0.0.9\r\n9999\r\n",
        settings, logAll);
    EXPECT_EQ(settings.mode, ReportMode::Serial);
    EXPECT_FALSE(logAll);
    EXPECT_TRUE(settings.transparent);
    EXPECT_TRUE(settings.ownHeartbeat);
    EXPECT_EQ(settings.heartbeatPeriod, -5);
    EXPECT_EQ(settings.attempts(), 8);
    EXPECT_EQ(settings.serialPort, QStringLiteral("ttyS1"));
    EXPECT_EQ(settings.receiver, 1);
    EXPECT_EQ(settings.line, 1);
    EXPECT_EQ(settings.baudIndex, 3);
    EXPECT_EQ(settings.stopBitsIndex, 2);
    EXPECT_EQ(settings.stationHost, QStringLiteral("10.0.0.9"));
    EXPECT_EQ(settings.stationPort, 9999);

    // Values that would select nothing or outgrow a message field are brought into range.
    ReportSettings odd;
    ReportConfigFile::parse("9\n0\n0\n0\n0\n1\n12\n" + QByteArray(100, 'p') + "\n150\n12\n99\n5\n5\n5\nh\n70000\n", odd,
                            logAll);
    EXPECT_EQ(odd.mode, ReportMode::Off);
    EXPECT_EQ(odd.attemptsIndex, 7);
    EXPECT_EQ(odd.serialPort.size(), ReportConfigFile::kMaxTextLength);
    EXPECT_EQ(odd.receiver, 99);
    EXPECT_EQ(odd.line, 9);
    EXPECT_EQ(odd.baudIndex, 15);
    EXPECT_EQ(odd.parityIndex, 2);
    EXPECT_EQ(odd.dataBitsIndex, 1);
    EXPECT_EQ(odd.stationPort, 65534);

    // A truncated file keeps the values it does not supply.
    ReportSettings partial;
    ReportConfigFile::parse("2\n1\n", partial, logAll);
    EXPECT_EQ(partial.mode, ReportMode::Dc09);
    EXPECT_EQ(partial.stationPort, 9999);
    EXPECT_EQ(partial.baudIndex, 7);
}

TEST(ReportConfigFile, MissingFileShowsMessage203AndKeepsDefaults) {
    TempDataDir dir;
    ReportSettings settings;
    bool logAll = true;
    RecordingUserInterface ui;
    EXPECT_FALSE(LoadReportConfig(dir.dataDirectory(), settings, logAll, ui));
    EXPECT_TRUE(logAll) << "kept when the file cannot be read";
    ASSERT_EQ(ui.messages.size(), 1);
    EXPECT_EQ(ui.messages[0].text, StringTable::text(203));
    EXPECT_EQ(ui.messages[0].icon, UserInterface::Icon::Exclamation);
    EXPECT_EQ(ReportConfigFile::serialize(settings, false), ReportConfigFile::serialize(ReportSettings{}, false));
}

TEST(ReportConfigFile, AFileRefusedIsSaidThenTakenAsAMissingOne) {
    ReportSettings station;
    station.mode = ReportMode::Dc09;
    station.stationPort = 4321;
    const QByteArray elsewhere = ReportConfigFile::serialize(station, false);
    for (const HostileCase& c : refusedHostileCases()) {
        TempDataDir dir;
        HostileFiles files;
        files.place(dir, ReportConfigFile::kFileName, c.kind, elsewhere);
        ReportSettings settings;
        bool logAll = true;
        RecordingUserInterface ui;
        EXPECT_FALSE(LoadReportConfig(dir.dataDirectory(), settings, logAll, ui)) << c.name;
        ASSERT_EQ(ui.messages.size(), 2) << c.name;
        EXPECT_TRUE(ui.messages[0].text.contains(dir.file(ReportConfigFile::kFileName))) << c.name;
        EXPECT_EQ(ui.messages[1].text, StringTable::text(203)) << c.name;
        EXPECT_EQ(settings.mode, ReportMode::Off) << c.name << ": nothing of what a link names is read";
        EXPECT_TRUE(logAll) << c.name;
    }
}

TEST(ReportConfigFile, TextLinesReadBackAsWrittenSaveAfterSave) {
    const QString before62(62, QLatin1Char('a'));
    const struct {
        const char* name;
        QByteArray line; // the serial port line as a file has it, LF excluded
        QString read;
    } cases[] = {
        {"carriage returns at the end", "ttyS1\r\r", QStringLiteral("ttyS1")},
        {"a carriage return inside stays", "tty\rS1", QStringLiteral("tty\rS1")},
        {"an 8-bit line reads as Windows-1252", "esta\xE7\xE3o \x96 1", QStringLiteral("esta\u00E7\u00E3o \u2013 1")},
        {"a pair that crosses the 63-character cut is left out whole", before62.toUtf8() + "\xF0\x9F\x98\x80",
         before62},
        {"the cut leaves no carriage return at the end", before62.toUtf8() + "\rz", before62},
    };
    for (const auto& c : cases) {
        ReportSettings loaded;
        bool logAll = false;
        ReportConfigFile::parse("2\n1\n0\n1\n0\n30\n2\n" + c.line + "\n20\n4\n13\n2\n0\n1\n" + c.line + "\n12000\n",
                                loaded, logAll);
        EXPECT_EQ(loaded.serialPort, c.read) << c.name;
        EXPECT_EQ(loaded.stationHost, c.read) << c.name;
        EXPECT_EQ(loaded.stationPort, 12000) << c.name;
        const QByteArray saved = ReportConfigFile::serialize(loaded, logAll);
        ReportSettings reloaded;
        ReportConfigFile::parse(saved, reloaded, logAll);
        EXPECT_EQ(reloaded.serialPort, loaded.serialPort) << c.name;
        EXPECT_EQ(reloaded.stationHost, loaded.stationHost) << c.name;
        EXPECT_EQ(ReportConfigFile::serialize(reloaded, logAll), saved) << c.name;
    }

    // What the page gives is written so that it reads back the same, and the lines after it stay in place.
    ReportSettings settings;
    settings.serialPort = before62 + QStringLiteral("\U0001F600");
    settings.stationHost = QStringLiteral("two\nlines");
    ReportSettings loaded;
    bool logAll = false;
    ReportConfigFile::parse(ReportConfigFile::serialize(settings, false), loaded, logAll);
    EXPECT_EQ(loaded.serialPort, before62) << "never half a pair saved as \"?\"";
    EXPECT_EQ(loaded.stationHost, QStringLiteral("two lines"));
    EXPECT_EQ(loaded.stationPort, settings.stationPort);
}
