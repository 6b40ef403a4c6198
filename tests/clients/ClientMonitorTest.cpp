#include "clients/ClientMonitor.h"

#include "tests/support/ClientWorld.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace {

class ClientMonitorTest : public ::testing::Test {
protected:
    void SetUp() override {
        monitor.setLinkIndicator([this] { return linkOnline; });
        transitions.setCurrentPage([this] { return currentPage; });
        table.row(InternalEvent::ClientOffline).code = 308;
    }

    PrimaryClient* addPrimary(quint16 account, int status) {
        auto* p = new PrimaryClient;
        p->account = account;
        p->name = QStringLiteral("Cliente %1").arg(account, 4, 16, QLatin1Char('0'));
        p->status = status;
        registry.Register(p);
        pages.PageForStatus(status)->AddClient(p);
        return p;
    }

    void ticks(int n) {
        for (int i = 0; i < n; ++i)
            monitor.tick();
    }

    ClientWorld world;
    ClientRegistry& registry = world.registry;
    ClientPages& pages = world.pages;
    RecordingEventRequests& requests = world.requests;
    RecordingUserInterface& ui = world.ui;
    ServerSettings& settings = world.settings;
    InternalEventTable& table = world.internalEvents;
    RecordingEventRaiser& events = world.events;
    ClientTransitions& transitions = world.transitions;
    ContactRecorder& contacts = world.contacts;
    ClientMonitor monitor{registry, transitions};
    bool linkOnline = true;
    int currentPage = 0;
};

} // namespace

TEST_F(ClientMonitorTest, EthernetPeriod60TurnsYellowAt100AndOfflineAt160ThenComesBack) {
    PrimaryClient* p = addPrimary(0x1001, ClientStatus::Online);
    PrimaryClient* quiet = addPrimary(0x1002, ClientStatus::Online); // never heard: stays white
    contacts.ClientContact(p, 0x1001, QStringLiteral("192.0.2.7"), 4000, Channel::Ethernet, 60);
    currentPage = ClientStatus::Online;
    QSignalSpy onlineRedraws(&pages.online(), &ClientPageModel::redrawRequested);
    QSignalSpy offlineRedraws(&pages.offline(), &ClientPageModel::redrawRequested);

    ticks(99);
    EXPECT_EQ(p->linkState, LinkState::Ok);
    ticks(1);
    EXPECT_EQ(p->linkState, LinkState::Late) << "yellow 100 s after the contact";
    EXPECT_EQ(p->ethCountdown, 60);
    EXPECT_EQ(pages.online().iconAt(pages.online().FindRow(p)), LinkState::Late);
    EXPECT_EQ(onlineRedraws.count(), 1) << "the Online page on screen is redrawn";

    ticks(59);
    EXPECT_EQ(p->status, ClientStatus::Online);
    EXPECT_TRUE(requests.requests.isEmpty());
    ticks(1);
    EXPECT_EQ(p->linkState, LinkState::Lost) << "offline 160 s after the contact";
    EXPECT_EQ(p->status, ClientStatus::Offline);
    EXPECT_EQ(pages.online().FindRow(p), -1);
    EXPECT_GE(pages.offline().FindRow(p), 0);
    EXPECT_EQ(onlineRedraws.count(), 2);
    EXPECT_EQ(offlineRedraws.count(), 0) << "only the page on screen is redrawn";
    EXPECT_EQ(ui.sounds, QStringList{QStringLiteral("/srv/atalaia/Offline.wav")});
    ASSERT_EQ(requests.requests.size(), 1);
    EXPECT_EQ(requests.requests[0], (RecordingEventRequests::Request{p->serial, InternalEvent::ClientOffline, false}))
        << "\"Cliente offline\", 1006";

    // Silent again while offline: nothing more happens.
    ticks(300);
    EXPECT_EQ(p->status, ClientStatus::Offline);
    EXPECT_EQ(requests.requests.size(), 1);
    EXPECT_EQ(ui.sounds.size(), 1);
    EXPECT_EQ(quiet->linkState, LinkState::NotHeard);
    EXPECT_EQ(quiet->status, ClientStatus::Online);

    // The way back: green, online again, and the restore of "Cliente offline".
    contacts.ClientContact(p, 0x1001, QStringLiteral("192.0.2.7"), 4000, Channel::Ethernet, 60);
    EXPECT_EQ(p->linkState, LinkState::Ok);
    EXPECT_EQ(p->status, ClientStatus::Online);
    EXPECT_EQ(pages.offline().FindRow(p), -1);
    EXPECT_GE(pages.online().FindRow(p), 0);
    ASSERT_EQ(events.clientEvents.size(), 1);
    EXPECT_EQ(events.clientEvents[0].code, 3308);
    EXPECT_EQ(events.clientEvents[0].client, p);

    // A second offline round plays the sound only when "SoundOffline" is on.
    settings.SoundOffline = 0;
    currentPage = ClientStatus::Offline;
    ticks(160);
    EXPECT_EQ(p->status, ClientStatus::Offline);
    EXPECT_EQ(ui.sounds.size(), 1);
    EXPECT_EQ(requests.requests.size(), 2);
    EXPECT_EQ(offlineRedraws.count(), 1);
}

