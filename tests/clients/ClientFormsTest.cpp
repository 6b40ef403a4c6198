#include "clients/ClientForms.h"
#include "clients/ClientPages.h"
#include "tests/support/ClientWorld.h"

#include <gtest/gtest.h>

TEST(ClientFormsTest, AccountFieldsReadSevenCharactersAsHexadecimal) {
    struct Case {
        const char* text;
        std::optional<quint16> value;
    };
    const Case cases[] = {
        {"1A2b", 0x1A2B}, {"1g", 0x77},        {"FFFF", 0xFFFF},    {"10000", std::nullopt},
        {"", 0},          {"0001234", 0x1234}, {"00001234", 0x123}, // the eighth character is not read
        {"z", 122},       {"zz", 0x81A},       {" 1", 0x201},       {"zzzz", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ClientForms::readAccount(QString::fromLatin1(c.text)), c.value) << c.text;
}

namespace {

struct FormWorld {
    ClientWorld world;
    ClientBuilder make{world};
    PrimaryClient* p = make.primary(0x1001, ClientStatus::Online, LinkState::Ok);
    PrimaryClient* q = make.primary(0x2001, ClientStatus::Online, LinkState::Ok);
    DependentAccount* d = make.dependent(p, 0x1002, ClientStatus::Online);

    FormOutcome saveData(ClientRecord& client, std::function<void(ClientDataForm::Fields&)> edit,
                         ClientRecord** result = nullptr, bool mayEdit = true) {
        ClientDataForm form(client, ClientStatus::Online, mayEdit, world.registry, world.transitions, world.ui);
        ClientDataForm::Fields fields = form.fields();
        edit(fields);
        const FormOutcome outcome = form.save(fields);
        if (result)
            *result = form.client();
        return outcome;
    }
    QString lastMessage() const { return world.ui.messages.isEmpty() ? QString() : world.ui.messages.last().text; }
};

} // namespace

TEST(ClientFormsTest, ClientDataRefusalsChangeNothing) {
    struct Case {
        const char* name;
        std::function<void(FormWorld&, ClientDataForm::Fields&)> edit;
        int focus;
        const char* message;
    };
    const Case cases[] = {
        {"empty name", [](FormWorld&, auto& f) { f.name.clear(); }, ClientField::Name, "Digite o nome..."},
        {"name with a TAB", [](FormWorld&, auto& f) { f.name = QStringLiteral("A\tB"); }, ClientField::Name,
         ClientForms::kBadNameText},
        {"account above FFFF", [](FormWorld&, auto& f) { f.account = QStringLiteral("12345"); }, ClientField::Account,
         ""},
        {"no such primary",
         [](FormWorld&, auto& f) {
             f.dependent = true;
             f.primaryAccount = QStringLiteral("9999");
         },
         ClientField::PrimaryAccount, "Conta primaria não existe!"},
        {"named like the new primary",
         [](FormWorld& w, auto& f) {
             f.dependent = true;
             f.primaryAccount = QStringLiteral("2001");
             f.name = w.q->name;
         },
         ClientField::PrimaryAccount, "Conta primaria não pode ser a mesma\nOperação abortada"},
        {"its own primary",
         [](FormWorld&, auto& f) {
             f.dependent = true;
             f.primaryAccount = QStringLiteral("1001");
             f.name = QStringLiteral("Outro nome");
         },
         ClientField::PrimaryAccount, "Conta primaria não pode ser a mesma\nOperação abortada"},
        {"a primary with dependents",
         [](FormWorld&, auto& f) {
             f.dependent = true;
             f.primaryAccount = QStringLiteral("2001");
         },
         0, "Remover todas contas dependentes antes da primaria."},
    };
    for (const Case& c : cases) {
        FormWorld w;
        ClientRecord* after = nullptr;
        const FormOutcome outcome = w.saveData(
            *w.p, [&](auto& f) { c.edit(w, f); }, &after);
        EXPECT_EQ(outcome.result, ClientDialogResult::StayOpen) << c.name;
        EXPECT_EQ(outcome.focusField, c.focus) << c.name;
        EXPECT_EQ(w.lastMessage(), QString::fromUtf8(c.message)) << c.name;
        EXPECT_EQ(after, w.p) << c.name;
        EXPECT_EQ(w.world.registry.FindPrimary(0x1001), w.p) << c.name;
        EXPECT_EQ(w.p->name, QStringLiteral("Cliente 1001")) << c.name;
    }

    // Without right C there is no "Salvar".
    FormWorld w;
    ClientDataForm form(*w.p, ClientStatus::Online, false, w.world.registry, w.world.transitions, w.world.ui);
    EXPECT_FALSE(form.saveVisible());
    EXPECT_FALSE(form.button3Visible());
    EXPECT_EQ(form.save(form.fields()).result, ClientDialogResult::StayOpen);
}

TEST(ClientFormsTest, ClientDataTurnsAPrimaryIntoADependentAndBackWithoutLeftovers) {
    FormWorld w;
    // A dependent keeps its primary when its primary's account is left as it was.
    EXPECT_EQ(w.saveData(*w.d, [](auto&) {}).result, ClientDialogResult::Saved);
    EXPECT_EQ(w.p->FindAccount(0x1002), w.d);

    // q (no dependents, listed Online) becomes a dependent of p: the old record leaves every page and the registry.
    ClientRecord* replaced = nullptr;
    ASSERT_EQ(w.saveData(
                   *w.q,
                   [](auto& f) {
                       f.dependent = true;
                       f.primaryAccount = QStringLiteral("1001");
                   },
                   &replaced)
                  .result,
              ClientDialogResult::Saved);
    ASSERT_TRUE(replaced->isDependent());
    EXPECT_EQ(w.world.registry.FindPrimary(0x2001), nullptr);
    EXPECT_EQ(w.p->FindAccount(0x2001), replaced);
    EXPECT_EQ(w.world.pages.online().rowCount(), 1) << "only p's row is left";
    EXPECT_EQ(w.world.registry.findBySerial(replaced->serial), replaced);

    // And back: a primary with p's connection fields, listed on the page, p without it.
    w.p->panel = QStringLiteral("Korvo 12IP");
    ClientRecord* again = nullptr;
    ASSERT_EQ(w.saveData(
                   *replaced, [](auto& f) { f.dependent = false; }, &again)
                  .result,
              ClientDialogResult::Saved);
    ASSERT_TRUE(again->isPrimary());
    EXPECT_EQ(w.world.registry.FindPrimary(0x2001), again);
    EXPECT_EQ(w.p->FindAccount(0x2001), nullptr);
    EXPECT_EQ(again->panelText(), QStringLiteral("Korvo 12IP"));
    EXPECT_EQ(w.world.pages.online().FindRow(again), 1);

    // A dependent of a Multicom client moved to a plain primary is no longer filed as Multicom.
    MulticomClient* m = w.make.multicom(0x3001, "ABCDEF");
    DependentAccount* md = w.make.dependent(m, 0x3002, ClientStatus::Online);
    ASSERT_EQ(w.world.registry.FindMulticomAccount(0x3002), md);
    ASSERT_EQ(w.saveData(*md, [](auto& f) { f.primaryAccount = QStringLiteral("1001"); }).result,
              ClientDialogResult::Saved);
    EXPECT_EQ(w.world.registry.FindMulticomAccount(0x3002), nullptr);
    EXPECT_EQ(w.p->FindAccount(0x3002), md);
}

TEST(ClientFormsTest, SetupFormsCheckWithinTheirScope) {
    using R = int;
    struct Case {
        const char* name;
        bool editing;
        const char* account;
        const char* text;
        R result;
        const char* message;
    };
    // ClientSetup against the registry's primaries: p 1001 "Cliente 1001", q 2001, dependent 1002.
    const Case setup[] = {
        {"an existing primary's account", false, "1001", "Novo", ClientDialogResult::StayOpen, "Esta Conta já existe!"},
        {"a dependent's account is free", false, "1002", "Novo", ClientDialogResult::Saved, ""},
        {"an existing name", false, "3001", "Cliente 2001", ClientDialogResult::StayOpen, "Este Nome já existe!"},
        {"an empty name", false, "3001", "", ClientDialogResult::StayOpen, "Nome está vazio"},
        {"edit with nothing changed", true, "1001", "Cliente 1001", ClientDialogResult::Cancelled, ""},
        {"edit to a free account", true, "3001", "Cliente 1001", ClientDialogResult::Saved, ""},
    };
    for (const Case& c : setup) {
        FormWorld w;
        ClientSetupForm form(c.editing ? w.p : nullptr, false, w.world.registry, w.world.ui);
        ClientSetupForm::Fields f = form.fields();
        f.account = QString::fromLatin1(c.account);
        f.name = QString::fromUtf8(c.text);
        EXPECT_EQ(form.save(f).result, c.result) << c.name;
        EXPECT_EQ(w.lastMessage(), QString::fromUtf8(c.message)) << c.name;
    }
    // SetupDependent within p only: its own account and its dependents' count, other primaries do not.
    const Case dependent[] = {
        {"the primary's own account", false, "1001", "Nova", ClientDialogResult::StayOpen, "Esta Conta já existe!"},
        {"another primary's account", false, "2001", "Nova", ClientDialogResult::Saved, ""},
        {"a sibling's name", false, "1003", "Conta 1002", ClientDialogResult::StayOpen, "Este Nome já existe!"},
        {"edit with nothing changed", true, "1002", "Conta 1002", ClientDialogResult::Cancelled, ""},
    };
    for (const Case& c : dependent) {
        FormWorld w;
        SetupDependentForm form(c.editing ? nullptr : w.p, c.editing ? w.d : nullptr, w.world.registry, w.world.ui);
        SetupDependentForm::Fields f = form.fields();
        f.account = QString::fromLatin1(c.account);
        f.name = QString::fromUtf8(c.text);
        EXPECT_EQ(form.save(f).result, c.result) << c.name;
        EXPECT_EQ(w.lastMessage(), QString::fromUtf8(c.message)) << c.name;
    }

    // Without a primary: "Confirmar" with an unknown account, then "Salvar".
    FormWorld w;
    SetupDependentForm form(nullptr, nullptr, w.world.registry, w.world.ui);
    EXPECT_FALSE(form.primaryFixed());
    EXPECT_FALSE(form.confirm(QStringLiteral("9999")));
    EXPECT_EQ(w.lastMessage(), QStringLiteral("Conta não existe!"));
    EXPECT_EQ(form.save(form.fields()).result, ClientDialogResult::StayOpen);
    EXPECT_EQ(w.lastMessage(), QStringLiteral("Informar conta primaria!"));
    EXPECT_TRUE(form.confirm(QStringLiteral("2001")));
    EXPECT_EQ(form.primary(), w.q);
}

TEST(ClientFormsTest, MulticomSetupKeepsAWholeKey) {
    FormWorld w;
    ClientSetupForm form(nullptr, true, w.world.registry, w.world.ui);
    form.setMulticom(true);
    ClientSetupForm::Fields f = form.fields();
    EXPECT_EQ(f.mac, QStringLiteral("000000"));
    f.account = QStringLiteral("6001");
    f.name = QStringLiteral("Posto");
    f.mac = QStringLiteral("12AB");
    EXPECT_EQ(form.save(f).result, ClientDialogResult::StayOpen) << "a short key would be padded with NULs";
    f.mac = QStringLiteral("000000");
    ASSERT_EQ(form.save(f).result, ClientDialogResult::Saved);
    std::unique_ptr<PrimaryClient> record = form.takeRecord();
    EXPECT_TRUE(record->isMulticom());
    EXPECT_EQ(record->macKeyText(), QByteArray("000000"));
    EXPECT_EQ(record->status, ClientStatus::New);
}
