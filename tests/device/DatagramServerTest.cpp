#include "device/DatagramServer.h"

#include "common/Crc16.h"
#include "common/StringTable.h"
#include "device/DeviceReportIntake.h"
#include "device/LinkStatusWatch.h"
#include "reporting/ReportSettings.h"
#include "tests/device/DatagramBuilder.h"
#include "tests/device/DeviceTestDoubles.h"
#include "tests/support/ClientWorld.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QSignalSpy>
#include <QSocketNotifier>
#include <QUdpSocket>

#include <gtest/gtest.h>

using namespace TaviCom;

namespace {

constexpr quint32 kDeviceId = 0x1A2B00EE;
constexpr quint16 kAccount = 0x00EE;
constexpr quint16 kDependentAccount = 0x0101;
constexpr quint32 kUnknownDeviceId = 0x0000BEEF;
constexpr int kAnswerWaitMs = 2000;
constexpr int kNoAutomaticCheckMs = 3600 * 1000;

class DatagramServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        contacts.setTimeSource([] { return QStringLiteral("11/06/2024 10:00:00"); });
        client = new PrimaryClient;
        client->account = kAccount;
        client->deviceId = kDeviceId;
        client->status = ClientStatus::Online;
        client->name = QStringLiteral("Loja");
        dependent = new DependentAccount;
        dependent->account = kDependentAccount;
        dependent->status = ClientStatus::Online;
        client->AddDependent(dependent);
        registry.Register(client);

        ASSERT_TRUE(server.StartServer());
        ASSERT_NE(server.boundPort(), 0);
        ASSERT_TRUE(device.bind(QHostAddress::LocalHost, 0));
    }
    void TearDown() override { registry.Shutdown(); }

    void send(const std::vector<quint8>& bytes) {
        ASSERT_EQ(device.writeDatagram(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()),
                                       QHostAddress::LocalHost, server.boundPort()),
                  qint64(bytes.size()));
    }

    // The next datagram the device receives, or an empty one after the wait.
    std::vector<quint8> receive() {
        QElapsedTimer elapsed;
        elapsed.start();
        while (!device.hasPendingDatagrams() && elapsed.elapsed() < kAnswerWaitMs)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        if (!device.hasPendingDatagrams())
            return {};
        std::vector<quint8> bytes(size_t(device.pendingDatagramSize()));
        device.readDatagram(reinterpret_cast<char*>(bytes.data()), qint64(bytes.size()));
        return bytes;
    }

    std::vector<quint8> exchange(const DatagramFields& fields) {
        send(makeDatagram(fields));
        return receive();
    }

    // Sends something that gets no answer, then a keep-alive of an unknown
    // device: once that is answered, the first datagram has been handled.
    bool unanswered(const std::vector<quint8>& bytes) {
        send(bytes);
        DatagramFields probe;
        probe.type = kTypeKeepAlive;
        probe.deviceId = kUnknownDeviceId;
        probe.sequence = 0xABCD;
        send(makeDatagram(probe));
        const auto answer = receive();
        return answer.size() == 18 && readU16(answer, kOffSequence) == 0xABCD;
    }

    ClientWorld world;
    ServerSettings& serverSettings = world.settings;
    ReportSettings reportSettings;
    ClientRegistry& registry = world.registry;
    RecordingEventRaiser& events = world.events;
    ContactRecorder& contacts = world.contacts;
    FakeReporter reporter;
    RecordingCallbackStarter callbacks;
    RecordingUserInterface ui;
    DeviceReportIntake intake{serverSettings, reportSettings, contacts, events, reporter};
    // The supervision's checks are driven by hand here.
    DatagramServer server{serverSettings, registry, intake, callbacks, ui, kNoAutomaticCheckMs};
    QUdpSocket device;
    PrimaryClient* client = nullptr;
    DependentAccount* dependent = nullptr;
};

} // namespace

