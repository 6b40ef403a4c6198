#include "config/Dc09ConfigFile.h"
#include "tests/support/TempDataDir.h"

#include <QFile>

#include <gtest/gtest.h>

namespace {

const QByteArray kKey128Hex = "2B7E151628AED2A6ABF7158809CF4F3C";
const QByteArray kKey192Hex = "8E73B0F7DA0E6452C810F32B809079E562F8EAD2522C6B7B";
const QByteArray kKey256Hex = "603DEB1015CA71BE2B73AEF0857D77811F352C073B6108D72D9810A30914DFF4";

using Dc09ConfigFile::Problem;

} // namespace

TEST(Dc09ConfigFileTest, ReadsSettingsKeepsOtherLinesAndNamesTheLinesItIgnores) {
    const QByteArray content = "; chaves dos comunicadores\r\n"
                               "Port 5070\r\n"
                               "Window 30 10\n"
                               "Key 1234 " +
                               kKey128Hex.toLower() +
                               "\r\n"
                               "Key abc " +
                               kKey192Hex +
                               "\r\n"
                               "Key\t*\t" +
                               kKey256Hex +
                               "\r\n"
                               "\r\n"
                               "  Port 1\r\n" // not at the start of the line: not a setting
                               "Portas 1\r\n" // another key
                               "Port\r\n"     // line 10
                               "Port 65536\r\n"
                               "Port 50 70\r\n"
                               "Window 30\r\n"
                               "Window 30 x\r\n"
                               "Window 86401 0\r\n"
                               "Key 1234\r\n"
                               "Key 12 " +
                               kKey128Hex +
                               "\r\n"
                               "Key 12345678901234567 " +
                               kKey128Hex +
                               "\r\n"
                               "Key 12G4 " +
                               kKey128Hex +
                               "\r\n"
                               "Key 1234 " +
                               kKey128Hex.chopped(2) +
                               "\r\n" // line 20: 30 digits
                               "Key 1234 " +
                               kKey128Hex +
                               "0\r\n"
                               "Key 1234 " +
                               kKey128Hex.chopped(1) +
                               "X\r\n"
                               "trailing";
    Dc09Settings settings;
    settings.port = 1;
    const QList<Problem> problems = Dc09ConfigFile::parse(content, settings);
    QList<int> lines;
    for (const Problem& p : problems) {
        lines.append(p.line);
        EXPECT_FALSE(p.reason.isEmpty()) << p.line;
    }
    EXPECT_EQ(lines, (QList<int>{10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22}));
    EXPECT_EQ(settings.port, 5070);
    EXPECT_EQ(settings.lag, 30);
    EXPECT_EQ(settings.lead, 10);
    EXPECT_EQ(settings.keys.size(), 3);
    EXPECT_EQ(settings.keys.value("1234"), QByteArray::fromHex(kKey128Hex));
    EXPECT_EQ(settings.keys.value("ABC"), QByteArray::fromHex(kKey192Hex)) << "accounts are kept upper-case";
    EXPECT_EQ(settings.keys.value("*"), QByteArray::fromHex(kKey256Hex));
    EXPECT_EQ(settings.otherLines,
              (QList<QByteArray>{"; chaves dos comunicadores", "", "  Port 1", "Portas 1", "trailing"}));

    EXPECT_EQ(*settings.keyFor("abc"), QByteArray::fromHex(kKey192Hex));
    EXPECT_EQ(*settings.keyFor("9999"), QByteArray::fromHex(kKey256Hex)) << "the key of every account";

    EXPECT_EQ(Dc09ConfigFile::problemText(problems[0]).left(29), QStringLiteral("\"Dc09.cfg\", linha 10 ignorada"));
}

TEST(Dc09ConfigFileTest, DefaultsLaterLinesAndAFileWithoutSettings) {
    const struct {
        const char* name;
        QByteArray content;
        quint16 port;
        int lag;
        int lead;
    } cases[] = {
        {"empty", "", 0, 40, 20},
        {"no window line", "Port 5070\n", 5070, 40, 20},
        {"later lines replace earlier ones", "Port 1\nWindow 1 2\nPort 2\nWindow 0 0\n", 2, 0, 0},
        {"a bad line keeps the earlier value", "Port 7\nPort x\n", 7, 40, 20},
        {"byte order mark", "\xEF\xBB\xBFPort 9\r\n", 9, 40, 20},
    };
    for (const auto& c : cases) {
        Dc09Settings settings;
        Dc09ConfigFile::parse(c.content, settings);
        EXPECT_EQ(settings.port, c.port) << c.name;
        EXPECT_EQ(settings.enabled(), c.port != 0) << c.name;
        EXPECT_EQ(settings.lag, c.lag) << c.name;
        EXPECT_EQ(settings.lead, c.lead) << c.name;
    }
    Dc09Settings settings;
    Dc09ConfigFile::parse("Key 1234 " + kKey128Hex + "\nKey 1234 " + kKey256Hex + "\n", settings);
    EXPECT_EQ(settings.keys.size(), 1);
    EXPECT_EQ(settings.keys.value("1234").size(), 32) << "a later key for the account replaces the earlier";
}

