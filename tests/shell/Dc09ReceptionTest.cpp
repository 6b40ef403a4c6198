#include "device/Dc09Server.h"
#include "device/DeviceCommands.h"
#include "events/EventListModel.h"
#include "shell/ServerCore.h"
#include "shell/ServerMetrics.h"
#include "tests/shell/ReceiverFixture.h"
#include "tests/support/Dc09Peer.h"
#include "tests/support/RecordingUserInterface.h"
#include "tests/support/TempDataDir.h"

#include <QSet>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

// SIA DC-09 reception through a whole receiver: "Dc09.cfg" read at start,
// devices on loopback over UDP and TCP, events in "Events.log".

using namespace Dc09Peer;
using namespace ReceiverFixture;

namespace {

constexpr int kWaitMs = 10000;
const QByteArray kKeyHex = key(16).toHex().toUpper();

// The shell's data files, the clients of DC-09 devices and "Dc09.cfg" on a free port.
class Dc09ReceptionTest : public ::testing::Test {
protected:
    void SetUp() override {
        writeDataFiles(dir);
        dir.write("Clients.lst", "1001\tPadaria Central\tKorvo 16IP\t\t\t1\t3\t1\t60\t00001001\r\n"
                                 "1234\tLoja Norte\tCentral X\t\t\t1\t3\t1\t60\t00000000\r\n"
                                 "{\r\n5678\tFilial Sul\t1\r\n}\r\n"
                                 "4444\tCofre Leste\tCentral Y\t\t\t1\t3\t1\t60\t00000000\r\n"
                                 "4321\tLoja Fechada\tCentral Z\t\t\t3\t3\t1\t60\t00000000\r\n");
        dir.write("Sia.lst", "BA 1 130 Disparo de alarme de roubo\r\nBR 3 130 Restauracao de roubo\r\n");
        port = freePort();
        ASSERT_NE(port, 0);
        writeConfig("Port " + QByteArray::number(port) + "\r\nKey 4444 " + kKeyHex + "\r\n");
    }
    void writeConfig(const QByteArray& text) { dir.write("Dc09.cfg", text); }

    void start() {
        receiver = std::make_unique<Receiver>(dir.path(), ui);
        ASSERT_TRUE(receiver->start());
    }
    ServerCore& core() { return receiver->core; }

    // The lines of "Events.log" that came by DC-09, once there are count of them.
    QList<QList<QByteArray>> dc09Lines(int count) {
        QList<QList<QByteArray>> lines;
        (void)QTest::qWaitFor(
            [&] {
                lines.clear();
                for (const QByteArray& line : dir.read("Events.log").split('\n')) {
                    const QList<QByteArray> fields = line.trimmed().split('\t');
                    if (fields.size() > 9 && fields[9] == "DC-09")
                        lines << fields;
                }
                return lines.size() >= count;
            },
            kWaitMs);
        return lines;
    }

    TempDataDir dir;
    RecordingUserInterface ui;
    std::unique_ptr<Receiver> receiver;
    quint16 port = 0;
};

} // namespace

TEST_F(Dc09ReceptionTest, EventsAreAnsweredRaisedAndLoggedOverBothTransports) {
    start();
    ASSERT_TRUE(core().dc09Server().isRunning());
    ASSERT_EQ(core().dc09Server().port(), port);
    struct Case {
        const char* name;
        const char* id;
        QByteArray account;
        const char* data;
        bool encrypted;
        const char* client; // the name the log shows
        const char* code;
    };
    const QList<Case> cases{
        {"Contact ID in clear", Dc09::kAdmCid, "1234", "#1234|1130 01 005", false, "Loja Norte", "E 130"},
        {"Contact ID encrypted", Dc09::kAdmCid, "4444", "#4444|3130 01 006", true, "Cofre Leste", "R 130"},
        {"SIA in clear, for the dependent", Dc09::kSiaDcs, "1234", "#5678|Nri1/BA007", false, "Filial Sul", "E 130"},
        {"SIA encrypted", Dc09::kSiaDcs, "4444", "#4444|Nri2/BR008", true, "Cofre Leste", "R 130"},
    };
    int sequence = 0;
    int logged = 0;
    for (Transport transport : {Transport::Udp, Transport::Tcp}) {
        Device device(transport, port);
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(transportName(transport)) + ": " + c.name);
            device.send(message(c.id, ++sequence, c.account, c.data, c.encrypted ? key(16) : QByteArray()));
            const Answer answer = readAnswer(device.answer(kWaitMs), key(16));
            EXPECT_EQ(answer.id, QByteArray(Dc09::kAck));
            EXPECT_EQ(answer.encrypted, c.encrypted);
            const QList<QList<QByteArray>> lines = dc09Lines(++logged);
            ASSERT_EQ(lines.size(), logged);
            EXPECT_EQ(lines.last()[2], QByteArray(c.client));
        }
    }
    // The rows show the protocol and the code.
    EventListModel& model = core().eventList().model();
    model.showWaitingRows();
    EXPECT_EQ(model.cellText(0, EventListModel::ProtocolColumn), QStringLiteral("DC-09"));
    EXPECT_EQ(model.cellText(0, EventListModel::CodeColumn), QStringLiteral("R 130"));
    EXPECT_EQ(core().journal().heldCount(), 0u) << "custody ends once logged";

    const QByteArray metrics = ServerMetrics::text(core());
    for (const char* sample :
         {"atalaia_dc09_frames_received_total{transport=\"udp\"} 4\n",
          "atalaia_dc09_frames_received_total{transport=\"tcp\"} 4\n", "atalaia_dc09_answers_total{answer=\"ack\"} 8\n",
          "atalaia_reports_total{protocol=\"dc09\"} 8\n"})
        EXPECT_TRUE(metrics.contains(sample)) << sample;
}

