#include "device/DeviceCommands.h"

#include "clients/ClientRegistry.h"
#include "config/Operators.h"
#include "device/DatagramServer.h"
#include "device/DeviceDetailsForm.h"
#include "device/DeviceReportIntake.h"
#include "reporting/ReportSettings.h"
#include "tests/support/ClientWorld.h"
#include "tools/tavi-sim/CommandDevice.h"

#include <QTest>

#include <gtest/gtest.h>

#include <functional>

using namespace TaviCom;

namespace {

constexpr quint32 kDeviceId = 0x1A2B00EE;
constexpr quint16 kAccount = 0x00EE;
constexpr int kAttemptWaitMs = 300; // instead of 5000: every attempt of a test ends quickly
constexpr int kOutcomeWaitMs = 5000;

// The window as the device commands see it: busy pages and the details
// dialog, which records what it showed and may act while it is open.
class RecordingView : public DeviceCommandView {
public:
    struct Shown {
        QString model;
        QString port;
        bool pgm, line, cellular, note;
    };
    void setPageBusy(int pageKind, bool busy) override { busyCalls.append({pageKind, busy}); }
    void showDetails(DeviceDetailsForm& form) override {
        shown.append({form.text(DetailsControl::Model), form.text(DetailsControl::Port), form.pgmSectionVisible(),
                      form.lineSwitchVisible(), form.cellularVisible(), form.noAnswerNoteVisible()});
        if (whileOpen)
            whileOpen(form);
    }
    QList<QPair<int, bool>> busyCalls;
    QList<Shown> shown;
    std::function<void(DeviceDetailsForm&)> whileOpen;
};

// A receiver's device link with one registered TaviCom client whose device
// is the simulator on loopback.
struct CommandBench {
    explicit CommandBench(CommandDeviceOptions options = {}) : device((options.deviceId = kDeviceId, options)) {
        op.rights = OperatorRight::All;
        EXPECT_TRUE(server.StartServer());
        EXPECT_TRUE(device.bind());
        client = new PrimaryClient;
        client->account = kAccount;
        client->deviceId = kDeviceId;
        client->name = QStringLiteral("Loja");
        client->status = ClientStatus::Online;
        client->address = QStringLiteral("127.0.0.1");
        client->port = device.port();
        client->datagramSequence = 500;
        world.registry.Register(client);
        commands.setView(&view);
    }
    ~CommandBench() { world.registry.Shutdown(); }

    QString lastMessage() const { return ui().messages.isEmpty() ? QString() : ui().messages.last().text; }
    RecordingUserInterface& ui() const { return const_cast<ClientWorld&>(world).ui; }
    bool settled() {
        return QTest::qWaitFor([this] { return !requester.busy(); }, kOutcomeWaitMs) &&
               (QTest::qWait(50), true); // the outcome runs from the event loop
    }

    ClientWorld world;
    ReportSettings reportSettings;
    FakeReporter reporter;
    CurrentOperator op;
    DeviceReportIntake intake{world.settings, reportSettings, world.contacts, world.events, reporter};
    // The server hands a device's own callback request to the commands.
    DatagramServer server{world.settings, world.registry, intake, commands, world.ui};
    CommandRequester requester{server, world.registry, kAttemptWaitMs};
    DeviceCommands commands{requester, world.registry, world.internalRaiser, op, world.ui};
    RecordingView view;
    CommandDevice device;
    PrimaryClient* client = nullptr;
};

} // namespace

TEST(DeviceCommandsTest, DetailsQueryOutcomes) {
    struct Case {
        const char* name;
        CommandDeviceOptions device;
        int copies;        // copies of the request the device saw
        const char* model; // shown in the dialog; null: no dialog
        bool pgm, line, cellular, note;
        const char* message;
    };
    CommandDeviceOptions second;
    second.answerFromAttempt = 2;
    CommandDeviceOptions never;
    never.answerFromAttempt = 0;
    CommandDeviceOptions model9;
    model9.model = 9;
    CommandDeviceOptions refused;
    refused.refuseCode = 4;
    CommandDeviceOptions stale;
    stale.staleUntilAttempt = 2;
    stale.answerFromAttempt = 2;
    const Case cases[] = {
        {"answered at the second attempt", second, 2, "Tavi-UG Rev. 1.2", true, true, true, false, ""},
        {"never answered", never, 3, "", false, false, false, true, "Tempo esgotado!"},
        {"model 9", model9, 1, "Unknown!", true, false, false, false, ""},
        {"refused", refused, 1, nullptr, false, false, false, false, "Erro de comunicacão"},
        {"another sequence counts as no answer", stale, 2, "Tavi-UG Rev. 1.2", true, true, true, false, ""},
    };
    for (const Case& c : cases) {
        CommandBench bench(c.device);
        bench.commands.showDetails(bench.client, QStringLiteral("Loja"), ClientStatus::Online);
        ASSERT_TRUE(bench.settled()) << c.name;
        const QList<CommandDevice::Request>& requests = bench.device.requests();
        ASSERT_EQ(requests.size(), c.copies) << c.name;
        for (const CommandDevice::Request& r : requests) {
            EXPECT_EQ(r.code, 5) << c.name;
            EXPECT_EQ(r.sequence, 501) << c.name << ": every attempt repeats the sequence";
        }
        EXPECT_EQ(bench.lastMessage(), QString::fromUtf8(c.message)) << c.name;
        ASSERT_EQ(bench.view.shown.size(), c.model ? 1 : 0) << c.name;
        EXPECT_EQ(bench.view.busyCalls, (QList<QPair<int, bool>>{{1, true}, {1, false}})) << c.name;
        if (!c.model)
            continue;
        const RecordingView::Shown& shown = bench.view.shown.first();
        EXPECT_EQ(shown.model, QString::fromLatin1(c.model)) << c.name;
        const std::array<bool, 4> sections{shown.pgm, shown.line, shown.cellular, shown.note};
        const std::array<bool, 4> expected{c.pgm, c.line, c.cellular, c.note};
        EXPECT_EQ(sections, expected) << c.name;
        if (!c.note) {
            EXPECT_EQ(shown.port, QString::number(bench.device.port())) << c.name;
        }
    }
}

