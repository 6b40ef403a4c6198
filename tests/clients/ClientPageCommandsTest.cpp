#include "clients/ClientPagePanel.h"
#include "clients/ClientPages.h"
#include "config/Operators.h"
#include "tests/support/ClientWorld.h"
#include "tests/support/ScriptedClientDialogs.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

// The four side panels over a world of clients, an operator with every right
// and dialogs that answer as the test prepared.
struct PageDesk {
    PageDesk() {
        op.rights = OperatorRight::All;
        for (int kind = ClientStatus::Online; kind <= ClientStatus::New; ++kind) {
            panels[size_t(kind - 1)] = std::make_unique<ClientPagePanel>(
                kind, ClientPagePanel::Services{world.registry, world.pages, world.transitions, op, world.settings,
                                                world.ui});
            panels[size_t(kind - 1)]->setDialogHost(&dialogs);
        }
    }
    ClientPagePanel& panel(int kind) { return *panels[size_t(kind - 1)]; }
    ClientPagePanel& named(int kind, const ClientRecord* client) {
        panel(kind).setNameText(client->name);
        return panel(kind);
    }
    QList<quint16> internalCodes() const {
        QList<quint16> codes;
        for (const auto& e : world.events.internalEvents)
            codes << e.internalCode;
        return codes;
    }
    QList<ClientRecord*> rows(int kind) {
        QList<ClientRecord*> result;
        ClientPageModel* page = world.pages.PageForStatus(kind);
        for (int row = 0; row < page->rowCount(); ++row)
            result << page->clientAt(row);
        return result;
    }

    ClientWorld world;
    ClientBuilder make{world};
    ScriptedClientDialogs dialogs;
    CurrentOperator op;
    std::array<std::unique_ptr<ClientPagePanel>, 4> panels;
};

using Blocked = QList<ClientRecord*>;

} // namespace

TEST(ClientPageCommandsTest, BlockingAPrimaryTakesItsDependentsAndUnblockingGivesThemRows) {
    PageDesk desk;
    PrimaryClient* p = desk.make.primary(0x1001, ClientStatus::Online, LinkState::Ok);
    DependentAccount* fresh = desk.make.dependent(p, 0x1002, ClientStatus::New);
    DependentAccount* blocked = desk.make.dependent(p, 0x1003, ClientStatus::Blocked);
    desk.world.pages.blocked().AddClient(blocked);
    DependentAccount* online = desk.make.dependent(p, 0x1004, ClientStatus::Online);

    desk.dialogs.clientData << ScriptedClientDialogs::button3();
    desk.named(ClientStatus::Online, p).editClient();
    EXPECT_EQ(desk.rows(ClientStatus::Blocked), Blocked{p}) << "the blocked dependent's own row went";
    EXPECT_TRUE(desk.rows(ClientStatus::Online).isEmpty());
    EXPECT_EQ(p->status, ClientStatus::Blocked);
    EXPECT_EQ(online->status, ClientStatus::Blocked);
    EXPECT_EQ(fresh->status, ClientStatus::New);
    EXPECT_EQ(desk.internalCodes(), QList<quint16>{1008});

    // Unblocking: the primary back online, its blocked dependents on rows of their own, white.
    desk.named(ClientStatus::Blocked, p).unblock();
    EXPECT_EQ(p->status, ClientStatus::Online);
    EXPECT_EQ(desk.rows(ClientStatus::Online), Blocked{p});
    EXPECT_EQ(desk.rows(ClientStatus::Blocked), (Blocked{blocked, online}));
    EXPECT_EQ(desk.world.pages.blocked().iconAt(0), LinkState::NotHeard);
    EXPECT_EQ(fresh->status, ClientStatus::New);
    EXPECT_EQ(desk.internalCodes(), (QList<quint16>{1008, 3008}));
}

TEST(ClientPageCommandsTest, UnblockGoesByTheIconAndRefusesADependentOfABlockedPrimary) {
    struct Case {
        const char* name;
        int linkState;
        int page;
    };
    for (const Case& c :
         {Case{"red", LinkState::Lost, ClientStatus::Offline}, Case{"yellow", LinkState::Late, ClientStatus::Online},
          Case{"white", LinkState::NotHeard, ClientStatus::Online}}) {
        PageDesk desk;
        PrimaryClient* p = desk.make.primary(0x2001, ClientStatus::Blocked, c.linkState);
        desk.named(ClientStatus::Blocked, p).unblock();
        EXPECT_EQ(p->status, c.page) << c.name;
        EXPECT_EQ(desk.rows(c.page), Blocked{p}) << c.name;
    }

    PageDesk desk;
    PrimaryClient* p = desk.make.primary(0x3001, ClientStatus::Blocked);
    DependentAccount* d = desk.make.dependent(p, 0x3002, ClientStatus::Blocked);
    desk.world.pages.blocked().AddClient(d);
    desk.named(ClientStatus::Blocked, d).unblock();
    EXPECT_EQ(desk.world.ui.messages.last().text, QStringLiteral("Debloquear conta primaria primeiro"));
    EXPECT_EQ(d->status, ClientStatus::Blocked);

    // Without right C nothing happens but the refusal.
    desk.op.rights = OperatorRight::Details;
    desk.named(ClientStatus::Blocked, p).unblock();
    EXPECT_EQ(desk.world.ui.messages.last().text, QStringLiteral("Acesso não permitido!"));
    EXPECT_EQ(p->status, ClientStatus::Blocked);
}