TEST_F(Dc09ReceptionTest, NullStaleAndBlockedRaiseNothing) {
    start();
    Device device(Transport::Udp, port);
    struct Case {
        const char* name;
        QByteArray frame;
        const char* answer;
    };
    const QList<Case> cases{
        {"NULL", message(Dc09::kNull, 1, "1234", ""), Dc09::kAck},
        {"timestamp two minutes late",
         message(Dc09::kAdmCid, 2, "1234", "#1234|1130 01 005", {}, QDateTime::currentDateTimeUtc().addSecs(-120)),
         Dc09::kNak},
        {"blocked client", message(Dc09::kAdmCid, 3, "4321", "#4321|1130 01 005"), Dc09::kAck},
        {"in clear from the keyed account", message(Dc09::kAdmCid, 4, "4444", "#4444|1130 01 005"), Dc09::kDuh},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        device.send(c.frame);
        EXPECT_EQ(readAnswer(device.answer(kWaitMs)).id, QByteArray(c.answer));
    }
    // An event after them all is the first DC-09 line.
    device.send(message(Dc09::kAdmCid, 5, "1234", "#1234|1130 01 009"));
    EXPECT_EQ(readAnswer(device.answer(kWaitMs)).id, QByteArray(Dc09::kAck));
    const QList<QList<QByteArray>> lines = dc09Lines(1);
    ASSERT_EQ(lines.size(), 1);
    EXPECT_EQ(lines[0][2], QByteArray("Loja Norte"));
    PrimaryClient* client = core().registry().FindPrimary(0x1234);
    ASSERT_NE(client, nullptr);
    EXPECT_EQ(client->address, QStringLiteral("127.0.0.1"));
    EXPECT_EQ(client->port, device.localPort());
}

TEST_F(Dc09ReceptionTest, ConfigurationProblemsAreSaidAndReceptionGoesOn) {
    struct Case {
        const char* name;
        QByteArray config; // with "%1" for the port; null: no file
        bool running;
        QString message; // the start of a message the operator gets; empty: none about DC-09
    };
    const QList<Case> cases{
        {"no file: reception off", {}, false, {}},
        {"port 0: reception off", "Port 0\r\n", false, {}},
        {"a key too short on line 2", "Port %1\r\nKey 1234 00112233\r\n", true, QStringLiteral("Dc09.cfg")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.config.isNull())
            QFile::remove(dir.file("Dc09.cfg"));
        else
            writeConfig(QByteArray(c.config).replace("%1", QByteArray::number(port)));
        ui.messages.clear();
        start();
        EXPECT_EQ(core().dc09Server().isRunning(), c.running);
        QStringList dc09Messages;
        for (const RecordingUserInterface::Message& message : ui.messages)
            if (message.text.contains(QStringLiteral("Dc09.cfg")))
                dc09Messages << message.text;
        if (c.message.isEmpty()) {
            EXPECT_TRUE(dc09Messages.isEmpty()) << dc09Messages.join('\n').toStdString();
        } else {
            ASSERT_EQ(dc09Messages.size(), 1);
            EXPECT_TRUE(dc09Messages[0].contains(QStringLiteral("linha 2"))) << dc09Messages[0].toStdString();
        }
        if (c.running) {
            Device device(Transport::Udp, port);
            device.send(message(Dc09::kNull, 1, "1234", ""));
            EXPECT_EQ(readAnswer(device.answer(kWaitMs)).id, QByteArray(Dc09::kAck));
        }
        // TaviCom is answered all the same.
        EXPECT_EQ(exchange(core().datagramServer().boundPort(), eventReport(0x1001, 7, 1130, 1, 5)).size(), 18);
        receiver.reset();
    }
}

