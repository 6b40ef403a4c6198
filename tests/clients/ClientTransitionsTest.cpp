#include "clients/ClientTransitions.h"

#include "tests/support/ClientWorld.h"
#include "tests/support/TestNames.h"

#include <gtest/gtest.h>

namespace {

constexpr quint16 kAccount = 0x0C10;
constexpr quint16 kNewDependent = 0x0C11;
constexpr quint16 kKnownDependent = 0x0C12;
constexpr quint16 kOfflineRowCode = 308;

enum class Step { HeardOwnAccount, HeardForeignAccount, Lost, LostWhileServerLinkDown };

struct TransitionCase {
    const char* name;
    int status;
    int linkState;
    Step step;
    int expectedStatus;
    int listedOn; // the page whose rows hold the client afterwards
    bool dependentListedOnNew;
    int knownDependentStatus;
    bool restoreRaised;
    bool offlineRequested;
    int saves;
};

const TransitionCase kCases[] = {
    {"new client naming another account goes online, its new dependent keeps a row", ClientStatus::New,
     LinkState::NotHeard, Step::HeardForeignAccount, ClientStatus::Online, ClientStatus::Online, true,
     ClientStatus::Online, false, false, 1},
    {"new client naming its own account goes online, its new dependent listed again at the next refill",
     ClientStatus::New, LinkState::NotHeard, Step::HeardOwnAccount, ClientStatus::Online, ClientStatus::Online, false,
     ClientStatus::Online, false, false, 1},
    {"offline client heard comes back with its restore", ClientStatus::Offline, LinkState::Lost,
     Step::HeardForeignAccount, ClientStatus::Online, ClientStatus::Online, true, ClientStatus::Online, true, false, 0},
    {"online client lost goes offline", ClientStatus::Online, LinkState::Late, Step::Lost, ClientStatus::Offline,
     ClientStatus::Offline, true, ClientStatus::Online, false, true, 0},
    {"online client lost while the server's link is down stays online", ClientStatus::Online, LinkState::Late,
     Step::LostWhileServerLinkDown, ClientStatus::Online, ClientStatus::Online, true, ClientStatus::Online, false,
     false, 0},
    {"blocked client heard stays blocked and takes its dependents", ClientStatus::Blocked, LinkState::Lost,
     Step::HeardForeignAccount, ClientStatus::Blocked, ClientStatus::Blocked, true, ClientStatus::Blocked, false, false,
     0},
};

class ClientTransitionsTest : public ::testing::TestWithParam<TransitionCase> {};

TEST_P(ClientTransitionsTest, MovesStatusPagesAndAnnouncements) {
    const TransitionCase& c = GetParam();
    ClientWorld world;
    world.internalEvents.row(InternalEvent::ClientOffline).code = kOfflineRowCode;
    world.settings.SoundOffline = 1;
    ClientBuilder build(world);
    PrimaryClient* client = build.primary(kAccount, c.status, c.linkState);
    DependentAccount* fresh = build.dependent(client, kNewDependent, ClientStatus::New);
    DependentAccount* known = build.dependent(client, kKnownDependent, ClientStatus::Online);
    world.pages.refillAll(world.registry);
    ClientTransitions& transitions = world.transitions;

    switch (c.step) {
    case Step::HeardOwnAccount:
        transitions.heard(*client, client);
        break;
    case Step::HeardForeignAccount:
        transitions.heard(*client, nullptr);
        break;
    case Step::Lost:
        transitions.turnLost(*client, true);
        break;
    case Step::LostWhileServerLinkDown:
        transitions.turnLost(*client, false);
        break;
    }

    EXPECT_EQ(client->status, c.expectedStatus);
    for (int status : {ClientStatus::Online, ClientStatus::Offline, ClientStatus::Blocked, ClientStatus::New})
        EXPECT_EQ(world.pages.PageForStatus(status)->FindRow(client) >= 0, status == c.listedOn) << "page " << status;
    EXPECT_EQ(world.pages.newClients().FindRow(fresh) >= 0, c.dependentListedOnNew);
    EXPECT_EQ(fresh->status, ClientStatus::New) << "a new dependent waits for its own first call";
    EXPECT_EQ(known->status, c.knownDependentStatus);

    if (c.restoreRaised) {
        ASSERT_EQ(world.events.clientEvents.size(), 1);
        EXPECT_EQ(world.events.clientEvents[0].client, client);
        EXPECT_EQ(world.events.clientEvents[0].code, kOfflineRowCode + InternalEvent::kRestoreBase);
        EXPECT_EQ(world.events.clientEvents[0].protocol, EventProtocol::Internal);
    } else {
        EXPECT_TRUE(world.events.clientEvents.isEmpty());
    }
    if (c.offlineRequested) {
        ASSERT_EQ(world.requests.requests.size(), 1);
        EXPECT_EQ(world.requests.requests[0],
                  (RecordingEventRequests::Request{client->serial, InternalEvent::ClientOffline, false}));
        EXPECT_EQ(world.ui.sounds, QStringList{QStringLiteral("/srv/atalaia/Offline.wav")});
    } else {
        EXPECT_TRUE(world.requests.requests.isEmpty());
        EXPECT_TRUE(world.ui.sounds.isEmpty());
    }
    EXPECT_EQ(world.saves, c.saves);
}

INSTANTIATE_TEST_SUITE_P(Cases, ClientTransitionsTest, ::testing::ValuesIn(kCases),
                         TestNames::fromCaseName<TransitionCase>);

} // namespace
