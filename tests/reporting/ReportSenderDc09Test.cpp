#include "reporting/ReportSender.h"

#include "common/StringTable.h"
#include "reporting/ReportConfigFile.h"
#include "reporting/ReportStartup.h"
#include "tests/reporting/ReportTestPeers.h"
#include "tests/support/RecordingUserInterface.h"
#include "tests/support/TempDataDir.h"

#include <QElapsedTimer>
#include <QTest>

#include <gtest/gtest.h>

namespace {

class ReportSenderDc09 : public ::testing::Test {
protected:
    void SetUp() override {
        settings.stationHost = QStringLiteral("127.0.0.1");
        settings.stationPort = station.port();
        table.settings.cidAccount = 0x1A2B;
    }

    void make(ReportLimits limits = answeredLimits()) {
        raiser.reset();
        sender.reset();
        sender = std::make_unique<ReportSender>(settings, ui, limits);
        raiser = std::make_unique<FakeInternalRaiser>(*sender, table);
        sender->setReportingEvents(raiser.get());
    }

    // The loopback station shares the main thread, so a reply it sends at once
    // may still be read late on a busy machine: where an answer is expected the
    // reply wait is long (it costs nothing, the answer ends it).
    static ReportLimits answeredLimits() {
        ReportLimits limits;
        limits.replyMs = kAnsweredReplyMs;
        return limits;
    }
    // Where no answer is expected the wait runs out: keep it short.
    static ReportLimits silentLimits() {
        ReportLimits limits;
        limits.replyMs = kSilentReplyMs;
        limits.busyMs = 1000;
        return limits;
    }
    static constexpr int kAnsweredReplyMs = 3000;
    static constexpr int kSilentReplyMs = 100;

    // Raises one event; its result lands in results under its label.
    void raise(const ReportRequest& request, char label) {
        sender->ReportEvent(request, [this, label](ReportResult result) { results.append({label, result}); });
    }
    bool waitResults(int count, int ms = kAnsweredReplyMs + 2000) {
        return QTest::qWaitFor([&] { return results.size() >= count; }, ms);
    }

    ReportSettings settings;
    bool logAll = false;
    InternalEventTable table;
    RecordingUserInterface ui;
    LoopbackStation station;
    std::unique_ptr<ReportSender> sender;
    std::unique_ptr<FakeInternalRaiser> raiser;
    QList<QPair<char, ReportResult>> results;
};

} // namespace

TEST_F(ReportSenderDc09, StationAnswersDecideTheResultAndStatus) {
    make();
    ASSERT_TRUE(sender->StartReporting(ReportMode::Dc09));
    EXPECT_EQ(ui.statusFields.value(StatusField::ReportMode), QStringLiteral("DC-09 (UDP)"));
    EXPECT_EQ(sender->appliedMode(), ReportMode::Dc09);

    raise(event(0x1234), 'a');
    ASSERT_TRUE(waitResults(1));
    EXPECT_EQ(results[0].second, ReportResult::Sent);
    EXPECT_EQ(station.frames.value(0), QByteArray("\n7EE80027\"ADM-CID\"0001L0#1234[#1234|1130 01 005]\r"));
    EXPECT_EQ(ui.statusFields.value(StatusField::ReportStatus), QStringLiteral("ON"));

    // Each answer ends the wait at once.
    const struct {
        LoopbackStation::Answer answer;
        ReportResult expected;
    } cases[] = {
        {LoopbackStation::Answer::Nak, ReportResult::Failed},
        {LoopbackStation::Answer::Garbage, ReportResult::Failed},
        {LoopbackStation::Answer::AckBadCrc, ReportResult::Sent}, // the reply's CRC is not examined
        {LoopbackStation::Answer::AckLong, ReportResult::Sent},   // only its first 64 bytes are read
    };
    int count = 1;
    for (const auto& c : cases) {
        station.answer = c.answer;
        raise(event(0x1234), 'x');
        ASSERT_TRUE(waitResults(++count));
        EXPECT_EQ(results.last().second, c.expected) << int(c.answer);
        EXPECT_EQ(ui.statusFields.value(StatusField::ReportStatus),
                  c.expected == ReportResult::Sent ? QStringLiteral("ON") : QStringLiteral("OFF"));
    }
    EXPECT_EQ(station.frames.size(), count);

    // No answer at all: Failed once the reply wait is over.
    make(silentLimits());
    ASSERT_TRUE(sender->StartReporting(ReportMode::Dc09));
    EXPECT_EQ(ui.statusFields.value(StatusField::ReportStatus), QStringLiteral("ON"));
    station.answer = LoopbackStation::Answer::None;
    raise(event(0x1234), 'z');
    ASSERT_TRUE(waitResults(++count));
    EXPECT_EQ(results.last().second, ReportResult::Failed);
    EXPECT_EQ(ui.statusFields.value(StatusField::ReportStatus), QStringLiteral("OFF"));
}

