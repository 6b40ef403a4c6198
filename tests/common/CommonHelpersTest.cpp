#include "common/Crc16.h"
#include "common/FileWriter.h"
#include "common/HexText.h"
#include "common/StringTable.h"
#include "common/TextDecoding.h"
#include "common/TimeText.h"
#include "common/TimedLock.h"
#include "tests/support/TempDataDir.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

TEST(Crc16Test, ArcCheckValueAndIncrementalUse) {
    EXPECT_EQ(Crc16::arc(QByteArrayView("123456789")), 0xBB3D);
    EXPECT_EQ(Crc16::arc(QByteArrayView("")), 0);
    // Continuing from a partial CRC gives the same value as one pass.
    const quint16 first = Crc16::arc(QByteArrayView("1234"));
    EXPECT_EQ(Crc16::arc(QByteArrayView("56789"), first), 0xBB3D);
}

TEST(HexTextTest, AccountsAndIdentifiersAreUpperCaseFixedWidth) {
    EXPECT_EQ(HexText::hex4(0x00AB), QStringLiteral("00AB"));
    EXPECT_EQ(HexText::hex4(0xFFFF), QStringLiteral("FFFF"));
    EXPECT_EQ(HexText::hex8(0x2A), QStringLiteral("0000002A"));
    EXPECT_EQ(HexText::hex4Bytes(0x7ee8), QByteArray("7EE8"));

    quint32 value = 99;
    EXPECT_TRUE(HexText::parseHex(u"ab", value));
    EXPECT_EQ(value, 0xABu);
    EXPECT_TRUE(HexText::parseHex(u"00ab\tRest", value));
    EXPECT_EQ(value, 0xABu);
    value = 7;
    EXPECT_FALSE(HexText::parseHex(u"", value));
    EXPECT_FALSE(HexText::parseHex(u"xyz", value));
    EXPECT_EQ(value, 7u) << "a field without digits keeps the previous value";
}

TEST(TextDecodingTest, Utf8OrElseWindows1252) {
    const struct {
        QByteArray bytes;
        QString text;
    } cases[] = {
        {"Jo\xC3\xA3o", QStringLiteral("Jo\u00E3o")},                               // valid UTF-8
        {"Jo\xE3o", QStringLiteral("Jo\u00E3o")},                                   // 8-bit
        {"\x80 \x92 \x96 \x85", QStringLiteral("\u20AC \u2019 \u2013 \u2026")},     // the code page's own
        {"\x81\x8D\x8F\x90\x9D", QStringLiteral("\u0081\u008D\u008F\u0090\u009D")}, // undefined there
        {"", QString()},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TextDecoding::decode(c.bytes), c.text) << c.bytes.toHex().constData();
}

TEST(TextDecodingTest, CutKeepsSurrogatePairsWhole) {
    const QString clef = QString::fromUtf8("\xF0\x9D\x84\x9E"); // two UTF-16 units
    const struct {
        QString text;
        qsizetype max;
        QString expected;
    } cases[] = {
        {"abc", 5, "abc"},           {"abc", 2, "ab"},       {"a" + clef, 2, "a"}, // the cut would fall inside the pair
        {"a" + clef, 3, "a" + clef},                                               // the pair fits
        {clef + "b", 1, ""},         {"ab" + clef, 2, "ab"},                       // the cut falls before the pair
    };
    for (const auto& c : cases)
        EXPECT_EQ(TextDecoding::leftWhole(c.text, c.max), c.expected) << c.text.toStdString() << " " << c.max;
}

TEST(StringTableTest, SortedAndLookedUpByNumber) {
    EXPECT_EQ(StringTable::text(121),
              QStringLiteral("Servidor será desconectado\nDefina outra porta e salve a configuração"));
    EXPECT_EQ(StringTable::text(114), QStringLiteral("Eventos"));
    EXPECT_TRUE(StringTable::text(99999).isEmpty());
    int previous = -1;
    for (int id = 0; id < 70000; ++id) {
        if (StringTable::contains(id)) {
            EXPECT_GT(id, previous);
            previous = id;
        }
    }
}

TEST(TimedLockTest, SecondAcquireTimesOutAndGuardReleasesOnlyWhatItTook) {
    TimedLock lock(30);
    {
        TimedLockGuard first(lock);
        ASSERT_TRUE(first.acquired());
        QElapsedTimer timer;
        timer.start();
        TimedLockGuard second(lock);
        EXPECT_FALSE(second.acquired());
        EXPECT_GE(timer.elapsed(), 25);
    }
    // Both guards are gone: exactly one release happened, so the lock is free once.
    EXPECT_TRUE(lock.tryAcquire());
    EXPECT_FALSE(lock.tryAcquire());
}

