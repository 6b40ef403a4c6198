#include "events/InternalEventForwarder.h"
#include "clients/ClientRegistry.h"
#include "events/InternalEventRequests.h"
#include "events/InternalEventTable.h"
#include "tests/events/InternalEventFakes.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

using namespace internal_event_test;

#include <thread>

namespace {

struct Fixture {
    Fixture() {
        table.settings = InternalEventSettings{0x1A2B, 0x00FF, 12, 3};
        for (int i = 0; i < InternalEvent::kRowCount; ++i)
            table.row(i).code = quint16(400 + i);
        forwarder.setOperatorName([this] { return operatorName; });
    }

    InternalEventTable table;
    FakeReporter reporter;
    CopyingEventRaiser events;
    InternalEventForwarder forwarder{table, reporter, events};
    QString operatorName = QStringLiteral("Ana");
};

void expectRequest(const ReportRequest& r, quint16 account, quint16 reportAccount, quint16 code) {
    EXPECT_EQ(r.account, account);
    EXPECT_EQ(r.reportAccount, reportAccount);
    EXPECT_EQ(r.code, code);
    EXPECT_EQ(r.partition, 3);
    EXPECT_EQ(r.zone, 12);
}

} // namespace

TEST(InternalEventForwarderTest, ForwardingRulesAndListingAfterTheResult) {
    Fixture f;
    // Disabled row, forwarded only when enabled: nothing sent, listed NotSent at once.
    f.forwarder.raiseInternal(InternalEvent::OperatorLogin, false, InternalForward::IfEnabled);
    EXPECT_TRUE(f.reporter.requests.isEmpty());
    ASSERT_EQ(f.events.lines.size(), 1);
    EXPECT_EQ(f.events.lines[0].result, ReportResult::NotSent);
    EXPECT_EQ(f.events.lines[0].code, 1003);
    EXPECT_EQ(f.events.lines[0].name, QStringLiteral("Ana"));

    // Disabled row forwarded always (serial reporting ON): sent with the internal accounts.
    f.forwarder.raiseInternal(InternalEvent::SerialReport, false, InternalForward::Always);
    ASSERT_EQ(f.reporter.requests.size(), 1);
    expectRequest(f.reporter.requests[0], 0x1A2B, 0x00FF, 1404);
    EXPECT_EQ(f.events.lines.size(), 1) << "listed only once the station's result is known";
    f.reporter.complete(ReportResult::Failed);
    ASSERT_EQ(f.events.lines.size(), 2);
    EXPECT_EQ(f.events.lines[1].result, ReportResult::Failed);
    EXPECT_EQ(f.events.lines[1].code, 1004);

    // Enabled row, restore: row code + 3000.
    f.table.row(InternalEvent::InternetFailure).enabled = true;
    f.forwarder.raiseInternal(InternalEvent::InternetFailure, true, InternalForward::IfEnabled);
    ASSERT_EQ(f.reporter.requests.size(), 2);
    expectRequest(f.reporter.requests[1], 0x1A2B, 0x00FF, 3407);
    f.reporter.complete(ReportResult::Sent);
    EXPECT_EQ(f.events.lines.last().code, 3007);
    EXPECT_EQ(f.events.lines.last().result, ReportResult::Sent);

    // An unconfigured row is still sent, with 1000.
    f.table.row(InternalEvent::CallbackSent) = InternalEventRow{0, true, {}, {}};
    f.forwarder.raiseInternal(InternalEvent::CallbackSent, false, InternalForward::IfEnabled);
    EXPECT_EQ(f.reporter.requests.last().code, 1000);

    // Positions outside the table raise nothing.
    const qsizetype before = f.reporter.requests.size();
    f.forwarder.raiseInternal(10, false, InternalForward::Always);
    f.forwarder.raiseInternal(-1, true, InternalForward::Always);
    EXPECT_EQ(f.reporter.requests.size(), before);
}

TEST(InternalEventForwarderTest, OperatorChangeListsLogoutForTheOldNameThenLoginForTheNew) {
    Fixture f;
    f.table.row(InternalEvent::OperatorLogin).enabled = true;
    f.forwarder.raiseInternal(InternalEvent::OperatorLogin, true, InternalForward::IfEnabled);
    f.operatorName = QStringLiteral("Bruno");
    f.forwarder.raiseInternal(InternalEvent::OperatorLogin, false, InternalForward::IfEnabled);
    f.reporter.complete(ReportResult::Sent);
    f.reporter.complete(ReportResult::Sent);
    ASSERT_EQ(f.events.lines.size(), 2);
    EXPECT_EQ(f.events.lines[0].code, 3003);
    EXPECT_EQ(f.events.lines[0].name, QStringLiteral("Ana")) << "the name is the one at raise time";
    EXPECT_EQ(f.events.lines[1].code, 1003);
    EXPECT_EQ(f.events.lines[1].name, QStringLiteral("Bruno"));
}

