#include "reporting/ReportStartup.h"

#include "common/StringTable.h"
#include "reporting/ReportConfigFile.h"
#include "reporting/ReportSender.h"
#include "tests/reporting/ReportTestPeers.h"
#include "tests/support/RecordingUserInterface.h"
#include "tests/support/TempDataDir.h"

#include <QTest>

#include <gtest/gtest.h>

namespace {

class ReportStartup : public ::testing::Test {
protected:
    // Stores mode with the pseudo-terminal as serial port; a fresh sender
    // starts from it as at program start.
    void store(ReportMode mode) {
        ReportSettings stored;
        stored.mode = mode;
        stored.serialPort = pty.slavePath();
        ASSERT_TRUE(SaveReportConfig(dir.dataDirectory(), stored, false));
        settings = ReportSettings{};
        raiser.reset();
        sender.reset();
        ReportLimits limits;
        limits.busyMs = 1000;
        sender = std::make_unique<ReportSender>(settings, ui, limits);
        raiser = std::make_unique<FakeInternalRaiser>(*sender, table);
        sender->setReportingEvents(raiser.get());
    }

    TempDataDir dir;
    PtyReceiver pty;
    ReportSettings settings;
    bool logAll = false;
    InternalEventTable table;
    RecordingUserInterface ui;
    std::unique_ptr<ReportSender> sender;
    std::unique_ptr<FakeInternalRaiser> raiser;
};

} // namespace

TEST_F(ReportStartup, StoredSerialModeWithoutAnySerialPortRunsWithReportingOff) {
    store(ReportMode::Serial);
    int listed = 0;
    StartStoredReporting(dir.dataDirectory(), settings, logAll, *sender, ui, [&] {
        ++listed;
        return QStringList{};
    });
    EXPECT_EQ(listed, 1);
    ASSERT_EQ(ui.messages.size(), 1);
    EXPECT_EQ(ui.messages[0].text, QStringLiteral("Nenhuma porta serial encontrada"));
    EXPECT_EQ(ui.messages[0].icon, UserInterface::Icon::Error);
    EXPECT_EQ(sender->appliedMode(), ReportMode::Off);
    EXPECT_EQ(settings.mode, ReportMode::Off);
    EXPECT_EQ(settings.serialPort, pty.slavePath()); // the other stored settings stay
    EXPECT_EQ(ui.statusFields.value(StatusField::ReportMode), QStringLiteral("Desligado"));
    EXPECT_TRUE(sender->startupFinished());

    std::optional<ReportResult> result;
    ReportRequest request;
    request.account = request.reportAccount = 0x1234;
    request.code = 1130;
    sender->ReportEvent(request, [&](ReportResult r) { result = r; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return result.has_value(); }, 2000));
    EXPECT_EQ(*result, ReportResult::NotSent);
    EXPECT_TRUE(pty.messages.isEmpty());
}

TEST_F(ReportStartup, StoredSerialModeStartsWhenPortsAreListedAndOtherModesSkipTheList) {
    store(ReportMode::Serial);
    StartStoredReporting(dir.dataDirectory(), settings, logAll, *sender, ui,
                         [&] { return QStringList{pty.slavePath()}; });
    EXPECT_TRUE(ui.messages.isEmpty());
    EXPECT_EQ(sender->appliedMode(), ReportMode::Serial);
    EXPECT_EQ(settings.mode, ReportMode::Serial);
    EXPECT_TRUE(raiser->raised.isEmpty()); // no ON event at start-up

    store(ReportMode::Off);
    int listed = 0;
    StartStoredReporting(dir.dataDirectory(), settings, logAll, *sender, ui, [&] {
        ++listed;
        return QStringList{};
    });
    EXPECT_EQ(listed, 0);
    EXPECT_TRUE(ui.messages.isEmpty());
    EXPECT_EQ(sender->appliedMode(), ReportMode::Off);
}