TEST(FileWriterTest, ReplacesWholeFileAndFailsCleanlyForMissingDirectory) {
    TempDataDir dir(false);
    dir.write(QStringLiteral("a.txt"), "old content that is longer");
    EXPECT_TRUE(writeFileWhole(dir.file(QStringLiteral("a.txt")), "new"));
    EXPECT_EQ(dir.read(QStringLiteral("a.txt")), QByteArray("new"));
    EXPECT_FALSE(writeFileWhole(dir.file(QStringLiteral("Backup/a.txt")), "x"));

    // Owner-only permissions hold for a new file and replace those of an old one.
    const auto ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    dir.write(QStringLiteral("old.txt"), "x");
    for (const char* name : {"new.txt", "old.txt"}) {
        ASSERT_TRUE(writeFileWhole(dir.file(QString::fromLatin1(name)), "secret", ownerOnly));
        const QFileDevice::Permissions granted = QFile::permissions(dir.file(QString::fromLatin1(name)));
        EXPECT_TRUE(granted.testFlags(ownerOnly)) << name;
        EXPECT_FALSE(granted & (QFileDevice::ReadGroup | QFileDevice::ReadOther | QFileDevice::WriteOther)) << name;
    }
}

TEST(FileWriterTest, ALinkInTheFilesPlaceIsReplacedNeverWrittenThrough) {
    TempDataDir dir(false);
    QTemporaryDir elsewhere;
    const QString outside = elsewhere.filePath(QStringLiteral("passwd"));
    QFile target(outside);
    ASSERT_TRUE(target.open(QIODevice::WriteOnly));
    target.write("root:x:0:0\n");
    target.close();
    ASSERT_TRUE(QFile::link(outside, dir.file(QStringLiteral("Clients.lst"))));
    ASSERT_TRUE(writeFileWhole(dir.file(QStringLiteral("Clients.lst")), "1001\tPadaria\r\n"));
    EXPECT_FALSE(QFileInfo(dir.file(QStringLiteral("Clients.lst"))).isSymLink());
    EXPECT_EQ(dir.read(QStringLiteral("Clients.lst")), QByteArray("1001\tPadaria\r\n"));
    ASSERT_TRUE(target.open(QIODevice::ReadOnly));
    EXPECT_EQ(target.readAll(), QByteArray("root:x:0:0\n")) << "the file the link named is untouched";
}

TEST(FileWriterTest, LeavesOnlyTheFileBehindAndKeepsWhatAFailedWriteWouldReplace) {
    TempDataDir dir(false);
    const QString name = QStringLiteral("a.txt");
    for (int i = 0; i < 20; ++i)
        ASSERT_TRUE(writeFileWhole(dir.file(name), QByteArray::number(i).repeated(1000 * i)));
    EXPECT_EQ(dir.read(name), QByteArray::number(19).repeated(19000));
    const auto entries = [&dir] { return QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot); };
    EXPECT_EQ(entries(), QStringList{name}) << "no temporary file is left after a write";

    // A name held by a directory cannot be replaced: false, the directory as it
    // was, and the temporary file gone.
    const QString held = QStringLiteral("held");
    ASSERT_TRUE(QDir(dir.path()).mkdir(held));
    dir.write(held + QStringLiteral("/inside"), "kept");
    EXPECT_FALSE(writeFileWhole(dir.file(held), "x"));
    EXPECT_TRUE(QFileInfo(dir.file(held)).isDir());
    EXPECT_EQ(dir.read(held + QStringLiteral("/inside")), QByteArray("kept"));
    EXPECT_EQ(entries(), (QStringList{name, held}));
}

TEST(TimeTextTest, ClockGivesTheTextOfTheCurrentSecond) {
    TimeTextClock clock;
    for (int attempt = 0; attempt < 3; ++attempt) {
        const qint64 before = QDateTime::currentSecsSinceEpoch();
        const QString text = clock.now();
        const QString again = clock.now();
        if (QDateTime::currentSecsSinceEpoch() != before)
            continue; // a second boundary fell between the calls
        EXPECT_EQ(text, TimeText::format(QDateTime::fromSecsSinceEpoch(before)));
        EXPECT_EQ(again, text);
        EXPECT_TRUE(text.contains(QLatin1Char(' ')));
        return;
    }
}

TEST(TimeTextTest, SystemLocaleWithoutItsTimeZoneAndBrazilianWhenNoneIsNamed) {
    struct Case {
        const char* locale;
        const char* expected; // 9 December 2026, 14:05:09
    };
    const Case cases[] = {
        {"C", "09/12/2026 14:05:09"},     // no locale named: Brazilian Portuguese
        {"pt_BR", "09/12/2026 14:05:09"}, //
        {"es_ES", "9/12/26 14:05:09"},    // long time "H:mm:ss (t)" loses "(t)", not only the "t"
        {"de_DE", "09.12.26 14:05:09"},   {"en_US", "12/9/26 2:05:09 PM"},
    };
    const QDateTime when(QDate(2026, 12, 9), QTime(14, 5, 9));
    for (const Case& c : cases) {
        const QLocale locale = TimeText::displayLocale(QLocale(QString::fromLatin1(c.locale)));
        const QString time = TimeText::timeFormatWithSeconds(locale);
        EXPECT_FALSE(time.contains(QLatin1Char('t')) || time.contains(QLatin1Char('(')) ||
                     time.endsWith(QLatin1Char(' ')))
            << c.locale << ": " << qPrintable(time);
        const QString text = locale.toString(when.date(), locale.dateFormat(QLocale::ShortFormat)) + QLatin1Char(' ') +
                             locale.toString(when.time(), time);
        EXPECT_EQ(text, QString::fromUtf8(c.expected)) << c.locale << ": " << qPrintable(text);
    }
}
