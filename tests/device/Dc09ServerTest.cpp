#include "device/Dc09Server.h"

#include "config/Dc09Settings.h"
#include "device/DeviceReportIntake.h"
#include "device/SiaCodeTable.h"
#include "events/EventJournal.h"
#include "reporting/ReportSettings.h"
#include "tests/support/ClientWorld.h"
#include "tests/support/Dc09Peer.h"
#include "tests/support/ManualClock.h"
#include "tests/support/TempDataDir.h"

#include <QTest>

#include <gtest/gtest.h>

using namespace Dc09Peer;
using namespace std::chrono_literals;

namespace {

constexpr quint16 kPrimary = 0x1234;
constexpr quint16 kDependent = 0x5678;
// Registered, each with a key of one AES length.
constexpr quint16 kKeyed128 = 0x4444;
constexpr quint16 kKeyed192 = 0x4445;
constexpr quint16 kKeyed256 = 0x4446;
constexpr quint16 kNewClient = 0x2222;
constexpr int kAnswerWaitMs = 5000;
// Long enough for a frame to be read and answered on a loaded machine.
constexpr int kNoAnswerWaitMs = 300;

const QList<Transport> kTransports{Transport::Udp, Transport::Tcp};

QByteArray hex4(quint16 account) {
    return QByteArray::number(account, 16).toUpper().rightJustified(4, '0');
}

class Dc09ServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        world.contacts.setTimeSource([] { return QStringLiteral("11/06/2024 10:00:00"); });
        primary = clients.primary(kPrimary, ClientStatus::Online);
        primary->deviceId = 0;
        dependent = clients.dependent(primary, kDependent, ClientStatus::Online);
        for (auto [account, length] : {std::pair{kKeyed128, 16}, std::pair{kKeyed192, 24}, std::pair{kKeyed256, 32}}) {
            clients.primary(account, ClientStatus::Online);
            settings.keys.insert(hex4(account), key(length));
        }
        newClient = clients.primary(kNewClient, ClientStatus::New);
        sia.parse("BA 1 130 Disparo de alarme de roubo\r\nFA 1 110 Alarme de incendio\r\n");
        ASSERT_TRUE(server.start(0));
        ASSERT_NE(server.port(), 0);
    }

    QList<quint16> raisedCodes() const {
        QList<quint16> codes;
        for (const RecordingEventRaiser::ClientEvent& event : world.events.clientEvents)
            codes << event.code;
        return codes;
    }

    // Sends frame and then a NULL message of the primary as a probe: true when
    // the first answer that comes is the probe's, so frame got none.
    bool unanswered(Device& device, const QByteArray& frame) {
        device.send(frame);
        device.send(message(Dc09::kNull, 9999, hex4(kPrimary), {}));
        const Answer first = readAnswer(device.answer(kAnswerWaitMs));
        return first.id == Dc09::kAck && first.sequence == "9999";
    }

    ClientWorld world;
    ClientBuilder clients{world};
    ReportSettings reportSettings;
    FakeReporter reporter;
    Dc09Settings settings;
    SiaCodeTable sia;
    RecordingUserInterface ui;
    DeviceReportIntake intake{world.settings, reportSettings, world.contacts, world.events, reporter};
    Dc09Server server{settings, sia, world.registry, intake, ui};
    PrimaryClient* primary = nullptr;
    DependentAccount* dependent = nullptr;
    PrimaryClient* newClient = nullptr;
};

} // namespace

