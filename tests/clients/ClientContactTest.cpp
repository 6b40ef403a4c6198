#include "clients/ClientContact.h"
#include "tests/support/ClientWorld.h"

#include <gtest/gtest.h>

namespace {

const QString kNow = QStringLiteral("09/12/2026 10:00:00");

class ClientContactTest : public ::testing::Test {
protected:
    void SetUp() override {
        registry.setSaveHandler([this] { ++saves; });
        pages.newClients().setNewRegisterSound([this] { ++sounds; });
        recorder.setTimeSource([] { return kNow; });
        table.row(InternalEvent::ClientOffline).code = 0x150;
        table.settings.partition = 7;
        table.settings.zone = 99;
    }

    PrimaryClient* addPrimary(quint16 account, int status, int linkState) {
        auto* p = new PrimaryClient;
        p->account = account;
        p->name = QStringLiteral("Cliente %1").arg(account);
        p->status = status;
        p->linkState = linkState;
        registry.Register(p);
        return p;
    }

    DependentAccount* addDependent(PrimaryClient* owner, quint16 account, int status) {
        auto* d = new DependentAccount;
        d->account = account;
        d->name = QStringLiteral("Dep %1").arg(account);
        d->status = status;
        owner->AddDependent(d);
        registry.Register(d);
        return d;
    }

    ClientWorld world;
    ClientRegistry& registry = world.registry;
    ClientPages& pages = world.pages;
    RecordingEventRaiser& events = world.events;
    InternalEventTable& table = world.internalEvents;
    ContactRecorder& recorder = world.contacts;
    int saves = 0;
    int sounds = 0;
};

} // namespace

TEST_F(ClientContactTest, CountersAndAddressesByChannel) {
    PrimaryClient* p = addPrimary(0x0A1F, ClientStatus::Online, LinkState::NotHeard);
    p->ethPeriod = 60;
    p->gprsPeriod = 100;
    p->ethCountdown = 5;
    pages.online().Refill(registry);

    // Channel 0: neither counters nor addresses change, but the contact counts.
    recorder.ClientContact(p, 0x0A1F, QStringLiteral("192.0.2.1"), 4000, Channel::Unknown, 30);
    EXPECT_EQ(p->ethCountdown, 5);
    EXPECT_EQ(p->gprsCountdown, 0);
    EXPECT_EQ(p->ethPeriod, 60);
    EXPECT_TRUE(p->address.isEmpty());
    EXPECT_EQ(p->lastContact, kNow);
    EXPECT_EQ(p->channel, Channel::Unknown);
    EXPECT_EQ(p->linkState, LinkState::Ok);
    EXPECT_EQ(pages.online().iconAt(0), LinkState::Ok);

    // No period announced: both counters restart from the stored periods.
    recorder.ClientContact(p, 0x0A1F, QStringLiteral("192.0.2.1"), 4000, Channel::Ethernet, kNoPeriodAnnounced);
    EXPECT_EQ(p->ethCountdown, 100);
    EXPECT_EQ(p->gprsCountdown, 220);
    EXPECT_EQ(p->ethPeriod, 60);
    EXPECT_EQ(p->address, QStringLiteral("192.0.2.1"));
    EXPECT_EQ(p->ethAddress, QStringLiteral("192.0.2.1"));
    EXPECT_EQ(p->ethPort, 4000);
    EXPECT_EQ(pages.online().textAt(0, 3), QStringLiteral("ETH"));

    // GPRS while the Ethernet link lives: the current address stays on Ethernet.
    recorder.ClientContact(p, 0x0A1F, QStringLiteral("198.51.100.2"), 5000, Channel::Gprs, 90);
    EXPECT_EQ(p->gprsPeriod, 90);
    EXPECT_EQ(p->gprsCountdown, 210);
    EXPECT_EQ(p->ethCountdown, 100);
    EXPECT_EQ(p->gprsAddress, QStringLiteral("198.51.100.2"));
    EXPECT_EQ(p->gprsPort, 5000);
    EXPECT_EQ(p->address, QStringLiteral("192.0.2.1"));
    EXPECT_EQ(p->port, 4000);
    EXPECT_EQ(p->channel, Channel::Gprs);
    EXPECT_EQ(pages.online().textAt(0, 3), QStringLiteral("GPRS")) << "the existing row's link type is refreshed";

    // Once the Ethernet counter ran out, GPRS becomes the current address.
    p->ethCountdown = 0;
    recorder.ClientContact(p, 0x0A1F, QStringLiteral("198.51.100.3"), 5001, Channel::Gprs, 90);
    EXPECT_EQ(p->address, QStringLiteral("198.51.100.3"));
    EXPECT_EQ(p->port, 5001);

    // An Ethernet period restarts only the Ethernet counter.
    recorder.ClientContact(p, 0x0A1F, QStringLiteral("192.0.2.1"), 4000, Channel::Ethernet, 30);
    EXPECT_EQ(p->ethPeriod, 30);
    EXPECT_EQ(p->ethCountdown, 70);
    EXPECT_EQ(p->gprsCountdown, 210);
    EXPECT_EQ(saves, 0) << "contacts of a known online client do not write the list";

    recorder.ClientContact(nullptr, 0x0A1F, QStringLiteral("192.0.2.1"), 4000, Channel::Ethernet, 30);
    EXPECT_EQ(pages.online().rowCount(), 1);
}

