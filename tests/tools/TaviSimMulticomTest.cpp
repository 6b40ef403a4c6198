// The device simulator's Multicom mode against the real listener, sessions and
// protocol over loopback TCP.

#include "device/DeviceReportIntake.h"
#include "device/MulticomListener.h"
#include "device/MulticomProtocol.h"
#include "reporting/ReportSettings.h"
#include "tests/support/ClientWorld.h"
#include "tests/support/FakeReporter.h"

#include <QProcess>
#include <QTest>

#include <gtest/gtest.h>

namespace {

constexpr quint16 kAccount = 0x0B20;
constexpr int kRunMs = 20000;

struct MulticomServer {
    MulticomServer() {
        reporter.immediateResult = ReportResult::Sent;
        client = ClientBuilder(world).multicom(kAccount, "A1B2C3");
    }

    // Runs tavi-sim with the arguments while the server's event loop turns; its exit code and output.
    std::pair<int, QString> run(QStringList arguments) {
        arguments << QStringLiteral("--multicom") << QStringLiteral("--port")
                  << QString::number(listener.listeningPort()) << QStringLiteral("--timeout") << QStringLiteral("5000")
                  << QStringLiteral("--interval") << QStringLiteral("0");
        QProcess sim;
        sim.setProcessChannelMode(QProcess::MergedChannels);
        sim.start(QStringLiteral(TAVI_SIM_PATH), arguments);
        EXPECT_TRUE(QTest::qWaitFor([&] { return sim.state() == QProcess::NotRunning; }, kRunMs));
        return {sim.exitCode(), QString::fromUtf8(sim.readAll())};
    }

    ClientWorld world;
    ReportSettings reportSettings;
    FakeReporter reporter;
    DeviceReportIntake intake{world.settings, reportSettings, world.contacts, world.events, reporter};
    MulticomProtocol protocol{world.registry, world.transitions, intake};
    MulticomListener listener{world.ui, protocol};
    MulticomClient* client = nullptr;
};

} // namespace

TEST(TaviSimMulticom, EventsAreAcknowledgedAndRaisedAndACallbackIsFetched) {
    MulticomServer server;
    ASSERT_TRUE(server.listener.OpenMulticomListener(0));

    auto [code, output] =
        server.run({"--mac", "A1B2C3", "--account", "0B20", "--code", "3130", "--zone", "7", "--count", "3"});
    EXPECT_EQ(code, 0) << output.toStdString();
    ASSERT_EQ(server.world.events.clientEvents.size(), 3);
    EXPECT_EQ(server.world.events.clientEvents[0].client, server.client);
    EXPECT_EQ(server.world.events.clientEvents[0].code, 3130) << "a restore of event 130";
    EXPECT_EQ(server.world.events.clientEvents[0].zone, 7);
    EXPECT_EQ(server.client->ethAddress, QStringLiteral("127.0.0.1"));

    server.client->pendingCommand = 1;
    server.client->callbackIp = {127, 0, 0, 1};
    server.client->callbackPort = 5060;
    std::tie(code, output) = server.run({"--mac", "A1B2C3", "--keepalive", "--count", "2"});
    EXPECT_EQ(code, 0) << output.toStdString();
    EXPECT_TRUE(output.contains(QStringLiteral("callback to 127.0.0.1:5060"))) << output.toStdString();
    EXPECT_EQ(server.client->pendingCommand, 0);
}
