#include "device/MulticomListener.h"
#include "device/MulticomListeningSocket.h"
#include "device/SessionProtocol.h"
#include "tests/support/RecordingUserInterface.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

using namespace std::chrono_literals;

// Sessions expected to time out use a short time-out. The one kept open by
// its device's writes uses a long one, well beyond any stall of a busy main
// thread between two writes.
constexpr auto kShortTimeout = 200ms;
constexpr auto kLongTimeout = 1500ms;
constexpr auto kTalkInterval = 150ms;
constexpr int kWaitMs = 3000;

// Records every frame handed on, and answers each with its first byte.
class RecordingProtocol : public SessionProtocol {
public:
    QByteArray HandleSessionFrame(MulticomSession&, std::array<char, MulticomSession::kBufferSize>& buffer,
                                  int count) override {
        frames.push_back(QByteArray(buffer.data(), count));
        return QByteArray(buffer.data(), 1);
    }
    std::vector<QByteArray> frames;
};

struct MulticomSessionFixture : ::testing::Test {
    explicit MulticomSessionFixture(std::chrono::milliseconds timeout = kShortTimeout)
        : listener(ui, protocol, timeout) {}

    void SetUp() override { ASSERT_TRUE(listener.OpenMulticomListener(0)); }

    // A device connected on loopback, once the listener has listed it.
    std::unique_ptr<QTcpSocket> connectDevice() {
        auto device = std::make_unique<QTcpSocket>();
        const std::size_t before = listener.sessionCount();
        device->connectToHost(QHostAddress::LocalHost, listener.listeningPort());
        EXPECT_TRUE(device->waitForConnected(kWaitMs));
        EXPECT_TRUE(QTest::qWaitFor([&] { return listener.sessionCount() == before + 1; }, kWaitMs));
        return device;
    }
    SessionSocket* newestSession() {
        SessionSocket* last = nullptr;
        listener.forEachSession([&](SessionSocket& s) { last = &s; });
        return last;
    }
    bool waitForFrames(std::size_t count) {
        return QTest::qWaitFor([&] { return protocol.frames.size() >= count; }, kWaitMs);
    }

    RecordingUserInterface ui;
    RecordingProtocol protocol;
    MulticomListener listener;
};

struct MulticomLongTimeoutFixture : MulticomSessionFixture {
    MulticomLongTimeoutFixture() : MulticomSessionFixture(kLongTimeout) {}
};

} // namespace

TEST_F(MulticomSessionFixture, SessionsKnowTheirPeerAndHandOnReadsBelow64Bytes) {
    auto device = connectDevice();
    SessionSocket* session = newestSession();
    ASSERT_NE(session, nullptr);
    EXPECT_EQ(session->peerAddressText(), QStringLiteral("127.0.0.1"));
    EXPECT_EQ(session->peerAddressHex(), QByteArray("7F000001"));
    EXPECT_EQ(session->peerPortNumber(), device->localPort());
    EXPECT_EQ(session->protocolState().clientSerial, 0u);
    EXPECT_EQ(session->protocolState().state, 0);

    device->write(QByteArray(63, 'a'));
    ASSERT_TRUE(waitForFrames(1));
    EXPECT_EQ(protocol.frames[0], QByteArray(63, 'a'));
    // The reply goes out through the session.
    ASSERT_TRUE(QTest::qWaitFor([&] { return device->bytesAvailable() > 0; }, kWaitMs));
    EXPECT_EQ(device->readAll(), QByteArray("a"));

    // A full 64 bytes is dropped; what came beyond it is read as the next frame.
    device->write(QByteArray(64, 'b'));
    device->flush();
    QTest::qWait(30);
    device->write(QByteArray(100, 'c'));
    ASSERT_TRUE(waitForFrames(2));
    QTest::qWait(30);
    ASSERT_EQ(protocol.frames.size(), 2u);
    EXPECT_EQ(protocol.frames[1], QByteArray(36, 'c'));
    EXPECT_EQ(listener.sessionCount(), 1u);
}

TEST_F(MulticomSessionFixture, SilenceClosesASession) {
    QSignalSpy timeouts(&listener, &MulticomListener::sessionTimeoutHandled);
    auto silent = connectDevice();
    const SessionId silentId = newestSession()->id();

    ASSERT_TRUE(QTest::qWaitFor([&] { return silent->state() == QAbstractSocket::UnconnectedState; }, kWaitMs));
    EXPECT_EQ(listener.findSession(silentId), nullptr);
    EXPECT_EQ(listener.sessionCount(), 0u);
    ASSERT_EQ(timeouts.size(), 1);
    EXPECT_EQ(timeouts[0][0].value<SessionId>(), silentId);
    EXPECT_TRUE(timeouts[0][1].toBool());

    // A late time-out message for the closed session changes nothing.
    listener.onSessionTimeout(silentId);
    EXPECT_FALSE(timeouts.last()[1].toBool());
    EXPECT_EQ(listener.sessionCount(), 0u);
}

