#include "clients/ClientListFile.h"
#include "clients/ClientRecord.h"
#include "clients/ClientRegistry.h"
#include "tests/support/HostileFile.h"
#include "tests/support/TempDataDir.h"

#include <QFileInfo>
#include <QRandomGenerator>

#include <gtest/gtest.h>

#include <functional>

namespace {

constexpr int kDefaultKeepAlive = 60; // "Yellow" 120 halved

// A plain primary with one dependent, then a Multicom client that has not called yet.
const QByteArray kExample = "0A1F\tLoja Centro\tKorvo 16IP\t05/03/2020 14:22:10\t192.0.2.7\t1\t0\t1\t120\t0000002A\r\n"
                            "{\r\n"
                            "0A20\tLoja Centro Deposito\t1\r\n"
                            "}\r\n"
                            "0B00\tFazenda\tKorvo 12IP\t\t\t4\t3\t2\tA1B2C3\t0\t00000000\r\n";

// The same clients as written back: registry order (bucket 0x0B before 0x15)
// and every link state 3 after loading.
const QByteArray kExampleSaved =
    "0B00\tFazenda\tKorvo 12IP\t\t\t4\t3\t2\tA1B2C3\t0\t00000000\r\n"
    "0A1F\tLoja Centro\tKorvo 16IP\t05/03/2020 14:22:10\t192.0.2.7\t1\t3\t1\t120\t0000002A\r\n"
    "{\r\n"
    "0A20\tLoja Centro Deposito\t1\r\n"
    "}\r\n";

} // namespace

TEST(ClientListFileTest, ExampleListReadsAndWritesBack) {
    ClientRegistry registry;
    ClientListFile file(registry, DataDirectory(QStringLiteral("/nonexistent")), kDefaultKeepAlive);
    EXPECT_EQ(file.parse(kExample), 2);

    PrimaryClient* loja = registry.FindPrimary(0x0A1F);
    ASSERT_NE(loja, nullptr);
    EXPECT_FALSE(loja->isMulticom());
    EXPECT_EQ(loja->name, QStringLiteral("Loja Centro"));
    EXPECT_EQ(loja->panel, QStringLiteral("Korvo 16IP"));
    EXPECT_EQ(loja->lastContact, QStringLiteral("05/03/2020 14:22:10"));
    EXPECT_EQ(loja->ethAddress, QStringLiteral("192.0.2.7"));
    EXPECT_EQ(loja->address, QStringLiteral("192.0.2.7"));
    EXPECT_EQ(loja->port, 0);
    EXPECT_EQ(loja->status, ClientStatus::Online);
    EXPECT_EQ(loja->linkState, LinkState::NotHeard) << "whatever the file says";
    EXPECT_EQ(loja->ethPeriod, 120);
    EXPECT_EQ(loja->ethCountdown, 120);
    EXPECT_EQ(loja->gprsCountdown, 0);
    EXPECT_EQ(loja->deviceId, 0x2Au);
    ClientRecord* deposito = loja->FindAccount(0x0A20);
    ASSERT_NE(deposito, nullptr);
    EXPECT_EQ(deposito->name, QStringLiteral("Loja Centro Deposito"));
    EXPECT_EQ(deposito->status, ClientStatus::Online);

    auto* fazenda = dynamic_cast<MulticomClient*>(registry.FindPrimary(0x0B00));
    ASSERT_NE(fazenda, nullptr);
    EXPECT_EQ(registry.FindByMacKey("A1B2C3"), fazenda);
    EXPECT_TRUE(fazenda->lastContact.isEmpty());
    EXPECT_EQ(fazenda->ethCountdown, 0);
    EXPECT_FALSE(fazenda->hasDependents());

    EXPECT_EQ(file.serialize(), kExampleSaved);

    // What is written reads back to the same bytes.
    ClientRegistry again;
    ClientListFile second(again, DataDirectory(QStringLiteral("/nonexistent")), kDefaultKeepAlive);
    second.parse(kExampleSaved);
    EXPECT_EQ(second.serialize(), kExampleSaved);
}