TEST_F(ClientMonitorTest, GprsSwitchesKeepTheStateAndGprsTimingUsesTheEthernetPeriod) {
    PrimaryClient* p = addPrimary(0x2001, ClientStatus::Online);
    p->linkState = LinkState::Ok;
    p->ethAddress = QStringLiteral("192.0.2.1");
    p->ethPort = 4000;
    p->gprsAddress = QStringLiteral("198.51.100.1");
    p->gprsPort = 5000;
    p->address = p->ethAddress;
    p->port = p->ethPort;
    p->ethCountdown = 2;
    p->gprsCountdown = 10;
    p->ethPeriod = 30;

    ticks(2);
    EXPECT_EQ(p->address, QStringLiteral("198.51.100.1")) << "Ethernet silent, GPRS alive: commands go to GPRS";
    EXPECT_EQ(p->port, 5000);
    EXPECT_EQ(p->ethPort, 0);
    EXPECT_EQ(p->linkState, LinkState::Ok);
    EXPECT_EQ(p->gprsCountdown, 8);

    // The other way round.
    p->ethPort = 4000;
    p->ethCountdown = 20;
    ticks(8);
    EXPECT_EQ(p->address, QStringLiteral("192.0.2.1"));
    EXPECT_EQ(p->port, 4000);
    EXPECT_EQ(p->gprsPort, 0);
    EXPECT_EQ(p->linkState, LinkState::Ok);

    // Heard over GPRS with period 90: yellow at 210 s, red one Ethernet period (30 s) later.
    PrimaryClient* g = addPrimary(0x2002, ClientStatus::Online);
    g->ethPeriod = 30;
    contacts.ClientContact(g, 0x2002, QStringLiteral("198.51.100.9"), 5009, Channel::Gprs, 90);
    ticks(209);
    EXPECT_EQ(g->linkState, LinkState::Ok);
    ticks(1);
    EXPECT_EQ(g->linkState, LinkState::Late);
    ticks(29);
    EXPECT_EQ(g->status, ClientStatus::Online);
    ticks(1);
    EXPECT_EQ(g->status, ClientStatus::Offline);

    // Period 0: yellow once the counters run out, and yellow for good.
    PrimaryClient* z = addPrimary(0x2003, ClientStatus::Online);
    z->linkState = LinkState::Ok;
    z->ethCountdown = 1;
    ticks(1);
    EXPECT_EQ(z->linkState, LinkState::Late);
    ticks(500);
    EXPECT_EQ(z->linkState, LinkState::Late);
    EXPECT_EQ(z->status, ClientStatus::Online);

    // A damaged negative countdown counts as run out instead of counting forever.
    PrimaryClient* n = addPrimary(0x2004, ClientStatus::Online);
    n->linkState = LinkState::Ok;
    n->ethCountdown = -5;
    n->gprsCountdown = 3;
    ticks(3);
    EXPECT_EQ(n->linkState, LinkState::Late);
    EXPECT_EQ(n->ethCountdown, 0);
}

