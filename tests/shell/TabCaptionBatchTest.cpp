#include "shell/ui/TabCaptionBatch.h"
#include "shell/ui/MainFrame.h"

#include <QCoreApplication>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QTimerEvent>

#include <gtest/gtest.h>

#include <ostream>
#include <vector>

namespace {

struct Announcement {
    int tab;
    const char* caption;
    bool highlight;
};

struct CaptionCase {
    const char* name;
    int selectedTab;
    std::vector<Announcement> announcements; // in one pass, before the batch ends
};

void PrintTo(const CaptionCase& c, std::ostream* out) {
    *out << c.name;
}

class TabCaptionBatches : public ::testing::TestWithParam<CaptionCase> {};

} // namespace

// However many captions a batch collects, the tabs show nothing of them until
// it ends, and then exactly what announcing each caption at once would have left.
TEST_P(TabCaptionBatches, TabsEndAsTheLastAnnouncementLeftThem) {
    const CaptionCase& c = GetParam();
    CMainFrame direct;
    CMainFrame batched;
    direct.tabs()->setCurrentIndex(c.selectedTab);
    batched.tabs()->setCurrentIndex(c.selectedTab);
    TabCaptionBatch batch(batched);

    for (const Announcement& a : c.announcements) {
        direct.setTabCaption(a.tab, QString::fromUtf8(a.caption), a.highlight);
        batch.post(a.tab, QString::fromUtf8(a.caption), a.highlight);
    }
    CMainFrame untouched;
    for (int tab = 0; tab < CMainFrame::kPageCount; ++tab)
        EXPECT_EQ(batched.tabs()->tabText(tab), untouched.tabs()->tabText(tab)) << "before the batch ends, tab " << tab;

    // The batch interval ends: its timer fires once.
    auto* timer = batch.findChild<QTimer*>(QStringLiteral("tabCaptionTimer"));
    ASSERT_NE(timer, nullptr);
    ASSERT_TRUE(timer->isActive());
    EXPECT_LE(timer->interval(), 1000 / 20);
    QTimerEvent tick(timer->timerId());
    QCoreApplication::sendEvent(timer, &tick);

    for (int tab = 0; tab < CMainFrame::kPageCount; ++tab) {
        EXPECT_EQ(batched.tabs()->tabText(tab), direct.tabs()->tabText(tab)) << "tab " << tab;
        EXPECT_EQ(batched.tabs()->tabBar()->tabTextColor(tab), direct.tabs()->tabBar()->tabTextColor(tab))
            << "tab " << tab;
    }
    EXPECT_FALSE(timer->isActive());
}

INSTANTIATE_TEST_SUITE_P(
    Bursts, TabCaptionBatches,
    ::testing::Values(
        CaptionCase{"CountsOfOneTab", 0, {{1, "Online (1)", true}, {1, "Online (2)", true}, {1, "Online (3)", true}}},
        CaptionCase{
            "ClientsMovingBetweenTwoTabs",
            0,
            {{2, "Offline (2)", false}, {1, "Online (1)", true}, {2, "Offline (1)", false}, {1, "Online (2)", true}}},
        CaptionCase{"EmptiedListLosesItsHighlight", 0, {{4, "Novos (1)", true}, {4, "Novos", false}}},
        CaptionCase{"SelectedTabIsNeverHighlighted", 1, {{1, "Online (1)", true}, {2, "Offline (4)", true}}}),
    [](const ::testing::TestParamInfo<CaptionCase>& info) { return std::string(info.param.name); });
