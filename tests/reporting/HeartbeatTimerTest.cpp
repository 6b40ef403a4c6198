#include "reporting/HeartbeatTimer.h"

#include "reporting/ReportSettings.h"
#include "tests/reporting/ReportTestPeers.h"

#include <QTest>

#include <gtest/gtest.h>

TEST(HeartbeatTimer, PostsEveryPeriodOnlyWhileAllowed) {
    ReportSettings settings;
    settings.mode = ReportMode::Serial;
    settings.ownHeartbeat = true;
    settings.heartbeatPeriod = 0;
    int beats = 0;
    HeartbeatTimer timer(
        settings, [&beats] { ++beats; }, /*idleWaitMs=*/10, /*msPerSecond=*/10);

    // Period 0: idle waits, nothing posted.
    timer.start();
    EXPECT_EQ(timer.currentIntervalMs(), 10);
    QTest::qWait(80);
    EXPECT_EQ(beats, 0);

    // The period is read afresh at the next cycle.
    settings.heartbeatPeriod = 2;
    ASSERT_TRUE(QTest::qWaitFor([&] { return beats >= 2; }, 2000));
    EXPECT_EQ(timer.currentIntervalMs(), 20);

    // Not in dispatcher mode, not once switched off.
    settings.mode = ReportMode::Dispatcher;
    QTest::qWait(30);
    int count = beats;
    QTest::qWait(80);
    EXPECT_EQ(beats, count);
    settings.mode = ReportMode::Dc09;
    settings.ownHeartbeat = false;
    QTest::qWait(30);
    count = beats;
    QTest::qWait(80);
    EXPECT_EQ(beats, count);

    settings.ownHeartbeat = true;
    timer.stop();
    QTest::qWait(60);
    EXPECT_EQ(beats, count);
    EXPECT_FALSE(timer.isRunning());
}
