#include "events/InternalEventEditor.h"
#include "events/InternalEventForwarder.h"
#include "events/ui/InternalEventsSection.h"
#include "tests/events/InternalEventFakes.h"
#include "tests/support/RecordingUserInterface.h"
#include "tests/support/TempDataDir.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using namespace internal_event_test;

namespace {

template <typename T> T* control(QWidget& section, int id) {
    return section.findChild<T*>(InternalEventsSection::objectNameFor(id));
}

} // namespace

TEST(InternalEventSectionTest, EditarUnlocksTheControlsAndTheViewFollowsTheEditor) {
    TempDataDir dir;
    InternalEventTable table;
    FakeReporter reporter;
    reporter.immediateResult = ReportResult::Failed;
    CopyingEventRaiser events;
    RecordingUserInterface ui;
    InternalEventForwarder forwarder(table, reporter, events);
    InternalEventEditor editor(table, dir.dataDirectory(), forwarder, ui);
    InternalEventsSection section(editor);

    using namespace InternalEventIds;
    EXPECT_EQ(section.title(), QStringLiteral("Eventos Internos"));
    EXPECT_EQ(control<QLabel>(section, kFirstRowLabel + 7)->text(), QStringLiteral("Falha na Internet"));
    auto* cid = control<QLineEdit>(section, kCidField);
    auto* offline = control<QCheckBox>(section, kFirstRowCheck + InternalEvent::ClientOffline - 1);
    auto* edit = control<QCheckBox>(section, kEdit);
    auto* save = control<QPushButton>(section, kSave);
    auto* send = control<QPushButton>(section, kSend);
    ASSERT_TRUE(cid && offline && edit && save && send);
    EXPECT_EQ(cid->text(), QStringLiteral("FFFF"));
    EXPECT_FALSE(cid->isEnabled());
    EXPECT_FALSE(offline->isEnabled());
    EXPECT_FALSE(save->isEnabled());
    EXPECT_FALSE(send->isEnabled());
    EXPECT_EQ(control<QCheckBox>(section, kFirstRowCheck - 1), nullptr) << "row 0 has no check box";

    QTest::mouseClick(edit, Qt::LeftButton);
    EXPECT_TRUE(editor.editing());
    EXPECT_TRUE(cid->isEnabled());
    cid->selectAll();
    QTest::keyClicks(cid, QStringLiteral("1a2bz"));
    EXPECT_EQ(cid->text(), QStringLiteral("1a2b")) << "four hexadecimal digits at most";
    EXPECT_TRUE(save->isEnabled());
    offline->click();
    EXPECT_TRUE(table.row(InternalEvent::ClientOffline).enabled);

    QTest::mouseClick(save, Qt::LeftButton);
    EXPECT_EQ(table.settings.cidAccount, 0x1A2B);
    EXPECT_FALSE(save->isEnabled());
    EXPECT_TRUE(dir.exists(QStringLiteral("LocalEvents.lst")));

    editor.setAppliedReportMode(ReportMode::Dc09);
    ASSERT_TRUE(send->isEnabled());
    QTest::mouseClick(send, Qt::LeftButton);
    EXPECT_EQ(control<QLabel>(section, kStatusText)->text(), QStringLiteral("No ACK"));
}
