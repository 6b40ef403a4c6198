#include "reporting/ReportSender.h"

#include "common/StringTable.h"
#include "tests/reporting/ReportTestPeers.h"
#include "tests/support/RecordingUserInterface.h"

#include <QElapsedTimer>
#include <QTest>

#include <gtest/gtest.h>

namespace {

class ReportSenderSerial : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(pty.slavePath().isEmpty());
        settings.serialPort = pty.slavePath();
        settings.baudIndex = 13; // 115200
        settings.attemptsIndex = 2;
    }

    // The receiver shares the main thread, so an 0x06 it writes at once may
    // still be read late on a busy machine: where an answer is expected the
    // window is long (it costs nothing, the answer ends it); where none comes
    // the window runs out, so it is short there.
    static constexpr int kAnsweredWindowMs = 1000;
    static constexpr int kSilentWindowMs = 60;

    void make(int afterWriteMs) {
        raiser.reset();
        sender.reset();
        ReportLimits limits;
        limits.busyMs = 3 * afterWriteMs + 2000;
        limits.serial.afterWriteMs = afterWriteMs;
        sender = std::make_unique<ReportSender>(settings, ui, limits);
        raiser = std::make_unique<FakeInternalRaiser>(*sender, table);
        sender->setReportingEvents(raiser.get());
    }

    void raise(const ReportRequest& request) {
        sender->ReportEvent(request, [this](ReportResult result) { results.append(result); });
    }
    bool waitResults(int count) {
        return QTest::qWaitFor([&] { return results.size() >= count; }, kWaitMs);
    }
    bool waitRaised(int index) {
        return QTest::qWaitFor(
            [&] { return raiser->raised.size() > index && raiser->raised[index].result.has_value(); }, kWaitMs);
    }
    static constexpr int kWaitMs = 3 * kAnsweredWindowMs + 3000;

    PtyReceiver pty;
    ReportSettings settings;
    InternalEventTable table;
    RecordingUserInterface ui;
    std::unique_ptr<ReportSender> sender;
    std::unique_ptr<FakeInternalRaiser> raiser;
    QList<ReportResult> results;
};

} // namespace

TEST_F(ReportSenderSerial, AttemptsUntilAcknowledged) {
    make(kSilentWindowMs);
    ASSERT_TRUE(sender->StartReporting(ReportMode::Serial));
    EXPECT_EQ(ui.statusFields.value(StatusField::ReportMode), QStringLiteral("SurGard (Serial)"));

    // No answer: three writes of the same message, then Failed.
    raise(event(0x1234));
    ASSERT_TRUE(waitResults(1));
    EXPECT_EQ(results[0], ReportResult::Failed);
    ASSERT_TRUE(QTest::qWaitFor([&] { return pty.messages.size() >= 3; }, kWaitMs));
    ASSERT_EQ(pty.messages.size(), 3);
    EXPECT_EQ(pty.messages[0], QByteArray("5011 181234E13001005\x14"));
    EXPECT_EQ(pty.messages[2], pty.messages[0]);
    EXPECT_EQ(ui.statusFields.value(StatusField::ReportStatus), QStringLiteral("OFF"));

    // 0x06 on the second write only: the first write is never answered, so
    // its whole window runs out before the second write.
    make(kAnsweredWindowMs);
    ASSERT_TRUE(sender->StartReporting(ReportMode::Serial));
    pty.messages.clear();
    pty.answerWrite = [](int n) { return n == 2; };
    settings.receiver = 3; // the settings in memory count at once
    QElapsedTimer clock;
    clock.start();
    raise(event(0x1234));
    ASSERT_TRUE(waitResults(2));
    EXPECT_EQ(results[1], ReportResult::Sent);
    EXPECT_GE(clock.elapsed(), kAnsweredWindowMs);
    EXPECT_EQ(pty.messages.size(), 2);
    EXPECT_TRUE(pty.messages[0].startsWith("5031 18"));
    EXPECT_EQ(ui.statusFields.value(StatusField::ReportStatus), QStringLiteral("ON"));
}

