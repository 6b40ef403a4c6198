#include "device/LinkStatusWatch.h"

#include "clients/ClientRegistry.h"
#include "tests/device/DeviceTestDoubles.h"
#include "tests/support/RecordingUserInterface.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

TEST(LinkStatusWatchTest, FollowsTheTaviComDevicesLinkStates) {
    ClientRegistry registry;
    RecordingEventRequests requests;
    RecordingUserInterface ui;
    LinkStatusWatch watch(registry, requests, ui);
    EXPECT_TRUE(watch.isOnline()) << "the indicator starts on";

    // Only a Multicom client: not a TaviCom device, so the link counts as down.
    auto* multicom = new MulticomClient;
    multicom->account = 0x0010;
    multicom->linkState = LinkState::Ok;
    registry.Register(multicom);
    watch.tick();
    EXPECT_FALSE(watch.isOnline());
    EXPECT_EQ(ui.statusFields.value(StatusField::Internet), QStringLiteral("Offline"));
    ASSERT_EQ(requests.requests.size(), 1);
    EXPECT_EQ(requests.requests[0], (RecordingEventRequests::Request{0, InternalEvent::InternetFailure, false}))
        << "1007";

    watch.tick();
    EXPECT_EQ(requests.requests.size(), 1) << "no change, nothing posted";

    auto* lost = new PrimaryClient;
    lost->account = 0x0020;
    lost->linkState = LinkState::Lost;
    registry.Register(lost);
    watch.tick();
    EXPECT_FALSE(watch.isOnline()) << "a lost device does not hold the link up";

    auto* green = new PrimaryClient;
    green->account = 0x0030;
    green->linkState = LinkState::Ok;
    registry.Register(green);
    watch.tick();
    EXPECT_TRUE(watch.isOnline());
    EXPECT_EQ(ui.statusFields.value(StatusField::Internet), QStringLiteral("Online"));
    ASSERT_EQ(requests.requests.size(), 2);
    EXPECT_EQ(requests.requests[1], (RecordingEventRequests::Request{0, InternalEvent::InternetFailure, true}))
        << "3007";

    green->linkState = LinkState::NotHeard; // a device not yet heard also counts as not lost
    watch.tick();
    EXPECT_EQ(requests.requests.size(), 2);
    registry.Shutdown();
}

TEST(LinkStatusWatchTest, TimerRunsOnceAndTicksOnItsInterval) {
    ClientRegistry registry;
    RecordingEventRequests requests;
    RecordingUserInterface ui;
    LinkStatusWatch watch(registry, requests, ui, 5);
    watch.start();
    watch.start();
    EXPECT_TRUE(watch.isActive());
    QElapsedTimer elapsed;
    elapsed.start();
    while (requests.requests.isEmpty() && elapsed.elapsed() < 2000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    ASSERT_EQ(requests.requests.size(), 1) << "an empty registry turns the indicator off on the first tick";
    EXPECT_FALSE(requests.requests[0].restore);
    watch.stop();
    EXPECT_FALSE(watch.isActive());
}