TEST(DeviceCommandsTest, CallbackOutcomes) {
    struct Case {
        const char* name;
        CommandDeviceOptions device;
        bool cancelBusy;
        QList<quint8> codes;  // requests the device saw
        const char* question; // the OK/Cancel box, if any
        const char* message;  // the last message box
    };
    CommandDeviceOptions never;
    never.answerFromAttempt = 0;
    CommandDeviceOptions busy;
    busy.refuseCode = 7;
    CommandDeviceOptions failed;
    failed.refuseCode = 10;
    const char* busyText = "Tavi ocupado! Seção cancelada";
    const Case cases[] = {
        {"sent", {}, false, {2}, "", "Callback enviado"},
        {"a single attempt without answer", never, false, {2}, "", "Erro de comunicacão"},
        {"callback failed", failed, false, {2}, "", "Callback erro"},
        // Busy with a session: OK leaves it, Cancel closes the session (the device answers that).
        {"busy, OK", busy, false, {2}, busyText, ""},
        {"busy, Cancel", busy, true, {2, 15}, busyText, "Seção atal será fechada"},
    };
    for (const Case& c : cases) {
        CommandBench bench(c.device);
        bench.ui().queueAnswer(!c.cancelBusy);
        bench.commands.sendCallback(bench.client, QStringLiteral("10.1.2.3"), QStringLiteral("5050"));
        ASSERT_TRUE(bench.settled()) << c.name;
        ASSERT_TRUE(bench.settled()) << c.name; // the session close, when there is one
        QList<quint8> codes;
        for (const CommandDevice::Request& r : bench.device.requests())
            codes << r.code;
        EXPECT_EQ(codes, c.codes) << c.name;
        EXPECT_EQ(bench.ui().questions.value(0), QString::fromUtf8(c.question)) << c.name;
        EXPECT_EQ(bench.lastMessage(), QString::fromUtf8(c.message)) << c.name;
        // The operator's callback is an internal event ("Callback enviado", 1002) raised before it starts.
        ASSERT_FALSE(bench.world.events.internalEvents.isEmpty()) << c.name;
        EXPECT_EQ(bench.world.events.internalEvents.first().internalCode, 1002) << c.name;
        EXPECT_EQ(bench.device.requests().first().payload.toHex(), QByteArray("0a010203ba13")) << c.name;
    }
}

TEST(DeviceCommandsTest, ACallbackRequestDatagramReachesTheDeviceWithoutAMessage) {
    CommandBench bench;
    // The device asks for a callback to the address it speaks from: the server's answer, then the command.
    QUdpSocket asker;
    ASSERT_TRUE(asker.bind(QHostAddress::LocalHost, 0));
    DatagramBuffer request{};
    request[kOffType] = kTypeAcknowledged;
    request[kOffFlags] = kFlagsRequest;
    writeU32(request, kOffDeviceId, 0x0000BEEF);
    writeU16(request, kOffSequence, 9);
    request[kOffCode] = kCodeCallback;
    request[kOffAnswerKind] = kKindAnswer;
    request[kOffKind] = kKindRequest;
    writeU16(request, kHeaderLength, kAccount);
    writeU16(request, kHeaderLength + 2, 6001);
    const int padded = SealDatagram(request, kCallbackPayloadLength);
    asker.writeDatagram(reinterpret_cast<const char*>(request.data()), kFrameOverhead + padded, QHostAddress::LocalHost,
                        bench.server.boundPort());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !bench.device.requests().isEmpty(); }, kOutcomeWaitMs));
    ASSERT_TRUE(bench.settled());
    const CommandDevice::Request& sent = bench.device.requests().first();
    EXPECT_EQ(sent.code, 2);
    EXPECT_EQ(sent.payload.toHex(), QByteArray("ffffffff7117")) << "the client's own address: four 0xFF octets";
    EXPECT_TRUE(bench.ui().messages.isEmpty());
    EXPECT_FALSE(bench.client->remoteCallback);
    EXPECT_TRUE(bench.world.events.internalEvents.isEmpty()) << "no operator event for a device's own request";
}