TEST(ClientPageCommandsTest, ADependentPickedWithEditarDependenteIsBlockedAlone) {
    PageDesk desk;
    PrimaryClient* p = desk.make.primary(0x1001, ClientStatus::Online, LinkState::Ok);
    DependentAccount* d = desk.make.dependent(p, 0x1002, ClientStatus::Online);
    ClientPagePanel& online = desk.panel(ClientStatus::Online);
    online.pickRow(0);
    ASSERT_TRUE(online.dependentsVisible());
    EXPECT_EQ(online.dependentTexts(), QStringList{"1002"});

    desk.dialogs.clientData << ScriptedClientDialogs::button3();
    online.editDependent();
    EXPECT_EQ(desk.rows(ClientStatus::Blocked), Blocked{d});
    EXPECT_EQ(desk.rows(ClientStatus::Online), Blocked{p});
    EXPECT_EQ(p->status, ClientStatus::Online);
    EXPECT_EQ(d->status, ClientStatus::Blocked);
    EXPECT_FALSE(online.dependentsVisible()) << "its only unblocked dependent is gone";
}

TEST(ClientPageCommandsTest, RemovingOnTheBlockedPageRaises1009AndOnTheNewPageNothing) {
    struct Case {
        int status;
        QList<quint16> codes;
    };
    for (const Case& c : {Case{ClientStatus::Blocked, {1009}}, Case{ClientStatus::New, {}}}) {
        PageDesk desk;
        PrimaryClient* p = desk.make.primary(0x4001, c.status);
        desk.named(ClientStatus::Blocked, p);
        if (c.status == ClientStatus::Blocked) {
            desk.dialogs.clientData << ScriptedClientDialogs::button3();
            desk.named(ClientStatus::Blocked, p).editClient();
        } else {
            desk.named(ClientStatus::New, p).removeNewClient();
        }
        EXPECT_EQ(desk.world.registry.FindPrimary(0x4001), nullptr) << c.status;
        EXPECT_TRUE(desk.rows(c.status).isEmpty()) << c.status;
        EXPECT_EQ(desk.internalCodes(), c.codes) << c.status;
        if (!c.codes.isEmpty()) {
            EXPECT_EQ(desk.world.events.internalEvents.last().name, QStringLiteral("Cliente 4001"));
        }
        EXPECT_GT(desk.world.saves, 0) << c.status;
    }

    // A primary with dependents stays, with message 170, on both pages.
    for (int status : {ClientStatus::Blocked, ClientStatus::New}) {
        PageDesk desk;
        PrimaryClient* p = desk.make.primary(0x5001, status);
        desk.make.dependent(p, 0x5002, status);
        desk.dialogs.clientData << ScriptedClientDialogs::button3();
        if (status == ClientStatus::Blocked)
            desk.named(status, p).editClient();
        else
            desk.named(status, p).removeNewClient();
        EXPECT_EQ(desk.world.registry.FindPrimary(0x5001), p);
        EXPECT_EQ(desk.world.ui.messages.last().text,
                  QStringLiteral("Remover todas contas dependentes antes da primaria."));
        EXPECT_TRUE(desk.internalCodes().isEmpty());
    }
}

TEST(ClientPageCommandsTest, NewPageSetsUpClientsAndDependents) {
    PageDesk desk;
    ClientPagePanel& page = desk.panel(ClientStatus::New);

    desk.dialogs.clientSetup << ScriptedClientDialogs::save<ClientSetupForm>([](auto& f) {
        f.account = QStringLiteral("7A01");
        f.name = QStringLiteral("Ótica Central");
    });
    page.newClient();
    PrimaryClient* p = desk.world.registry.FindPrimary(0x7A01);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->status, ClientStatus::New);
    EXPECT_EQ(desk.rows(ClientStatus::New), Blocked{p});

    // A dependent of the client in the name box; its primary's row stands for it.
    desk.dialogs.setupDependent << ScriptedClientDialogs::save<SetupDependentForm>([](auto& f) {
        f.account = QStringLiteral("7A02");
        f.name = QStringLiteral("Ótica Depósito");
    });
    page.setNameText(p->name);
    page.newDependent();
    ASSERT_NE(p->FindAccount(0x7A02), nullptr);
    EXPECT_EQ(desk.rows(ClientStatus::New), Blocked{p});

    // Editing the client applies its account and name only.
    page.pickRow(0);
    ASSERT_TRUE(page.dependentsVisible());
    desk.dialogs.clientSetup << ScriptedClientDialogs::save<ClientSetupForm>([](auto& f) {
        f.account = QStringLiteral("7B01");
        f.panel = QStringLiteral("Korvo 12IP");
    });
    page.editNewClient();
    EXPECT_EQ(desk.world.registry.FindPrimary(0x7B01), p);
    EXPECT_EQ(desk.world.registry.FindPrimary(0x7A01), nullptr);
    EXPECT_TRUE(p->panel.isEmpty());
    EXPECT_EQ(desk.world.pages.newClients().textAt(0, 2), QStringLiteral("7B01"));

    // Removing the dependent frees it; the box hides with no dependent left.
    page.removeNewDependent();
    EXPECT_EQ(p->FindAccount(0x7A02), nullptr);
    EXPECT_FALSE(page.dependentsVisible());
}