// What each kind of frame is answered with, over both transports, and what it raises.
TEST_F(Dc09ServerTest, AnswersAndEventsByFrame) {
    const QDateTime now = QDateTime::currentDateTimeUtc();
    struct Case {
        const char* name;
        const char* id;
        quint16 account;
        const char* data;
        int keyLength; // 0: in clear
        std::optional<QDateTime> at;
        const char* answer; // nullptr: no answer at all
        bool encryptedAnswer;
        QList<quint16> codes;
    };
    const QList<Case> cases{
        {"Contact ID in clear", Dc09::kAdmCid, kPrimary, "#1234|1130 01 005", 0, now, Dc09::kAck, false, {1130}},
        {"Contact ID, AES-128", Dc09::kAdmCid, kKeyed128, "#4444|3130 02 010", 16, now, Dc09::kAck, true, {3130}},
        {"SIA, two codes, AES-192",
         Dc09::kSiaDcs,
         kKeyed192,
         "#4445|Nri1/BA005/FA006",
         24,
         now,
         Dc09::kAck,
         true,
         {1130, 1110}},
        {"SIA, AES-256", Dc09::kSiaDcs, kKeyed256, "#4446|NBA005", 32, now, Dc09::kAck, true, {1130}},
        {"SIA code the table lacks",
         Dc09::kSiaDcs,
         kPrimary,
         "#1234|NZZ005",
         0,
         now,
         Dc09::kAck,
         false,
         {SiaCodeTable::kUnknownCode}},
        {"SIA without timestamp", Dc09::kSiaDcs, kPrimary, "#1234|NBA007", 0, std::nullopt, Dc09::kAck, false, {1130}},
        {"NULL: supervision", Dc09::kNull, kPrimary, "", 0, now, Dc09::kAck, false, {}},
        {"timestamp an hour late",
         Dc09::kAdmCid,
         kPrimary,
         "#1234|1130 01 005",
         0,
         now.addSecs(-3600),
         Dc09::kNak,
         false,
         {}},
        {"timestamp a minute ahead",
         Dc09::kAdmCid,
         kPrimary,
         "#1234|1130 01 005",
         0,
         now.addSecs(60),
         Dc09::kNak,
         false,
         {}},
        {"unknown identifier", "XYZ-ABC", kPrimary, "#1234|1130 01 005", 0, now, Dc09::kDuh, false, {}},
        {"account beyond four digits", Dc09::kAdmCid, 0, "#12345|1130 01 005", 0, now, Dc09::kDuh, false, {}},
        {"encrypted, account without a key",
         Dc09::kAdmCid,
         kPrimary,
         "#1234|1130 01 005",
         16,
         now,
         Dc09::kDuh,
         false,
         {}},
        {"in clear from an account with a key",
         Dc09::kAdmCid,
         kKeyed128,
         "#4444|1130 01 005",
         0,
         now,
         Dc09::kDuh,
         false,
         {}},
        {"Contact ID data that does not read",
         Dc09::kAdmCid,
         kPrimary,
         "#1234|11X0 01 005",
         0,
         now,
         Dc09::kDuh,
         false,
         {}},
        {"an acknowledgement sent to the receiver", Dc09::kAck, kPrimary, "", 0, now, nullptr, false, {}},
    };

    int sequence = 0;
    for (Transport transport : kTransports) {
        Device device(transport, server.port());
        ASSERT_TRUE(device.connected());
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(transportName(transport)) + ": " + c.name);
            world.events.clear();
            ++sequence;
            const QByteArray account = c.account ? hex4(c.account) : QByteArray("12345");
            const QByteArray frame =
                message(c.id, sequence, account, c.data, c.keyLength ? key(c.keyLength) : "", c.at);
            if (!c.answer) {
                EXPECT_TRUE(unanswered(device, frame));
                EXPECT_TRUE(world.events.clientEvents.isEmpty());
                continue;
            }
            device.send(frame);
            const Answer answer = readAnswer(device.answer(kAnswerWaitMs), key(c.keyLength));
            ASSERT_TRUE(answer.readable);
            EXPECT_EQ(answer.id, QByteArray(c.answer));
            EXPECT_EQ(answer.encrypted, c.encryptedAnswer);
            if (answer.id == Dc09::kNak) {
                // The receiver's time, for the device to set its clock by; no message named.
                ASSERT_TRUE(answer.timestamp.has_value());
                EXPECT_LT(qAbs(answer.timestamp->secsTo(QDateTime::currentDateTimeUtc())), 120);
                EXPECT_EQ(answer.sequence, QByteArray("0000"));
            } else {
                EXPECT_EQ(answer.sequence, QByteArray::number(sequence).rightJustified(4, '0'));
                EXPECT_EQ(answer.account, account);
                if (c.encryptedAnswer) {
                    EXPECT_TRUE(answer.timestamp.has_value()) << "an encrypted ACK carries the receiver's time";
                }
            }
            EXPECT_EQ(raisedCodes(), c.codes);
            for (const RecordingEventRaiser::ClientEvent& event : world.events.clientEvents)
                EXPECT_EQ(event.protocol, 2);
        }
    }
    // Every frame was counted, by transport and by answer.
    const auto count = [&](const char* answer) {
        return quint64(std::count_if(
                   cases.begin(), cases.end(),
                   [&](const Case& c) { return answer ? c.answer && QByteArray(c.answer) == answer : !c.answer; })) *
               2;
    };
    const quint64 probes = count(nullptr); // one NULL each, acknowledged
    EXPECT_EQ(server.answersSent(Dc09Outcome::Answer::Ack), count(Dc09::kAck) + probes);
    EXPECT_EQ(server.answersSent(Dc09Outcome::Answer::Nak), count(Dc09::kNak));
    EXPECT_EQ(server.answersSent(Dc09Outcome::Answer::Duh), count(Dc09::kDuh));
    EXPECT_EQ(server.framesIgnored(), count(nullptr));
    EXPECT_EQ(server.framesReceived(Dc09Server::Transport::Udp), quint64(cases.size()) + probes / 2);
    EXPECT_EQ(server.framesReceived(Dc09Server::Transport::Tcp), quint64(cases.size()) + probes / 2);
}

