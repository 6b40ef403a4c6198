#include "device/MulticomListener.h"
#include "device/SessionProtocol.h"
#include "tests/support/DescriptorExhaustion.h"
#include "tests/support/ManualClock.h"
#include "tests/support/RecordingUserInterface.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <gtest/gtest.h>

#include <cerrno>
#include <memory>
#include <optional>
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
// A frame as the devices send them, from STX to ETX.
const QByteArray kCompleteFrame = QByteArrayLiteral("\x02K\x03");

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

// A device connected on loopback (the listener may not have taken it yet).
std::unique_ptr<QTcpSocket> connectTo(quint16 port) {
    auto device = std::make_unique<QTcpSocket>();
    device->connectToHost(QHostAddress::LocalHost, port);
    EXPECT_TRUE(device->waitForConnected(kWaitMs));
    return device;
}

// Sends one frame and returns the reply (RecordingProtocol answers every
// frame with its first byte); empty when none came.
QByteArray exchange(QTcpSocket& device, const QByteArray& frame) {
    device.write(frame);
    if (!QTest::qWaitFor([&] { return device.bytesAvailable() > 0; }, kWaitMs))
        return {};
    return device.readAll();
}

bool closedByServer(QTcpSocket& device) {
    return QTest::qWaitFor([&] { return device.state() == QAbstractSocket::UnconnectedState; }, kWaitMs);
}

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

    // The talker writes a complete frame every 150 ms until the silent device has timed
    // out and the talker's own watchdog has had its turn (a write interval
    // more than the time-out): it found the talker active and waited again.
    const auto silentOpen = [&] { return silent->state() != QAbstractSocket::UnconnectedState; };
    const qint64 talkFor = (kLongTimeout + kTalkInterval).count();
    const qint64 deadline = kLongTimeout.count() + kWaitMs;
    while ((silentOpen() || clock.elapsed() < talkFor) && clock.elapsed() < deadline) {
        talker->write(kCompleteFrame);
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
            for (int i = 0; i < MulticomListener::kListenBacklog; ++i) {
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

TEST(MulticomSessionLimitTest, ConnectionsBeyondTheCapAreClosedAndTheOpenSessionsStillServed) {
    struct Case {
        const char* name;
        std::size_t cap;
        int extra;
    };
    const Case cases[] = {{"a cap of one", 1, 3}, {"a cap of four", 4, 6}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingUserInterface ui;
        RecordingProtocol protocol;
        MulticomListener listener(ui, protocol);
        QStringList notices;
        listener.setProblemHandler([&](const QString& text) { notices << text; });
        listener.setMaxSessions(c.cap);
        ASSERT_TRUE(listener.OpenMulticomListener(0));
        const quint16 port = listener.listeningPort();

        std::vector<std::unique_ptr<QTcpSocket>> admitted;
        for (std::size_t i = 0; i < c.cap; ++i) {
            admitted.push_back(connectTo(port));
            ASSERT_TRUE(QTest::qWaitFor([&] { return listener.sessionCount() == i + 1; }, kWaitMs));
        }
        std::vector<std::unique_ptr<QTcpSocket>> extras;
        for (int i = 0; i < c.extra; ++i)
            extras.push_back(connectTo(port));
        for (auto& extra : extras)
            EXPECT_TRUE(closedByServer(*extra));
        EXPECT_EQ(listener.sessionsRefused(), quint64(c.extra));
        EXPECT_EQ(listener.sessionCount(), c.cap);
        ASSERT_EQ(notices.size(), 1) << "said once, however many are refused";
        EXPECT_TRUE(notices[0].contains(QString::number(c.cap)));

        for (auto& device : admitted)
            EXPECT_EQ(exchange(*device, kCompleteFrame), QByteArray("\x02"));

        // A session that ends frees its place for the next device.
        admitted.front()->disconnectFromHost();
        ASSERT_TRUE(QTest::qWaitFor([&] { return listener.sessionCount() == c.cap - 1; }, kWaitMs));
        auto late = connectTo(port);
        ASSERT_TRUE(QTest::qWaitFor([&] { return listener.sessionCount() == c.cap; }, kWaitMs));
        EXPECT_EQ(exchange(*late, kCompleteFrame), QByteArray("\x02"));
        EXPECT_EQ(listener.sessionsRefused(), quint64(c.extra));
    }
}

TEST(MulticomSessionExpiryTest, OnlyCompleteFramesKeepASessionAlive) {
    // The device makes one read every 10 s of the listener's clock, going
    // round its list of reads, for a minute; the time-out is 30 s.
    struct Case {
        const char* name;
        std::vector<QByteArray> reads;
        std::optional<int> closedAtSecond;
    };
    const Case cases[] = {
        {"silent", {}, 30},
        {"a complete frame sent a byte at a time", {"\x02", "K", "\x03"}, 30},
        {"frames cut short", {"\x02XI12"}, 30},
        {"complete frames", {kCompleteFrame}, std::nullopt},
        {"a complete frame, then only stray bytes", {kCompleteFrame, "x", "y", "z", "w", "v"}, 40},
    };
    constexpr auto kStep = 10s;
    constexpr int kStepSeconds = 10;
    constexpr int kLastSecond = 60;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingUserInterface ui;
        RecordingProtocol protocol;
        ManualClock clock;
        MulticomListener listener(ui, protocol);
        listener.setClock(clock.source());
        ASSERT_TRUE(listener.OpenMulticomListener(0));
        auto device = connectTo(listener.listeningPort());
        ASSERT_TRUE(QTest::qWaitFor([&] { return listener.sessionCount() == 1; }, kWaitMs));

        std::optional<int> closedAt;
        for (int second = kStepSeconds; second <= kLastSecond && !closedAt; second += kStepSeconds) {
            clock.advance(kStep);
            if (!c.reads.empty()) {
                const std::size_t before = protocol.frames.size();
                device->write(c.reads[std::size_t(second / kStepSeconds - 1) % c.reads.size()]);
                ASSERT_TRUE(QTest::qWaitFor([&] { return protocol.frames.size() == before + 1; }, kWaitMs));
            }
            listener.expireSilentSessions();
            QCoreApplication::sendPostedEvents(&listener, QEvent::MetaCall); // the time-out message
            if (listener.sessionCount() == 0)
                closedAt = second;
        }
        EXPECT_EQ(closedAt, c.closedAtSecond);
        EXPECT_EQ(listener.sessionsExpired(), closedAt ? 1u : 0u);
        if (closedAt) {
            EXPECT_TRUE(closedByServer(*device));
        }
    }
}

TEST(MulticomSessionDescriptorsTest, OutOfDescriptorsTheListenerWaitsAndServesAgainOnceTheyAreFree) {
    RecordingUserInterface ui;
    RecordingProtocol protocol;
    MulticomListener listener(ui, protocol);
    QStringList notices;
    listener.setProblemHandler([&](const QString& text) { notices << text; });
    ASSERT_TRUE(listener.OpenMulticomListener(0));
    // Connected before the descriptors run out, taken only once they are back.
    auto waiting = connectTo(listener.listeningPort());
    // Read once while descriptors are there: a sanitizer build checks the type
    // behind every call the first time, and that check needs a descriptor.
    const quint64 before = listener.acceptBackOffs();
    {
        DescriptorExhaustion exhaustion;
        ASSERT_TRUE(exhaustion.exhausted());
        ASSERT_TRUE(QTest::qWaitFor([&] { return listener.acceptBackOffs() > before; }, kWaitMs));
        const quint64 first = listener.acceptBackOffs();
        QTest::qWait(1000);
        // A retry after 100, 200, 400 ms...: a handful in a second, where a
        // listener that kept trying would count thousands.
        EXPECT_LE(listener.acceptBackOffs() - first, 10u);
        EXPECT_EQ(listener.sessionCount(), 0u);
        ASSERT_EQ(notices.size(), 1);
        EXPECT_TRUE(notices[0].contains(qt_error_string(EMFILE))) << notices[0].toStdString();
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return listener.sessionCount() == 1; }, kWaitMs));
    EXPECT_EQ(exchange(*waiting, kCompleteFrame), QByteArray("\x02"));
    auto fresh = connectTo(listener.listeningPort());
    ASSERT_TRUE(QTest::qWaitFor([&] { return listener.sessionCount() == 2; }, kWaitMs));
    EXPECT_EQ(exchange(*fresh, kCompleteFrame), QByteArray("\x02"));
    ASSERT_EQ(notices.size(), 2) << "and once that it accepts again";
    EXPECT_EQ(ui.messages.size(), 0);
}
