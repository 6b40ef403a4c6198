#include "config/Dc09Section.h"
#include "config/Operators.h"
#include "tests/support/RecordingUserInterface.h"
#include "tests/support/TempDataDir.h"

#include <QFile>

#include <gtest/gtest.h>

namespace {

const QString kKey128Hex = QStringLiteral("2B7E151628AED2A6ABF7158809CF4F3C");
const QString kKey192Hex = QStringLiteral("8E73B0F7DA0E6452C810F32B809079E562F8EAD2522C6B7B");
const QString kKey256Hex = QStringLiteral("603DEB1015CA71BE2B73AEF0857D77811F352C073B6108D72D9810A30914DFF4");
const QString kAccessDenied = QStringLiteral("Acesso não permitido!");

// Read and written by its owner, nobody else.
bool ownerOnly(const QString& path) {
    const QFileDevice::Permissions permissions = QFile::permissions(path);
    const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup |
                                            QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
    return permissions.testFlag(QFileDevice::ReadOwner) && permissions.testFlag(QFileDevice::WriteOwner) &&
           !(permissions & others);
}

struct Dc09SectionFixture : ::testing::Test {
    Dc09SectionFixture() { current.rights = OperatorRight::Configuration; }

    QStringList messages() const {
        QStringList texts;
        for (const RecordingUserInterface::Message& message : ui.messages)
            texts << message.text;
        return texts;
    }
    Dc09Settings onDisk(const QString& name = QStringLiteral("Dc09.cfg")) const {
        Dc09Settings settings;
        EXPECT_TRUE(Dc09ConfigFile::parse(dir.read(name), settings).isEmpty());
        return settings;
    }

    TempDataDir dir;
    RecordingUserInterface ui;
    CurrentOperator current;
    Dc09Section section{dir.dataDirectory(), current, ui};
};

} // namespace

