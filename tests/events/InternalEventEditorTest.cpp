#include "events/InternalEventEditor.h"
#include "events/InternalEventForwarder.h"
#include "tests/events/InternalEventFakes.h"
#include "tests/support/RecordingUserInterface.h"
#include "tests/support/TempDataDir.h"

#include <gtest/gtest.h>

using namespace internal_event_test;

namespace {

struct EditorFixture {
    EditorFixture() {
        table.row(0).code = 601;
        editor.refresh();
    }

    TempDataDir dir;
    InternalEventTable table;
    FakeReporter reporter;
    CopyingEventRaiser events;
    RecordingUserInterface ui;
    InternalEventForwarder forwarder{table, reporter, events};
    InternalEventEditor editor{table, dir.dataDirectory(), forwarder, ui};
};

} // namespace

TEST(InternalEventEditorTest, EditarTakesTheFieldsWithTheirRanges) {
    EditorFixture f;
    EXPECT_FALSE(f.editor.editing());
    EXPECT_EQ(f.editor.text(InternalEventEditor::CidAccount), QStringLiteral("FFFF"));
    EXPECT_EQ(f.editor.text(InternalEventEditor::FirstCode), QStringLiteral("601"));

    f.editor.setEditing(true);
    EXPECT_TRUE(f.editor.editing());
    f.editor.setText(InternalEventEditor::CidAccount, QStringLiteral("1a2b"));
    f.editor.setText(InternalEventEditor::Dc09Account, QStringLiteral("00ff"));
    f.editor.setText(InternalEventEditor::Partition, QStringLiteral("255"));
    f.editor.setText(InternalEventEditor::Zone, QStringLiteral("65535"));
    f.editor.setText(InternalEventEditor::FirstCode + 7, QStringLiteral("350"));
    EXPECT_EQ(f.table.settings.cidAccount, 0xFFFF) << "typing alone changes nothing in memory";
    f.editor.setEditing(false);
    EXPECT_TRUE(f.ui.messages.isEmpty());
    EXPECT_EQ(f.table.settings.cidAccount, 0x1A2B);
    EXPECT_EQ(f.table.settings.dc09Account, 0x00FF);
    EXPECT_EQ(f.table.settings.partition, 255);
    EXPECT_EQ(f.table.settings.zone, 65535);
    EXPECT_EQ(f.table.row(7).code, 350);

    // The first refused field stops the taking: it and the later fields keep their values.
    f.editor.setText(InternalEventEditor::Dc09Account, QStringLiteral("0001"));
    f.editor.setText(InternalEventEditor::Partition, QStringLiteral("256"));
    f.editor.setText(InternalEventEditor::Zone, QStringLiteral("9"));
    EXPECT_EQ(f.editor.takeFields(), InternalEventEditor::Partition);
    ASSERT_EQ(f.ui.messages.size(), 1);
    EXPECT_EQ(f.ui.messages[0].text, QStringLiteral("Enter an integer between 0 and 255."));
    EXPECT_EQ(f.table.settings.dc09Account, 0x0001);
    EXPECT_EQ(f.table.settings.partition, 255);
    EXPECT_EQ(f.table.settings.zone, 65535);

    f.editor.setText(InternalEventEditor::Partition, QStringLiteral("3"));
    f.editor.setText(InternalEventEditor::FirstCode + 2, QStringLiteral("65536"));
    EXPECT_EQ(f.editor.takeFields(), InternalEventEditor::FirstCode + 2);
    EXPECT_EQ(f.ui.messages.last().text, QStringLiteral("Enter an integer between 0 and 65535."));
    f.editor.setText(InternalEventEditor::FirstCode + 2, QString());
    EXPECT_EQ(f.editor.takeFields(), InternalEventEditor::FirstCode + 2);
    EXPECT_EQ(f.ui.messages.last().text, QStringLiteral("Enter a positive integer."));
    f.editor.setText(InternalEventEditor::FirstCode + 2, QStringLiteral("130"));
    f.editor.setText(InternalEventEditor::CidAccount, QStringLiteral("10000"));
    EXPECT_EQ(f.editor.takeFields(), InternalEventEditor::CidAccount);
    EXPECT_EQ(f.ui.messages.last().text, QStringLiteral("Enter an integer between 0000 and FFFF."));
    f.editor.setText(InternalEventEditor::CidAccount, QStringLiteral("g1"));
    EXPECT_EQ(f.editor.takeFields(), InternalEventEditor::CidAccount);
    EXPECT_EQ(f.table.settings.cidAccount, 0x1A2B);
}

