#include "clients/ClientPages.h"
#include "clients/ClientRecord.h"
#include "clients/ClientRegistry.h"
#include "common/StringTable.h"

#include <QElapsedTimer>
#include <QSignalSpy>

#include <gtest/gtest.h>

namespace {

class ClientPageModelTest : public ::testing::Test {
protected:
    PrimaryClient* addPrimary(quint16 account, int status, int linkState = LinkState::NotHeard) {
        auto* p = new PrimaryClient;
        p->account = account;
        p->name = QStringLiteral("Cliente %1").arg(account, 4, 16, QLatin1Char('0'));
        p->panel = QStringLiteral("Korvo 16IP");
        p->status = status;
        p->linkState = linkState;
        registry.Register(p);
        return p;
    }

    DependentAccount* addDependent(PrimaryClient* owner, quint16 account, int status) {
        auto* d = new DependentAccount;
        d->account = account;
        d->name = QStringLiteral("Dep %1").arg(account, 4, 16, QLatin1Char('0'));
        d->status = status;
        owner->AddDependent(d);
        registry.Register(d);
        return d;
    }

    ClientRegistry registry;
    ClientPages pages;
};

} // namespace

TEST_F(ClientPageModelTest, HeadersCaptionsAndPageForStatus) {
    OnlinePageModel& online = pages.online();
    EXPECT_EQ(online.columnCount(), 5);
    EXPECT_EQ(online.headerData(1, Qt::Horizontal).toString(), QStringLiteral("Cliente"));
    EXPECT_EQ(online.headerData(3, Qt::Horizontal).toString(), QStringLiteral("Canal"));
    EXPECT_EQ(pages.offline().headerData(3, Qt::Horizontal).toString(), QStringLiteral("Ultimo contato"));
    EXPECT_EQ(pages.blocked().columnCount(), 4);
    EXPECT_EQ(pages.blocked().headerData(3, Qt::Horizontal).toString(), QStringLiteral("Painel"));
    EXPECT_EQ(pages.newClients().headerData(3, Qt::Horizontal).toString(), QStringLiteral("Comentario"));
    EXPECT_EQ(online.columns()[4].width, 220);

    EXPECT_EQ(pages.PageForStatus(1), &pages.online());
    EXPECT_EQ(pages.PageForStatus(4), &pages.newClients());
    EXPECT_EQ(pages.PageForStatus(0), nullptr);
    EXPECT_EQ(pages.PageForStatus(-1), nullptr);
    EXPECT_EQ(pages.PageForStatus(5), nullptr);

    QSignalSpy captions(&online, &ClientPageModel::captionChanged);
    EXPECT_EQ(online.caption(), QStringLiteral("Online"));
    PrimaryClient* p = addPrimary(0x0A1F, ClientStatus::Moving);
    online.AddClient(p);
    ASSERT_EQ(captions.size(), 1);
    EXPECT_EQ(captions[0][0].toString(), QStringLiteral("Online (1)"));
    EXPECT_TRUE(captions[0][1].toBool());
    online.RemoveClient(p);
    ASSERT_EQ(captions.size(), 2);
    EXPECT_EQ(captions[1][0].toString(), QStringLiteral("Online"));
    EXPECT_FALSE(captions[1][1].toBool());
    EXPECT_EQ(p->status, ClientStatus::Moving);
    online.UpdateCaption(true);
    EXPECT_FALSE(captions.last()[1].toBool()) << "an empty list is never highlighted";
    EXPECT_EQ(pages.blocked().caption(), StringTable::text(117));
}