TEST(Dc09ConfigFileTest, StationOptionsAreReadCheckedAndWrittenOnlyWhenSet) {
    const struct {
        const char* name;
        QByteArray content;
        Dc09Settings::Station station;
        int problems;
    } cases[] = {
        {"none set: the plain link", "Port 5070\n", {}, 0},
        {"every option",
         "StationKey " + kKey256Hex + "\nStationTimestamp 1\nStationTcp 1\nStationBackup central2 7001\n",
         {QByteArray::fromHex(kKey256Hex), true, true, "central2", 7001},
         0},
        {"switched off again", "StationTcp 1\nStationTcp 0\nStationTimestamp 0\n", {}, 0},
        {"malformed lines leave the options unset",
         "StationKey 12\nStationKey " + kKey128Hex +
             " x\nStationTimestamp 2\nStationTcp\nStationBackup central2\n"
             "StationBackup central2 0\nStationBackup central2 65536\n",
         {},
         7},
    };
    for (const auto& c : cases) {
        Dc09Settings settings;
        EXPECT_EQ(Dc09ConfigFile::parse(c.content, settings).size(), c.problems) << c.name;
        EXPECT_EQ(settings.station, c.station) << c.name;
        Dc09Settings readBack;
        EXPECT_TRUE(Dc09ConfigFile::parse(Dc09ConfigFile::serialize(settings), readBack).isEmpty()) << c.name;
        EXPECT_EQ(readBack, settings) << c.name;
        EXPECT_EQ(Dc09ConfigFile::serialize(settings).contains("Station"), c.station != Dc09Settings::Station{})
            << c.name << ": an unconfigured file names no station option";
    }
}

TEST(Dc09ConfigFileTest, WrittenForTheOwnerOnlyWithBackupAndReadBackTheSame) {
    TempDataDir dir;
    Dc09Settings settings;
    Dc09ConfigFile::parse("# comentário\nPort 5070\nWindow 30 10\nKey abc " + kKey128Hex + "\nKey * " + kKey256Hex +
                              "\nPort x\nOutra 1\n",
                          settings);
    ASSERT_TRUE(Dc09ConfigFile::write(dir.dataDirectory(), settings));

    const QByteArray written = dir.read("Dc09.cfg");
    EXPECT_EQ(written, "# comentário\r\nOutra 1\r\nPort 5070\r\nWindow 30 10\r\nKey * " + kKey256Hex + "\r\nKey ABC " +
                           kKey128Hex + "\r\n")
        << "other lines first, as they were; the ignored line is gone";
    EXPECT_EQ(dir.read("Backup/Dc09.cfg"), written);
    for (const char* name : {"Dc09.cfg", "Backup/Dc09.cfg"}) {
        const QFileDevice::Permissions permissions = QFile::permissions(dir.file(QString::fromLatin1(name)));
        EXPECT_TRUE(permissions & QFileDevice::ReadOwner) << name;
        EXPECT_FALSE(permissions & (QFileDevice::ReadGroup | QFileDevice::ReadOther | QFileDevice::WriteGroup |
                                    QFileDevice::WriteOther))
            << name;
    }

    Dc09Settings read;
    QList<Problem> problems{{1, QStringLiteral("stale")}};
    ASSERT_TRUE(Dc09ConfigFile::load(dir.dataDirectory(), read, problems));
    EXPECT_TRUE(problems.isEmpty());
    EXPECT_EQ(read, settings);
    EXPECT_EQ(Dc09ConfigFile::serialize(read), written);

    TempDataDir empty(false);
    read.port = 5;
    EXPECT_FALSE(Dc09ConfigFile::load(empty.dataDirectory(), read, problems)) << "no file: reception off";
    EXPECT_FALSE(read.enabled());
    EXPECT_EQ(read, Dc09Settings{});
    EXPECT_TRUE(Dc09ConfigFile::write(empty.dataDirectory(), settings)) << "without Backup the file is still written";
    EXPECT_FALSE(empty.exists("Backup/Dc09.cfg"));
}