TEST_F(Dc09ServerTest, EnvelopeFaultsAreLeftUnanswered) {
    const QByteArray good = message(Dc09::kAdmCid, 1, "1234", "#1234|1130 01 005");
    struct Case {
        const char* name;
        QByteArray frame;
    };
    QByteArray badCrc = good;
    badCrc[1] = badCrc[1] == '0' ? '1' : '0';
    QByteArray badLength = good;
    badLength[8] = badLength[8] == '0' ? '1' : '0';
    const QList<Case> cases{
        {"CRC that does not match", badCrc},
        {"length that does not match", badLength},
        {"no CR at the end", good.chopped(1)},
        {"text that is no frame", "hello\r"},
    };
    for (Transport transport : kTransports) {
        Device device(transport, server.port());
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(transportName(transport)) + ": " + c.name);
            world.events.clear();
            EXPECT_TRUE(unanswered(device, c.frame));
            EXPECT_TRUE(world.events.clientEvents.isEmpty());
        }
    }
}

TEST_F(Dc09ServerTest, TheAnswerLeavesBeforeTheMessageIsHandedOn) {
    for (Transport transport : kTransports) {
        SCOPED_TRACE(transportName(transport));
        Device device(transport, server.port());
        bool answeredFirst = false;
        world.events.onRaise = [&] { answeredFirst = device.answerWaiting(); };
        device.send(message(Dc09::kAdmCid, transport == Transport::Udp ? 1 : 2, "1234", "#1234|1130 01 005"));
        EXPECT_EQ(readAnswer(device.answer(kAnswerWaitMs)).id, QByteArray(Dc09::kAck));
        ASSERT_EQ(world.events.clientEvents.size(), 1);
        EXPECT_TRUE(answeredFirst);
        world.events.clear();
    }
}

TEST_F(Dc09ServerTest, RepeatedMessageIsAcknowledgedAgainAndRaisedOnce) {
    for (Transport transport : kTransports) {
        SCOPED_TRACE(transportName(transport));
        world.events.clear();
        Device device(transport, server.port());
        const QByteArray frame =
            message(Dc09::kAdmCid, transport == Transport::Udp ? 11 : 12, "1234", "#1234|1130 01 005");
        for (int i = 0; i < 3; ++i) {
            device.send(frame);
            EXPECT_EQ(readAnswer(device.answer(kAnswerWaitMs)).id, QByteArray(Dc09::kAck)) << i;
        }
        EXPECT_EQ(world.events.clientEvents.size(), 1);
        // The same sequence with other content is another message.
        device.send(message(Dc09::kAdmCid, transport == Transport::Udp ? 11 : 12, "1234", "#1234|3130 01 005"));
        EXPECT_EQ(readAnswer(device.answer(kAnswerWaitMs)).id, QByteArray(Dc09::kAck));
        EXPECT_EQ(raisedCodes(), (QList<quint16>{1130, 3130}));
    }
}