TEST_F(ReportSenderSerial, HeartbeatsAndBackToBackEvents) {
    make(kAnsweredWindowMs);
    ASSERT_TRUE(sender->StartReporting(ReportMode::Serial));
    pty.answerWrite = [](int) { return true; };
    raise(event(0, 0));
    raise(event(0, 5)); // account 0 with a code: nothing to send
    raise(event(0x0001));
    raise(event(0x0002));
    ASSERT_TRUE(waitResults(4));
    EXPECT_EQ(results,
              (QList<ReportResult>{ReportResult::Sent, ReportResult::NotSent, ReportResult::Sent, ReportResult::Sent}));
    ASSERT_EQ(pty.messages.size(), 3);
    EXPECT_EQ(pty.messages[0], QByteArray("101X           @    \x14"));
    EXPECT_TRUE(pty.messages[1].contains("180001E"));
    EXPECT_TRUE(pty.messages[2].contains("180002E"));
}

TEST_F(ReportSenderSerial, PortThatDisappearsFailsWithoutCrashing) {
    make(kSilentWindowMs);
    ASSERT_TRUE(sender->StartReporting(ReportMode::Serial));
    raise(event(0x1234));
    pty.hangUp(); // while the first write waits for its answer
    raise(event(0x1234));
    ASSERT_TRUE(waitResults(2));
    EXPECT_EQ(results[0], ReportResult::Failed);
    EXPECT_EQ(results[1], ReportResult::Failed);
    EXPECT_EQ(ui.statusFields.value(StatusField::ReportStatus), QStringLiteral("OFF"));
    raise(event(0x1234));
    ASSERT_TRUE(waitResults(3));
    EXPECT_EQ(results[2], ReportResult::Failed);
}

TEST_F(ReportSenderSerial, StartRefusals) {
    make(kSilentWindowMs);
    settings.serialPort.clear();
    EXPECT_FALSE(sender->StartReporting(ReportMode::Serial));
    settings.serialPort = QStringLiteral("/dev/atalaia-no-such-port");
    EXPECT_FALSE(sender->StartReporting(ReportMode::Serial));
    ASSERT_EQ(ui.messages.size(), 2);
    EXPECT_EQ(ui.messages[0].text, StringTable::text(164));
    EXPECT_EQ(ui.messages[1].text, StringTable::text(165) + QStringLiteral("/dev/atalaia-no-such-port"));
    EXPECT_EQ(ui.messages[1].icon, UserInterface::Icon::Error);

    // Mode in use serial, no port: Failed, status OFF.
    raise(event(0x1234));
    ASSERT_TRUE(waitResults(1));
    EXPECT_EQ(results[0], ReportResult::Failed);
    EXPECT_EQ(ui.statusFields.value(StatusField::ReportStatus), QStringLiteral("OFF"));
}