TEST_F(ClientPageModelTest, OnlineAndOfflineRows) {
    PrimaryClient* lost = addPrimary(0x0001, ClientStatus::Online, LinkState::Lost);
    PrimaryClient* green = addPrimary(0x0002, ClientStatus::Online, LinkState::Ok);
    green->channel = Channel::Ethernet;
    PrimaryClient* offline = addPrimary(0x0003, ClientStatus::Offline, LinkState::Lost);
    offline->lastContact = QStringLiteral("05/03/2020 14:22:10");
    addPrimary(0x0004, ClientStatus::New);
    pages.refillAll(registry);

    OnlinePageModel& online = pages.online();
    ASSERT_EQ(online.rowCount(), 1) << "a red client is left out at a refill";
    EXPECT_EQ(online.clientAt(0), green);
    EXPECT_EQ(online.data(online.index(0, 1)).toString(), QStringLiteral("Cliente 0002"));
    EXPECT_EQ(online.data(online.index(0, 2)).toString(), QStringLiteral("0002"));
    EXPECT_EQ(online.data(online.index(0, 3)).toString(), QStringLiteral("ETH"));
    EXPECT_EQ(online.data(online.index(0, 4)).toString(), QStringLiteral("Korvo 16IP"));
    EXPECT_FALSE(online.data(online.index(0, 0)).isValid()) << "column 0 shows only the icon";
    EXPECT_EQ(online.data(online.index(0, 0), ClientPageModel::IconRole).toInt(), LinkState::Ok);

    // An existing row: icon and link type again, the panel only when the row was new.
    green->linkState = LinkState::Late;
    green->channel = Channel::Gprs;
    green->panel = QStringLiteral("Korvo 12IP");
    EXPECT_EQ(online.AddClient(green), 0);
    EXPECT_EQ(online.iconAt(0), LinkState::Late);
    EXPECT_EQ(online.textAt(0, 3), QStringLiteral("GPRS"));
    EXPECT_EQ(online.textAt(0, 4), QStringLiteral("Korvo 16IP"));

    // A dependent gets no row; a page never changes a record's status.
    DependentAccount* d = addDependent(green, 0x0005, ClientStatus::Moving);
    EXPECT_EQ(online.AddClient(d), -1);
    EXPECT_EQ(d->status, ClientStatus::Moving);
    EXPECT_EQ(online.rowCount(), 1);

    // The lost client moves to the Offline page.
    online.RemoveClient(lost); // no row: left unchanged
    EXPECT_EQ(lost->status, ClientStatus::Online);
    OfflinePageModel& off = pages.offline();
    ASSERT_EQ(off.rowCount(), 1);
    EXPECT_EQ(off.textAt(0, 3), QStringLiteral("05/03/2020 14:22:10"));
    EXPECT_EQ(off.AddClient(lost), 1);
    EXPECT_EQ(lost->status, ClientStatus::Online) << "the transitions set the status";
    EXPECT_EQ(off.textAt(1, 4), QStringLiteral("Korvo 16IP"));
    EXPECT_EQ(off.iconAt(1), LinkState::Lost);
    EXPECT_EQ(off.AddClient(d), -1);
    EXPECT_EQ(d->status, ClientStatus::Moving);

    // UpdateIcon sets the icon from linkIcon; a client without a row is ignored.
    offline->linkState = LinkState::Late;
    off.UpdateIcon(offline);
    EXPECT_EQ(off.iconAt(0), LinkState::Late);
    off.UpdateIcon(green);
    EXPECT_EQ(off.rowCount(), 2);
}

