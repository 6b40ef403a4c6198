#include "clients/ClientRegistry.h"
#include "clients/ClientRecord.h"
#include "common/StringTable.h"
#include "tests/support/RecordingUserInterface.h"

#include <gtest/gtest.h>

namespace {

PrimaryClient* primary(quint16 account, const QString& name = {}) {
    auto* p = new PrimaryClient;
    p->account = account;
    p->name = name.isEmpty() ? QStringLiteral("P%1").arg(account) : name;
    return p;
}

MulticomClient* multicom(quint16 account, const char* mac, const QString& address) {
    auto* m = new MulticomClient;
    m->account = account;
    m->name = QStringLiteral("M%1").arg(account);
    for (int i = 0; i < 6; ++i)
        m->setMacChar(i, mac[i]);
    m->ethAddress = address;
    return m;
}

DependentAccount* dependent(PrimaryClient* owner, quint16 account, const QString& name) {
    auto* d = new DependentAccount;
    d->account = account;
    d->name = name;
    owner->AddDependent(d);
    return d;
}

} // namespace

TEST(ClientRegistryTest, LookupsByAccountPreferTheLastRegisteredAndDependents) {
    ClientRegistry registry;
    PrimaryClient* first = primary(0x1234, QStringLiteral("First"));
    PrimaryClient* second = primary(0x1234, QStringLiteral("Second"));
    registry.Register(first);
    registry.Register(second);
    EXPECT_EQ(registry.FindPrimary(0x1234), second) << "the primary registered last wins";
    EXPECT_EQ(registry.FindPrimary(0x4321), nullptr);
    EXPECT_EQ(registry.FindPrimaryByName(QStringLiteral("First")), first);
    EXPECT_EQ(registry.FindPrimaryByName(QStringLiteral("first")), nullptr) << "names are case-sensitive";

    // FindAccount: a dependent with the primary's own account wins over the primary.
    EXPECT_EQ(first->FindAccount(0x1234), first);
    DependentAccount* same = dependent(first, 0x1234, QStringLiteral("Same"));
    DependentAccount* other = dependent(first, 0x1235, QStringLiteral("Other"));
    EXPECT_EQ(first->FindAccount(0x1234), same);
    EXPECT_EQ(first->FindAccount(0x1235), other);
    EXPECT_EQ(first->FindAccount(0x9999), nullptr);
    EXPECT_EQ(first->AddDependent(same), same);
    EXPECT_EQ(first->dependentCount(), 2) << "adding a listed dependent again changes nothing";

    // Registering the same primary object twice files it once.
    registry.Register(first);
    EXPECT_EQ(registry.primaryCount(), 2);
}

TEST(ClientRegistryTest, MulticomLookupsByMacKeyAndAddress) {
    ClientRegistry registry;
    MulticomClient* known = multicom(0x0100, "A1B2C3", QStringLiteral("192.0.2.7"));
    MulticomClient* nulKey = multicom(0x0200, "\0\0\0\0\0\0", QStringLiteral("192.0.2.8"));
    registry.Register(known);
    registry.Register(nulKey);
    auto* d = new DependentAccount;
    d->account = 0x0101;
    known->AddDependent(d);
    registry.Register(d);

    EXPECT_EQ(registry.FindByMacKey("A1B2C3"), known);
    EXPECT_EQ(registry.FindByMacKey("A1B2C4"), nullptr);
    EXPECT_EQ(registry.FindByMacKey("\0\0\0\0\0\0"), nullptr) << "a key starting with NUL is never found";
    EXPECT_EQ(registry.FindByMacKey(nullptr), nullptr);

    EXPECT_EQ(registry.FindByAddress(QStringLiteral("192.0.2.7")), known);
    EXPECT_EQ(registry.FindByAddress(QString()), nullptr);
    EXPECT_EQ(registry.FindByAddress(QStringLiteral("192.0.2.9")), nullptr);

    EXPECT_EQ(registry.FindMulticomAccount(0x0100), known);
    EXPECT_EQ(registry.FindMulticomAccount(0x0101), d) << "dependents of Multicom clients are indexed too";

    // A plain primary is in none of the Multicom indexes.
    PrimaryClient* plain = primary(0x0300);
    plain->ethAddress = QStringLiteral("192.0.2.10");
    registry.Register(plain);
    EXPECT_EQ(registry.FindMulticomAccount(0x0300), nullptr);
    EXPECT_EQ(registry.FindByAddress(QStringLiteral("192.0.2.10")), nullptr);
}

TEST(ClientRegistryTest, RemovalFromASharedBucketAndIterationOrder) {
    ClientRegistry registry;
    // 0x0000 and 0x0101 share bucket 0; 0x0102 is in bucket 3.
    PrimaryClient* a = primary(0x0102);
    PrimaryClient* b = primary(0x0000);
    PrimaryClient* c = primary(0x0101);
    PrimaryClient* d = primary(0x0000, QStringLiteral("Twin"));
    registry.Register(a);
    registry.Register(b);
    registry.Register(c);
    registry.Register(d);

    QList<PrimaryClient*> order;
    registry.ForEachPrimary([&order](PrimaryClient* p) { order.append(p); });
    EXPECT_EQ(order, (QList<PrimaryClient*>{d, c, b, a})) << "bucket 0 newest first, then bucket 3";

    registry.Unregister(c);
    EXPECT_EQ(registry.FindPrimary(0x0101), nullptr);
    EXPECT_EQ(registry.FindPrimary(0x0000), d);
    registry.Unregister(d);
    EXPECT_EQ(registry.FindPrimary(0x0000), b) << "the other record of the bucket stays";
    EXPECT_EQ(registry.FindPrimaryByName(QStringLiteral("Twin")), nullptr);
    EXPECT_EQ(registry.findBySerial(d->serial), nullptr);
    EXPECT_EQ(registry.findBySerial(b->serial), b);
    EXPECT_EQ(registry.primaryCount(), 2);
    registry.Shutdown();
    EXPECT_EQ(registry.FindPrimary(0x0000), nullptr) << "nothing found once the records are gone";
    delete c;
    delete d;
}

TEST(ClientRegistryTest, DestroyingAPrimaryWithDependentsIsRefused) {
    ClientRegistry registry;
    RecordingUserInterface ui;
    PrimaryClient* p = primary(0x0A1F);
    DependentAccount* d = dependent(p, 0x0A20, QStringLiteral("Deposito"));
    registry.Register(p);
    registry.Register(d);

    EXPECT_FALSE(p->destroy(ui));
    ASSERT_EQ(ui.messages.size(), 1);
    EXPECT_EQ(ui.messages[0].text, StringTable::text(kMsgRemoveDependentsFirst));
    EXPECT_EQ(ui.messages[0].icon, UserInterface::Icon::Exclamation);
    EXPECT_EQ(registry.FindPrimary(0x0A1F), p);
    EXPECT_EQ(p->FindAccount(0x0A20), d) << "primary and dependent are kept";

    // Once the dependent is gone the primary can go.
    registry.Unregister(d);
    EXPECT_TRUE(d->destroy(ui));
    EXPECT_FALSE(p->hasDependents());
    registry.Unregister(p);
    EXPECT_TRUE(p->destroy(ui));
    EXPECT_EQ(ui.messages.size(), 1);
}
