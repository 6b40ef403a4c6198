#include "device/TaviComCodec.h"
#include "events/EventJournal.h"
#include "tests/shell/ReceiverFixture.h"
#include "tests/tools/HeadlessRun.h"

#include <QDir>
#include <QProcess>
#include <QSet>
#include <QTcpSocket>
#include <QUdpSocket>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

using namespace HeadlessRun;

namespace {

// A small file system of its own over a directory, for as long as it lives.
class TmpfsMount {
public:
    TmpfsMount(const QString& path, const char* options) : m_path(path.toLocal8Bit()) {
        m_mounted = ::mount("tmpfs", m_path.constData(), "tmpfs", 0, options) == 0;
    }
    ~TmpfsMount() {
        if (m_mounted)
            ::umount2(m_path.constData(), MNT_DETACH);
    }
    bool mounted() const { return m_mounted; }

private:
    QByteArray m_path;
    bool m_mounted = false;
};

// Writes to path until the file system has no room left.
void fillUp(const QString& path) {
    const int fd = ::open(path.toLocal8Bit().constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0);
    const QByteArray block(4096, 'x');
    while (::write(fd, block.constData(), size_t(block.size())) > 0) {
    }
    // The last few bytes, for a file system that takes less than a block.
    while (::write(fd, "x", 1) > 0) {
    }
    ::close(fd);
}

QByteArray metricsOf(quint16 port) {
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(kWaitMs))
        return {};
    socket.write("GET /metrics HTTP/1.1\r\nHost: localhost\r\n\r\n");
    QByteArray response;
    while (socket.state() == QAbstractSocket::ConnectedState && socket.waitForReadyRead(kWaitMs))
        response += socket.readAll();
    return response + socket.readAll();
}

int loggedLinesOfZone(const QByteArray& log, int zone) {
    int lines = 0;
    for (const QByteArray& line : log.split('\n')) {
        const QByteArrayList fields = line.split('\t');
        lines += fields.size() > 8 && fields[3] == "1001" && fields[8].trimmed().toInt() == zone;
    }
    return lines;
}

} // namespace

// A disk that fills up while alarms arrive: they are still answered and
// listed, the trouble is said (standard error, /metrics), and once space
// returns every one of them reaches "Events.log" without waiting for another
// alarm.
TEST(FullDiskTest, AlarmsTheLogRefusedAreSaidKeptAndWrittenWhenSpaceReturns) {
    TempDataDir dir;
    TmpfsMount disk(dir.path(), "size=1m,mode=0700");
    if (!disk.mounted())
        GTEST_SKIP() << "mounting a tmpfs needs root";
    ASSERT_TRUE(QDir().mkpath(dir.file("Backup")));
    copyDemo(dir);

    QProcess receiver;
    QByteArray output = startHeadless(receiver, dir, {"--metrics-port", "0"});
    const auto port = quint16(numberAfter(output, "receiving on UDP port "));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            output += receiver.readAllStandardError();
            return numberAfter(output, "http://127.0.0.1:") > 0;
        },
        kWaitMs));
    const auto metricsPort = quint16(numberAfter(output, "http://127.0.0.1:"));

    fillUp(dir.file("filler"));
    constexpr int kAlarms = 400;
    QUdpSocket device;
    ASSERT_TRUE(device.bind(QHostAddress::LocalHost, 0));
    QSet<int> answered;
    const auto takeAnswers = [&] {
        while (device.hasPendingDatagrams()) {
            const QByteArray answer = device.receiveDatagram().data();
            answered.insert(TaviCom::readU16(
                std::span<const quint8>(reinterpret_cast<const quint8*>(answer.constData()), size_t(answer.size())),
                TaviCom::kOffSequence));
        }
    };
    for (int zone = 1; zone <= kAlarms; ++zone) {
        device.writeDatagram(ReceiverFixture::eventReport(0x1001, quint16(zone), 1130, 1, quint16(zone)),
                             QHostAddress::LocalHost, port);
        if (zone % 50 == 0) {
            QTest::qWait(20); // a device's pace, not a flood the socket drops
            takeAnswers();
        }
    }
    [[maybe_unused]] const bool allAnswered = QTest::qWaitFor(
        [&] {
            takeAnswers();
            return answered.size() == kAlarms;
        },
        kWaitMs);
    EXPECT_EQ(answered.size(), kAlarms) << "a full disk does not stop the answers";
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            output += receiver.readAllStandardError();
            return output.contains("não pôde ser gravado");
        },
        kWaitMs))
        << output.constData();
    EXPECT_FALSE(metricsOf(metricsPort).contains("\natalaia_log_write_failures_total 0\n"));

    QFile::remove(dir.file("filler"));
    const bool allLogged = QTest::qWaitFor(
        [&] {
            const QByteArray log = dir.read("Events.log");
            for (int zone : answered)
                if (loggedLinesOfZone(log, zone) == 0)
                    return false;
            return true;
        },
        kWaitMs);
    EXPECT_TRUE(allLogged) << "every answered alarm logged once space returned, without a new alarm";
    output += receiver.readAllStandardError();
    EXPECT_TRUE(output.contains("Events.log voltou a ser gravado")) << output.constData();

    receiver.terminate();
    ASSERT_TRUE(receiver.waitForFinished(kWaitMs));
    EXPECT_EQ(receiver.exitCode(), 0);
    const QByteArray log = dir.read("Events.log");
    for (int zone : answered)
        EXPECT_EQ(loggedLinesOfZone(log, zone), 1) << "zone " << zone;
    EventJournal custody{dir.dataDirectory()};
    EXPECT_TRUE(custody.takeLeftOver({}).isEmpty()) << "nothing left in custody";
}
