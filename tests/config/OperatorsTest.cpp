#include "config/Operators.h"
#include "config/LoginCheck.h"
#include "config/OperatorsSection.h"
#include "config/UsersFile.h"
#include "config/ValueExchange.h"
#include "tests/support/HostileFile.h"
#include "tests/support/RecordingUserInterface.h"
#include "tests/support/TempDataDir.h"

#include <QFile>

#include <gtest/gtest.h>

namespace {

const QString kAnonymous = QStringLiteral("Anonimo");

QByteArray code(const char* password) {
    return QByteArray::number(UsersFile::passwordCode(QString::fromLatin1(password)));
}

// A table as read from a file of the given lines (CR LF added).
OperatorTable tableFrom(const QByteArrayList& lines) {
    OperatorTable table;
    table.reset(kAnonymous);
    UsersFile::parse(lines.join("\r\n") + "\r\n", table);
    return table;
}

// "Admin" 1111, the anonymous operator without rights, and the named operators given.
OperatorTable tableWith(const QList<Operator>& named) {
    OperatorTable table;
    table.reset(kAnonymous);
    table.entry(OperatorTable::kAdministrator).password = QStringLiteral("1111");
    for (const Operator& op : named) {
        const int index = table.openEntry();
        table.entry(index) = op;
        table.entry(index).number = index + 1;
    }
    return table;
}

QStringList names(const OperatorTable& table) {
    QStringList result;
    for (int i = OperatorTable::kFirstNamed; i < table.count(); ++i)
        result << table.entry(i).name;
    return result;
}

} // namespace

TEST(UsersFileTest, ReadsWhatTheFileHoldsAndStopsAtWhatItCannotRead) {
    struct Case {
        const char* name;
        QByteArrayList lines;
        const char* adminPassword;
        quint16 anonymousRights;
        QStringList named;
    };
    const Case cases[] = {
        {"first line only", {code("0042") + " 3"}, "0042", 3, {}},
        {"names with blanks",
         {code("1234") + " 0", "Ana Maria\t6\t" + code("0007"), " Beto \t16\t" + code("9999")},
         "1234",
         0,
         {"Ana Maria", " Beto "}},
        {"more than four named operators",
         {code("1234") + " 0", "A\t1\t1", "B\t1\t1", "C\t1\t1", "D\t1\t1", "E\t1\t1"},
         "1234",
         0,
         {"A", "B", "C", "D"}},
        // An operator without a readable password would log in with an empty one.
        {"truncated after a name", {code("1234") + " 0", "Ana\t6\t" + code("1"), "Beto\t6\t"}, "1234", 0, {"Ana"}},
        {"letters in the rights", {code("1234") + " 0", "Ana\tx\t1", "Beto\t6\t1"}, "1234", 0, {}},
        // The writer leaves out an entry without a name; reading passes over one the same way.
        {"an entry without a name",
         {code("1234") + " 0", "\t6\t" + code("0001"), "Beto\t6\t" + code("0002")},
         "1234",
         0,
         {"Beto"}},
        {"administrator code not a number", {"abc 7", "Ana\t6\t1"}, "8264", 0, {}},
        {"out of range", {"99999 7"}, "8264", 0, {}},
        {"empty file", {}, "8264", 0, {}},
    };
    for (const Case& c : cases) {
        const OperatorTable table = tableFrom(c.lines);
        EXPECT_EQ(table.entry(OperatorTable::kAdministrator).password, QString::fromLatin1(c.adminPassword)) << c.name;
        EXPECT_EQ(table.entry(OperatorTable::kAnonymous).rights, c.anonymousRights) << c.name;
        EXPECT_EQ(names(table), c.named) << c.name;
        EXPECT_EQ(table.count(), OperatorTable::kFirstNamed + c.named.size()) << c.name;
    }
}