TEST(InternalEventForwarderTest, ClientEventsUseTheClientAccountsAndSurviveItsRemoval) {
    Fixture f;
    auto* primary = new PrimaryClient;
    primary->account = 0x1001;
    primary->name = QStringLiteral("Padaria");
    primary->panel = QStringLiteral("Korvo 16IP");
    auto* dependent = new DependentAccount;
    dependent->account = 0x1002;
    dependent->name = QStringLiteral("Deposito");
    primary->AddDependent(dependent);

    // Row 8 disabled: blocking is listed with NotSent and nothing is sent.
    f.forwarder.raiseClientInternal(InternalEvent::ClientBlocked, false, InternalForward::IfEnabled, dependent);
    EXPECT_TRUE(f.reporter.requests.isEmpty());
    ASSERT_EQ(f.events.lines.size(), 1);
    EXPECT_EQ(f.events.lines[0].result, ReportResult::NotSent);
    EXPECT_EQ(f.events.lines[0].code, 1008);
    EXPECT_EQ(f.events.lines[0].account, 0x1002);
    EXPECT_EQ(f.events.lines[0].panel, QStringLiteral("Korvo 16IP"));

    // Row 9 enabled: the client is destroyed before the station answers.
    f.table.row(InternalEvent::ClientRemoved).enabled = true;
    f.forwarder.raiseClientInternal(InternalEvent::ClientRemoved, false, InternalForward::IfEnabled, dependent);
    ASSERT_EQ(f.reporter.requests.size(), 1);
    expectRequest(f.reporter.requests[0], 0x1002, 0x1001, 1409);
    primary->RemoveDependent(dependent);
    delete primary;
    f.reporter.complete(ReportResult::Sent);
    ASSERT_EQ(f.events.lines.size(), 2);
    EXPECT_EQ(f.events.lines[1].name, QStringLiteral("Deposito"));
    EXPECT_EQ(f.events.lines[1].account, 0x1002);
    EXPECT_EQ(f.events.lines[1].result, ReportResult::Sent);

    f.forwarder.raiseClientInternal(InternalEvent::ClientRemoved, false, InternalForward::Always, nullptr);
    EXPECT_EQ(f.reporter.requests.size(), 1) << "no client, nothing raised";
}

TEST(InternalEventForwarderTest, ResultArrivingAfterTheForwarderIsGoneIsDropped) {
    InternalEventTable table;
    FakeReporter reporter;
    CopyingEventRaiser events;
    {
        InternalEventForwarder forwarder(table, reporter, events);
        forwarder.raiseInternal(InternalEvent::IpReport, false, InternalForward::Always);
    }
    reporter.complete(ReportResult::Sent);
    EXPECT_TRUE(events.lines.isEmpty());
}

TEST(InternalEventRequestsTest, RequestsFromOtherThreadsAreHandledOnTheMainThreadInArrivalOrder) {
    Fixture f;
    ClientRegistry registry;
    InternalEventRequests requests(registry, f.forwarder);
    f.reporter.immediateResult = ReportResult::Sent;
    f.table.row(InternalEvent::InternetFailure).enabled = true;

    std::thread worker([&] {
        requests.requestServerEvent(InternalEvent::InternetFailure, false);
        requests.requestServerEvent(InternalEvent::InternetFailure, true);
    });
    worker.join();
    EXPECT_TRUE(f.reporter.requests.isEmpty()) << "handled on the main thread, not in the poster";
    QCoreApplication::sendPostedEvents(&requests);

    ASSERT_EQ(f.reporter.requests.size(), 2);
    expectRequest(f.reporter.requests[0], 0x1A2B, 0x00FF, 1407);
    expectRequest(f.reporter.requests[1], 0x1A2B, 0x00FF, 3407);
    ASSERT_EQ(f.events.lines.size(), 2);
    EXPECT_EQ(f.events.lines[0].code, 1007);
    EXPECT_EQ(f.events.lines[1].code, 3007);
    EXPECT_EQ(f.events.lines[1].name, QStringLiteral("Ana"));

    // Positions that name no row are dropped.
    requests.OnEventRequest(0, InternalEvent::kRowCount, false);
    requests.OnEventRequest(0, -1, true);
    EXPECT_EQ(f.reporter.requests.size(), 2);
}

TEST(InternalEventRequestsTest, ClientRequestsFindTheClientBySerialOrAreDropped) {
    Fixture f;
    ClientRegistry registry;
    InternalEventRequests requests(registry, f.forwarder);
    f.reporter.immediateResult = ReportResult::Sent;
    auto* kept = new PrimaryClient;
    kept->account = 0x2000;
    kept->name = QStringLiteral("Mercado");
    registry.Register(kept);
    auto* removed = new PrimaryClient;
    removed->account = 0x3000;
    registry.Register(removed);

    requests.requestClientEvent(kept->serial, InternalEvent::ClientOffline, false);
    requests.requestClientEvent(removed->serial, InternalEvent::ClientOffline, false);
    registry.Unregister(removed);
    delete removed; // gone before the main thread handles its request
    QCoreApplication::sendPostedEvents(&requests);

    ASSERT_EQ(f.events.lines.size(), 1);
    EXPECT_EQ(f.events.lines[0].name, QStringLiteral("Mercado"));
    EXPECT_EQ(f.events.lines[0].code, 1006);
    EXPECT_EQ(f.events.lines[0].result, ReportResult::NotSent) << "row 6 disabled: listed, not sent";
    EXPECT_TRUE(f.reporter.requests.isEmpty());
}