TEST(ClientListFileTest, SavingWritesIdenticalMainAndBackupFiles) {
    TempDataDir dir;
    ClientRegistry registry;
    ClientListFile file(registry, dir.dataDirectory(), kDefaultKeepAlive);
    file.parse(kExample);
    registry.setSaveHandler([&file] { file.SaveClientList(); });

    // A primary whose dependents were removed writes no block.
    PrimaryClient* loja = registry.FindPrimary(0x0A1F);
    DependentAccount* deposito = loja->dependents;
    registry.Unregister(deposito);
    loja->RemoveDependent(deposito);
    registry.saveList();
    const QByteArray main = dir.read(QStringLiteral("Clients.lst"));
    EXPECT_EQ(main, dir.read(QStringLiteral("Backup/Clients.lst")));
    EXPECT_FALSE(main.contains('{'));
    EXPECT_TRUE(main.startsWith("0B00\t"));

    // Without a "Backup" directory only the main file is written.
    TempDataDir bare(false);
    ClientListFile other(registry, bare.dataDirectory(), kDefaultKeepAlive);
    other.SaveClientList();
    EXPECT_EQ(bare.read(QStringLiteral("Clients.lst")), main);
    EXPECT_FALSE(bare.exists(QStringLiteral("Backup/Clients.lst")));
}

TEST(ClientListFileTest, LoadingFallsBackToTheBackup) {
    TempDataDir dir;
    dir.write(QStringLiteral("Backup/Clients.lst"), kExample);
    ClientRegistry registry;
    ClientListFile file(registry, dir.dataDirectory(), kDefaultKeepAlive);
    EXPECT_TRUE(file.LoadClientList().loaded());
    EXPECT_EQ(dir.read(QStringLiteral("Clients.lst")), kExample) << "the backup is copied over the main file";
    EXPECT_EQ(registry.primaryCount(), 2);

    // The main file wins when it is there.
    TempDataDir both;
    both.write(QStringLiteral("Clients.lst"), "0001\tMain\t\t\t\t1\t0\t1\t30\t0\r\n");
    both.write(QStringLiteral("Backup/Clients.lst"), kExample);
    ClientRegistry fromMain;
    ClientListFile mainFile(fromMain, both.dataDirectory(), kDefaultKeepAlive);
    EXPECT_TRUE(mainFile.LoadClientList().loaded());
    EXPECT_EQ(fromMain.primaryCount(), 1);
    EXPECT_NE(fromMain.FindPrimary(0x0001), nullptr);

    // Neither file: the registry stays empty.
    TempDataDir empty;
    ClientRegistry none;
    ClientListFile noFile(none, empty.dataDirectory(), kDefaultKeepAlive);
    EXPECT_FALSE(noFile.LoadClientList().loaded());
    EXPECT_EQ(none.primaryCount(), 0);
    EXPECT_FALSE(empty.exists(QStringLiteral("Clients.lst")));
}

TEST(ClientListFileTest, LenientReadingOfFieldsAndLineEnds) {
    ClientRegistry registry;
    ClientListFile file(registry, DataDirectory(QStringLiteral("/nonexistent")), kDefaultKeepAlive);
    // Bare LF line ends, lower-case and short accounts, empty periods, no final line end.
    file.parse("ab\tLower\t\t\t\t2\t0\t1\t\t2a\n"
               "{\n"
               "c\tDep\t3\n"
               "}\n"
               "\n"
               "00AC\tMulti\t\t\t\t4\t0\t2\tABCDEF\t\t1\n"
               "00AD\tOdd kind\t\t\t\t1\t0\t7\t\t5\n"
               "1FFFF\tWide\t\t\t\t1\t0\t1\t45\tFFFFFFFF");
    PrimaryClient* lower = registry.FindPrimary(0x00AB);
    ASSERT_NE(lower, nullptr);
    EXPECT_EQ(lower->status, ClientStatus::Offline);
    EXPECT_EQ(lower->ethPeriod, 0);
    EXPECT_EQ(lower->ethCountdown, kDefaultKeepAlive) << "no period: the default keep-alive";
    EXPECT_EQ(lower->deviceId, 0x2Au);
    ASSERT_NE(lower->FindAccount(0x000C), nullptr);
    EXPECT_EQ(lower->FindAccount(0x000C)->status, ClientStatus::Blocked);

    PrimaryClient* multi = registry.FindPrimary(0x00AC);
    ASSERT_NE(multi, nullptr);
    EXPECT_TRUE(multi->isMulticom());
    EXPECT_EQ(multi->ethCountdown, 0) << "a Multicom client without a period waits for its call";
    EXPECT_EQ(multi->deviceId, 1u);

    PrimaryClient* odd = registry.FindPrimary(0x00AD);
    ASSERT_NE(odd, nullptr);
    EXPECT_EQ(odd->ethCountdown, 0) << "the default keep-alive is for kind 1 only";

    PrimaryClient* wide = registry.FindPrimary(0xFFFF);
    ASSERT_NE(wide, nullptr) << "the low 16 bits of a long account are kept";
    EXPECT_EQ(wide->ethPeriod, 45);
    EXPECT_EQ(wide->deviceId, 0xFFFFFFFFu);

    const QByteArray saved = file.serialize();
    EXPECT_TRUE(saved.contains("00AB\tLower\t\t\t\t2\t3\t1\t0\t0000002A\r\n{\r\n000C\tDep\t3\r\n}\r\n"));
    EXPECT_TRUE(saved.contains("00AC\tMulti\t\t\t\t4\t3\t2\tABCDEF\t0\t00000001\r\n"));
}