TEST(DeviceCommandsTest, PgmTogglesFromTheOpenDialog) {
    struct Case {
        const char* name;
        bool wrongIndex;
        bool stateAfter;
        const char* message;
    };
    for (const Case& c : {Case{"confirmed", false, true, "Executado com sucesso!"},
                          Case{"another PGM named", true, false, "Erro no comando"}}) {
        CommandDeviceOptions options;
        options.wrongPgmIndex = c.wrongIndex;
        CommandBench bench(options);
        bool toggled = false;
        bench.view.whileOpen = [&](DeviceDetailsForm& form) {
            form.togglePgm(1);
            EXPECT_TRUE(form.busy());
            form.togglePgm(2); // refused while the first one runs
            toggled = QTest::qWaitFor([&] { return !form.busy(); }, kOutcomeWaitMs);
            QTest::qWait(50);
            EXPECT_EQ(form.pgm(1), c.stateAfter) << c.name;
        };
        bench.commands.showDetails(bench.client, QStringLiteral("Loja"), ClientStatus::Online);
        ASSERT_TRUE(QTest::qWaitFor([&] { return toggled; }, kOutcomeWaitMs)) << c.name;
        ASSERT_EQ(bench.device.requests().size(), 2) << c.name;
        EXPECT_EQ(bench.device.requests()[1].payload.toHex(), QByteArray("0100")) << c.name;
        EXPECT_EQ(bench.lastMessage(), QString::fromUtf8(c.message)) << c.name;
    }
}

TEST(DeviceCommandsTest, StrayAnswersAndARemovedClientEndNothingWrongly) {
    // A forged answer from another address, with the right device and sequence, is not the device's.
    {
        CommandDeviceOptions silent;
        silent.answerFromAttempt = 0;
        CommandBench bench(silent);
        QUdpSocket forger;
        ASSERT_TRUE(forger.bind(QHostAddress(QStringLiteral("127.0.0.2")), 0));
        QObject::connect(&bench.device, &CommandDevice::requestReceived, [&](const CommandDevice::Request& r) {
            DatagramBuffer forged{};
            forged[kOffType] = kTypeAcknowledged;
            forged[kOffFlags] = kFlagsAnswer;
            writeU32(forged, kOffDeviceId, kDeviceId);
            writeU16(forged, kOffSequence, r.sequence);
            forged[kOffCode] = DeviceCommand::kCodeDetails;
            forged[kOffAnswerKind] = kKindAnswer;
            forged[kOffKind] = kKindAnswer;
            const int padded = SealDatagram(forged, 0);
            forger.writeDatagram(reinterpret_cast<const char*>(forged.data()), kFrameOverhead + padded,
                                 QHostAddress::LocalHost, bench.server.boundPort());
        });
        bench.commands.showDetails(bench.client, QStringLiteral("Loja"), ClientStatus::Online);
        ASSERT_TRUE(bench.settled());
        EXPECT_EQ(bench.device.requests().size(), 3);
        EXPECT_EQ(bench.lastMessage(), QStringLiteral("Tempo esgotado!"));
    }
    // The client is removed while its query waits: no dialog, no message, the page is free again.
    {
        CommandDeviceOptions silent;
        silent.answerFromAttempt = 0;
        CommandBench bench(silent);
        bench.commands.showDetails(bench.client, QStringLiteral("Loja"), ClientStatus::Online);
        bench.world.transitions.discard(*bench.client);
        bench.client = nullptr;
        ASSERT_TRUE(bench.settled());
        EXPECT_TRUE(bench.view.shown.isEmpty());
        EXPECT_TRUE(bench.ui().messages.isEmpty());
        EXPECT_EQ(bench.view.busyCalls.last(), qMakePair(1, false));
        EXPECT_EQ(bench.device.requests().size(), 1) << "no attempt after the removal";
    }
    // A second command while one runs is refused; the next one after it works.
    {
        CommandBench bench;
        ASSERT_TRUE(bench.requester.SendCommand(*bench.client, DeviceCommand::kCodeLineSwitch, QByteArray(1, '\2'), 3,
                                                [](auto) {}));
        EXPECT_FALSE(bench.requester.SendCommand(*bench.client, DeviceCommand::kCodeDetails, {}, 3, [](auto) {}));
        ASSERT_TRUE(bench.settled());
        bench.commands.showDetails(bench.client, QStringLiteral("Loja"), ClientStatus::Online);
        ASSERT_TRUE(bench.settled());
        EXPECT_EQ(bench.view.shown.size(), 1);
    }
}