TEST_F(ReportSenderDc09, LateAckFailsAndIsNotTakenForTheNextFrame) {
    make(silentLimits());
    ASSERT_TRUE(sender->StartReporting(ReportMode::Dc09));
    station.delayMs = 4 * kSilentReplyMs; // well after the reply wait is over
    QElapsedTimer clock;
    clock.start();
    raise(event(0x1234), 'a');
    ASSERT_TRUE(waitResults(1));
    EXPECT_EQ(results[0].second, ReportResult::Failed);
    EXPECT_LT(clock.elapsed(), kSilentReplyMs + 2000);

    // The late ACK reaches the sender's socket; the next frame gets no answer.
    ASSERT_TRUE(QTest::qWaitFor([&] { return station.repliesSent == 1; }, 4 * kSilentReplyMs + 3000));
    QTest::qWait(30);
    station.answer = LoopbackStation::Answer::None;
    raise(event(0x1234), 'b');
    ASSERT_TRUE(waitResults(2));
    EXPECT_EQ(results[1].second, ReportResult::Failed);
}

TEST_F(ReportSenderDc09, BackToBackEventsAreBothDeliveredInRaiseOrder) {
    make(ReportLimits{}); // the real limits: 5000 ms busy, 1000 ms reply
    ASSERT_TRUE(sender->StartReporting(ReportMode::Dc09));
    station.delayMs = 60;
    raise(event(0x1111), 'a');
    raise(event(0x2222), 'b');
    // An immediate result raised meanwhile still waits for the earlier ones.
    raise(event(0, 0), 'c'); // heartbeat, "Reportar Heartbeat" off
    EXPECT_TRUE(results.isEmpty());
    ASSERT_TRUE(waitResults(3));
    EXPECT_EQ(results[0], qMakePair('a', ReportResult::Sent));
    EXPECT_EQ(results[1], qMakePair('b', ReportResult::Sent));
    EXPECT_EQ(results[2], qMakePair('c', ReportResult::NotSent));
    ASSERT_EQ(station.frames.size(), 2);
    EXPECT_TRUE(station.frames[0].contains("0001L0#1111"));
    EXPECT_TRUE(station.frames[1].contains("0002L0#2222"));
}

TEST_F(ReportSenderDc09, AResultThatRestartsReportingLeavesTheQueuedEventsOnTheirLink) {
    make();
    ASSERT_TRUE(sender->StartReporting(ReportMode::Dc09));
    // The first result restarts reporting from inside the reply's handler: the
    // link it came over is discarded there, and the event raised before the
    // restart still goes out over it.
    sender->ReportEvent(event(0x1111), [this](ReportResult result) {
        results.append({'a', result});
        sender->StartReporting(ReportMode::Dc09);
    });
    raise(event(0x2222), 'b');
    ASSERT_TRUE(waitResults(2));
    raise(event(0x3333), 'c');
    ASSERT_TRUE(waitResults(3));
    EXPECT_EQ(results[0], qMakePair('a', ReportResult::Sent));
    EXPECT_EQ(results[1], qMakePair('b', ReportResult::Sent));
    EXPECT_EQ(results[2], qMakePair('c', ReportResult::Sent));
    EXPECT_EQ(station.frames.size(), 3);
}