TEST(ClientListFileTest, MalformedLinesNeverBreakTheLoad) {
    ClientRegistry registry;
    ClientListFile file(registry, DataDirectory(QStringLiteral("/nonexistent")), kDefaultKeepAlive);
    const QString longName(300, QLatin1Char('x'));
    const QByteArray content = "{\r\n"
                               "0001\tOrphan\t1\r\n" // a dependent before any primary
                               "}\r\n"
                               "zz\tNo account\t\t\t\t1\t0\t1\t60\t0\r\n" // skipped with its block
                               "{\r\n"
                               "0002\tLost dependent\t1\r\n"
                               "}\r\n"
                               "0003\t" +
                               longName.toUtf8() +
                               "\tpanel\t\t\tx\ty\tz\t-5\tq\r\n" // non-numeric fields, negative period
                               "0004\tShort mac\t\t\t\t1\t0\t2\tAB\t60\t0\r\n"
                               "0005\tNomes com acentua\xe7\xe3o\r\n" // 8-bit text, missing fields
                               "\t\t\t\r\n";
    EXPECT_EQ(file.parse(content), 3);
    EXPECT_EQ(registry.FindPrimaryByName(QStringLiteral("Orphan")), nullptr);
    EXPECT_EQ(registry.FindPrimaryByName(QStringLiteral("No account")), nullptr);

    PrimaryClient* longLine = registry.FindPrimary(0x0003);
    ASSERT_NE(longLine, nullptr);
    EXPECT_EQ(longLine->name, longName) << "a long line is read whole";
    EXPECT_EQ(longLine->panel, QStringLiteral("panel"));
    EXPECT_EQ(longLine->status, ClientStatus::New) << "an unreadable status keeps the default";
    EXPECT_FALSE(longLine->isMulticom());
    EXPECT_EQ(longLine->ethPeriod, 0);
    EXPECT_EQ(longLine->ethCountdown, kDefaultKeepAlive) << "a negative period is no period";
    EXPECT_FALSE(longLine->hasDependents());

    PrimaryClient* shortMac = registry.FindPrimary(0x0004);
    ASSERT_NE(shortMac, nullptr);
    EXPECT_EQ(shortMac->macChar(1), 'B');
    EXPECT_EQ(shortMac->macChar(2), '\0');
    EXPECT_EQ(registry.FindByMacKey("AB0000"), nullptr);
    EXPECT_EQ(shortMac->ethPeriod, 60);

    PrimaryClient* latin = registry.FindPrimary(0x0005);
    ASSERT_NE(latin, nullptr);
    EXPECT_EQ(latin->name, QStringLiteral("Nomes com acentuação"));
    EXPECT_EQ(latin->status, ClientStatus::New);

    // Separators inside a text are written as blanks, so the file keeps its shape.
    latin->name = QStringLiteral("Tab\there\r\nand line");
    const QByteArray saved = file.serialize();
    EXPECT_TRUE(saved.contains("0005\tTab here  and line\t"));
    ClientRegistry reread;
    ClientListFile check(reread, DataDirectory(QStringLiteral("/nonexistent")), kDefaultKeepAlive);
    EXPECT_EQ(check.parse(saved), 3);
    EXPECT_EQ(check.serialize(), saved);

    // Random bytes: no crash, no hang.
    QRandomGenerator random(20261209);
    for (int round = 0; round < 20; ++round) {
        QByteArray noise(4096, '\0');
        for (char& c : noise) {
            const quint32 pick = random.bounded(16u);
            c = pick < 3   ? '\t'
                : pick < 4 ? '\n'
                : pick < 5 ? '{'
                : pick < 6 ? '}'
                           : static_cast<char>(random.bounded(256u));
        }
        ClientRegistry scratch;
        ClientListFile fuzz(scratch, DataDirectory(QStringLiteral("/nonexistent")), kDefaultKeepAlive);
        fuzz.parse(noise);
        fuzz.serialize();
    }
}