TEST_F(DatagramServerTest, RegisteredEventIsAcknowledgedFirstThenRecordedAndRaised) {
    bool answeredBeforeRaise = false;
    events.onRaise = [&] { answeredBeforeRaise = device.hasPendingDatagrams(); };

    DatagramFields fields;
    fields.deviceId = kDeviceId;
    fields.sequence = 0x0203;
    fields.channel = 0x21; // the device's CRC covers 2; the channel recorded is 1
    fields.answerKind = 9;
    fields.report = {kDependentAccount, 1130, 3, 12, 90};
    auto sent = makeDatagram(fields);
    sent[kOffChannel] = 0x21;
    send(sent);
    const auto answer = receive();

    std::vector<quint8> expected{0x21, 1, 4, 0x20, 0xEE, 0x00, 0x2B, 0x1A, 0x03, 0x02, 1, 1, 1, 9, 0, 0};
    const quint16 crc = Crc16::arc(reinterpret_cast<const char*>(expected.data()), 16);
    expected.push_back(quint8(crc & 0xFF));
    expected.push_back(quint8(crc >> 8));
    EXPECT_EQ(answer, expected);

    ASSERT_EQ(events.clientEvents.size(), 1);
    EXPECT_TRUE(answeredBeforeRaise) << "the acknowledgement goes out before the event is raised";
    EXPECT_EQ(events.clientEvents[0].client, dependent);
    EXPECT_EQ(events.clientEvents[0].code, 1130);
    EXPECT_EQ(events.clientEvents[0].partition, 3);
    EXPECT_EQ(events.clientEvents[0].zone, 12);
    EXPECT_EQ(events.clientEvents[0].protocol, 1);
    EXPECT_EQ(client->datagramSequence, 0x0203);
    EXPECT_EQ(client->address, QStringLiteral("127.0.0.1"));
    EXPECT_EQ(client->port, device.localPort());
    EXPECT_EQ(client->channel, Channel::Ethernet);
    EXPECT_EQ(client->ethPeriod, 90);
    EXPECT_EQ(client->linkState, LinkState::Ok);

    // An account that is neither the client's nor a dependent's: raised for the client itself.
    fields.channel = kChannelGprs;
    fields.report.account = 0x7777;
    fields.flags = kFlagPadded;
    auto padded = exchange(fields);
    ASSERT_EQ(padded.size(), 34u) << "the echoed flag bit 0 pads the empty payload to 16 bytes";
    EXPECT_EQ(padded[kOffFlags], 0x21);
    EXPECT_EQ(CheckDatagram(std::span<quint8>(padded.data(), padded.size()), 34, Padding::Sent), kCheckValid);
    ASSERT_EQ(events.clientEvents.size(), 2);
    EXPECT_EQ(events.clientEvents[1].client, client);
    EXPECT_EQ(client->gprsAddress, QStringLiteral("127.0.0.1"));

    // An unknown type from a registered client is refused and raises nothing.
    fields.type = 0x33;
    fields.flags = 0;
    const auto refused = exchange(fields);
    ASSERT_EQ(refused.size(), 18u);
    EXPECT_EQ(refused[kOffType], kTypeRefused);
    EXPECT_EQ(refused[kOffCode], kCodeUnknownType);
    EXPECT_EQ(events.clientEvents.size(), 2);

    // Several datagrams pending at once are all answered.
    fields.type = kTypeKeepAlive;
    for (quint16 seq = 1; seq <= 3; ++seq) {
        fields.sequence = seq;
        send(makeDatagram(fields));
    }
    for (quint16 seq = 1; seq <= 3; ++seq)
        EXPECT_EQ(readU16(receive(), kOffSequence), seq);
}