TEST_F(ReportSenderDc09, EventWhoseTurnComesTooLateFailsWithoutSending) {
    ReportLimits limits = silentLimits();
    limits.busyMs = 50;
    make(limits);
    ASSERT_TRUE(sender->StartReporting(ReportMode::Dc09));
    station.answer = LoopbackStation::Answer::None;
    raise(event(0x1111), 'a');
    raise(event(0x2222), 'b');
    raise(event(0x3333), 'c');
    ASSERT_TRUE(waitResults(3));
    EXPECT_EQ(results[0], qMakePair('a', ReportResult::Failed));
    EXPECT_EQ(results[1], qMakePair('b', ReportResult::Failed));
    EXPECT_EQ(results[2], qMakePair('c', ReportResult::Failed));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !station.frames.isEmpty(); }, 2000));
    QTest::qWait(20);
    EXPECT_EQ(station.frames.size(), 1);
    // The late ones were never built: the next frame takes number 0002.
    EXPECT_EQ(sender->nextSequence(), 2);
}

TEST_F(ReportSenderDc09, UnresolvableStationNameFailsWithinTheReplyWait) {
    settings.stationHost = QStringLiteral("no-such-station.invalid");
    make(silentLimits());
    ASSERT_TRUE(sender->StartReporting(ReportMode::Dc09));
    QElapsedTimer clock;
    clock.start();
    raise(event(0x1234), 'a');
    EXPECT_TRUE(results.isEmpty()) << "the caller never waits for the name to be resolved";
    ASSERT_TRUE(waitResults(1));
    EXPECT_EQ(results[0].second, ReportResult::Failed);
    // Within the reply wait even when the resolver itself takes far longer.
    EXPECT_LT(clock.elapsed(), kSilentReplyMs + 2000);
}

TEST_F(ReportSenderDc09, HeartbeatsSendTheLinkTestFrameOnlyWhenReported) {
    make();
    ASSERT_TRUE(sender->StartReporting(ReportMode::Dc09));
    table.settings.cidAccount = 0x7777; // taken at the next apply only

    raise(event(0, 0), 'a');
    ASSERT_TRUE(waitResults(1));
    EXPECT_EQ(results[0].second, ReportResult::NotSent);
    EXPECT_TRUE(station.frames.isEmpty());

    settings.reportHeartbeat = true;
    raise(event(0, 0), 'b');
    ASSERT_TRUE(waitResults(2));
    EXPECT_EQ(results[1].second, ReportResult::Sent);
    ASSERT_EQ(station.frames.size(), 1);
    EXPECT_EQ(station.frames[0], FormatDc09LinkTest(0x1A2B));
    EXPECT_EQ(sender->nextSequence(), 1); // heartbeats take no sequence number

    ASSERT_TRUE(sender->StartReporting(ReportMode::Dc09));
    EXPECT_EQ(sender->linkTestFrame(), FormatDc09LinkTest(0x7777));
}

