#include "shell/ui/MainFrame.h"
#include "common/UserInterface.h"
#include "shell/CommandLine.h"
#include "shell/ui/InfoBar.h"

#include <QAction>
#include <QSignalSpy>
#include <QTabWidget>

#include <gtest/gtest.h>

TEST(CommandLineTest, DataDirectoryDefaultsToExecutableDirectoryAndRejectsUnknownOptions) {
    EXPECT_EQ(CommandLine::parse({"atalaia"}, "/opt/atalaia").dataDir, QStringLiteral("/opt/atalaia"));
    EXPECT_EQ(CommandLine::parse({"atalaia", "--data-dir", "/srv/a"}, "/opt").dataDir, QStringLiteral("/srv/a"));
    EXPECT_EQ(CommandLine::parse({"atalaia", "--data-dir=/srv/b"}, "/opt").dataDir, QStringLiteral("/srv/b"));
    EXPECT_FALSE(CommandLine::parse({"atalaia", "--data-dir"}, "/opt").ok);
    EXPECT_FALSE(CommandLine::parse({"atalaia", "--bogus"}, "/opt").ok);
    const CommandLine service = CommandLine::parse({"atalaia", "--headless", "--metrics-port=9100"}, "/opt");
    EXPECT_TRUE(service.headless);
    EXPECT_EQ(service.metricsPort, std::optional<quint16>(9100));
    EXPECT_FALSE(CommandLine::parse({"atalaia"}, "/opt").metricsPort) << "off unless asked for";
    EXPECT_FALSE(CommandLine::parse({"atalaia", "--metrics-port", "70000"}, "/opt").ok);
}

TEST(MainFrameTest, SixTabsAndViewMenuOnlyOnEventsTab) {
    CMainFrame frame;
    QTabWidget* tabs = frame.tabs();
    ASSERT_EQ(tabs->count(), 6);
    EXPECT_EQ(tabs->tabText(0), QStringLiteral("Eventos"));
    EXPECT_EQ(tabs->tabText(5), QStringLiteral("Configuração"));

    auto* showAll = frame.findChild<QAction*>(QStringLiteral("actionShowAll"));
    auto* select = frame.findChild<QAction*>(QStringLiteral("actionSelectClient"));
    ASSERT_TRUE(showAll && select);
    EXPECT_TRUE(showAll->isEnabled());
    tabs->setCurrentIndex(2);
    EXPECT_FALSE(showAll->isEnabled());
    EXPECT_FALSE(select->isEnabled());
    tabs->setCurrentIndex(0);
    EXPECT_TRUE(select->isEnabled());

    // A page put in later keeps its tab caption and position.
    auto* page = new QWidget;
    frame.setPage(1, page);
    EXPECT_EQ(tabs->widget(1), page);
    EXPECT_EQ(tabs->tabText(1), QStringLiteral("Online"));
    frame.setTabCaption(1, QStringLiteral("Online (3)"), true);
    EXPECT_EQ(tabs->tabText(1), QStringLiteral("Online (3)"));

    // Closing only asks: the run's shutdown decides when the window goes.
    frame.show();
    QSignalSpy closeRequests(&frame, &CMainFrame::closeRequested);
    EXPECT_FALSE(frame.close());
    EXPECT_EQ(closeRequests.size(), 1);
    EXPECT_TRUE(frame.isVisible());
}

TEST(InfoBarTest, FieldsShowTheirTexts) {
    CInfoBar bar;
    bar.setField(StatusField::Internet, QStringLiteral("Online"));
    EXPECT_EQ(bar.field(StatusField::Internet), QStringLiteral("Online"));
    EXPECT_EQ(bar.field(StatusField::ReportMode), QStringLiteral("Desligado"));
}
