#include "tests/shell/ReceiverFixture.h"
#include "tests/support/HostileFile.h"
#include "tests/support/TempDataDir.h"
#include "tests/support/TestNames.h"
#include "tests/tools/HeadlessRun.h"

#include <QFileInfo>
#include <QProcess>
#include <QTest>
#include <QUdpSocket>

#include <gtest/gtest.h>

#include <csignal>
#include <deque>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

// The receiver run as a service, with something hostile in the place of one
// of its data files: a clear message on standard error, and either a
// receiver that answers a device and stops in order on SIGTERM, or the exit
// that a missing file of that kind gives. Never a hang.

namespace {

using HeadlessRun::copyDemo;
using HeadlessRun::kWaitMs;
using HeadlessRun::numberAfter;

constexpr quint32 kDevice = 0x1001;

enum class Outcome { Runs, Exits };

struct Case {
    const char* name;
    const char* file;
    HostileKind kind;
    Outcome outcome;
    const char* said; // on standard error; "@" for the file's full path
};

// Every hostile kind in the place of each file. Binary junk is a regular
// file: its reader makes of it what it can, and says what it makes of it.
std::vector<Case> cases() {
    static std::deque<std::string> names; // the cases' names live as long as the tests
    struct File {
        const char* name;
        Outcome refused; // what a file refused gives (that of a missing one)
        Outcome junk;    // what binary junk gives
        const char* junkSaid;
    };
    const File files[] = {
        {"Clients.lst", Outcome::Runs, Outcome::Runs, "@"},
        {"Server.cfg", Outcome::Runs, Outcome::Runs, "Portas não definidas"},
        {"Events.log", Outcome::Runs, Outcome::Runs, "receiving on UDP port"},
        {"Alarms.lst", Outcome::Exits, Outcome::Exits, "Erro em evento!"},
        // Junk names no setting: its lines are kept as they are, and the run goes on.
        {"Dc09.cfg", Outcome::Runs, Outcome::Runs, "receiving on UDP port"},
    };
    std::vector<Case> all;
    for (const File& file : files) {
        for (const HostileCase& hostile : hostileCases()) {
            names.push_back(std::string(file.name) + " is " + hostile.name);
            const bool junk = hostile.kind == HostileKind::BinaryJunk;
            const bool hugeLog = hostile.kind == HostileKind::HugeSparse && std::string(file.name) == "Events.log";
            all.push_back({names.back().c_str(), file.name, hostile.kind, junk ? file.junk : file.refused,
                           junk      ? file.junkSaid
                           : hugeLog ? "a lista mostra só os eventos dos últimos"
                                     : "@"});
        }
    }
    return all;
}

// Sends one alarm and waits for its acknowledgement.
bool acknowledges(quint16 port) {
    QUdpSocket device;
    if (!device.bind(QHostAddress::LocalHost, 0))
        return false;
    device.writeDatagram(ReceiverFixture::eventReport(kDevice, 7, 1130, 1, 5), QHostAddress::LocalHost, port);
    return QTest::qWaitFor([&] { return device.hasPendingDatagrams(); }, kWaitMs);
}

// Whether the process has its handler for SIGTERM in place (from /proc: no waiting on a guess).
bool catchesSigterm(qint64 pid) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("SigCgt:")) {
            bool ok = false;
            const quint64 caught = line.mid(7).trimmed().toULongLong(&ok, 16);
            return ok && (caught & (quint64(1) << (SIGTERM - 1)));
        }
    }
    return false;
}

// A failing case is named by its name, not its bytes.
void PrintTo(const Case& c, std::ostream* out) {
    *out << c.name;
}

class HostileDataFileTest : public ::testing::TestWithParam<Case> {};

} // namespace