TEST_F(ReportSenderDc09, StartRefusalsAndModesWithoutTransport) {
    make();
    settings.stationHost.clear();
    EXPECT_FALSE(sender->StartReporting(ReportMode::Dc09));
    settings.stationHost = QStringLiteral("127.0.0.1");
    settings.stationPort = 0;
    EXPECT_FALSE(sender->StartReporting(ReportMode::Dc09));
    ASSERT_EQ(ui.messages.size(), 2);
    EXPECT_EQ(ui.messages[0].text, StringTable::text(201));
    EXPECT_EQ(ui.messages[1].text, StringTable::text(202));
    EXPECT_EQ(sender->appliedMode(), ReportMode::Off);

    // The mode in use is DC-09 but no socket: NotSent, status OFF, number used up.
    raise(event(0x1234), 'a');
    ASSERT_TRUE(waitResults(1));
    EXPECT_EQ(results[0].second, ReportResult::NotSent);
    EXPECT_EQ(ui.statusFields.value(StatusField::ReportStatus), QStringLiteral("OFF"));
    EXPECT_EQ(sender->nextSequence(), 2);

    settings.mode = ReportMode::Off;
    raise(event(0x1234), 'b');
    settings.mode = ReportMode::Dispatcher;
    raise(event(0x1234), 'c');
    raise(event(0, 0), 'd');
    ASSERT_TRUE(waitResults(4));
    EXPECT_EQ(results[1].second, ReportResult::NotSent);
    EXPECT_EQ(results[2].second, ReportResult::Failed);
    EXPECT_EQ(results[3].second, ReportResult::NotSent);

    EXPECT_TRUE(sender->StartReporting(ReportMode::Off));
    EXPECT_EQ(ui.statusFields.value(StatusField::ReportMode), QStringLiteral("Desligado"));
    EXPECT_EQ(ui.statusFields.value(StatusField::ReportStatus), QString());
}

TEST_F(ReportSenderDc09, IpOnEventIsRaisedOnlyAfterStartup) {
    make();
    QList<ReportMode> applied;
    QObject::connect(sender.get(), &ReportSender::appliedModeChanged, [&](ReportMode m) { applied.append(m); });
    ASSERT_TRUE(sender->StartReporting(ReportMode::Dc09));
    EXPECT_TRUE(raiser->raised.isEmpty());

    sender->markStartupFinished();
    table.row(InternalEvent::IpReport).code = 350;
    ASSERT_TRUE(sender->StartReporting(ReportMode::Dc09));
    ASSERT_EQ(raiser->raised.size(), 1);
    EXPECT_EQ(raiser->raised[0].position, InternalEvent::IpReport);
    EXPECT_FALSE(raiser->raised[0].restore);
    ASSERT_TRUE(QTest::qWaitFor([&] { return raiser->raised[0].result.has_value(); }, 2000));
    EXPECT_EQ(*raiser->raised[0].result, ReportResult::Sent);
    EXPECT_TRUE(station.frames.value(0).contains("|1350 00 000]"));
    EXPECT_EQ(applied, (QList<ReportMode>{ReportMode::Dc09, ReportMode::Off, ReportMode::Dc09}));
}

TEST_F(ReportSenderDc09, OwnHeartbeatTimerRunsWhileStarted) {
    ReportLimits limits = answeredLimits();
    limits.heartbeatMsPerSecond = 10;
    make(limits);
    settings.ownHeartbeat = true;
    settings.reportHeartbeat = true; // a heartbeat goes to a DC-09 station as the link test
    settings.heartbeatPeriod = 2;
    ASSERT_TRUE(sender->StartReporting(ReportMode::Dc09));
    ASSERT_TRUE(QTest::qWaitFor([&] { return station.frames.size() >= 2; }, 2000));
    EXPECT_TRUE(station.frames[0].contains("\"NULL\"")) << "the link test: " << station.frames[0].constData();
    sender->StopReporting();
    QTest::qWait(30); // a frame already on its way still lands
    const qsizetype count = station.frames.size();
    QTest::qWait(60);
    EXPECT_EQ(station.frames.size(), count);
}