TEST(UsersFileTest, AFileRefusedIsTakenAsNoFileAndTheReasonIsGivenBack) {
    const QByteArray elsewhere = code("1234") + " 7\r\nIntruso\t63\t" + code("0000") + "\r\n";
    for (const HostileCase& c : refusedHostileCases()) {
        TempDataDir dir;
        HostileFiles files;
        files.place(dir, UsersFile::kFileName, c.kind, elsewhere);
        OperatorTable table;
        const QString problem = UsersFile::LoadOperators(dir.dataDirectory(), kAnonymous, table);
        EXPECT_TRUE(problem.contains(dir.file(UsersFile::kFileName))) << c.name << ": " << qPrintable(problem);
        EXPECT_EQ(table.entry(OperatorTable::kAdministrator).password, QStringLiteral("8264")) << c.name;
        EXPECT_TRUE(names(table).isEmpty()) << c.name << ": nobody a link's target names comes in";
        EXPECT_EQ(table.entry(OperatorTable::kAnonymous).rights, 0) << c.name;
    }
    // A file that is read, or none at all, gives nothing to say.
    TempDataDir dir;
    OperatorTable table;
    EXPECT_TRUE(UsersFile::LoadOperators(dir.dataDirectory(), kAnonymous, table).isEmpty());
    dir.write(UsersFile::kFileName, elsewhere);
    EXPECT_TRUE(UsersFile::LoadOperators(dir.dataDirectory(), kAnonymous, table).isEmpty());
    EXPECT_EQ(names(table), QStringList{QStringLiteral("Intruso")});
}

TEST(UsersFileTest, SavedTableReadsBackTheSameWithLeadingZerosAndUnusedRightBits) {
    OperatorTable table = tableWith({{QStringLiteral("Ana Maria"), 0, quint16(0x7FE0 | OperatorRight::Edit), "0042"},
                                     {QStringLiteral("João"), 0, OperatorRight::All, "9999"}});
    table.entry(OperatorTable::kAdministrator).password = QStringLiteral("0000");
    table.entry(OperatorTable::kAnonymous).rights = OperatorRight::Configuration;
    TempDataDir dir;
    UsersFile::write(dir.dataDirectory(), table);
    EXPECT_EQ(dir.read("Backup/Users.lst"), dir.read("Users.lst"));
    EXPECT_TRUE(dir.read("Users.lst").startsWith(code("0000") + " 2\r\nAna Maria\t32740\t" + code("0042") + "\r\n"));
    EXPECT_FALSE(QFile::permissions(dir.file("Users.lst")) & (QFileDevice::ReadOther | QFileDevice::ReadGroup));

    OperatorTable read;
    UsersFile::LoadOperators(dir.dataDirectory(), kAnonymous, read);
    for (int i = 0; i < OperatorTable::kSize; ++i) {
        EXPECT_EQ(read.entry(i).name, table.entry(i).name) << i;
        EXPECT_EQ(read.entry(i).password, table.entry(i).password) << i;
        EXPECT_EQ(read.entry(i).rights, table.entry(i).rights) << i;
        EXPECT_EQ(read.entry(i).number, table.entry(i).number) << i;
    }
    EXPECT_EQ(read.count(), 4);

    // No file: the administrator's default password, nothing else. No "Backup": the main file is still written.
    TempDataDir empty(false);
    UsersFile::LoadOperators(empty.dataDirectory(), kAnonymous, read);
    EXPECT_EQ(read.entry(OperatorTable::kAdministrator).password, QStringLiteral("8264"));
    EXPECT_EQ(read.count(), 2);
    UsersFile::write(empty.dataDirectory(), table);
    EXPECT_TRUE(empty.exists("Users.lst"));
}

TEST(UsersFileTest, CodesThatNoFourDigitsGiveReadBackAsThemselves) {
    for (const qint16 stored : {qint16(-1), qint16(-32768), qint16(31261), qint16(0)}) {
        const OperatorTable table = tableFrom({QByteArray::number(stored) + " 0"});
        const QString password = table.entry(OperatorTable::kAdministrator).password;
        EXPECT_EQ(UsersFile::passwordCode(password), quint16(stored)) << stored;
        EXPECT_EQ(UsersFile::serialize(table), QByteArray::number(stored) + " 0\r\n") << stored;
    }
    EXPECT_EQ(UsersFile::passwordFromCode(qint16(UsersFile::passwordCode(QStringLiteral("0042")))),
              QStringLiteral("0042"));
}

