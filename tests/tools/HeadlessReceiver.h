#pragma once

#include "tests/support/TempDataDir.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include <gtest/gtest.h>

// Runs the "atalaia" program headless on a data directory, as a service
// manager does, for the tests that see it from outside.
namespace headless_receiver {

constexpr int kWaitMs = 10000;

// The first number that follows marker in the process's standard error so far.
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
inline QByteArray startHeadless(QProcess& receiver, const TempDataDir& dir) {
    receiver.start(QStringLiteral(ATALAIA_PATH), {"--headless", "--data-dir", dir.path()});
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

} // namespace headless_receiver