TEST_P(HostileDataFileTest, SaysSoAndRunsOrEndsAsWithoutTheFileNeverHangs) {
    const Case& c = GetParam();
    TempDataDir dir;
    copyDemo(dir);
    HostileFiles files;
    const QString name = QString::fromLatin1(c.file);
    const QByteArray outside = dir.read(name); // what a link names: the demo's own file
    files.place(dir, name, c.kind, outside);

    QProcess receiver;
    receiver.start(QStringLiteral(ATALAIA_PATH), {"--headless", "--data-dir", dir.path()});
    QByteArray output;
    const auto done = [&] {
        output += receiver.readAllStandardError();
        return receiver.state() == QProcess::NotRunning || numberAfter(output, "receiving on UDP port ") > 0;
    };
    ASSERT_TRUE(QTest::qWaitFor(done, kWaitMs)) << output.constData();
    const QString said = QString::fromUtf8(c.said) == QStringLiteral("@") ? dir.file(name) : QString::fromUtf8(c.said);

    if (c.outcome == Outcome::Exits) {
        ASSERT_TRUE(receiver.state() == QProcess::NotRunning || receiver.waitForFinished(kWaitMs));
        output += receiver.readAllStandardError();
        EXPECT_EQ(receiver.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(receiver.exitCode(), 1) << output.constData();
    } else {
        const int port = numberAfter(output, "receiving on UDP port ");
        ASSERT_GT(port, 0) << output.constData();
        EXPECT_TRUE(acknowledges(quint16(port))) << output.constData();
        receiver.terminate();
        ASSERT_TRUE(receiver.waitForFinished(kWaitMs));
        output += receiver.readAllStandardError();
        EXPECT_EQ(receiver.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(receiver.exitCode(), 0) << output.constData();
        EXPECT_TRUE(dir.exists("Server.ini")) << "the shutdown wrote its files";
    }
    EXPECT_TRUE(QString::fromUtf8(output).contains(said)) << qPrintable(said) << "\n" << output.constData();
    if (c.kind == HostileKind::LinkOutside) {
        EXPECT_EQ(files.outsideContent(name), outside) << "never written through";
    }
}

INSTANTIATE_TEST_SUITE_P(EveryFileAndKind, HostileDataFileTest, ::testing::ValuesIn(cases()),
                         TestNames::fromCaseName<Case>);

// A junk list with a good backup: the clients come from the backup, and the
// backup is whole after the run (never replaced by an empty list).
TEST(HostileDataFilesTest, AJunkClientListGivesWayToTheBackupWhichStaysWhole) {
    TempDataDir dir;
    copyDemo(dir);
    const QByteArray list = dir.read("Clients.lst");
    ASSERT_FALSE(list.isEmpty());
    dir.write("Backup/Clients.lst", list);
    const QByteArray junk = HostileFiles::junk(HostileFiles::kJunkBytes);
    dir.write("Clients.lst", junk);

    QProcess receiver;
    const QByteArray output = HeadlessRun::startHeadless(receiver, dir);
    EXPECT_TRUE(output.contains(dir.file("Backup/Clients.lst").toUtf8())) << output.constData();
    receiver.terminate();
    ASSERT_TRUE(receiver.waitForFinished(kWaitMs));
    EXPECT_EQ(receiver.exitCode(), 0);

    const QByteArray backup = dir.read("Backup/Clients.lst");
    EXPECT_EQ(backup.count('\n'), list.count('\n')) << backup.constData();
    EXPECT_EQ(dir.read("Clients.lst"), backup);
    EXPECT_EQ(dir.read("Clients.lst.bad"), junk) << "the junk is kept as it was";
}

// A SIGTERM while the start reads a large file ends the run in order, soon:
// the start is bounded, and the signal is answered as soon as it is over.
TEST(HostileDataFilesTest, SigtermDuringAStartOnLargeFilesEndsTheRunInOrder) {
    constexpr int kStopMs = 5000;
    constexpr qsizetype kJunkListBytes = 60 << 20;
    const struct {
        const char* name;
        std::function<void(const TempDataDir&)> place;
        qint64 putAside; // bytes of "Clients.lst.bad" afterwards
    } cases[] = {
        {"60 MiB of junk as the client list",
         [](const TempDataDir& dir) { dir.write("Clients.lst", HostileFiles::junk(kJunkListBytes)); }, kJunkListBytes},
        {"an event log of 1 GiB",
         [](const TempDataDir& dir) { HostileFiles::makeSparse(dir.file("Events.log"), HostileFiles::kHugeBytes); },
         -1},
    };
    for (const auto& c : cases) {
        TempDataDir dir;
        copyDemo(dir);
        c.place(dir);
        QProcess receiver;
        receiver.start(QStringLiteral(ATALAIA_PATH), {"--headless", "--data-dir", dir.path()});
        ASSERT_TRUE(receiver.waitForStarted(kWaitMs)) << c.name;
        ASSERT_TRUE(QTest::qWaitFor([&] { return catchesSigterm(receiver.processId()); }, kWaitMs)) << c.name;
        receiver.terminate();
        EXPECT_TRUE(receiver.waitForFinished(kStopMs)) << c.name;
        if (receiver.state() != QProcess::NotRunning) {
            receiver.kill();
            receiver.waitForFinished(kWaitMs);
            continue;
        }
        const QByteArray output = receiver.readAllStandardError();
        EXPECT_EQ(receiver.exitStatus(), QProcess::NormalExit) << c.name;
        EXPECT_EQ(receiver.exitCode(), 0) << c.name << "\n" << output.constData();
        EXPECT_TRUE(dir.exists("Server.ini")) << c.name << ": the shutdown wrote its files";
        EXPECT_TRUE(dir.exists("Clients.lst")) << c.name;
        EXPECT_EQ(dir.exists("Clients.lst.bad") ? QFileInfo(dir.file("Clients.lst.bad")).size() : -1, c.putAside)
            << c.name;
    }
}
