#include "common/ProgramVersion.h"
#include "tests/support/TestNames.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStringList>

#include <gtest/gtest.h>

// What a person or a package tool gets from each installed executable before
// running it for real, and what the service's executable brings into memory.

namespace {

constexpr int kWaitMs = 10000;

struct ExecutableCase {
    const char* name;
    const char* path;
};

class ExecutableAnswersTest : public ::testing::TestWithParam<ExecutableCase> {};

struct Answer {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

Answer run(const char* path, const QStringList& arguments) {
    QProcess process;
    process.start(QString::fromLocal8Bit(path), arguments);
    Answer result;
    if (!process.waitForFinished(kWaitMs)) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

} // namespace

TEST_P(ExecutableAnswersTest, HelpAndVersionOnStandardOutput) {
    const Answer help = run(GetParam().path, {"--help"});
    EXPECT_EQ(help.exitCode, 0) << help.err.constData();
    EXPECT_TRUE(help.out.contains("--help")) << help.out.constData();
    EXPECT_TRUE(help.out.contains("--version")) << help.out.constData();

    const Answer version = run(GetParam().path, {"--version"});
    EXPECT_EQ(version.exitCode, 0) << version.err.constData();
    EXPECT_EQ(version.out, QByteArray(GetParam().name) + ' ' + ProgramVersion::text().toLatin1() + '\n');

    const Answer wrong = run(GetParam().path, {"--no-such-option"});
    EXPECT_NE(wrong.exitCode, 0) << "a wrong option is not taken for a run";
    EXPECT_TRUE(wrong.out.isEmpty()) << wrong.out.constData();
}

INSTANTIATE_TEST_SUITE_P(
    Installed, ExecutableAnswersTest,
    ::testing::Values(ExecutableCase{"atalaia", ATALAIA_PATH}, ExecutableCase{"atalaiad", ATALAIAD_PATH},
                      ExecutableCase{"tavi-sim", TAVI_SIM_PATH}, ExecutableCase{"station-sim", STATION_SIM_PATH},
                      ExecutableCase{"dc09-sim", DC09_SIM_PATH}, ExecutableCase{"disp.exe", DISP_EXE_PATH}),
    [](const ::testing::TestParamInfo<ExecutableCase>& info) { return TestNames::fromCaseName<ExecutableCase>(info); });

// The service runs on machines without a desktop: none of the graphical
// libraries may be among those the executable needs, directly or through Qt.
TEST(HeadlessExecutableTest, NeedsNoGraphicalLibrary) {
    QProcess ldd;
    ldd.start(QStringLiteral("ldd"), {QStringLiteral(ATALAIAD_PATH)});
    ASSERT_TRUE(ldd.waitForFinished(kWaitMs));
    ASSERT_EQ(ldd.exitCode(), 0) << ldd.readAllStandardError().constData();
    const QString libraries = QString::fromLocal8Bit(ldd.readAllStandardOutput());
    ASSERT_TRUE(libraries.contains(QStringLiteral("libQt6Core.so"))) << qPrintable(libraries);
    const QRegularExpression graphical(
        QStringLiteral("^\\s*(lib(Qt6Gui|Qt6Widgets|Qt6OpenGL|Qt6DBus|X11|xcb|xkbcommon|EGL|GL|GLX|OpenGL|"
                       "fontconfig|freetype|harfbuzz|png16|wayland-[a-z]+)[.-][^\\s]*)"),
        QRegularExpression::MultilineOption);
    QStringList found;
    for (auto match = graphical.globalMatch(libraries); match.hasNext();)
        found << match.next().captured(1);
    EXPECT_TRUE(found.isEmpty()) << qPrintable(found.join(QLatin1Char(' ')));
}