// Whose event a message raises: the data block's account picks the record.
TEST_F(Dc09ServerTest, DataAccountPicksTheRecord) {
    struct Case {
        const char* name;
        quint16 frameAccount;
        const char* data;
        ClientRecord* target;
    };
    ClientRecord* const primaryRecord = primary;
    const QList<Case> cases{
        {"the frame's own account", kPrimary, "#1234|1130 01 005", primaryRecord},
        {"a dependent of the frame's account", kPrimary, "#5678|1130 01 005", dependent},
        {"an account registered under no one: the primary", kPrimary, "#9999|1130 01 005", primaryRecord},
        // Heard first, the client leaves the New page and its event is raised, as for TaviCom.
        {"a new client", kNewClient, "#2222|1130 01 005", newClient},
    };
    int sequence = 100;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        world.events.clear();
        Device device(Transport::Udp, server.port());
        device.send(message(Dc09::kAdmCid, ++sequence, hex4(c.frameAccount), c.data));
        EXPECT_EQ(readAnswer(device.answer(kAnswerWaitMs)).id, QByteArray(Dc09::kAck));
        ASSERT_EQ(world.events.clientEvents.size(), 1);
        EXPECT_EQ(world.events.clientEvents[0].client, c.target);
    }
    // The new client's contact took it off the New page, at the device's address.
    EXPECT_NE(newClient->status, ClientStatus::New);
    EXPECT_EQ(newClient->address, QStringLiteral("127.0.0.1"));
    EXPECT_EQ(newClient->heardOver, HeardOver::Dc09);
}

TEST_F(Dc09ServerTest, SupervisionRecordsTheContactOnly) {
    for (Transport transport : kTransports) {
        SCOPED_TRACE(transportName(transport));
        primary->lastContact.clear();
        primary->port = 0;
        Device device(transport, server.port());
        device.send(message(Dc09::kNull, transport == Transport::Udp ? 21 : 22, "1234", ""));
        EXPECT_EQ(readAnswer(device.answer(kAnswerWaitMs)).id, QByteArray(Dc09::kAck));
        EXPECT_EQ(primary->lastContact, QStringLiteral("11/06/2024 10:00:00"));
        EXPECT_EQ(primary->port, device.localPort());
        EXPECT_EQ(primary->heardOver, HeardOver::Dc09);
        EXPECT_TRUE(world.events.clientEvents.isEmpty());
        EXPECT_TRUE(reporter.requests.isEmpty()) << "no heartbeat forwarded for a NULL";
    }
}

TEST_F(Dc09ServerTest, UnregisteredAccountFollowsTransparentAndLogAll) {
    struct Case {
        bool transparent;
        bool logAll;
        int forwarded;
        int listed;
    };
    const QList<Case> cases{{false, false, 0, 0}, {false, true, 0, 1}, {true, false, 1, 0}, {true, true, 1, 1}};
    int sequence = 200;
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "Transparente " << c.transparent << ", LogAll " << c.logAll);
        world.events.clear();
        reporter.requests.clear();
        reportSettings.transparent = c.transparent;
        world.settings.LogAll = c.logAll;
        Device device(Transport::Udp, server.port());
        device.send(message(Dc09::kAdmCid, ++sequence, "0BEE", "#0ABC|1401 03 007"));
        EXPECT_EQ(readAnswer(device.answer(kAnswerWaitMs)).id, QByteArray(Dc09::kAck));
        while (!reporter.pending.isEmpty())
            reporter.complete(ReportResult::Sent);
        ASSERT_EQ(reporter.requests.size(), c.forwarded);
        if (c.forwarded) {
            EXPECT_EQ(reporter.requests[0].account, 0x0ABC);
            EXPECT_EQ(reporter.requests[0].reportAccount, 0x0BEE);
            EXPECT_EQ(reporter.requests[0].code, 1401);
        }
        ASSERT_EQ(world.events.lines.size(), c.listed);
        if (c.listed) {
            EXPECT_EQ(world.events.lines[0].name, QStringLiteral("127.0.0.1:%1").arg(device.localPort()));
            EXPECT_EQ(world.events.lines[0].protocol, 2);
            EXPECT_EQ(world.events.lines[0].zone, 7);
        }
        EXPECT_TRUE(world.events.clientEvents.isEmpty());
        EXPECT_EQ(world.registry.FindPrimary(0x0BEE), nullptr) << "nothing registered";
    }
}

