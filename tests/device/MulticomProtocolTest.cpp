#include "device/MulticomProtocol.h"

#include "device/DeviceReportIntake.h"
#include "device/MulticomFrames.h"
#include "device/MulticomKeyTable.h"
#include "reporting/ReportSettings.h"
#include "tests/support/ClientWorld.h"
#include "tests/support/FakeReporter.h"
#include "tests/support/TestNames.h"

#include <gtest/gtest.h>

using namespace Multicom;

namespace {

constexpr quint16 kClientAccount = 0x0B20;
constexpr quint16 kDependentAccount = 0x0B21;
const QByteArray kMac = QByteArrayLiteral("A1B2C3");

TEST(MulticomFramesTest, HexDecodingAsTheDevicesDoIt) {
    const struct {
        const char* pair;
        int value;
    } cases[] = {{"00", 0x00}, {"9F", 0x9F}, {"A0", 0xA0}, {"FF", 0xFF}, {"G0", 0x00}, // 'G' is digit 16: 0x100
                 {"0a", 0x2A},  // lower case is not decoded: 'a' is digit 42
                 {"1:", 0x13}}; // ":" comes after "9": a letter digit, ":" - "A" + 10 = 3
    for (const auto& c : cases)
        EXPECT_EQ(hexPair(c.pair), c.value) << c.pair;
}

TEST(MulticomFramesTest, ScramblingTakesTheKeyMostSignificantByteFirstAndUndoesItself) {
    const struct {
        const char* plain;
        quint32 key;
        const char* scrambled;
    } cases[] = {
        {"0000000000", 0x11223344, "1122334411"},
        {"FFFFFFFF", 0x0F0F0F0F, "F0F0F0F0"},
        {"A1B2C3", 0x00000000, "A1B2C3"},
    };
    for (const auto& c : cases) {
        QByteArray text(c.plain);
        scramble(text.data(), int(text.size() / 2), c.key);
        EXPECT_EQ(text, QByteArray(c.scrambled)) << c.plain;
        scramble(text.data(), int(text.size() / 2), c.key);
        EXPECT_EQ(text, QByteArray(c.plain)) << "its own inverse";
    }
}

TEST(MulticomFramesTest, SumFieldIsReadInEitherCaseAndGarbageIsRefused) {
    EXPECT_EQ(readSumField(std::span<const char>("01aF", 4)), quint16(0x01AF));
    EXPECT_EQ(readSumField(std::span<const char>("01AF", 4)), quint16(0x01AF));
    EXPECT_EQ(readSumField(std::span<const char>("01G0", 4)), quint16(0x01)) << "reading stops at G";
    EXPECT_FALSE(readSumField(std::span<const char>("ZZZZ", 4)).has_value()) << "garbage";
    const QByteArray event = eventFrame({kMac, 1, 1130, 5, 1, 'E'}, 0x12345678);
    EXPECT_EQ(event.size(), kEventFrameLength);
    EXPECT_TRUE(hasValidSum(std::span<const char>(event.constData(), size_t(event.size()))));
    EXPECT_EQ(lineSwitchFrame(10), QByteArray("\x02P0AF5\x03")) << "10 minutes and their complement";
}

// The protocol over a client world, without a socket: frames in, replies out.
class MulticomProtocolTest : public ::testing::Test {
protected:
    void SetUp() override {
        session.peerAddressHex = "0A010203";
        session.peerAddressText = QStringLiteral("10.1.2.3");
        session.peerPort = 40000;
        reporter.immediateResult = ReportResult::Sent;
    }

    MulticomClient* addClient(bool withDependent) {
        MulticomClient* client = build.multicom(kClientAccount, kMac.constData());
        if (withDependent)
            dependent = build.dependent(client, kDependentAccount, ClientStatus::Online);
        return client;
    }

    QByteArray send(const QByteArray& frame) {
        std::array<char, MulticomSession::kBufferSize> buffer{};
        std::copy(frame.begin(), frame.end(), buffer.begin());
        return protocol.HandleSessionFrame(session, buffer, int(frame.size()));
    }

    // Registers and returns the session key the challenge gave.
    quint32 registerSession() {
        const QByteArray challenge = send(registerFrame());
        EXPECT_EQ(challenge.size(), kChallengeLength);
        EXPECT_EQ(challenge.mid(7, 8), session.peerAddressHex);
        return sessionKey(hexPair(challenge.constData() + 3), hexPair(challenge.constData() + 5));
    }

    QByteArray event(quint16 account, quint16 code = 1130, char channel = 'E') {
        return eventFrame({kMac, account, code, 12, 3, channel}, session.key);
    }