TEST_F(ReportSenderDc09, StartupStartsTheStoredModeWithoutOnEvents) {
    TempDataDir dir;
    make();
    StartStoredReporting(dir.dataDirectory(), settings, logAll, *sender, ui);
    ASSERT_EQ(ui.messages.size(), 1);
    EXPECT_EQ(ui.messages[0].text, StringTable::text(203));
    EXPECT_EQ(sender->appliedMode(), ReportMode::Off);
    EXPECT_EQ(ui.statusFields.value(StatusField::ReportMode), QStringLiteral("Desligado"));

    ReportSettings stored = settings;
    stored.mode = ReportMode::Dc09;
    ASSERT_TRUE(SaveReportConfig(dir.dataDirectory(), stored, false));
    settings = ReportSettings{};
    make();
    StartStoredReporting(dir.dataDirectory(), settings, logAll, *sender, ui);
    EXPECT_EQ(sender->appliedMode(), ReportMode::Dc09);
    EXPECT_EQ(settings.stationPort, station.port());
    EXPECT_TRUE(raiser->raised.isEmpty());
    EXPECT_TRUE(sender->startupFinished());
}

TEST_F(ReportSenderDc09, StationOptionsEncryptTimeAndFallBackToTheBackupStation) {
    const QByteArray key = QByteArray::fromHex("000102030405060708090a0b0c0d0e0f1011121314151617");
    const QByteArray otherKey = QByteArray::fromHex("0f0e0d0c0b0a09080706050403020100");
    LoopbackStation backup;
    using Answer = LoopbackStation::Answer;
    struct Case {
        const char* name;
        Dc09Settings::Station options;
        Answer primary;
        QByteArray primaryKey;
        int primaryClockOffsetS;
        Answer backupAnswer;
        ReportResult result;
        int primaryFrames;
        int backupFrames;
        const char* sentStart; // how the first frame's body starts
        const char* status;
    };
    const Dc09Settings::Station encrypted{key, false, false, {}, 0};
    const Dc09Settings::Station withBackup{key, false, false, "127.0.0.1", backup.port()};
    const Dc09Settings::Station plainWithBackup{{}, false, false, "127.0.0.1", backup.port()};
    const Case cases[] = {
        {"encrypted, answered *ACK", encrypted, Answer::Standard, key, 0, Answer::None, ReportResult::Sent, 1, 0,
         "\"*ADM-CID\"", "ON"},
        {"encrypted, answered with a plain ACK",
         encrypted,
         Answer::Ack,
         {},
         0,
         Answer::None,
         ReportResult::Sent,
         1,
         0,
         "\"*ADM-CID\"",
         "ON"},
        {"timestamped in clear",
         {{}, true, false, {}, 0},
         Answer::Standard,
         {},
         0,
         Answer::None,
         ReportResult::Sent,
         1,
         0,
         "\"ADM-CID\"",
         "ON"},
        {"a station clock 5 minutes ahead: NAK, then the same event on its time", encrypted, Answer::Standard, key, 300,
         Answer::None, ReportResult::Sent, 2, 0, "\"*ADM-CID\"", "ON"},
        {"a station with another key: DUH is no acknowledgement", encrypted, Answer::Standard, otherKey, 0,
         Answer::None, ReportResult::Failed, 1, 0, "\"*ADM-CID\"", "OFF"},
        {"a silent primary: the backup takes it", withBackup, Answer::None, key, 0, Answer::Standard,
         ReportResult::Sent, 1, 1, "\"*ADM-CID\"", "ON (central reserva)"},
        {"a refusing primary, plain frames: the backup takes it",
         plainWithBackup,
         Answer::Nak,
         {},
         0,
         Answer::Ack,
         ReportResult::Sent,
         1,
         1,
         "\"ADM-CID\"",
         "ON (central reserva)"},
        {"both silent", withBackup, Answer::None, key, 0, Answer::None, ReportResult::Failed, 1, 1, "\"*ADM-CID\"",
         "OFF"},
    };
    for (const Case& c : cases) {
        station.answer = c.primary;
        station.key = c.primaryKey;
        station.clockOffsetS = c.primaryClockOffsetS;
        station.frames.clear();
        backup.answer = c.backupAnswer;
        backup.key = key;
        backup.frames.clear();
        results.clear();
        ReportLimits limits = answeredLimits();
        if (c.primary == Answer::None || c.backupAnswer == Answer::None)
            limits.replyMs = 300;
        make(limits);
        sender->setStationOptions(c.options);
        ASSERT_TRUE(sender->StartReporting(ReportMode::Dc09)) << c.name;
        raise(event(0x1234), 'a');
        ASSERT_TRUE(waitResults(1, 4 * limits.replyMs + 2000)) << c.name;
        EXPECT_EQ(results.first().second, c.result) << c.name;
        EXPECT_EQ(station.frames.size(), c.primaryFrames) << c.name;
        EXPECT_EQ(backup.frames.size(), c.backupFrames) << c.name;
        ASSERT_FALSE(station.frames.isEmpty()) << c.name;
        EXPECT_EQ(station.frames.first().mid(9, qsizetype(std::strlen(c.sentStart))), QByteArray(c.sentStart))
            << c.name;
        if (!backup.frames.isEmpty())
            EXPECT_EQ(backup.frames.first().mid(9, qsizetype(std::strlen(c.sentStart))), QByteArray(c.sentStart))
                << c.name << ": the same framing to the backup";
        EXPECT_EQ(ui.statusFields.value(StatusField::ReportStatus), QString::fromLatin1(c.status)) << c.name;
        if (c.primaryClockOffsetS != 0)
            EXPECT_NEAR(double(sender->stationClockOffsetMs()), c.primaryClockOffsetS * 1000.0, 5000.0) << c.name;
        EXPECT_EQ(sender->stationAcknowledgements(ReportSender::Station::Backup),
                  quint64(c.backupFrames > 0 && c.result == ReportResult::Sent))
            << c.name;
    }
}