TEST_F(DatagramServerTest, BurstsLargerThanARoundAreAllAnsweredRoundAfterRound) {
    // Bursts beyond the round limit, interleaved with single reports, round after
    // round: the socket must stay watched, and every report gets its answer.
    constexpr int kRounds = 3000;
    constexpr int kBurst = DatagramServer::kMaxDatagramsPerRound + DatagramSocket::kBatchSize + 3;
    DatagramFields keepAlive;
    keepAlive.type = kTypeKeepAlive;
    keepAlive.deviceId = kDeviceId;
    DatagramFields unregistered = keepAlive;
    unregistered.deviceId = kUnknownDeviceId;
    quint16 sequence = 0;
    for (int round = 0; round < kRounds; ++round) {
        const int count = round % 2 == 0 ? kBurst : 1;
        std::vector<quint16> sent;
        for (int i = 0; i < count; ++i) {
            DatagramFields& fields = i % 3 == 2 ? unregistered : keepAlive;
            fields.sequence = ++sequence;
            sent.push_back(sequence);
            send(makeDatagram(fields));
        }
        std::vector<quint16> answered;
        for (int i = 0; i < count; ++i) {
            const auto answer = receive();
            if (answer.size() != 18u)
                break;
            answered.push_back(readU16(answer, kOffSequence));
        }
        ASSERT_EQ(answered, sent) << "round " << round;
    }
    EXPECT_EQ(server.receptionRecoveries(), 0) << "the path never needed its supervision";
}

TEST_F(DatagramServerTest, SupervisionRecoversASocketWhoseNotifierWasDisabledBehindItsBack) {
    DatagramFields fields;
    fields.type = kTypeKeepAlive;
    fields.deviceId = kDeviceId;
    const auto settle = [] {
        QElapsedTimer elapsed;
        elapsed.start();
        while (elapsed.elapsed() < 100)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    };

    // A datagram seen queued at one check and read before the next is no wedge.
    server.checkReception();
    fields.sequence = 1;
    send(makeDatagram(fields));
    server.checkReception();
    EXPECT_EQ(readU16(receive(), kOffSequence), 1);
    server.checkReception();
    EXPECT_EQ(server.receptionRecoveries(), 0);

    // Wedged: queued at two checks in a row, nothing read in between.
    server.socketForTest().readNotifier()->setEnabled(false);
    fields.sequence = 2;
    send(makeDatagram(fields));
    settle();
    EXPECT_FALSE(device.hasPendingDatagrams()) << "nobody reads the socket";
    server.checkReception();
    EXPECT_EQ(server.receptionRecoveries(), 0) << "one sighting is not yet a wedge";
    server.checkReception();
    EXPECT_EQ(server.receptionRecoveries(), 1);
    EXPECT_EQ(readU16(receive(), kOffSequence), 2) << "read at once by the recovery";
    EXPECT_TRUE(ui.statusFields.value(StatusField::Notice).startsWith(QStringLiteral("Recepção UDP retomada")));

    // The new notifier carries the traffic that follows.
    fields.sequence = 3;
    EXPECT_EQ(readU16(exchange(fields), kOffSequence), 3);
    server.checkReception();
    server.checkReception();
    EXPECT_EQ(server.receptionRecoveries(), 1) << "an idle socket is left alone";
}

TEST_F(DatagramServerTest, UnknownTypeWithAShortPayloadIsRefusedAndItsSequenceKept) {
    DatagramFields fields;
    fields.deviceId = kDeviceId;
    fields.type = 0x33;
    fields.sequence = 0x0909;
    auto bytes = makeDatagram(fields);
    writeU16(bytes, kOffPayloadLength, 4);
    bytes.resize(size_t(finishDatagram(bytes, 4, 4)));
    send(bytes);
    const auto refused = receive();
    ASSERT_EQ(refused.size(), 18u);
    EXPECT_EQ(refused[kOffType], kTypeRefused);
    EXPECT_EQ(refused[kOffCode], kCodeUnknownType);
    EXPECT_EQ(readU16(refused, kOffSequence), 0x0909);
    EXPECT_EQ(client->datagramSequence, 0x0909);
    EXPECT_EQ(client->linkState, LinkState::NotHeard) << "no payload to record a contact from";
}