TEST_F(ClientPageModelTest, BlockingAPrimaryTakesItsDependents) {
    PrimaryClient* p = addPrimary(0x0100, ClientStatus::Online, LinkState::Ok);
    DependentAccount* fresh = addDependent(p, 0x0101, ClientStatus::New);
    DependentAccount* blocked = addDependent(p, 0x0102, ClientStatus::Blocked);
    DependentAccount* online = addDependent(p, 0x0103, ClientStatus::Online);
    BlockedPageModel& page = pages.blocked();
    page.Refill(registry);
    ASSERT_EQ(page.rowCount(), 1);
    EXPECT_EQ(page.clientAt(0), blocked);
    EXPECT_EQ(page.iconAt(0), LinkState::NotHeard);
    EXPECT_EQ(page.textAt(0, 3), QStringLiteral("Korvo 16IP")) << "a dependent row shows its primary's panel";
    page.setSelected(blocked);
    QSignalSpy cleared(&page, &ClientPageModel::selectionCleared);

    pages.online().RemoveClient(p);
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(page.AddClient(p), 0);
    EXPECT_LT(timer.elapsed(), 1000) << "the page lock is taken once";
    EXPECT_EQ(page.rowCount(), 1) << "only the primary's row";
    EXPECT_EQ(page.clientAt(0), p);
    EXPECT_EQ(page.textAt(0, 3), QStringLiteral("Korvo 16IP"));
    EXPECT_EQ(page.iconAt(0), LinkState::Ok);
    EXPECT_EQ(p->status, ClientStatus::Online) << "statuses are the transitions' to set";
    EXPECT_EQ(blocked->status, ClientStatus::Blocked);
    EXPECT_EQ(online->status, ClientStatus::Online);
    EXPECT_EQ(fresh->status, ClientStatus::New);
    EXPECT_EQ(page.selected(), nullptr);
    EXPECT_EQ(cleared.size(), 1);

    online->status = ClientStatus::Blocked; // as the transitions block the primary's dependents

    // Unblocking: the primary leaves, its dependents get rows of their own.
    page.RemoveClient(p);
    pages.online().AddClient(p);
    for (DependentAccount* d = p->dependents; d; d = d->nextDependent)
        if (d->status == ClientStatus::Blocked)
            page.AddClient(d);
    EXPECT_EQ(page.rowCount(), 2);
    EXPECT_EQ(page.clientAt(0), blocked);
    EXPECT_EQ(page.iconAt(1), LinkState::NotHeard);
    EXPECT_EQ(page.caption(), QStringLiteral("Bloqueados (2)"));
}

TEST_F(ClientPageModelTest, NewPageRows) {
    QList<int> played;
    NewClientsPageModel& page = pages.newClients();
    page.setNewRegisterSound([&played] { played.append(1); });
    PrimaryClient* p = addPrimary(0x0200, ClientStatus::New);
    DependentAccount* a = addDependent(p, 0x0201, ClientStatus::New);
    DependentAccount* b = addDependent(p, 0x0202, ClientStatus::Online);
    PrimaryClient* other = addPrimary(0x0300, ClientStatus::Online);
    DependentAccount* c = addDependent(other, 0x0301, ClientStatus::New);
    page.Refill(registry);
    ASSERT_EQ(page.rowCount(), 2);
    EXPECT_EQ(page.FindRow(p), 0);
    EXPECT_EQ(page.FindRow(c), 1);
    EXPECT_TRUE(page.textAt(0, 3).isEmpty());

    EXPECT_EQ(page.AddClient(a), -1) << "listed through its primary's row";
    p->name = QStringLiteral("Renamed");
    EXPECT_EQ(page.AddClient(p), 0);
    EXPECT_EQ(page.textAt(0, 1), QStringLiteral("Renamed"));

    page.setSelected(p);
    QElapsedTimer timer;
    timer.start();
    page.RemoveClient(p); // a primary: RemoveNewPrimary
    EXPECT_LT(timer.elapsed(), 1000) << "the page lock is taken once";
    EXPECT_EQ(page.FindRow(p), -1);
    EXPECT_EQ(page.FindRow(a), 1) << "the still-new dependent gets its own row at the end";
    EXPECT_EQ(page.FindRow(b), -1);
    EXPECT_EQ(p->status, ClientStatus::New) << "the caller moves the primary on";
    EXPECT_EQ(page.selected(), nullptr);
    EXPECT_EQ(played.size(), 1);

    page.RemoveNewPrimary(p); // no row any more: nothing
    EXPECT_EQ(played.size(), 1);

    page.RemoveClient(a); // a dependent: RemoveNewAccount
    EXPECT_EQ(a->status, ClientStatus::New) << "the caller moves it on";
    EXPECT_EQ(page.FindRow(a), -1);
    EXPECT_EQ(played.size(), 2);

    // Without a row: silently nothing.
    b->status = ClientStatus::New;
    page.RemoveNewAccount(b);
    EXPECT_EQ(played.size(), 2);

    // A client without a row gets one.
    PrimaryClient* fresh = addPrimary(0x0400, ClientStatus::Moving, LinkState::NotHeard);
    EXPECT_EQ(page.AddClient(fresh), 1);
    EXPECT_EQ(page.textAt(1, 2), QStringLiteral("0400"));
    EXPECT_EQ(page.caption(), QStringLiteral("Novos (2)"));
}