TEST_F(ReportSenderDc09, OverTcpOneConnectionCarriesTheFramesAndIsOpenedAgainWhenLost) {
    using Reply = LoopbackTcpStation::Reply;
    struct Case {
        const char* name;
        Reply reply;
        int closeAfter;
        QList<ReportResult> results; // of two events raised one after the other
        int connections;
    };
    const Case cases[] = {
        {"answered whole", Reply::Whole, 0, {ReportResult::Sent, ReportResult::Sent}, 1},
        {"answers split across writes", Reply::Split, 0, {ReportResult::Sent, ReportResult::Sent}, 1},
        {"answers after garbage", Reply::AfterGarbage, 0, {ReportResult::Sent, ReportResult::Sent}, 1},
        {"connection lost between two events", Reply::Whole, 1, {ReportResult::Sent, ReportResult::Sent}, 2},
        {"connection closed instead of an answer",
         Reply::CloseInstead,
         0,
         {ReportResult::Failed, ReportResult::Failed},
         2},
    };
    for (const Case& c : cases) {
        LoopbackTcpStation tcpStation;
        tcpStation.reply = c.reply;
        tcpStation.closeAfter = c.closeAfter;
        settings.stationPort = tcpStation.port();
        results.clear();
        make();
        sender->setStationOptions({{}, false, true, {}, 0});
        ASSERT_TRUE(sender->StartReporting(ReportMode::Dc09)) << c.name;
        EXPECT_EQ(ui.statusFields.value(StatusField::ReportMode), QStringLiteral("DC-09 (TCP)")) << c.name;
        QElapsedTimer clock;
        clock.start();
        raise(event(0x1234), 'a');
        ASSERT_TRUE(waitResults(1)) << c.name;
        // The second once the station has had the time to close after the first.
        QTest::qWait(200);
        raise(event(0x1235), 'b');
        ASSERT_TRUE(waitResults(2)) << c.name;
        EXPECT_EQ(results.at(0).second, c.results.at(0)) << c.name;
        EXPECT_EQ(results.at(1).second, c.results.at(1)) << c.name;
        EXPECT_EQ(tcpStation.frames.size(), 2) << c.name;
        EXPECT_EQ(tcpStation.connections, c.connections) << c.name;
        EXPECT_LT(clock.elapsed(), kAnsweredReplyMs)
            << c.name << ": a lost connection fails at once, not at the time-out";
    }
}