TEST(LoginCheckTest, WhoComesInAndHowFailuresEnd) {
    using R = LoginCheck::Result;
    struct Attempt {
        const char* name;
        const char* password;
        R result;
    };
    struct Case {
        const char* title;
        bool anonymousMode;
        QList<Attempt> attempts;
        int number; // CurrentOperator afterwards, 0 when nobody came in
        const char* lastMessage;
    };
    const QList<Attempt> fiveWrong(5, Attempt{"Admin", "8264", R::Retry});
    const Case cases[] = {
        {"administrator", false, {{"Admin", "1111", R::Accepted}}, 1, ""},
        {"names are case-sensitive", false, {{"admin", "1111", R::Retry}}, 0, LoginCheck::kWrongText},
        {"a correct sixth attempt", false, fiveWrong + QList<Attempt>{{"Ana", "0042", R::Accepted}}, 3,
         LoginCheck::kWrongText},
        {"the sixth failure", false, fiveWrong + QList<Attempt>{{"Ana", "0043", R::Exceeded}}, 0,
         LoginCheck::kExceededText},
        {"empty name outside anonymous mode", false, {{"", "", R::Cancelled}}, 0, ""},
        {"anonymous name outside anonymous mode", false, {{"Anonimo", "", R::Cancelled}}, 0, ""},
        {"empty name in anonymous mode", true, {{"", "9", R::Accepted}}, 2, ""},
        // A named operator called "Admin" comes in with its own password.
        {"named Admin", false, {{"Admin", "2222", R::Accepted}}, 4, ""},
    };
    const OperatorTable table = tableWith({{QStringLiteral("Ana"), 0, OperatorRight::Edit, "0042"},
                                           {QStringLiteral("Admin"), 0, OperatorRight::Details, "2222"}});
    for (const Case& c : cases) {
        RecordingUserInterface ui;
        CurrentOperator current;
        LoginCheck check(table, current, c.anonymousMode, ui);
        for (const Attempt& a : c.attempts)
            EXPECT_EQ(check.submit(QString::fromLatin1(a.name), QString::fromLatin1(a.password)), a.result) << c.title;
        EXPECT_EQ(current.number, c.number) << c.title;
        EXPECT_EQ(ui.messages.isEmpty() ? QString() : ui.messages.last().text, QString::fromUtf8(c.lastMessage))
            << c.title;
    }

    // Rights come from the entry: all for the administrator, entry 1's for the anonymous operator.
    OperatorTable anonymousTable = table;
    anonymousTable.entry(OperatorTable::kAnonymous).rights = OperatorRight::Close;
    RecordingUserInterface ui;
    CurrentOperator current;
    LoginCheck(anonymousTable, current, true, ui).submit(kAnonymous, QString());
    EXPECT_EQ(current.rights, OperatorRight::Close);
    EXPECT_EQ(current.name, kAnonymous);
    LoginCheck(anonymousTable, current, true, ui).submit(QStringLiteral("Admin"), QStringLiteral("1111"));
    EXPECT_EQ(current.rights, OperatorRight::All);
}

TEST(LoginCheckTest, SearchStopsAtAnEntryOpenedWithoutAName) {
    OperatorTable table = tableWith({{QString(), 0, 0, QString()}, {QStringLiteral("Bia"), 0, 0, "1234"}});
    RecordingUserInterface ui;
    CurrentOperator current;
    EXPECT_EQ(LoginCheck(table, current, false, ui).submit(QStringLiteral("Bia"), QStringLiteral("1234")),
              LoginCheck::Result::Retry);
}

namespace {

// The operators section over a table, with the section's fields as the table shows them.
struct SectionFixture {
    explicit SectionFixture(OperatorTable start, int loggedIn = OperatorTable::kAdministrator)
        : table(std::move(start)) {
        table.logIn(loggedIn, current);
        section.refresh();
    }
    OperatorsForm shownForm() const {
        OperatorsForm form;
        form.adminPassword = table.entry(OperatorTable::kAdministrator).password;
        for (int i = 0; i < 4; ++i) {
            form.names[size_t(i)] = table.entry(i + 2).name;
            form.passwords[size_t(i)] = table.entry(i + 2).password;
        }
        return form;
    }
    bool save(const OperatorsForm& form) {
        ValueExchange exchange(ui);
        section.takeFields(exchange, form);
        return section.SaveOperators();
    }
    TempDataDir dir;
    RecordingUserInterface ui;
    OperatorTable table;
    CurrentOperator current;
    OperatorsSection section{table, current, dir.dataDirectory(), ui};
};

Operator named(const char* name, quint16 rights = 0) {
    return {QString::fromUtf8(name), 0, rights, QStringLiteral("1234")};
}

} // namespace

