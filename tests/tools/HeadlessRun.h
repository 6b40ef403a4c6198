#pragma once

#include "tests/support/TempDataDir.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <QTest>

#include <gtest/gtest.h>

// Runs of the headless receiver executable on a data directory of a test's own.
namespace HeadlessRun {

constexpr int kWaitMs = 10000;

// The first number that follows marker in the process's output so far.
inline int numberAfter(const QByteArray& output, const char* marker) {
    const QRegularExpressionMatch match =
        QRegularExpression(QString::fromLatin1(marker) + QStringLiteral("(\\d+)")).match(QString::fromUtf8(output));
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

// A copy of the demo data directory with UDP port 0 (a free port) and no "Server.ini".
inline void copyDemo(const TempDataDir& dir) {
    const QDir demo(QStringLiteral(ATALAIA_DEMO_DIR));
    for (const QString& name : demo.entryList(QDir::Files))
        QFile::copy(demo.filePath(name), dir.file(name));
    QFile::remove(dir.file("Server.ini"));
    QByteArray config = dir.read("Server.cfg");
    config.replace(
        QRegularExpression(QStringLiteral("UDP \\d+")).match(QString::fromLatin1(config)).captured(0).toLatin1(),
        "UDP 0");
    dir.write("Server.cfg", config);
}

// Starts the headless receiver on dir; its standard error up to the line that says it receives.
// By default "atalaia --headless"; program may name atalaiad, which is the same receiver.
inline QByteArray startHeadless(QProcess& receiver, const TempDataDir& dir, const QStringList& extraArguments = {},
                                const QString& program = QStringLiteral(ATALAIA_PATH)) {
    const QStringList mode = program == QStringLiteral(ATALAIA_PATH) ? QStringList{"--headless"} : QStringList{};
    receiver.start(program, mode + QStringList{"--data-dir", dir.path()} + extraArguments);
    QByteArray output;
    const bool receiving = QTest::qWaitFor(
        [&] {
            output += receiver.readAllStandardError();
            return numberAfter(output, "receiving on UDP port ") > 0;
        },
        kWaitMs);
    EXPECT_TRUE(receiving) << output.constData();
    return output;
}

} // namespace HeadlessRun