TEST_F(Dc09ServerTest, StreamFramesSplitOrJoinedAreAnsweredInOrder) {
    QList<QByteArray> frames;
    for (int i = 1; i <= 6; ++i)
        frames << message(Dc09::kAdmCid, 300 + i, "1234", QByteArray("#1234|1130 01 00") + QByteArray::number(i));
    Device device(Transport::Tcp, server.port());
    // One byte a write, then two frames in one write with garbage between, then
    // a frame cut across writes.
    for (char byte : frames[0]) {
        device.send(QByteArray(1, byte));
        QCoreApplication::processEvents();
    }
    device.send(frames[1] + "noise" + frames[2]);
    device.send(frames[3] + frames[4].left(7));
    QCoreApplication::processEvents();
    device.send(frames[4].mid(7) + frames[5]);
    QList<QByteArray> sequences;
    for (const QByteArray& answer : device.answers(6, kAnswerWaitMs))
        sequences << readAnswer(answer).sequence;
    EXPECT_EQ(sequences, (QList<QByteArray>{"0301", "0302", "0303", "0304", "0305", "0306"}));
    QList<quint16> zones;
    for (const RecordingEventRaiser::ClientEvent& event : world.events.clientEvents)
        zones << event.zone;
    EXPECT_EQ(zones, (QList<quint16>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(server.sessionCount(), 1u);
}

TEST_F(Dc09ServerTest, ConnectionsWithoutFramesAreClosed) {
    ManualClock clock;
    server.setClock(clock.source());
    struct Case {
        const char* name;
        std::chrono::seconds beforeFrame; // how long before a frame, none when negative
        std::chrono::seconds after;       // then this long with nothing
        QByteArray garbage;
        bool closed;
    };
    const QList<Case> cases{
        {"silent for the whole time-out", -1s, 61s, {}, true},
        {"silent for a little less", -1s, 59s, {}, false},
        {"a frame keeps it open", 50s, 50s, {}, false},
        {"a frame, then silent for the time-out", 10s, 61s, {}, true},
        {"more than 1 KiB without a frame", -1s, 0s, QByteArray(1100, 'x'), true},
        {"less than 1 KiB without a frame", -1s, 0s, QByteArray(900, 'x'), false},
    };
    int sequence = 400;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Device device(Transport::Tcp, server.port());
        ASSERT_TRUE(QTest::qWaitFor([&] { return server.sessionCount() == 1; }, kAnswerWaitMs));
        if (c.beforeFrame >= 0s) {
            clock.advance(c.beforeFrame);
            server.expireSilentSessions();
            device.send(message(Dc09::kNull, ++sequence, "1234", ""));
            ASSERT_EQ(readAnswer(device.answer(kAnswerWaitMs)).id, QByteArray(Dc09::kAck));
        }
        if (!c.garbage.isEmpty())
            device.send(c.garbage);
        clock.advance(c.after);
        server.expireSilentSessions();
        EXPECT_EQ(device.closedByReceiver(c.closed ? kAnswerWaitMs : kNoAnswerWaitMs), c.closed);
        if (!c.closed) {
            // Still answered.
            device.send(message(Dc09::kNull, ++sequence, "1234", ""));
            EXPECT_EQ(readAnswer(device.answer(kAnswerWaitMs)).id, QByteArray(Dc09::kAck));
        }
        // The next case starts from no connection.
        clock.advance(Dc09Server::kSessionTimeout);
        server.expireSilentSessions();
        ASSERT_TRUE(QTest::qWaitFor([&] { return server.sessionCount() == 0; }, kAnswerWaitMs));
    }
    EXPECT_EQ(server.sessionsOverrun(), 1u);
}

TEST_F(Dc09ServerTest, ConnectionsBeyondTheCapAreRefused) {
    server.setMaxSessions(2);
    QString said;
    server.setProblemHandler([&](const QString& text) { said = text; });
    Device first(Transport::Tcp, server.port());
    Device second(Transport::Tcp, server.port());
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.sessionCount() == 2; }, kAnswerWaitMs));
    Device third(Transport::Tcp, server.port());
    EXPECT_TRUE(third.closedByReceiver(kAnswerWaitMs));
    EXPECT_EQ(server.sessionsRefused(), 1u);
    EXPECT_TRUE(said.contains(QStringLiteral("MaxSessions"))) << said.toStdString();
    // The open ones go on.
    first.send(message(Dc09::kNull, 501, "1234", ""));
    EXPECT_EQ(readAnswer(first.answer(kAnswerWaitMs)).id, QByteArray(Dc09::kAck));
}

