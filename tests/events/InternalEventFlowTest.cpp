// The internal events end to end: the client monitor, the event request, the
// internal forwarding and the real events list, then the client's way back.
#include "clients/ClientContact.h"
#include "clients/ClientMonitor.h"
#include "clients/ClientPages.h"
#include "clients/ClientRegistry.h"
#include "config/ServerSettings.h"
#include "events/AlarmTextTable.h"
#include "events/EventList.h"
#include "events/EventPipeline.h"
#include "events/InternalEventForwarder.h"
#include "events/InternalEventRequests.h"
#include "events/InternalEventTable.h"
#include "tests/events/InternalEventFakes.h"
#include "tests/support/RecordingUserInterface.h"
#include "tests/support/TempDataDir.h"

#include <QCoreApplication>

#include "clients/ClientTransitions.h"
#include "events/ClientStatusRaiser.h"

#include <gtest/gtest.h>

using namespace internal_event_test;

TEST(InternalEventFlowTest, OfflineRowDisabledIsListedNotSentAndTheRestoreIsForwardedAnyway) {
    TempDataDir dir;
    RecordingUserInterface ui;
    ServerSettings settings;
    InternalEventTable table;
    table.settings = InternalEventSettings{0xEEEE, 0xDDDD, 42, 7};
    table.row(InternalEvent::ClientOffline) =
        InternalEventRow{308, false, QStringLiteral("Cliente offline"), QStringLiteral("Texto da linha, nao usado")};
    table.row(InternalEvent::ClientBlocked) = InternalEventRow{309, false, QStringLiteral("Cliente bloqueado"), {}};
    AlarmTextTable alarms;
    alarms.restoreText[308] = QStringLiteral("Cliente voltou a comunicar");

    FakeReporter reporter;
    reporter.immediateResult = ReportResult::Sent;
    EventList list(dir.dataDirectory(), ui);
    EventPipeline pipeline(list, reporter, alarms, table, settings, ui, dir.dataDirectory());
    ClientRegistry registry;
    ClientPages pages;
    InternalEventForwarder forwarder(table, reporter, pipeline);
    InternalEventRequests requests(registry, forwarder);
    ClientStatusRaiser returns(pipeline, forwarder, table);
    ClientTransitions transitions(registry, pages, returns, requests, ui, settings, dir.dataDirectory());
    ContactRecorder contacts(registry, transitions);
    ClientMonitor monitor(registry, transitions);

    auto* p = new PrimaryClient;
    p->account = 0x0A1B;
    p->name = QStringLiteral("Padaria");
    p->panel = QStringLiteral("Korvo 16IP");
    p->status = ClientStatus::Online;
    registry.Register(p);
    pages.online().AddClient(p);
    contacts.ClientContact(p, 0x0A1B, QStringLiteral("192.0.2.7"), 4000, Channel::Ethernet, 60);

    for (int i = 0; i < 160; ++i)
        monitor.tick();
    ASSERT_EQ(p->status, ClientStatus::Offline);
    EXPECT_EQ(list.model().rowCount(), 0) << "the monitor only posts the request";
    QCoreApplication::sendPostedEvents(&requests);

    EventListModel& model = list.model();
    model.showWaitingRows(); // as the next batch shows them
    ASSERT_EQ(model.rowCount(), 1);
    EXPECT_EQ(model.resultAt(0), int(ReportResult::NotSent)) << "row 6 disabled: listed, not sent";
    EXPECT_TRUE(reporter.requests.isEmpty());
    EXPECT_EQ(model.cellText(0, EventListModel::TextColumn), QStringLiteral("Cliente offline"));
    EXPECT_EQ(model.cellText(0, EventListModel::CodeColumn), QStringLiteral("E 308"));
    EXPECT_EQ(model.cellText(0, EventListModel::NameColumn), QStringLiteral("Padaria"));
    EXPECT_EQ(model.cellText(0, EventListModel::AccountColumn), QStringLiteral("0A1B"));

    contacts.ClientContact(p, 0x0A1B, QStringLiteral("192.0.2.7"), 4000, Channel::Ethernet, 60);
    EXPECT_EQ(p->status, ClientStatus::Online);
    EXPECT_EQ(p->linkState, LinkState::Ok);
    ASSERT_EQ(reporter.requests.size(), 1) << "the restore is forwarded whatever row 6's flag says";
    EXPECT_EQ(reporter.requests[0].code, 3308);
    EXPECT_EQ(reporter.requests[0].account, 0x0A1B);
    EXPECT_EQ(reporter.requests[0].partition, 7);
    EXPECT_EQ(reporter.requests[0].zone, 42);
    model.showWaitingRows();
    ASSERT_EQ(model.rowCount(), 2);
    EXPECT_EQ(model.resultAt(0), int(ReportResult::Sent));
    EXPECT_EQ(model.cellText(0, EventListModel::TextColumn), QStringLiteral("Cliente voltou a comunicar"))
        << "the restore's text comes from Alarms.lst";
    EXPECT_EQ(model.cellText(0, EventListModel::CodeColumn), QStringLiteral("R 308"));

    // Row 8 disabled: blocking is listed with its text and NotSent; nothing is sent.
    forwarder.raiseClientInternal(InternalEvent::ClientBlocked, false, InternalForward::IfEnabled, p);
    model.showWaitingRows();
    ASSERT_EQ(model.rowCount(), 3);
    EXPECT_EQ(model.resultAt(0), int(ReportResult::NotSent));
    EXPECT_EQ(model.cellText(0, EventListModel::TextColumn), QStringLiteral("Cliente bloqueado"));
    EXPECT_EQ(reporter.requests.size(), 1);

    const QString eventSound = dir.file(QStringLiteral("Event.wav"));
    EXPECT_EQ(ui.sounds, (QStringList{dir.file(QStringLiteral("Offline.wav")), eventSound, eventSound, eventSound}));
}