TEST_F(DatagramServerTest, BlockedClientIsAcknowledgedAndRecordedAndLeftToTheRaiserToRefuse) {
    client->status = ClientStatus::Blocked;
    dependent->status = ClientStatus::Blocked;
    reporter.immediateResult = ReportResult::Failed;
    DatagramFields fields;
    fields.deviceId = kDeviceId;
    fields.report.account = kAccount;
    const auto answer = exchange(fields);
    ASSERT_EQ(answer.size(), 18u);
    EXPECT_EQ(answer[kOffType], kTypeAcknowledged);
    // The raiser refuses a blocked client's event; it is handed on only for that.
    ASSERT_EQ(events.clientEvents.size(), 1);
    EXPECT_EQ(events.clientEvents[0].client, client);
    EXPECT_EQ(client->linkState, LinkState::Ok) << "still recorded as heard";
    EXPECT_EQ(client->lastContact, QStringLiteral("11/06/2024 10:00:00"));
}

TEST_F(DatagramServerTest, UnregisteredDeviceFollowsTransparentAndLogAll) {
    DatagramFields fields;
    fields.deviceId = kUnknownDeviceId;
    fields.report = {0x4321, 1401, 1, 5, 60};
    const QString name = QStringLiteral("127.0.0.1:%1").arg(device.localPort());

    // Both off: acknowledged, no other trace.
    EXPECT_EQ(exchange(fields).size(), 18u);
    EXPECT_TRUE(reporter.requests.isEmpty());
    EXPECT_TRUE(events.lines.isEmpty());
    EXPECT_TRUE(events.clientEvents.isEmpty());

    // LogAll alone: listed as not sent under "address:port".
    serverSettings.LogAll = true;
    EXPECT_EQ(exchange(fields).size(), 18u);
    ASSERT_EQ(events.lines.size(), 1);
    EXPECT_EQ(events.lines[0].result, ReportResult::NotSent);
    EXPECT_EQ(events.lines[0].name, name);
    EXPECT_EQ(events.lines[0].account, 0x4321);
    EXPECT_EQ(events.lines[0].code, 1401);
    EXPECT_EQ(events.lines[0].partition, 1);
    EXPECT_EQ(events.lines[0].zone, 5);
    EXPECT_EQ(events.lines[0].protocol, 1);
    EXPECT_FALSE(events.lines[0].panel.has_value());

    // Transparente and LogAll: forwarded, listed with the station's result once it is known.
    reportSettings.transparent = true;
    const auto answer = exchange(fields);
    EXPECT_EQ(answer.size(), 18u) << "acknowledged before the station answers";
    ASSERT_EQ(reporter.requests.size(), 1);
    EXPECT_EQ(reporter.requests[0].account, 0x4321);
    EXPECT_EQ(reporter.requests[0].reportAccount, 0xBEEF);
    EXPECT_EQ(reporter.requests[0].code, 1401);
    EXPECT_EQ(reporter.requests[0].partition, 1);
    EXPECT_EQ(reporter.requests[0].zone, 5);
    EXPECT_EQ(events.lines.size(), 1);
    reporter.pending.takeFirst()(ReportResult::Failed);
    ASSERT_EQ(events.lines.size(), 2);
    EXPECT_EQ(events.lines[1].result, ReportResult::Failed);

    // Transparente alone: forwarded, not listed.
    serverSettings.LogAll = false;
    EXPECT_EQ(exchange(fields).size(), 18u);
    ASSERT_EQ(reporter.requests.size(), 2);
    reporter.pending.takeFirst()(ReportResult::Sent);
    EXPECT_EQ(events.lines.size(), 2);
    EXPECT_TRUE(events.clientEvents.isEmpty());
}