TEST_F(MulticomLongTimeoutFixture, ActivityKeepsASessionOpenPastTheTimeOut) {
    QSignalSpy timeouts(&listener, &MulticomListener::sessionTimeoutHandled);
    QElapsedTimer clock;
    clock.start();
    auto talker = connectDevice();
    const SessionId talkerId = newestSession()->id();
    auto silent = connectDevice();
    const SessionId silentId = newestSession()->id();

    // The talker writes a frame every 150 ms until the silent device has timed
    // out and the talker's own watchdog has had its turn (a write interval
    // more than the time-out): it found the talker active and waited again.
    const auto silentOpen = [&] { return silent->state() != QAbstractSocket::UnconnectedState; };
    const qint64 talkFor = (kLongTimeout + kTalkInterval).count();
    const qint64 deadline = kLongTimeout.count() + kWaitMs;
    while ((silentOpen() || clock.elapsed() < talkFor) && clock.elapsed() < deadline) {
        talker->write("k");
        QTest::qWait(static_cast<int>(kTalkInterval.count()));
    }
    ASSERT_FALSE(silentOpen());
    EXPECT_EQ(listener.findSession(silentId), nullptr);
    EXPECT_NE(listener.findSession(talkerId), nullptr);
    ASSERT_EQ(timeouts.size(), 1);
    EXPECT_EQ(timeouts[0][0].value<SessionId>(), silentId);
    EXPECT_GE(protocol.frames.size(), 2u);
}

TEST_F(MulticomSessionFixture, PeerCloseEndsTheSessionWithoutATimeOut) {
    QSignalSpy timeouts(&listener, &MulticomListener::sessionTimeoutHandled);
    auto device = connectDevice();
    device->write(QByteArray(10, 'x')); // a frame cut short, then the peer goes away
    ASSERT_TRUE(waitForFrames(1));
    device->disconnectFromHost();
    ASSERT_TRUE(QTest::qWaitFor([&] { return listener.sessionCount() == 0; }, kWaitMs));
    QTest::qWait(static_cast<int>(2 * kShortTimeout.count()));
    EXPECT_EQ(timeouts.size(), 0);
}

TEST_F(MulticomSessionFixture, ClosingTheListenerClosesEverySession) {
    std::vector<std::unique_ptr<QTcpSocket>> devices;
    for (int i = 0; i < 3; ++i)
        devices.push_back(connectDevice());
    listener.CloseMulticomListener();
    EXPECT_FALSE(listener.isListening());
    EXPECT_EQ(listener.sessionCount(), 0u);
    for (auto& device : devices)
        EXPECT_TRUE(QTest::qWaitFor([&] { return device->state() == QAbstractSocket::UnconnectedState; }, kWaitMs));

    // A port already taken: the system's text, no listener, nothing else.
    QTcpServer other;
    ASSERT_TRUE(other.listen(QHostAddress::AnyIPv4, 0));
    EXPECT_FALSE(listener.OpenMulticomListener(other.serverPort()));
    EXPECT_FALSE(listener.isListening());
    ASSERT_EQ(ui.messages.size(), 1);
    EXPECT_FALSE(ui.messages[0].text.isEmpty());
    EXPECT_EQ(ui.messages[0].icon, UserInterface::Icon::Error);
}

TEST_F(MulticomSessionFixture, ManySessionsComeAndGoWithoutLeaks) {
    // Devices that connect and vanish, some mid-frame, some never sending.
    // They connect five at a time, the listener's backlog.
    for (int round = 0; round < 5; ++round) {
        std::vector<std::unique_ptr<QTcpSocket>> devices;
        while (devices.size() < 40) {
            for (int i = 0; i < MulticomListeningSocket::kBacklog; ++i) {
                devices.push_back(std::make_unique<QTcpSocket>());
                devices.back()->connectToHost(QHostAddress::LocalHost, listener.listeningPort());
            }
            ASSERT_TRUE(QTest::qWaitFor([&] { return listener.sessionCount() == devices.size(); }, kWaitMs));
        }
        for (std::size_t i = 0; i < devices.size(); ++i) {
            if (i % 2 == 0)
                devices[i]->write("\x02XI12");
            devices[i]->abort();
        }
        ASSERT_TRUE(QTest::qWaitFor([&] { return listener.sessionCount() == 0; }, kWaitMs));
    }
}

TEST_F(MulticomSessionFixture, AFloodOfFullReadsIsDroppedAndKeepsNothingAlive) {
    auto device = connectDevice();
    const QByteArray flood(64 * 2000, 'f');
    device->write(flood);
    // Full 64-byte reads are dropped and are no activity: the session still
    // times out, and at most the odd short read was handed on.
    ASSERT_TRUE(QTest::qWaitFor([&] { return listener.sessionCount() == 0; }, kWaitMs));
    EXPECT_LT(protocol.frames.size(), 20u);
    EXPECT_TRUE(QTest::qWaitFor([&] { return device->state() == QAbstractSocket::UnconnectedState; }, kWaitMs));
}