TEST_F(ClientMonitorTest, BlockedAndNewClientsOnlyChangeTheirIcons) {
    PrimaryClient* blocked = addPrimary(0x3001, ClientStatus::Blocked);
    PrimaryClient* fresh = addPrimary(0x3002, ClientStatus::New);
    for (PrimaryClient* p : {blocked, fresh}) {
        p->linkState = LinkState::Ok;
        p->ethPeriod = 10;
        p->ethCountdown = 5;
    }
    ticks(5);
    EXPECT_EQ(pages.blocked().iconAt(pages.blocked().FindRow(blocked)), LinkState::Late);
    EXPECT_EQ(pages.newClients().iconAt(pages.newClients().FindRow(fresh)), LinkState::Late);
    ticks(10);
    EXPECT_EQ(blocked->linkState, LinkState::Lost);
    EXPECT_EQ(fresh->linkState, LinkState::Lost);
    EXPECT_EQ(blocked->status, ClientStatus::Blocked);
    EXPECT_EQ(fresh->status, ClientStatus::New);
    EXPECT_EQ(pages.blocked().iconAt(pages.blocked().FindRow(blocked)), LinkState::Lost);
    EXPECT_EQ(pages.newClients().iconAt(pages.newClients().FindRow(fresh)), LinkState::Lost);
    EXPECT_EQ(pages.online().rowCount(), 0);
    EXPECT_EQ(pages.offline().rowCount(), 0);
    EXPECT_TRUE(requests.requests.isEmpty());
    EXPECT_TRUE(ui.sounds.isEmpty());
}

TEST_F(ClientMonitorTest, RedWhileTheIndicatorIsOffStaysOnTheOnlinePage) {
    PrimaryClient* p = addPrimary(0x4001, ClientStatus::Online);
    p->linkState = LinkState::Late;
    p->ethPeriod = 10;
    p->ethCountdown = 1;
    linkOnline = false;
    ticks(1);
    EXPECT_EQ(p->linkState, LinkState::Lost);
    EXPECT_EQ(p->status, ClientStatus::Online);
    EXPECT_EQ(pages.online().iconAt(pages.online().FindRow(p)), LinkState::Lost);
    linkOnline = true;
    ticks(100);
    EXPECT_EQ(p->status, ClientStatus::Online) << "not moved later when the indicator comes back";
    EXPECT_GE(pages.online().FindRow(p), 0);
    EXPECT_TRUE(requests.requests.isEmpty());
    EXPECT_TRUE(ui.sounds.isEmpty());
}

TEST_F(ClientMonitorTest, ClientsRegisteredAndDestroyedBetweenTicksAndTheTimerRhythm) {
    PrimaryClient* a = addPrimary(0x5001, ClientStatus::Online);
    a->linkState = LinkState::Ok;
    a->ethPeriod = 5;
    a->ethCountdown = 3;
    ticks(2);
    // The main thread removes a client and adds another between two walks.
    pages.online().RemoveClient(a);
    registry.Unregister(a);
    ASSERT_TRUE(a->destroy(ui));
    PrimaryClient* b = addPrimary(0x5002, ClientStatus::Online);
    b->linkState = LinkState::Ok;
    b->ethCountdown = 1;
    ticks(1);
    EXPECT_EQ(b->linkState, LinkState::Late);
    EXPECT_EQ(registry.primaryCount(), 1);

    // The timer drives the same walk.
    ClientMonitor fast(registry, transitions, 5);
    b->ethCountdown = 3;
    fast.StartMonitor();
    EXPECT_TRUE(fast.isActive());
    EXPECT_TRUE(QTest::qWaitFor([&] { return b->ethCountdown == 0; }, 2000));
    fast.stop();
    EXPECT_FALSE(fast.isActive());
}

TEST_F(ClientMonitorTest, ARegistryChangeDuringTheWalkStopsItBeforeRemovedRecords) {
    PrimaryClient* first = addPrimary(0x0001, ClientStatus::Online); // bucket 1: visited before bucket 2
    auto* second = new PrimaryClient; // offline, without a row: the view does not need the page to drop it
    second->account = 0x0002;
    second->status = ClientStatus::Offline;
    registry.Register(second);
    PrimaryClient* third = addPrimary(0x0003, ClientStatus::Online);
    for (PrimaryClient* p : {first, second, third}) {
        p->linkState = LinkState::Ok;
        p->ethCountdown = 2;
    }
    ticks(1);
    // A view reacting to the first client's new icon removes the second one.
    QObject::connect(&pages.online(), &ClientPageModel::dataChanged, &pages.online(), [&] {
        if (!second)
            return;
        registry.Unregister(second);
        second->destroy(ui);
        second = nullptr;
    });
    ticks(1);
    EXPECT_EQ(first->linkState, LinkState::Late);
    EXPECT_EQ(second, nullptr);
    EXPECT_EQ(third->ethCountdown, 1) << "the walk stopped; the third client is counted from the next one";
    ticks(1);
    EXPECT_EQ(third->linkState, LinkState::Late);
}