TEST_F(DatagramServerTest, KeepAlivesForwardHeartbeatsWhenAsked) {
    DatagramFields fields;
    fields.type = kTypeKeepAlive;
    fields.deviceId = kDeviceId;
    fields.report = {kAccount, 0, 0, 0, kNoPeriodAnnounced};
    client->ethPeriod = 30;

    EXPECT_EQ(exchange(fields).size(), 18u);
    EXPECT_TRUE(reporter.requests.isEmpty()) << "\"Reportar Heartbeat\" off";
    EXPECT_EQ(client->ethCountdown, 70) << "no period announced: restarted from the stored one";

    reportSettings.reportHeartbeat = true;
    EXPECT_EQ(exchange(fields).size(), 18u);
    ASSERT_EQ(reporter.requests.size(), 1);
    EXPECT_EQ(reporter.requests[0].account, 0);
    EXPECT_EQ(reporter.requests[0].reportAccount, 0x00EE) << "the low half of the device identifier";
    EXPECT_EQ(reporter.requests[0].code, 0);
    EXPECT_TRUE(events.clientEvents.isEmpty());

    // An unregistered device's keep-alive is forwarded only with "Transparente".
    fields.deviceId = 0x5555AAAA;
    EXPECT_EQ(exchange(fields).size(), 18u);
    EXPECT_EQ(reporter.requests.size(), 1);
    reportSettings.transparent = true;
    EXPECT_EQ(exchange(fields).size(), 18u);
    ASSERT_EQ(reporter.requests.size(), 2);
    EXPECT_EQ(reporter.requests[1].reportAccount, 0xAAAA);
}

TEST_F(DatagramServerTest, CallbackRequestsOfUnregisteredSenders) {
    DatagramFields fields;
    fields.deviceId = kUnknownDeviceId;
    fields.kind = kKindRequest;
    fields.type = kTypeAcknowledged;
    fields.code = kCodeCallback;
    fields.answerKind = kKindAnswer;
    fields.sequence = 77;
    fields.payload = callbackPayload(kAccount, 5060);

    bool answeredBeforeStart = true;
    callbacks.onStart = [&] { answeredBeforeStart = device.hasPendingDatagrams(); };
    const auto accepted = exchange(fields);
    EXPECT_FALSE(answeredBeforeStart) << "flagged and started first, answered after";
    ASSERT_EQ(accepted.size(), 18u);
    EXPECT_EQ(accepted[kOffType], kTypeAcknowledged);
    EXPECT_EQ(accepted[kOffCode], kCodeAccepted);
    EXPECT_EQ(accepted[kOffFlags], kFlagsAnswer);
    EXPECT_EQ(accepted[kOffAnswerKind], kKindAnswer);
    EXPECT_EQ(readU16(accepted, kOffSequence), 77);
    EXPECT_EQ(readU32(accepted, kOffDeviceId), kUnknownDeviceId);
    ASSERT_EQ(callbacks.calls.size(), 1);
    EXPECT_EQ(callbacks.calls[0].client, client);
    EXPECT_EQ(callbacks.calls[0].address, QStringLiteral("127.0.0.1"));
    EXPECT_EQ(callbacks.calls[0].port, 5060);
    EXPECT_TRUE(callbacks.calls[0].remoteCallback);

    fields.payload = callbackPayload(0x9999, 5060);
    const auto refused = exchange(fields);
    ASSERT_EQ(refused.size(), 18u);
    EXPECT_EQ(refused[kOffType], kTypeRefused);
    EXPECT_EQ(refused[kOffCode], kCodeIncorrectParameter);
    EXPECT_EQ(callbacks.calls.size(), 1);

    fields.code = 3;
    fields.payload = callbackPayload(kAccount, 5060);
    EXPECT_TRUE(unanswered(makeDatagram(fields))) << "only code 2 is answered";
    fields.code = kCodeCallback;
    fields.payload = {0xEE};
    EXPECT_TRUE(unanswered(makeDatagram(fields))) << "a request too short to name an account";
    EXPECT_EQ(callbacks.calls.size(), 1);
}

