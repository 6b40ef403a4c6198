#include "device/DeviceReportIntake.h"

#include "reporting/ReportSettings.h"
#include "tests/support/ClientWorld.h"
#include "tests/support/FakeReporter.h"
#include "tests/support/TestNames.h"

#include <gtest/gtest.h>

namespace {

constexpr quint16 kClientAccount = 0x0A10;
constexpr quint16 kDependentAccount = 0x0A11;
constexpr quint16 kForeignAccount = 0x7777;

enum class Sender { Unregistered, Registered, WithDependent, NewClient };
enum class Raised { Nothing, Client, Dependent };

struct IntakeCase {
    const char* name;
    Sender sender;
    DeviceReportIn::Type type;
    DeviceReportIn::Target target;
    quint16 account;
    bool transparent;
    bool logAll;
    bool reportHeartbeat;
    Raised raised;
    int forwarded; // requests to the station (events of unregistered devices, heartbeats)
    int listed;    // lines of unregistered devices
};

using Type = DeviceReportIn::Type;
using Target = DeviceReportIn::Target;

const IntakeCase kCases[] = {
    {"registered event for its own account", Sender::Registered, Type::Event, Target::AccountOrClient, kClientAccount,
     false, false, false, Raised::Client, 0, 0},
    {"registered event for a foreign account goes to the client", Sender::Registered, Type::Event,
     Target::AccountOrClient, kForeignAccount, false, false, false, Raised::Client, 0, 0},
    {"dependent account", Sender::WithDependent, Type::Event, Target::AccountOrClient, kDependentAccount, false, false,
     false, Raised::Dependent, 0, 0},
    {"new client naming its own account leaves the New list and raises", Sender::NewClient, Type::Event,
     Target::AccountOrClient, kClientAccount, false, false, false, Raised::Client, 0, 0},
    {"new client naming another account raises nothing", Sender::NewClient, Type::Event, Target::AccountOrClient,
     kForeignAccount, false, false, false, Raised::Nothing, 0, 0},
    {"accounts rule without dependents: the client whatever the digits", Sender::Registered, Type::Event,
     Target::AccountIfAccounts, kForeignAccount, false, false, false, Raised::Client, 0, 0},
    {"accounts rule with dependents: a foreign account raises nothing", Sender::WithDependent, Type::Event,
     Target::AccountIfAccounts, kForeignAccount, false, false, false, Raised::Nothing, 0, 0},
    {"accounts rule with dependents: the dependent", Sender::WithDependent, Type::Event, Target::AccountIfAccounts,
     kDependentAccount, false, false, false, Raised::Dependent, 0, 0},
    {"unregistered, both off: no trace", Sender::Unregistered, Type::Event, Target::AccountOrClient, 0x4321, false,
     false, false, Raised::Nothing, 0, 0},
    {"unregistered, LogAll: listed", Sender::Unregistered, Type::Event, Target::AccountOrClient, 0x4321, false, true,
     false, Raised::Nothing, 0, 1},
    {"unregistered, Transparente: forwarded", Sender::Unregistered, Type::Event, Target::AccountOrClient, 0x4321, true,
     false, false, Raised::Nothing, 1, 0},
    {"unregistered, both: forwarded and listed", Sender::Unregistered, Type::Event, Target::AccountOrClient, 0x4321,
     true, true, false, Raised::Nothing, 1, 1},
    {"registered keep-alive, Reportar Heartbeat off", Sender::Registered, Type::KeepAlive, Target::AccountOrClient,
     kClientAccount, false, false, false, Raised::Nothing, 0, 0},
    {"registered keep-alive, Reportar Heartbeat on", Sender::Registered, Type::KeepAlive, Target::AccountOrClient,
     kClientAccount, false, false, true, Raised::Nothing, 1, 0},
    {"unregistered keep-alive needs Transparente", Sender::Unregistered, Type::KeepAlive, Target::AccountOrClient,
     0x4321, false, true, true, Raised::Nothing, 0, 0},
    {"unregistered keep-alive with Transparente", Sender::Unregistered, Type::KeepAlive, Target::AccountOrClient,
     0x4321, true, false, true, Raised::Nothing, 1, 0},
    {"unknown type: recorded only", Sender::Registered, Type::Other, Target::AccountOrClient, kClientAccount, true,
     true, true, Raised::Nothing, 0, 0},
};

class DeviceReportIntakeTest : public ::testing::TestWithParam<IntakeCase> {};

TEST_P(DeviceReportIntakeTest, FollowsTheRulesAfterTheAcknowledgement) {
    const IntakeCase& c = GetParam();
    ClientWorld world;
    world.settings.LogAll = c.logAll;
    ReportSettings reportSettings;
    reportSettings.transparent = c.transparent;
    reportSettings.reportHeartbeat = c.reportHeartbeat;
    RecordingEventRaiser& events = world.events;
    FakeReporter reporter;
    reporter.immediateResult = ReportResult::Sent;
    DeviceReportIntake intake(world.settings, reportSettings, world.contacts, events, reporter);

    auto* client = new PrimaryClient;
    client->account = kClientAccount;
    client->status = c.sender == Sender::NewClient ? ClientStatus::New : ClientStatus::Online;
    if (c.sender == Sender::NewClient)
        client->linkState = LinkState::Ok; // heard before, still waiting on the New list
    DependentAccount* dependent = nullptr;
    if (c.sender == Sender::WithDependent) {
        dependent = new DependentAccount;
        dependent->account = kDependentAccount;
        dependent->status = ClientStatus::Online;
        client->AddDependent(dependent);
    }
    world.registry.Register(client);

    DeviceReportIn in;
    in.type = c.type;
    in.target = c.target;
    in.protocol = EventProtocol::TaviCom;
    in.account = c.account;
    in.code = 1130;
    in.channel = Channel::Ethernet;
    in.period = 60;
    in.address = QStringLiteral("10.0.0.5");
    in.port = 4000;
    in.reportAccount = 0xBEEF;
    in.client = c.sender == Sender::Unregistered ? nullptr : client;
    intake.takeReport(in);

    ClientRecord* expected = c.raised == Raised::Client      ? static_cast<ClientRecord*>(client)
                             : c.raised == Raised::Dependent ? dependent
                                                             : nullptr;
    if (expected) {
        ASSERT_EQ(events.clientEvents.size(), 1);
        EXPECT_EQ(events.clientEvents[0].client, expected);
        EXPECT_EQ(events.clientEvents[0].protocol, EventProtocol::TaviCom);
    } else {
        EXPECT_TRUE(events.clientEvents.isEmpty());
    }
    ASSERT_EQ(reporter.requests.size(), c.forwarded);
    if (c.forwarded) {
        EXPECT_EQ(reporter.requests[0].reportAccount, 0xBEEF);
    }
    ASSERT_EQ(events.lines.size(), c.listed);
    if (c.listed) {
        EXPECT_EQ(events.lines[0].name, QStringLiteral("10.0.0.5:4000"));
        EXPECT_EQ(events.lines[0].result, c.transparent ? ReportResult::Sent : ReportResult::NotSent);
    }
    EXPECT_EQ(client->lastContact.isEmpty(), in.client == nullptr) << "contact recorded";
}

INSTANTIATE_TEST_SUITE_P(Cases, DeviceReportIntakeTest, ::testing::ValuesIn(kCases),
                         TestNames::fromCaseName<IntakeCase>);

} // namespace
