#include "shell/ServerCore.h"
#include "clients/ClientRegistry.h"
#include "device/DatagramServer.h"
#include "device/TaviComCodec.h"
#include "events/EventList.h"
#include "events/EventListModel.h"
#include "shell/ui/ServerWindow.h"
#include "tests/shell/ReceiverFixture.h"
#include "tests/support/RecordingUserInterface.h"
#include "tests/support/TempDataDir.h"

#include <QNetworkDatagram>
#include <QSignalSpy>
#include <QTest>
#include <QUdpSocket>

#include <gtest/gtest.h>

using namespace ReceiverFixture;

TEST(ServerCoreTest, AlarmIsAcknowledgedListedLoggedAndTheClientSavedAtShutdown) {
    TempDataDir dir;
    writeDataFiles(dir);
    RecordingUserInterface ui;
    Receiver receiver(dir.path(), ui);
    ServerCore& app = receiver.core;
    ASSERT_TRUE(receiver.start()) << ui.messages.size();
    EXPECT_EQ(ui.questions, QStringList{QStringLiteral("Portas não definidas.\nContinuar?")});
    EXPECT_EQ(ui.statusFields.value(StatusField::Internet), QStringLiteral("Online"));

    const quint16 port = app.datagramServer().boundPort();
    ASSERT_NE(port, 0);
    const QByteArray answer = exchange(port, eventReport(0x1001, 7, 1130, 1, 5));
    ASSERT_EQ(answer.size(), 18);
    EXPECT_EQ(static_cast<quint8>(answer[TaviCom::kOffType]), TaviCom::kTypeAcknowledged);
    EXPECT_EQ(static_cast<quint8>(answer[TaviCom::kOffSequence]), 7);

    // The event is the top row (over the login) and the log's line, with reporting off (NotSent).
    EventListModel& model = app.eventList().model();
    ASSERT_TRUE(QTest::qWaitFor([&model] { return model.eventCount() == 2; }, 2000));
    model.showWaitingRows();
    EXPECT_EQ(model.cellText(0, EventListModel::NameColumn), QStringLiteral("Padaria Central"));
    EXPECT_EQ(model.cellText(0, EventListModel::TextColumn), QStringLiteral("Disparo de alarme de roubo"));
    EXPECT_EQ(model.cellText(0, EventListModel::CodeColumn), QStringLiteral("E 130"));
    const QList<QByteArray> fields = dir.read("Events.log").trimmed().split('\n').last().split('\t');
    ASSERT_EQ(fields.size(), 11);
    EXPECT_EQ(fields[0], QByteArray("3"));
    EXPECT_EQ(fields[2], QByteArray("Padaria Central"));
    EXPECT_EQ(fields[9], QByteArray("TaviCom"));
    EXPECT_EQ(fields[10], QByteArray("Korvo 16IP"));

    // Shutdown writes the client list with the contact; the backup is the same file.
    app.shutdown();
    const QByteArray saved = dir.read("Clients.lst");
    EXPECT_TRUE(saved.contains("\t127.0.0.1\t1\t0\t1\t60\t00001001\r\n")) << saved.constData();
    EXPECT_EQ(dir.read("Backup/Clients.lst"), saved);
    EXPECT_FALSE(app.datagramServer().isRunning());
}

TEST(ServerCoreTest, StartUpEndsWithExitCodeOneWhenDeclinedOrEventTextsMissing) {
    {
        TempDataDir dir; // no "Server.cfg": the first question, answered No
        RecordingUserInterface ui;
        ui.queueAnswer(false);
        ServerCore app(dir.path(), ui);
        EXPECT_FALSE(app.start());
        EXPECT_EQ(app.exitCode(), 1);
        EXPECT_EQ(ui.questions.size(), 1);
    }
    {
        TempDataDir dir;
        writeDataFiles(dir);
        QFile::remove(dir.file("Alarms.lst"));
        RecordingUserInterface ui;
        ServerCore app(dir.path(), ui);
        EXPECT_FALSE(app.start());
        EXPECT_EQ(app.exitCode(), 1);
        ASSERT_FALSE(ui.messages.isEmpty());
        EXPECT_TRUE(ui.messages.last().text.startsWith(QStringLiteral("Arquivo \"Alarm.lst\" faltando")));
    }
}

TEST(ServerCoreTest, TwoReceiversRunSideBySideInOneProcess) {
    TempDataDir dirA;
    TempDataDir dirB;
    writeDataFiles(dirA);
    writeDataFiles(dirB);
    RecordingUserInterface uiA;
    RecordingUserInterface uiB;
    Receiver receiverA(dirA.path(), uiA);
    Receiver receiverB(dirB.path(), uiB);
    ASSERT_TRUE(receiverA.start());
    ASSERT_TRUE(receiverB.start());
    ServerCore& a = receiverA.core;
    ServerCore& b = receiverB.core;
    ASSERT_NE(a.datagramServer().boundPort(), b.datagramServer().boundPort());

    exchange(b.datagramServer().boundPort(), eventReport(0x1001, 1, 1130, 1, 5));
    ASSERT_TRUE(QTest::qWaitFor([&b] { return b.eventList().model().eventCount() == 2; }, 2000));
    EXPECT_EQ(a.eventList().model().eventCount(), 1) << "only its own login";
    EXPECT_FALSE(dirA.read("Events.log").contains("Padaria"));
}

TEST(ServerCoreTest, ShutdownLetsAForwardingUnderWayFinishAndListItsEvent) {
    // Reporting over DC-09 to a station that never answers: the alarm's
    // forwarding is still waiting for its reply when the shutdown begins.
    QUdpSocket station;
    ASSERT_TRUE(station.bind(QHostAddress::LocalHost, 0));
    TempDataDir dir;
    writeDataFiles(dir);
    dir.write("Report.cfg",
              "2\n0\n0\n0\n0\n60\n0\n\n1\n1\n7\n0\n1\n0\n127.0.0.1\n" + QByteArray::number(station.localPort()) + "\n");
    RecordingUserInterface ui;
    ServerCore core(dir.path(), ui);
    ASSERT_TRUE(core.start());
    ASSERT_EQ(core.reportSender().appliedMode(), ReportMode::Dc09);

    ASSERT_EQ(exchange(core.datagramServer().boundPort(), eventReport(0x1001, 1, 1130, 1, 5)).size(), 18);
    ASSERT_TRUE(QTest::qWaitFor([&station] { return station.hasPendingDatagrams(); }, 2000));
    // Normally the forwarding still waits for the station here (a stalled machine may already have failed it).
    const bool stillWaiting = core.eventList().model().eventCount() == 1; // the login alone

    QSignalSpy finished(&core, &ServerCore::shutdownFinished);
    core.beginShutdown();
    EXPECT_FALSE(core.datagramServer().isRunning()) << "no datagram is taken once the shutdown began";
    if (stillWaiting) {
        EXPECT_TRUE(finished.isEmpty()) << "the shutdown waits for the forwarding under way";
    }
    ASSERT_TRUE(!finished.isEmpty() || finished.wait(10000));

    // The event was listed and logged as not acknowledged (with the login and the logout), and the
    // client list written after it.
    core.eventList().model().showWaitingRows();
    ASSERT_EQ(core.eventList().model().rowCount(), 3);
    EXPECT_EQ(core.eventList().model().resultAt(0), int(ReportResult::Failed));
    EXPECT_TRUE(dir.read("Events.log").contains("\n2\t")) << dir.read("Events.log").constData();
    EXPECT_TRUE(dir.read("Clients.lst").contains("\t127.0.0.1\t1\t0\t1\t60\t00001001\r\n"));
}