TEST_F(ClientContactTest, MulticomClientIsFiledUnderItsNewEthernetAddress) {
    auto* m = new MulticomClient;
    m->account = 0x0B00;
    m->status = ClientStatus::Online;
    m->ethAddress = QStringLiteral("192.0.2.50");
    registry.Register(m);

    recorder.ClientContact(m, 0x0B00, QStringLiteral("203.0.113.9"), 3000, Channel::Ethernet, 60);
    EXPECT_EQ(registry.FindByAddress(QStringLiteral("203.0.113.9")), m);
    EXPECT_EQ(registry.FindByAddress(QStringLiteral("192.0.2.50")), nullptr);
    EXPECT_EQ(registry.FindPrimary(0x0B00), m);
    EXPECT_EQ(registry.FindByMacKey("000000"), m);
    EXPECT_EQ(registry.primaryCount(), 1);
}

TEST_F(ClientContactTest, NewPrimaryHeardThroughOneDependent) {
    PrimaryClient* p = addPrimary(0x0C00, ClientStatus::New, LinkState::NotHeard);
    DependentAccount* heard = addDependent(p, 0x0C01, ClientStatus::New);
    DependentAccount* other = addDependent(p, 0x0C02, ClientStatus::New);
    pages.newClients().Refill(registry);
    ASSERT_EQ(pages.newClients().rowCount(), 1) << "the dependents are listed through their primary";

    recorder.ClientContact(p, 0x0C01, QStringLiteral("192.0.2.1"), 4000, Channel::Ethernet, 60);
    EXPECT_EQ(p->status, ClientStatus::Online);
    EXPECT_EQ(heard->status, ClientStatus::Online);
    EXPECT_EQ(other->status, ClientStatus::New);
    EXPECT_EQ(pages.online().FindRow(p), 0);
    EXPECT_EQ(pages.newClients().rowCount(), 1);
    EXPECT_EQ(pages.newClients().FindRow(other), 0) << "the still-new dependent gets a row of its own";
    EXPECT_EQ(sounds, 1);
    EXPECT_EQ(saves, 1);
    EXPECT_TRUE(events.clientEvents.isEmpty());

    // The other dependent is heard from later: its row goes, it is online.
    recorder.ClientContact(p, 0x0C02, QStringLiteral("192.0.2.1"), 4000, Channel::Ethernet, 60);
    EXPECT_EQ(other->status, ClientStatus::Online);
    EXPECT_EQ(pages.newClients().rowCount(), 0);
    EXPECT_EQ(sounds, 2);
    EXPECT_EQ(saves, 2);
    EXPECT_EQ(pages.online().rowCount(), 1);
}

TEST_F(ClientContactTest, NewPrimaryHeardThroughItsOwnAccount) {
    PrimaryClient* p = addPrimary(0x0D00, ClientStatus::New, LinkState::NotHeard);
    DependentAccount* a = addDependent(p, 0x0D01, ClientStatus::New);
    DependentAccount* b = addDependent(p, 0x0D02, ClientStatus::New);
    pages.newClients().Refill(registry);

    recorder.ClientContact(p, 0x0D00, QStringLiteral("192.0.2.1"), 4000, Channel::Gprs, 60);
    EXPECT_EQ(p->status, ClientStatus::Online);
    EXPECT_EQ(a->status, ClientStatus::New);
    EXPECT_EQ(b->status, ClientStatus::New);
    EXPECT_EQ(pages.newClients().rowCount(), 0) << "the dependents get no rows until the next refill";
    EXPECT_EQ(pages.online().FindRow(p), 0);
    EXPECT_EQ(sounds, 1);
    EXPECT_EQ(saves, 1);

    pages.newClients().Refill(registry);
    EXPECT_EQ(pages.newClients().rowCount(), 2);
}

TEST_F(ClientContactTest, OfflineClientComesBackWithARestoreEvent) {
    PrimaryClient* p = addPrimary(0x0E00, ClientStatus::Offline, LinkState::Lost);
    pages.offline().Refill(registry);
    ASSERT_EQ(pages.offline().rowCount(), 1);

    recorder.ClientContact(p, 0x0E00, QStringLiteral("192.0.2.1"), 4000, Channel::Ethernet, 60);
    EXPECT_EQ(p->status, ClientStatus::Online);
    EXPECT_EQ(pages.offline().rowCount(), 0);
    EXPECT_EQ(pages.online().FindRow(p), 0);
    EXPECT_EQ(pages.online().iconAt(0), LinkState::Ok);
    ASSERT_EQ(events.clientEvents.size(), 1);
    const RecordingEventRaiser::ClientEvent& raised = events.clientEvents[0];
    EXPECT_EQ(raised.client, p);
    EXPECT_EQ(raised.code, 0x150 + 3000);
    EXPECT_EQ(raised.partition, 7);
    EXPECT_EQ(raised.zone, 99);
    EXPECT_EQ(raised.protocol, EventProtocol::Internal);
    EXPECT_EQ(saves, 0);

    // Already green: further contacts raise nothing.
    recorder.ClientContact(p, 0x0E00, QStringLiteral("192.0.2.1"), 4000, Channel::Ethernet, 60);
    EXPECT_EQ(events.clientEvents.size(), 1);
}

TEST_F(ClientContactTest, BlockedClientStaysBlockedAndTurnsGreen) {
    PrimaryClient* p = addPrimary(0x0F00, ClientStatus::Blocked, LinkState::Late);
    pages.blocked().Refill(registry);
    ASSERT_EQ(pages.blocked().iconAt(0), LinkState::Late);

    recorder.ClientContact(p, 0x0F00, QStringLiteral("192.0.2.1"), 4000, Channel::Ethernet, 60);
    EXPECT_EQ(p->status, ClientStatus::Blocked);
    EXPECT_EQ(pages.blocked().iconAt(0), LinkState::Ok);
    EXPECT_EQ(pages.online().rowCount(), 0);
    EXPECT_TRUE(events.clientEvents.isEmpty());
}