TEST_F(Dc09SectionFixture, WhatTheFileHoldsIsShownMaskedAndWrittenBackWhole) {
    const struct {
        const char* name;
        QByteArray file; // none: no file at all
        Dc09Form form;
        QStringList rows;
    } cases[] = {
        {"no file: reception off, the default window, no keys", {}, {"0", "40", "20"}, {}},
        {"every setting, lines of others kept, LF alone read",
         "; comunicadores da filial\r\nPort 5070\nWindow 30 10\r\nKey abcd " + kKey128Hex.toLower().toLatin1() +
             "\r\nKey * " + kKey256Hex.toLatin1() + "\r\nKey 00112233 " + kKey192Hex.toLatin1() + "\r\nOutra 1\r\n",
         {"5070", "30", "10"},
         {"*    AES-256 ••••••••", "00112233    AES-192 ••••••••", "ABCD    AES-128 ••••••••"}},
        {"a malformed line is not taken", "Port 99999\r\nWindow 5 5\r\n", {"0", "5", "5"}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(dir.file("Dc09.cfg"));
        QFile::remove(dir.file("Backup/Dc09.cfg"));
        if (!c.file.isNull())
            dir.write("Dc09.cfg", c.file);
        Dc09Settings before;
        Dc09ConfigFile::parse(c.file, before);

        section.load();
        const Dc09Form form = section.form();
        EXPECT_EQ(form.port, c.form.port);
        EXPECT_EQ(form.lag, c.form.lag);
        EXPECT_EQ(form.lead, c.form.lead);
        QStringList rows;
        for (const Dc09Section::KeyRow& row : section.keyRows()) {
            rows << row.account + QStringLiteral("    ") + row.shown;
            for (const QString& hex : {kKey128Hex, kKey192Hex, kKey256Hex})
                EXPECT_FALSE(row.shown.contains(hex.left(8), Qt::CaseInsensitive)) << "a key on screen";
        }
        EXPECT_EQ(rows, c.rows);

        // Saved unchanged: the same settings, other lines first, CR LF, owner only, a copy in "Backup".
        ASSERT_TRUE(section.save(form));
        EXPECT_EQ(onDisk(), before);
        EXPECT_EQ(dir.read("Backup/Dc09.cfg"), dir.read("Dc09.cfg"));
        EXPECT_FALSE(dir.read("Dc09.cfg").replace("\r\n", "").contains('\n'));
        for (const char* name : {"Dc09.cfg", "Backup/Dc09.cfg"})
            EXPECT_TRUE(ownerOnly(dir.file(QString::fromLatin1(name)))) << name;
        if (!before.otherLines.isEmpty())
            EXPECT_TRUE(dir.read("Dc09.cfg").startsWith("; comunicadores da filial\r\n"));
    }
    EXPECT_TRUE(ui.messages.isEmpty()) << messages().join('\n').toStdString();
}

TEST_F(Dc09SectionFixture, FieldsAreCheckedBeforeAnythingIsWritten) {
    const struct {
        const char* name;
        Dc09Form form;
        const char* message; // none: saved
        quint16 port;
        int lag;
        int lead;
    } cases[] = {
        {"every field at its top", {"65535", "86400", "86400"}, nullptr, 65535, 86400, 86400},
        {"reception off, no window at all", {"0", "0", "0"}, nullptr, 0, 0, 0},
        {"blanks around a number", {" 5071 ", "40", "20"}, nullptr, 5071, 40, 20},
        {"port past 65535", {"65536", "40", "20"}, Dc09Section::kPortText, 0, 0, 0},
        {"empty port", {"", "40", "20"}, Dc09Section::kPortText, 0, 0, 0},
        {"negative port", {"-1", "40", "20"}, Dc09Section::kPortText, 0, 0, 0},
        {"port that overflows", {"99999999999999999999", "40", "20"}, Dc09Section::kPortText, 0, 0, 0},
        {"lag past a day", {"5070", "86401", "20"}, Dc09Section::kWindowText, 0, 0, 0},
        {"empty lead", {"5070", "40", ""}, Dc09Section::kWindowText, 0, 0, 0},
        {"lead not a number", {"5070", "40", "2O"}, Dc09Section::kWindowText, 0, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(dir.file("Dc09.cfg"));
        ui.messages.clear();
        section.load();
        const bool saved = section.save(c.form);
        if (!c.message) {
            EXPECT_TRUE(saved);
            EXPECT_TRUE(ui.messages.isEmpty()) << messages().join('\n').toStdString();
            const Dc09Settings settings = onDisk();
            EXPECT_EQ(settings.port, c.port);
            EXPECT_EQ(settings.lag, c.lag);
            EXPECT_EQ(settings.lead, c.lead);
        } else {
            EXPECT_FALSE(saved);
            EXPECT_EQ(messages(), QStringList{QString::fromUtf8(c.message)});
            EXPECT_FALSE(dir.exists("Dc09.cfg"));
        }
    }
}

TEST_F(Dc09SectionFixture, OnlyRightBChangesKeys) {
    const struct {
        const char* name;
        quint16 rights;
        bool allowed;
    } cases[] = {
        {"right B alone", OperatorRight::Configuration, true},
        {"every right", OperatorRight::All, true},
        {"every right but B", quint16(OperatorRight::All & ~OperatorRight::Configuration), false},
        {"administrator's right F without B", OperatorRight::Administrator, false},
        {"no right (nobody logged in)", 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        dir.write("Dc09.cfg", "Port 5070\r\nKey 1234 " + kKey128Hex.toLatin1() + "\r\n");
        ui.messages.clear();
        current.rights = c.rights;
        section.load();
        EXPECT_EQ(section.mayChangeKeys(), c.allowed);

        EXPECT_EQ(section.setKey(QStringLiteral("5678"), kKey256Hex), c.allowed);
        EXPECT_EQ(section.removeKey(QStringLiteral("1234")), c.allowed);
        EXPECT_EQ(section.keysChanged(), c.allowed);
        const QStringList refusals = c.allowed ? QStringList() : QStringList({kAccessDenied, kAccessDenied});
        EXPECT_EQ(messages(), refusals);

        // The port may still be saved; the keys on disk are the ones the operator was allowed to leave.
        ASSERT_TRUE(section.save({"5071", "40", "20"}));
        const Dc09Settings settings = onDisk();
        EXPECT_EQ(settings.port, 5071);
        EXPECT_EQ(settings.keys.keys(), QList<QByteArray>({c.allowed ? "5678" : "1234"}));
        EXPECT_FALSE(section.keysChanged());
    }
}

TEST_F(Dc09SectionFixture, MalformedKeysAreRefusedWithTheReason) {
    const struct {
        const char* name;
        QString account;
        QString hex;
        const char* message; // none: taken
        QByteArray storedAs; // the account's name in the file when taken
    } cases[] = {
        {"AES-128", "1234", kKey128Hex, nullptr, "1234"},
        {"AES-192, account in lower case", "abcdef", kKey192Hex.toLower(), nullptr, "ABCDEF"},
        {"AES-256 for every account", "*", kKey256Hex, nullptr, "*"},
        {"sixteen-digit account", "0123456789ABCDEF", kKey128Hex, nullptr, "0123456789ABCDEF"},
        {"blanks around both", " 1234 ", " " + kKey128Hex + " ", nullptr, "1234"},
        {"account of two digits", "12", kKey128Hex, Dc09Section::kAccountText, {}},
        {"account of seventeen digits", "0123456789ABCDEF0", kKey128Hex, Dc09Section::kAccountText, {}},
        {"account not hexadecimal", "12G4", kKey128Hex, Dc09Section::kAccountText, {}},
        {"no account", "", kKey128Hex, Dc09Section::kAccountText, {}},
        {"two stars", "**", kKey128Hex, Dc09Section::kAccountText, {}},
        {"key of 30 digits", "1234", kKey128Hex.chopped(2), Dc09Section::kKeyText, {}},
        {"key of 33 digits", "1234", kKey128Hex + "0", Dc09Section::kKeyText, {}},
        {"key of 40 digits", "1234", kKey128Hex + "01234567", Dc09Section::kKeyText, {}},
        {"key with a letter past F", "1234", kKey128Hex.chopped(1) + "G", Dc09Section::kKeyText, {}},
        {"key with a blank inside", "1234", kKey128Hex.left(16) + " " + kKey128Hex.mid(16), Dc09Section::kKeyText, {}},
        {"no key", "1234", "", Dc09Section::kKeyText, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(dir.file("Dc09.cfg"));
        ui.messages.clear();
        section.load();
        const bool taken = section.setKey(c.account, c.hex);
        EXPECT_EQ(taken, c.message == nullptr);
        EXPECT_EQ(messages(), c.message ? QStringList(QString::fromUtf8(c.message)) : QStringList());
        ASSERT_TRUE(section.save(section.form()));
        const Dc09Settings settings = onDisk();
        if (c.message) {
            EXPECT_TRUE(settings.keys.isEmpty());
        } else {
            ASSERT_EQ(settings.keys.keys(), QList<QByteArray>{c.storedAs});
            EXPECT_EQ(settings.keys.first().toHex().toUpper(), c.hex.trimmed().toUpper().toLatin1());
        }
    }
}

TEST_F(Dc09SectionFixture, KeyChangesWaitForSaveAndOpeningThePageAgainDropsThem) {
    dir.write("Dc09.cfg", "Key 1234 " + kKey128Hex.toLatin1() + "\r\n");
    section.load();
    ASSERT_TRUE(section.setKey(QStringLiteral("1234"), kKey256Hex)); // replaces
    ASSERT_TRUE(section.setKey(QStringLiteral("9ABC"), kKey192Hex));
    EXPECT_EQ(section.keyRows().size(), 2);
    EXPECT_EQ(onDisk().keys.value("1234").size(), 16) << "nothing written before Save";

    section.load();
    EXPECT_FALSE(section.keysChanged());
    ASSERT_EQ(section.keyRows().size(), 1);
    EXPECT_EQ(section.keyRows()[0].shown, QStringLiteral("AES-128 ••••••••"));

    EXPECT_FALSE(section.removeKey(QStringLiteral("9ABC")));
    EXPECT_EQ(messages(), QStringList{QString::fromUtf8(Dc09Section::kNoKeyText)});
    ASSERT_TRUE(section.removeKey(QStringLiteral("1234")));
    ASSERT_TRUE(section.save(section.form()));
    EXPECT_TRUE(onDisk().keys.isEmpty());
    EXPECT_TRUE(onDisk(QStringLiteral("Backup/Dc09.cfg")).keys.isEmpty());
}