    ClientWorld world;
    ClientBuilder build{world};
    ReportSettings reportSettings;
    FakeReporter reporter;
    DeviceReportIntake intake{world.settings, reportSettings, world.contacts, world.events, reporter};
    MulticomProtocol protocol{world.registry, world.transitions, intake, 1234};
    MulticomSession session;
    DependentAccount* dependent = nullptr;
};

TEST_F(MulticomProtocolTest, HandshakeGivesTheKeyOfTheTwoIndexesAndRmRestartsAnywhere) {
    const quint32 key = registerSession();
    EXPECT_EQ(session.key, key);
    EXPECT_EQ(session.state, 1);
    session.state = 3; // in the middle of a command exchange
    const quint32 again = registerSession();
    EXPECT_EQ(session.state, 1);
    EXPECT_EQ(session.key, again);
    EXPECT_NE(again, key) << "a new challenge, a new key";
}

TEST_F(MulticomProtocolTest, FramesTheStateDoesNotExpectGetTheNegativeFrame) {
    EXPECT_EQ(send(deviceAcknowledgeFrame()), negativeFrame()) << "state 0 knows only RM";
    registerSession();
    EXPECT_TRUE(send(deviceAcknowledgeFrame()).isEmpty()) << "3-byte K in state 1: no reply";
    EXPECT_EQ(send(fetchFrame()), negativeFrame()) << "3-byte W in state 1";
    EXPECT_EQ(send(QByteArray("\x02XI\x04")), negativeFrame()) << "ends without ETX";
    QByteArray notX = event(kClientAccount);
    notX[1] = 'Y';
    const quint16 total = sum(std::span<const char>(notX.constData() + 1, size_t(notX.size() - 6)));
    char field[4];
    writeHexWord(total, field);
    std::copy(field, field + 4, notX.data() + notX.size() - 5);
    EXPECT_EQ(send(notX), negativeFrame()) << "the sum is right, byte 1 is not X";
    QByteArray badSum = event(kClientAccount);
    badSum[badSum.size() - 2] = 'Z';
    EXPECT_EQ(send(badSum), negativeFrame());
    EXPECT_EQ(session.state, 1);
    EXPECT_TRUE(world.events.clientEvents.isEmpty());
}

struct EventCase {
    const char* name;
    bool registered;
    bool withDependent;
    quint16 account;
    quint16 code;
    char channel;
    int raisedFor; // 0 nothing, 1 the client, 2 the dependent
    int channelRecorded;
};

const EventCase kEventCases[] = {
    {"client without dependents raises for itself whatever the digits", true, false, 0x7777, 1130, 'E', 1, 1},
    {"with dependents a foreign account raises nothing but is recorded", true, true, 0x7777, 1130, 'E', 0, 1},
    {"with dependents the dependent's account", true, true, kDependentAccount, 1130, 'F', 2, 2},
    {"3130 is a restore", true, false, kClientAccount, 3130, 'E', 1, 1},
    {"F records channel 2", true, false, kClientAccount, 1401, 'F', 1, 2},
    {"another letter records channel 0", true, false, kClientAccount, 1401, 'A', 1, 0},
};

class MulticomEventTest : public MulticomProtocolTest, public ::testing::WithParamInterface<EventCase> {};

TEST_P(MulticomEventTest, EventsAreAcknowledgedRaisedAndRecorded) {
    const EventCase& c = GetParam();
    MulticomClient* client = addClient(c.withDependent);
    registerSession();
    EXPECT_EQ(send(event(c.account, c.code, c.channel)), acknowledgeFrame());
    ClientRecord* expected = c.raisedFor == 1   ? static_cast<ClientRecord*>(client)
                             : c.raisedFor == 2 ? dependent
                                                : nullptr;
    if (expected) {
        ASSERT_EQ(world.events.clientEvents.size(), 1);
        EXPECT_EQ(world.events.clientEvents[0].client, expected);
        EXPECT_EQ(world.events.clientEvents[0].code, c.code);
        EXPECT_EQ(world.events.clientEvents[0].zone, 12);
        EXPECT_EQ(world.events.clientEvents[0].partition, 3);
        EXPECT_EQ(world.events.clientEvents[0].protocol, EventProtocol::Multicom);
    } else {
        EXPECT_TRUE(world.events.clientEvents.isEmpty());
    }
    EXPECT_EQ(client->linkState, LinkState::Ok) << "recorded by ClientContact";
    EXPECT_EQ(client->channel, c.channelRecorded);
    EXPECT_EQ(client->ethAddress, QStringLiteral("10.1.2.3"));
    EXPECT_EQ(client->ethPort, 40000);
    EXPECT_EQ(session.clientSerial, client->serial);
}

INSTANTIATE_TEST_SUITE_P(Cases, MulticomEventTest, ::testing::ValuesIn(kEventCases),
                         TestNames::fromCaseName<EventCase>);

TEST_F(MulticomProtocolTest, UnregisteredDeviceWithLogAllIsListedAsAddressAndPort) {
    world.settings.LogAll = true;
    registerSession();
    EXPECT_EQ(send(event(0x4444)), acknowledgeFrame());
    ASSERT_EQ(world.events.lines.size(), 1);
    EXPECT_EQ(world.events.lines[0].name, QStringLiteral("10.1.2.3:40000"));
    EXPECT_EQ(world.events.lines[0].result, ReportResult::NotSent);
    EXPECT_EQ(world.events.lines[0].protocol, EventProtocol::Multicom);
    EXPECT_EQ(session.clientSerial, 0u);
}

TEST_F(MulticomProtocolTest, AccountFoundWithoutMacSetsTheUnsetKeyAndHeartbeatFindsByAddress) {
    MulticomClient* client = addClient(false);
    world.registry.setMacKey(client, "000000");
    registerSession();
    EXPECT_EQ(send(event(kClientAccount)), acknowledgeFrame());
    EXPECT_EQ(client->macKeyText(), kMac) << "the frame's key taken";
    EXPECT_EQ(world.registry.FindByMacKey(kMac.constData()), client) << "filed again under it";

    // A heartbeat of another MAC from the client's address: found by address, its key set.
    client->ethAddress = QStringLiteral("10.1.2.3");
    world.registry.setEthAddress(client, QStringLiteral("10.1.2.3"));
    EXPECT_EQ(send(heartbeatFrame("D4E5F6", 5, session.key)), acknowledgeFrame());
    EXPECT_EQ(client->macKeyText(), QByteArray("D4E5F6"));
}

TEST_F(MulticomProtocolTest, CallbackExchangeThenBackToAcknowledgements) {
    MulticomClient* client = addClient(false);
    registerSession();
    client->pendingCommand = 1;
    client->callbackIp = {192, 0, 2, 7};
    client->callbackPort = 0x1F90;

    EXPECT_EQ(send(heartbeatFrame(kMac, 5, session.key)), commandWaitingFrame());
    EXPECT_EQ(client->pendingCommand, 0) << "announced once";
    const QByteArray command = send(fetchFrame());
    ASSERT_EQ(command.size(), kCallbackCommandLength);
    EXPECT_EQ(command.mid(2, 4), QByteArray(session.challenge.data(), 4));
    QByteArray fields = command.mid(6, 12);
    scramble(fields.data(), 6, session.key);
    EXPECT_EQ(fields, QByteArray("C00002071F90"));
    EXPECT_TRUE(hasValidSum(std::span<const char>(command.constData(), size_t(command.size()))));
    EXPECT_EQ(send(confirmFrame()), endFrame());
    EXPECT_EQ(send(confirmFrame()), endFrame()) << "C in state 6 again";
    EXPECT_TRUE(send(deviceAcknowledgeFrame()).isEmpty());
    EXPECT_EQ(session.state, 1);
    EXPECT_EQ(send(event(kClientAccount)), acknowledgeFrame()) << "the 3-byte acknowledgement again";

    client->pendingCommand = 2;
    client->switchTarget = 10;
    EXPECT_EQ(send(event(kClientAccount)), commandWaitingFrame());
    EXPECT_EQ(send(fetchFrame()), lineSwitchFrame(10));
    EXPECT_EQ(send(confirmFrame()), endFrame());
}

TEST_F(MulticomProtocolTest, AnyFrameOfOneTo63BytesIsHandledInsideTheBuffer) {
    addClient(true);
    std::minstd_rand random(7);
    for (int round = 0; round < 20000; ++round) {
        const int count = 1 + int(random() % 63);
        std::array<char, MulticomSession::kBufferSize> buffer{};
        for (int i = 0; i < count; ++i)
            buffer[size_t(i)] = char(random());
        if (round % 3 == 0) {
            buffer[0] = kStx;
            buffer[size_t(count - 1)] = kEtx;
        }
        if (round % 7 == 0 && count > 2) {
            buffer[1] = 'X';
            buffer[2] = round % 2 ? 'I' : 'H';
        }
        protocol.HandleSessionFrame(session, buffer, count);
    }
    SUCCEED() << "no crash, no read outside the buffer (checked under the sanitizers)";
}

} // namespace
