#include "shell/ServerIniFile.h"
#include "shell/ui/MainFrame.h"

#include <gtest/gtest.h>

namespace {

WindowLayout defaults() {
    WindowLayout layout;
    layout.columnWidths = {QList<int>{25, 80, 160}, {100, 50}, {100, 50}, {100, 50}, {100, 50}};
    return layout;
}

} // namespace

TEST(ServerIniFileTest, ReadsSizeAndWidthsOrFallsBackWhole) {
    struct Case {
        const char* name;
        QByteArray text;
        QSize size; // the defaults' 800 x 613 when the file is damaged
        QList<int> eventWidths;
    };
    const QByteArray widths = "1\t2\t3\r\n4\t5\r\n6\t7\r\n8\t9\r\n10\t11\r\n";
    const Case cases[] = {
        {"whole file", "1024\r\n700\r\n" + widths, {1024, 700}, {1, 2, 3}},
        {"LF line ends and extra blanks", "1024 \n 700\n1 2 3\n4 5\n6 7\n8 9\n10 11\n", {1024, 700}, {1, 2, 3}},
        {"last list line missing", "1024\r\n700\r\n1\t2\t3\r\n4\t5\r\n6\t7\r\n8\t9\r\n", {800, 613}, {25, 80, 160}},
        {"size only", "1024\r\n700\r\n", {800, 613}, {25, 80, 160}},
        {"letters", "1024\r\nabc\r\n" + widths, {800, 613}, {25, 80, 160}},
        {"negative width", "1024\r\n700\r\n-1\t2\t3\r\n4\t5\r\n6\t7\r\n8\t9\r\n10\t11\r\n", {800, 613}, {25, 80, 160}},
        {"huge height", "1024\r\n99999999999\r\n" + widths, {800, 613}, {25, 80, 160}},
        {"zero size", "0\r\n0\r\n" + widths, {800, 613}, {25, 80, 160}},
        {"empty", "", {800, 613}, {25, 80, 160}},
    };
    for (const Case& c : cases) {
        const WindowLayout layout = ServerIniFile::parse(c.text, defaults());
        EXPECT_EQ(layout.size, c.size) << c.name;
        EXPECT_EQ(layout.columnWidths[0], c.eventWidths) << c.name;
        EXPECT_EQ(layout.columnWidths[4].size(), 2) << c.name;
    }
    const WindowLayout whole = ServerIniFile::parse(cases[0].text, defaults());
    EXPECT_EQ(ServerIniFile::serialize(whole), cases[0].text);
}

TEST(MainFrameTest, WindowFitsTheScreenAndIsCentred) {
    const QSize minimum(800, 603);
    const QRect screen(0, 0, 1920, 1040);
    EXPECT_EQ(CMainFrame::placement({1000, 700}, screen, minimum), QRect(460, 170, 1000, 700));
    EXPECT_EQ(CMainFrame::placement({5000, 4000}, screen, minimum).size(), screen.size());
    EXPECT_EQ(CMainFrame::placement({100, 100}, screen, minimum).size(), minimum);
}