TEST(ClientListFileTest, CarriageReturnsInsideFieldsReadAsTheBlanksTheyAreWrittenAs) {
    ClientRegistry registry;
    ClientListFile file(registry, DataDirectory(QStringLiteral("/nonexistent")), kDefaultKeepAlive);
    ASSERT_EQ(file.parse("00A1\tLoja\rCentro\tKorvo\r\t\t\t1\t0\t2\tAB\rDEF\t60\t0\r\n"), 1);
    auto* client = dynamic_cast<MulticomClient*>(registry.FindPrimary(0x00A1));
    ASSERT_NE(client, nullptr);
    EXPECT_EQ(client->name, QStringLiteral("Loja Centro"));
    EXPECT_EQ(client->panel, QStringLiteral("Korvo "));
    EXPECT_EQ(client->macKeyText(), QByteArray("AB DEF"));

    const QByteArray saved = file.serialize();
    ClientRegistry reread;
    ClientListFile check(reread, DataDirectory(QStringLiteral("/nonexistent")), kDefaultKeepAlive);
    ASSERT_EQ(check.parse(saved), 1);
    EXPECT_EQ(reread.FindPrimary(0x00A1)->name, client->name);
    EXPECT_EQ(reread.FindPrimary(0x00A1)->panel, client->panel);
    EXPECT_EQ(check.serialize(), saved);
}

