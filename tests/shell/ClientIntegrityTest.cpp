#include "clients/ClientPagePanel.h"
#include "clients/ClientPages.h"
#include "clients/ClientRegistry.h"
#include "config/Operators.h"
#include "tests/shell/ReceiverFixture.h"
#include "tests/support/RecordingUserInterface.h"
#include "tests/support/ScriptedClientDialogs.h"

using namespace ReceiverFixture;

namespace {

// Devices on loopback that send bursts of reports and count the answers.
struct Devices {
    explicit Devices(quint16 serverPort) : port(serverPort) { EXPECT_TRUE(socket.bind(QHostAddress::LocalHost, 0)); }

    // count reports of device deviceId for account; true once every one was answered.
    bool burst(quint32 deviceId, quint16 account, int count) {
        for (int i = 0; i < count; ++i)
            socket.writeDatagram(eventReport(deviceId, ++sequence, 1130, 1, 5, account), QHostAddress::LocalHost, port);
        sent += count;
        return QTest::qWaitFor(
            [this] {
                while (socket.hasPendingDatagrams()) {
                    socket.receiveDatagram();
                    ++answered;
                }
                return answered == sent;
            },
            5000);
    }

    QUdpSocket socket;
    quint16 port;
    quint16 sequence = 0;
    int sent = 0;
    int answered = 0;
};

} // namespace

// Records are replaced by the other variant and removed by operator commands
// while devices keep reporting for them; the pages, the registry and the
// monitor must never reach a freed record (the sanitizer build proves it).
TEST(ClientIntegrityTest, RecordsReplacedAndRemovedWhileTheirDevicesReportLeaveNothingBehind) {
    TempDataDir dir;
    writeDataFiles(dir);
    RecordingUserInterface ui;
    Receiver receiver(dir.path(), ui);
    ASSERT_TRUE(receiver.start());
    ServerCore& core = receiver.core;
    core.operators().logIn(OperatorTable::kAdministrator, core.currentOperator());
    ScriptedClientDialogs dialogs;
    core.setClientDialogHost(&dialogs);
    Devices devices(core.datagramServer().boundPort());
    ClientRegistry& registry = core.registry();
    ClientPagePanel& online = core.panel(ClientStatus::Online);
    const int kBurst = 100; // more than a reading round of the datagram server

    for (int round = 0; round < 3; ++round) {
        // A new client, heard from at once: it moves to the Online page.
        dialogs.clientSetup << ScriptedClientDialogs::save<ClientSetupForm>([](auto& f) {
            f.account = QStringLiteral("2001");
            f.name = QStringLiteral("Farmacia");
        });
        core.panel(ClientStatus::New).newClient();
        ASSERT_TRUE(devices.burst(0x2001, 0x2001, kBurst));
        ASSERT_NE(registry.FindPrimary(0x2001), nullptr);

        // It becomes a dependent of 1001 while both devices report for it.
        dialogs.clientData << ScriptedClientDialogs::save<ClientDataForm>([](auto& f) {
            f.dependent = true;
            f.primaryAccount = QStringLiteral("1001");
        });
        online.setNameText(QStringLiteral("Farmacia"));
        online.editClient();
        ASSERT_EQ(registry.FindPrimary(0x2001), nullptr);
        ASSERT_TRUE(devices.burst(0x1001, 0x2001, kBurst));
        ASSERT_TRUE(devices.burst(0x2001, 0x2001, kBurst));
        core.monitor().tick();

        // Back to a primary, picked in the dependents box of 1001.
        online.setNameText(QStringLiteral("Padaria Central"));
        online.pickRow(core.pages().online().FindRow(registry.FindPrimary(0x1001)));
        dialogs.clientData << ScriptedClientDialogs::save<ClientDataForm>([](auto& f) { f.dependent = false; });
        online.editDependent();
        ASSERT_NE(registry.FindPrimary(0x2001), nullptr);
        ASSERT_TRUE(devices.burst(0x2001, 0x2001, kBurst));

        // Blocked, then removed, with its device still reporting in between.
        dialogs.clientData << ScriptedClientDialogs::button3();
        online.setNameText(QStringLiteral("Farmacia"));
        online.editClient();
        ASSERT_TRUE(devices.burst(0x2001, 0x2001, kBurst));
        dialogs.clientData << ScriptedClientDialogs::button3();
        core.panel(ClientStatus::Blocked).setNameText(QStringLiteral("Farmacia"));
        core.panel(ClientStatus::Blocked).editClient();
        ASSERT_EQ(registry.FindPrimary(0x2001), nullptr);
        ASSERT_TRUE(devices.burst(0x2001, 0x2001, kBurst));
        core.monitor().tick();
    }

    // Every row still names a live record.
    for (int status = ClientStatus::Online; status <= ClientStatus::New; ++status) {
        ClientPageModel* page = core.pages().PageForStatus(status);
        for (int row = 0; row < page->rowCount(); ++row)
            EXPECT_EQ(registry.findBySerial(page->clientAt(row)->serial), page->clientAt(row)) << status << "/" << row;
    }
    EXPECT_EQ(core.pages().online().rowCount(), 1);
    EXPECT_EQ(devices.answered, devices.sent);
}