TEST_F(DatagramServerTest, InvalidDatagramsAreDroppedWithoutAnswer) {
    DatagramFields fields;
    fields.deviceId = kDeviceId;

    auto badCrc = makeDatagram(fields);
    badCrc[20] ^= 0xFF;
    EXPECT_TRUE(unanswered(badCrc));
    fields.version = 2;
    EXPECT_TRUE(unanswered(makeDatagram(fields)));
    fields.version = 1;
    auto seventeen = makeDatagram(fields);
    seventeen.resize(17);
    EXPECT_TRUE(unanswered(seventeen));
    auto lying = makeDatagram(fields);
    writeU16(lying, kOffPayloadLength, 200);
    EXPECT_TRUE(unanswered(lying));
    auto noMarker = makeDatagram(fields);
    noMarker[kOffMarker] = 0x22;
    EXPECT_TRUE(unanswered(noMarker));
    auto shortReport = makeDatagram(fields);
    writeU16(shortReport, kOffPayloadLength, 4);
    finishDatagram(shortReport, 4, 4);
    shortReport.resize(22);
    EXPECT_TRUE(unanswered(shortReport)) << "a report without its ten payload bytes";
    EXPECT_TRUE(unanswered({}));
    EXPECT_TRUE(events.clientEvents.isEmpty());
    EXPECT_EQ(client->linkState, LinkState::NotHeard);
}

TEST_F(DatagramServerTest, AnswersOfRegisteredClientsGoToTheAnswerBuffer) {
    QSignalSpy answered(&server, &DatagramServer::answerReceived);
    DatagramFields fields;
    fields.deviceId = kDeviceId;
    fields.kind = kKindAnswer;
    fields.type = kTypeAcknowledged;
    fields.code = 5;
    fields.sequence = 41;
    fields.payload = {1, 6, 1, 2};
    const auto bytes = makeDatagram(fields);
    EXPECT_TRUE(unanswered(bytes)) << "answers are not acknowledged";
    EXPECT_EQ(answered.count(), 1);
    EXPECT_EQ(client->datagramSequence, 41);
    ASSERT_EQ(server.answerLength(), int(bytes.size()));
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), server.answerBuffer().begin()));

    // A request of a registered client only moves its sequence on.
    fields.kind = kKindRequest;
    fields.sequence = 42;
    EXPECT_TRUE(unanswered(makeDatagram(fields)));
    EXPECT_EQ(client->datagramSequence, 42);
    EXPECT_EQ(answered.count(), 1);
}

TEST_F(DatagramServerTest, StartFailureShowsErrorAndGoesOffline) {
    EXPECT_EQ(ui.statusFields.value(StatusField::Internet), QStringLiteral("Online"));
    RecordingEventRequests requests;
    LinkStatusWatch watch(registry, requests, ui, 60000);

    ServerSettings taken;
    taken.UDP = server.boundPort();
    RecordingUserInterface otherUi;
    DatagramServer second(taken, registry, intake, callbacks, otherUi);
    second.setLinkStatusWatch(&watch);
    EXPECT_FALSE(second.StartServer());
    EXPECT_FALSE(second.isRunning());
    ASSERT_EQ(otherUi.messages.size(), 2);
    EXPECT_FALSE(otherUi.messages[0].text.isEmpty()) << "the socket's error text";
    EXPECT_EQ(otherUi.messages[1].text, StringTable::text(DatagramServer::kMsgServerDisconnected));
    EXPECT_EQ(otherUi.statusFields.value(StatusField::Internet), QStringLiteral("Offline"));
    EXPECT_FALSE(watch.isActive()) << "no link watch without the socket";

    ServerSettings tooLarge;
    tooLarge.UDP = 0x10000 + server.boundPort();
    RecordingUserInterface thirdUi;
    DatagramServer third(tooLarge, registry, intake, callbacks, thirdUi);
    EXPECT_FALSE(third.StartServer()) << "never bound with the port number cut to 16 bits";
    ASSERT_EQ(thirdUi.messages.size(), 1);
    EXPECT_EQ(thirdUi.messages[0].text, StringTable::text(DatagramServer::kMsgServerDisconnected));

    server.stopServer();
    EXPECT_FALSE(server.isRunning());
    EXPECT_TRUE(second.StartServer()) << "the port is free again";
    EXPECT_TRUE(watch.isActive());
    EXPECT_TRUE(second.StartServer()) << "a restart closes the old socket first";
    EXPECT_TRUE(watch.isActive());
}