TEST(OperatorsSectionTest, RowsShowWhatTheLoggedInOperatorMayChange) {
    struct Expect {
        bool button, removes, nameEnabled, passwordShown, boxesEnabled;
    };
    struct Case {
        const char* title;
        int loggedIn;
        QList<Operator> named;
        QList<Expect> rows; // entries 2..5
        bool adminBox;
    };
    const Expect novo{true, false, false, false, false};
    const Expect hidden{false, false, false, false, false};
    const Expect managed{true, true, true, true, true};
    const Expect own{true, true, true, true, false};
    const Case cases[] = {
        {"administrator, no named operators", 0, {}, {novo, hidden, hidden, hidden}, true},
        {"administrator, two named", 0, {named("Ana"), named("Beto")}, {managed, managed, novo, hidden}, true},
        {"operator without F sees only its own row",
         3,
         {named("Ana"), named("Beto")},
         {hidden, own, hidden, hidden},
         false},
        {"operator with F", 2, {named("Ana", OperatorRight::Administrator)}, {managed, novo, hidden, hidden}, true},
        {"full table", 0, {named("A"), named("B"), named("C"), named("D")}, {managed, managed, managed, managed}, true},
    };
    for (const Case& c : cases) {
        SectionFixture f(tableWith(c.named), c.loggedIn);
        EXPECT_EQ(f.section.adminPasswordBoxVisible(), c.adminBox) << c.title;
        for (int i = 0; i < 4; ++i) {
            const OperatorsSection::Row& row = f.section.row(i + 2);
            const Expect& e = c.rows[i];
            const std::array<bool, 5> got{row.buttonVisible, row.buttonRemoves && row.buttonVisible, row.nameEnabled,
                                          row.passwordVisible, row.boxesEnabled};
            const std::array<bool, 5> want{e.button, e.removes, e.nameEnabled, e.passwordShown, e.boxesEnabled};
            EXPECT_EQ(got, want) << c.title << ", entry " << i + 2;
        }
    }
}

TEST(OperatorsSectionTest, RemoverMovesLaterEntriesUpAndNovoOpensTheFreedOne) {
    SectionFixture f(tableWith({named("Ana"), named("Beto"), named("Caio"), named("Duda")}));
    f.section.remover(3);
    EXPECT_EQ(names(f.table), (QStringList{"Ana", "Caio", "Duda"}));
    EXPECT_EQ(f.table.entry(3).number, 4);
    EXPECT_EQ(f.table.entry(4).number, 5);
    EXPECT_EQ(f.table.entry(5).number, 0);
    EXPECT_TRUE(f.table.entry(5).name.isEmpty());
    EXPECT_TRUE(f.section.row(5).buttonVisible && !f.section.row(5).buttonRemoves) << "\"Novo\" on the freed row";
    EXPECT_TRUE(f.section.saveEnabled());
    EXPECT_FALSE(f.dir.exists("Users.lst")) << "nothing is written before Save";

    f.section.novo(5);
    EXPECT_EQ(f.table.count(), 6);
    EXPECT_TRUE(f.section.row(5).nameEnabled && f.section.row(5).buttonRemoves);
}

TEST(OperatorsSectionTest, RightsActAtOnceAndSaveWritesOnlyWhatIsWhole) {
    SectionFixture f(tableWith({named("Ana", OperatorRight::Administrator | OperatorRight::Configuration)}), 2);
    // Unticking B on the row that shows the logged-in operator's name takes effect before Save.
    f.section.rightClicked(2, 1, false, QStringLiteral("Ana"));
    EXPECT_FALSE(f.current.has(OperatorRight::Configuration));
    f.section.rightClicked(2, 2, true, QStringLiteral("Someone else"));
    EXPECT_TRUE(f.current.has(OperatorRight::Configuration) == false && !f.current.has(OperatorRight::Edit));

    // A new row saved without a name is not written; a short password is refused and nothing is written.
    f.section.novo(3);
    OperatorsForm form = f.shownForm();
    form.passwords[0] = QStringLiteral("12");
    EXPECT_FALSE(f.save(form));
    EXPECT_EQ(f.ui.messages.last().text, QString::fromUtf8(OperatorsSection::kPasswordText));
    EXPECT_FALSE(f.dir.exists("Users.lst"));
    EXPECT_EQ(f.table.entry(2).password, QStringLiteral("1234")) << "nothing half-applied";
    EXPECT_TRUE(f.section.saveEnabled());

    form.passwords[0] = QStringLiteral("0042");
    form.names[0] = QStringLiteral("Ana\tB");
    EXPECT_FALSE(f.save(form));
    form.names[0] = QStringLiteral("Ana Maria");
    EXPECT_TRUE(f.save(form));
    EXPECT_FALSE(f.section.saveEnabled());
    const QByteArray saved = f.dir.read("Users.lst");
    EXPECT_EQ(saved.count('\n'), 2) << saved.constData();
    EXPECT_TRUE(saved.contains("Ana Maria\t" + QByteArray::number(OperatorRight::Administrator | OperatorRight::Edit) +
                               "\t" + code("0042")));
}