TEST_F(Dc09ServerTest, PortTakenIsSaidAndNothingOpens) {
    Dc09Server other{settings, sia, world.registry, intake, ui};
    EXPECT_FALSE(other.start(server.port()));
    EXPECT_FALSE(other.isRunning());
    ASSERT_FALSE(ui.messages.isEmpty());
    EXPECT_TRUE(ui.messages.last().text.contains(QString::number(server.port())));
    // Stopping closes both: the number is free for another start.
    const quint16 port = server.port();
    server.stop();
    EXPECT_TRUE(other.start(port));
}

// The events that the answer tells a device were received are in "Events.jnl"
// by the time the answer reaches it; nothing else is.
TEST_F(Dc09ServerTest, TakenEventsAreInCustodyBeforeTheAnswerArrives) {
    TempDataDir dir;
    EventJournal journal(dir.dataDirectory());
    server.setJournal(&journal);
    clients.primary(0x4321, ClientStatus::Blocked);
    struct Case {
        const char* name;
        QByteArray frame;
        QList<quint16> held; // accounts of the lines added
    };
    for (Transport transport : kTransports) {
        const int base = transport == Transport::Udp ? 600 : 700;
        const QByteArray first = message(Dc09::kAdmCid, base + 1, "1234", "#1234|1130 01 005");
        const QList<Case> cases{
            {"an event of a registered client", first, {kPrimary}},
            {"the same message again", first, {}},
            {"two events, one for a dependent",
             message(Dc09::kSiaDcs, base + 2, "1234", "#5678|NBA001/FA002"),
             {kDependent, kDependent}},
            {"NULL", message(Dc09::kNull, base + 3, "1234", ""), {}},
            {"a blocked client", message(Dc09::kAdmCid, base + 4, "4321", "#4321|1130 01 005"), {}},
            {"an unregistered account", message(Dc09::kAdmCid, base + 5, "0BEE", "#0BEE|1130 01 005"), {}},
            {"a stale message",
             message(Dc09::kAdmCid, base + 6, "1234", "#1234|1130 01 005", {},
                     QDateTime::currentDateTimeUtc().addSecs(-600)),
             {}},
        };
        Device device(transport, server.port());
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(transportName(transport)) + ": " + c.name);
            const qsizetype linesBefore = dir.read(EventJournal::kFileName).count('\n');
            device.send(c.frame);
            ASSERT_FALSE(device.answer(kAnswerWaitMs).isEmpty());
            // Read at once: the device has its answer, the receiver may still be handing the message on.
            const QList<QByteArray> lines = dir.read(EventJournal::kFileName).split('\n').mid(linesBefore);
            QList<quint16> held;
            for (const QByteArray& line : lines) {
                EventJournal::Entry entry;
                if (EventJournal::readHeldLine(line, entry)) {
                    held << entry.event.account;
                    EXPECT_EQ(entry.event.protocol, 2);
                    EXPECT_EQ(entry.event.reportAccount, kPrimary);
                }
            }
            EXPECT_EQ(held, c.held);
        }
    }
}
