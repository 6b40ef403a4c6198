// The project's dispatcher "disp.exe" against the report sender's bridge:
// found by its exact executable name, fed through the shared ring.

#include "reporting/ReportSender.h"
#include "tests/reporting/ReportTestPeers.h"
#include "tests/support/RecordingUserInterface.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

#include <sys/mman.h>
#include <unistd.h>

namespace {

constexpr int kWaitMs = 5000;

QStringList placeArguments(const DispatcherNames& names) {
    return {QStringLiteral("--ring"), QString::fromLatin1(names.ring), QStringLiteral("--notify-dir"),
            names.notificationDirectory};
}

} // namespace

TEST(DispExe, FoundByItsExactNameAtTheNextLookAndFedEveryEventButNoHeartbeat) {
    constexpr int kWatchMs = 200; // the watcher's 2000 ms, shortened
    QTemporaryDir dir;
    DispatcherNames names;
    names.ring = QStringLiteral("/atalaia-disp-test-%1").arg(::getpid()).toLatin1();
    // The ring goes with the test, whatever way it ends.
    const std::unique_ptr<const char, void (*)(const char*)> ringRemover(names.ring.constData(),
                                                                         [](const char* ring) { ::shm_unlink(ring); });
    names.notificationDirectory = dir.filePath(QStringLiteral("notify"));
    RecordingUserInterface ui;
    ReportSettings settings;
    ReportLimits limits;
    limits.dispatcher = names;
    limits.dispatcherWatchMs = kWatchMs;
    ReportSender sender(settings, ui, limits);
    ASSERT_TRUE(sender.StartReporting(ReportMode::Dispatcher));
    ASSERT_TRUE(QTest::qWaitFor([&] { return ui.statusFields.value(StatusField::ReportStatus) == "OFF"; }, kWaitMs));

    // The same program under another case is not the dispatcher.
    const QString upper = dir.filePath(QStringLiteral("DISP.EXE"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(DISP_EXE_PATH), upper));
    QProcess impostor;
    impostor.start(upper, placeArguments(names));
    ASSERT_TRUE(impostor.waitForStarted());
    ui.statusHistory.clear();
    ASSERT_TRUE(QTest::qWaitFor([&] { return ui.statusHistory.size() >= 2; }, kWaitMs));
    EXPECT_EQ(ui.statusHistory.last().second, QStringLiteral("OFF")) << "OFF at every look";
    impostor.kill();
    impostor.waitForFinished();

    QProcess dispatcher;
    dispatcher.setProcessChannelMode(QProcess::MergedChannels);
    dispatcher.start(QStringLiteral(DISP_EXE_PATH), placeArguments(names));
    ASSERT_TRUE(dispatcher.waitForStarted());
    QElapsedTimer found;
    found.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return ui.statusFields.value(StatusField::ReportStatus) == "ON"; }, kWaitMs));
    EXPECT_LT(found.elapsed(), 5 * kWatchMs) << "at the next look of the watcher";
    const qsizetype announced = ui.statusHistory.size();
    QTest::qWait(3 * kWatchMs);
    EXPECT_EQ(ui.statusHistory.size(), announced) << "ON once, nothing more while it runs";

    QList<ReportResult> results;
    sender.ReportEvent(ReportRequest{}, [&](ReportResult r) { results.append(r); }); // a heartbeat
    for (quint16 account : {0x0A01, 0x0A02, 0x0A03})
        sender.ReportEvent(event(account), [&](ReportResult r) { results.append(r); });
    ASSERT_TRUE(QTest::qWaitFor([&] { return results.size() == 4; }, kWaitMs));
    EXPECT_EQ(results,
              (QList<ReportResult>{ReportResult::NotSent, ReportResult::Sent, ReportResult::Sent, ReportResult::Sent}));
    QByteArray printed;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            printed += dispatcher.readAll();
            return printed.count("slot ") >= 3;
        },
        kWaitMs))
        << printed.constData();
    EXPECT_TRUE(printed.contains("slot 0: ")) << "the heartbeat took no slot";
    EXPECT_TRUE(printed.contains("slot 2: ")) << printed.constData();
    EXPECT_TRUE(printed.contains("account 0A03 code 1130 partition 01 zone 005")) << printed.constData();
    dispatcher.terminate();
    dispatcher.waitForFinished();
    sender.StopReporting();
}