TEST_F(ReportSenderSerial, OnAndOffEventsGoOutOverTheOpenPort) {
    make(kAnsweredWindowMs);
    table.row(InternalEvent::ManualTest).code = 602;
    table.row(InternalEvent::SerialReport).code = 400;
    table.row(InternalEvent::SerialReport).enabled = true;
    pty.answerWrite = [](int) { return true; };
    int marked = 0;
    QObject::connect(sender.get(), &ReportSender::settingsMarkedChanged, [&] { ++marked; });

    // The automatic start raises nothing.
    ASSERT_TRUE(sender->StartReporting(ReportMode::Serial));
    EXPECT_TRUE(raiser->raised.isEmpty());
    sender->markStartupFinished();

    // Applying serial again: OFF over the still-open port, then ON over the same port.
    ASSERT_TRUE(sender->StartReporting(ReportMode::Serial));
    EXPECT_TRUE(ui.messages.isEmpty());
    ASSERT_TRUE(waitRaised(1));
    EXPECT_TRUE(raiser->raised[0].restore);
    EXPECT_EQ(*raiser->raised[0].result, ReportResult::Sent);
    EXPECT_FALSE(raiser->raised[1].restore);
    EXPECT_EQ(*raiser->raised[1].result, ReportResult::Sent);
    ASSERT_EQ(pty.messages.size(), 2);
    EXPECT_TRUE(pty.messages[0].contains("R400"));
    EXPECT_TRUE(pty.messages[1].contains("E400"));
    EXPECT_EQ(marked, 1);

    // Switching to DC-09 (the page has already changed the mode in use): the
    // OFF event still goes out over serial, then the port closes.
    settings.mode = ReportMode::Dc09;
    settings.stationHost = QStringLiteral("127.0.0.1");
    settings.stationPort = 9;
    ASSERT_TRUE(sender->StartReporting(ReportMode::Dc09));
    ASSERT_TRUE(waitRaised(2));
    EXPECT_EQ(raiser->raised[2].position, InternalEvent::SerialReport);
    EXPECT_EQ(*raiser->raised[2].result, ReportResult::Sent);
    EXPECT_EQ(pty.messages.size(), 3);
    EXPECT_TRUE(pty.messages[2].contains("R400"));
    // Closed: it can be opened again by a switch back.
    sender->StopReporting();
    EXPECT_TRUE(sender->StartReporting(ReportMode::Serial));
}

TEST_F(ReportSenderSerial, DisabledRowAndUnsetManualTestCode) {
    make(kSilentWindowMs); // the receiver never answers
    table.row(InternalEvent::ManualTest).code = 602;
    table.row(InternalEvent::SerialReport).code = 400;
    sender->markStartupFinished();
    ASSERT_TRUE(sender->StartReporting(ReportMode::Serial));
    ASSERT_EQ(raiser->raised.size(), 1); // ON is forwarded whatever the row says
    sender->StopReporting();
    ASSERT_TRUE(waitRaised(1));
    EXPECT_EQ(*raiser->raised[1].result, ReportResult::NotSent); // OFF only when the row is enabled

    // Without a manual-test code neither is raised.
    table.row(InternalEvent::ManualTest).code = 0;
    ASSERT_TRUE(QTest::qWaitFor([&] { return sender->isIdle(); }, 3000));
    ASSERT_TRUE(sender->StartReporting(ReportMode::Serial));
    sender->StopReporting();
    EXPECT_EQ(raiser->raised.size(), 2);
}

TEST_F(ReportSenderSerial, IdlePortThatDisappearsShowsOff) {
    make(kSilentWindowMs);
    ASSERT_TRUE(sender->StartReporting(ReportMode::Serial));
    EXPECT_EQ(ui.statusFields.value(StatusField::ReportStatus), QStringLiteral("ON"));
    pty.hangUp();
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return ui.statusFields.value(StatusField::ReportStatus) == QStringLiteral("OFF"); }, 2000));
    raise(event(0x1234));
    ASSERT_TRUE(waitResults(1));
    EXPECT_EQ(results[0], ReportResult::Failed);
}

TEST(ReportSenderDrain, ShutdownWaitCoversEveryAttemptOfTheSlowestLineInForce) {
    const struct {
        int baudIndex;
        int attemptsIndex;
        int expectedMs;
    } cases[] = {
        // busy limit 5000 + the larger of the DC-09 reply wait (1000) and the serial attempts
        {7, 0, 6000},  // 9600 baud, 1 attempt: the reply wait
        {1, 7, 20344}, // 110 baud, 8 attempts of 21 characters of 10 bits: 5000 + 8 x (1910 + 2 + 6) ms
        {1, 0, 6918},  // 110 baud, 1 attempt
    };
    for (const auto& c : cases) {
        ReportSettings settings;
        settings.baudIndex = c.baudIndex;
        settings.attemptsIndex = c.attemptsIndex;
        RecordingUserInterface ui;
        ReportSender sender(settings, ui);
        EXPECT_EQ(sender.longestDrainMs(), c.expectedMs) << c.baudIndex << " " << c.attemptsIndex;
    }
}