// A burst of 1,000 frames from 20 devices, all sent before any answer is read.
TEST_F(Dc09ReceptionTest, BurstFromTwentyDevicesIsAllAcknowledged) {
    constexpr int kDevices = 20;
    constexpr int kFramesEach = 50;
    QByteArray clients = dir.read("Clients.lst");
    for (int i = 0; i < kDevices; ++i)
        clients += QByteArray::number(0x2000 + i, 16).toUpper() + "\tDispositivo " + QByteArray::number(i) +
                   "\tCentral\t\t\t1\t3\t1\t60\t00000000\r\n";
    dir.write("Clients.lst", clients);
    start();
    int logged = 0;
    int sequenceBase = 0;
    for (Transport transport : {Transport::Udp, Transport::Tcp}) {
        SCOPED_TRACE(transportName(transport));
        std::vector<std::unique_ptr<Device>> devices;
        for (int i = 0; i < kDevices; ++i)
            devices.push_back(std::make_unique<Device>(transport, port));
        for (int n = 0; n < kFramesEach; ++n) {
            for (int i = 0; i < kDevices; ++i) {
                const QByteArray account = QByteArray::number(0x2000 + i, 16).toUpper();
                devices[size_t(i)]->send(
                    message(Dc09::kAdmCid, sequenceBase + n, account,
                            "#" + account + "|1130 01 " + QByteArray::number(n + 1).rightJustified(3, '0')));
            }
        }
        int acknowledged = 0;
        for (int i = 0; i < kDevices; ++i) {
            QSet<QByteArray> sequences;
            for (const QByteArray& frame : devices[size_t(i)]->answers(kFramesEach, kWaitMs * 3)) {
                const Answer answer = readAnswer(frame);
                if (answer.id == Dc09::kAck)
                    sequences << answer.sequence;
            }
            EXPECT_EQ(sequences.size(), kFramesEach) << "device " << i;
            acknowledged += int(sequences.size());
        }
        EXPECT_EQ(acknowledged, kDevices * kFramesEach);
        logged += kDevices * kFramesEach;
        EXPECT_EQ(dc09Lines(logged).size(), logged);
        sequenceBase += kFramesEach;
    }
    EXPECT_EQ(core().dc09Server().kernelDrops(), 0u);
}

TEST_F(Dc09ReceptionTest, DeviceCommandsForAClientHeardOverDc09AreRefused) {
    start();
    Device device(Transport::Udp, port);
    device.send(message(Dc09::kNull, 1, "1234", ""));
    ASSERT_EQ(readAnswer(device.answer(kWaitMs)).id, QByteArray(Dc09::kAck));
    PrimaryClient* client = core().registry().FindPrimary(0x1234);
    ASSERT_NE(client, nullptr);
    ASSERT_EQ(client->heardOver, HeardOver::Dc09);

    DeviceCommands& commands = core().deviceCommands();
    struct Case {
        const char* name;
        std::function<void()> command;
    };
    const QList<Case> cases{
        {"details", [&] { commands.showDetails(client, client->name, ClientStatus::Online); }},
        {"callback", [&] { commands.sendCallback(client, QStringLiteral("127.0.0.1"), QStringLiteral("5000")); }},
        {"callback started directly", [&] { commands.StartCallback(client, QStringLiteral("127.0.0.1"), 5000); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ui.messages.clear();
        c.command();
        ASSERT_EQ(ui.messages.size(), 1);
        EXPECT_TRUE(ui.messages[0].text.contains(QStringLiteral("Loja Norte")));
        EXPECT_TRUE(ui.messages[0].text.contains(QStringLiteral("DC-09")));
        // Nothing went to the device: no request waits for an answer.
        QTest::qWait(50);
        EXPECT_FALSE(readAnswer(device.answer(0)).readable);
    }

    // Heard over TaviCom again, the same client takes commands.
    client->heardOver = HeardOver::TaviCom;
    ui.messages.clear();
    commands.sendCallback(client, QStringLiteral("127.0.0.1"), QStringLiteral("5000"));
    for (const RecordingUserInterface::Message& message : ui.messages)
        EXPECT_FALSE(message.text.contains(QStringLiteral("DC-09"))) << message.text.toStdString();
}