TEST(ClientListFileTest, OnlyAListIsTakenForOne) {
    const struct {
        const char* name;
        QByteArray content;
        bool list;
    } cases[] = {
        {"the example", kExample, true},
        {"an empty file", "", true},
        {"blank lines only", "\r\n\r\n", true},
        {"lenient lines of older files", "ab\tLower\n{\nc\tDep\t3\n}\n1FFFF\tWide\t\t\t\t1\t0\t1\t45\tFFFFFFFF", true},
        {"half the lines broken", kExample + "junk\r\nmore junk\r\nstill junk\r\nand more\r\n", true},
        {"most lines broken", kExample + QByteArray("junk\r\n").repeated(6), false},
        {"binary junk", HostileFiles::junk(HostileFiles::kJunkBytes), false},
        {"zeros without a line end", QByteArray(4096, '\0'), false},
        {"another text", "[Ports]\r\nUDP 5000\r\nTCP 0\r\n", false},
        {"an account without a TAB after it", "0A1F Loja Centro\r\n0B00 Fazenda\r\n", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ClientListFile::isClientList(c.content), c.list) << c.name;
}

// Whatever is in place of "Clients.lst" that is not a list, with a good
// backup: the clients come from the backup, the main file is rebuilt from it,
// what was there is kept aside untouched, and the saves that follow write the
// list, never nothing, over the backup.
TEST(ClientListFileTest, AMainFileThatIsNoListGivesWayToAGoodBackup) {
    for (const HostileCase& c : hostileCases()) {
        TempDataDir dir;
        HostileFiles files;
        files.place(dir, ClientListFile::kFileName, c.kind, "0C00\tElsewhere\t\t\t\t1\t0\t1\t60\t0\r\n");
        dir.write("Backup/Clients.lst", kExample);
        // (Reading a FIFO would wait for ever, and a sparse file is a gigabyte.)
        const QByteArray placed = c.kind == HostileKind::BinaryJunk ? dir.read(ClientListFile::kFileName) : "";
        ClientRegistry registry;
        ClientListFile file(registry, dir.dataDirectory(), kDefaultKeepAlive);
        const ClientListLoad load = file.LoadClientList();
        EXPECT_EQ(load.source, ClientListSource::Backup) << c.name;
        EXPECT_EQ(registry.primaryCount(), 2) << c.name;
        EXPECT_EQ(registry.FindPrimary(0x0C00), nullptr) << c.name << ": nothing of what a link names is read";
        EXPECT_TRUE(load.problem.contains(file.mainPath())) << c.name;
        EXPECT_TRUE(load.problem.contains(file.backupPath())) << c.name;
        EXPECT_EQ(dir.read(ClientListFile::kFileName), kExample) << c.name << ": rebuilt from the backup";

        // What was in the main file's place is kept as it was, beside it.
        const QString aside = file.mainPath() + ".bad";
        EXPECT_TRUE(load.problem.contains(aside)) << c.name;
        EXPECT_EQ(QFileInfo(aside).isSymLink(), c.kind == HostileKind::LinkOutside) << c.name;
        EXPECT_EQ(QFileInfo(aside).isDir(), c.kind == HostileKind::Directory) << c.name;
        if (c.kind == HostileKind::BinaryJunk || c.kind == HostileKind::HugeSparse) {
            EXPECT_EQ(QFileInfo(aside).size(),
                      c.kind == HostileKind::HugeSparse ? HostileFiles::kHugeBytes : HostileFiles::kJunkBytes)
                << c.name;
        }
        if (c.kind == HostileKind::BinaryJunk) {
            EXPECT_EQ(dir.read(ClientListFile::kFileName + QStringLiteral(".bad")), placed) << c.name;
        }

        file.SaveClientList();
        EXPECT_EQ(dir.read("Backup/Clients.lst"), file.serialize()) << c.name;
        EXPECT_TRUE(dir.read("Backup/Clients.lst").contains("0A1F\tLoja Centro")) << c.name;
        if (c.kind == HostileKind::LinkOutside) {
            EXPECT_TRUE(files.outsideContent(ClientListFile::kFileName).contains("Elsewhere")) << c.name;
        }
    }
}

// Neither copy is a list: nothing is loaded, both are kept aside as they
// were, and the saves write new files instead of replacing them.
TEST(ClientListFileTest, WithoutAGoodCopyNothingIsLoadedAndNothingIsWrittenOverWhatWasThere) {
    const struct {
        const char* name;
        std::function<void(const TempDataDir&, HostileFiles&)> place;
        bool mainAside;
        bool backupAside;
        bool mainReadable; // a small regular file (a FIFO would wait for ever, a sparse file is a gigabyte)
    } cases[] = {
        {"junk main file, no backup",
         [](const TempDataDir& dir, HostileFiles& files) { files.place(dir, "Clients.lst", HostileKind::BinaryJunk); },
         true, false, true},
        {"main file too large, no backup",
         [](const TempDataDir& dir, HostileFiles& files) { files.place(dir, "Clients.lst", HostileKind::HugeSparse); },
         true, false, false},
        {"no main file, junk backup",
         [](const TempDataDir& dir, HostileFiles& files) {
             files.place(dir, "Backup/Clients.lst", HostileKind::BinaryJunk);
         },
         false, true, false},
        {"a FIFO and a junk backup",
         [](const TempDataDir& dir, HostileFiles& files) {
             files.place(dir, "Clients.lst", HostileKind::Fifo);
             files.place(dir, "Backup/Clients.lst", HostileKind::BinaryJunk);
         },
         true, true, false},
    };
    for (const auto& c : cases) {
        TempDataDir dir;
        HostileFiles files;
        c.place(dir, files);
        const QByteArray mainBefore = c.mainReadable ? dir.read("Clients.lst") : QByteArray();
        const QByteArray backupBefore = dir.read("Backup/Clients.lst");
        ClientRegistry registry;
        ClientListFile file(registry, dir.dataDirectory(), kDefaultKeepAlive);
        const ClientListLoad load = file.LoadClientList();
        EXPECT_EQ(load.source, ClientListSource::None) << c.name;
        EXPECT_EQ(registry.primaryCount(), 0) << c.name;
        EXPECT_FALSE(load.problem.isEmpty()) << c.name;
        EXPECT_EQ(dir.exists("Clients.lst.bad"), c.mainAside) << c.name;
        EXPECT_EQ(dir.exists("Backup/Clients.lst.bad"), c.backupAside) << c.name;

        // A client heard later is saved to new files; what was put aside stays as it was.
        file.parse("0D00\tNovo\t\t\t\t4\t0\t1\t60\t0\r\n");
        file.SaveClientList();
        EXPECT_TRUE(dir.read("Clients.lst").startsWith("0D00\tNovo")) << c.name;
        EXPECT_TRUE(dir.read("Backup/Clients.lst").startsWith("0D00\tNovo")) << c.name;
        if (c.mainAside && !mainBefore.isEmpty()) {
            EXPECT_EQ(dir.read("Clients.lst.bad"), mainBefore) << c.name;
        }
        if (c.backupAside) {
            EXPECT_EQ(dir.read("Backup/Clients.lst.bad"), backupBefore) << c.name;
        }
    }
}