TEST(InternalEventEditorTest, RowFlagsActAtOnceAndSalvarWritesTheFile) {
    EditorFixture f;
    EXPECT_FALSE(f.editor.saveEnabled());
    f.editor.setEditing(true);
    f.editor.setText(InternalEventEditor::FirstCode, QStringLiteral("602"));
    EXPECT_FALSE(f.editor.saveEnabled()) << "row 0's code does not enable Salvar";
    f.editor.setRowEnabled(InternalEvent::ClientOffline, true);
    EXPECT_TRUE(f.table.row(InternalEvent::ClientOffline).enabled) << "live before any saving";
    EXPECT_TRUE(f.editor.saveEnabled());
    f.editor.setRowEnabled(InternalEvent::ManualTest, true);
    EXPECT_FALSE(f.table.row(InternalEvent::ManualTest).enabled) << "row 0 has no flag";

    f.editor.setText(InternalEventEditor::Zone, QStringLiteral("12"));
    f.editor.save();
    EXPECT_FALSE(f.editor.saveEnabled());
    EXPECT_EQ(f.table.row(0).code, 602);
    const QList<QByteArray> lines = f.dir.read(QStringLiteral("LocalEvents.lst")).split('\n');
    ASSERT_GE(lines.size(), 14);
    EXPECT_EQ(lines[0], QByteArray("FFFF FFFF 012 00"));
    EXPECT_EQ(lines[1], QByteArray("602 0 "));
    EXPECT_EQ(lines[13], QByteArray("0 1 "));

    f.editor.setText(InternalEventEditor::Partition, QStringLiteral("4"));
    EXPECT_TRUE(f.editor.saveEnabled());
}

TEST(InternalEventEditorTest, ManualTestSendsRowZeroAndOnlyShowsTheResult) {
    EditorFixture f;
    f.table.settings = InternalEventSettings{0x1A2B, 0x00FF, 12, 3};
    f.editor.refresh();
    EXPECT_FALSE(f.editor.sendEnabled());
    f.editor.sendManualTest();
    EXPECT_TRUE(f.reporter.requests.isEmpty()) << "Enviar does nothing while reporting is off";

    f.editor.setAppliedReportMode(ReportMode::Serial);
    ASSERT_TRUE(f.editor.sendEnabled());
    f.editor.setEditing(true);
    f.editor.setText(InternalEventEditor::FirstCode, QStringLiteral("602"));
    f.editor.sendManualTest();
    ASSERT_EQ(f.reporter.requests.size(), 1);
    const ReportRequest r = f.reporter.requests[0];
    EXPECT_EQ(r.account, 0x1A2B);
    EXPECT_EQ(r.reportAccount, 0x00FF);
    EXPECT_EQ(r.code, 1602) << "the fields are taken before sending";
    EXPECT_EQ(r.partition, 3);
    EXPECT_EQ(r.zone, 12);
    EXPECT_TRUE(f.editor.statusText().isEmpty());
    f.reporter.complete(ReportResult::Failed);
    EXPECT_EQ(f.editor.statusText(), QStringLiteral("No ACK"));

    f.editor.sendManualTest();
    f.reporter.complete(ReportResult::Sent);
    EXPECT_EQ(f.editor.statusText(), QStringLiteral("Success"));
    f.editor.sendManualTest();
    f.reporter.complete(ReportResult::NotSent);
    EXPECT_EQ(f.editor.statusText(), QStringLiteral("Not allowed"));

    EXPECT_TRUE(f.events.lines.isEmpty()) << "no list row, no log line";
    EXPECT_TRUE(f.ui.sounds.isEmpty());

    f.editor.setAppliedReportMode(ReportMode::Off);
    EXPECT_FALSE(f.editor.sendEnabled());
}
