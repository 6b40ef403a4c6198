#include "reporting/DispatcherBridge.h"

#include "reporting/ReportSender.h"
#include "tests/reporting/ReportTestPeers.h"
#include "tests/support/RecordingUserInterface.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// A ring and a notification directory of this test alone; the dispatcher is
// the test program itself unless another name is given.
struct DispatcherPlace {
    explicit DispatcherPlace(const QByteArray& executable = {}) {
        static int serial = 0;
        names.ring = QStringLiteral("/atalaia-test-%1-%2").arg(::getpid()).arg(++serial).toLatin1();
        names.notificationDirectory = directory.filePath(QStringLiteral("notify"));
        names.executable = executable.isEmpty() ? QFileInfo(QStringLiteral("/proc/self/exe"))
                                                      .symLinkTarget()
                                                      .section(QLatin1Char('/'), -1)
                                                      .toLocal8Bit()
                                                : executable;
    }
    ~DispatcherPlace() {
        if (listener >= 0)
            ::close(listener);
        ::shm_unlink(names.ring.constData());
    }

    // A listener of the notification, as a dispatcher would have one.
    void listen() {
        listener = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray path = (names.notificationDirectory + QStringLiteral("/listener.sock")).toLocal8Bit();
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.constData());
        ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    }
    // The slot indexes notified so far.
    QList<quint32> notified() const {
        QList<quint32> indexes;
        unsigned char message[8];
        while (::recv(listener, message, sizeof message, 0) == sizeof message)
            indexes.append(quint32(message[0] | (message[1] << 8) | (message[2] << 16) | (message[3] << 24)));
        return indexes;
    }
    // The ring as another program sees it.
    QByteArray ring() const {
        const int fd = ::shm_open(names.ring.constData(), O_RDONLY, 0);
        if (fd < 0)
            return {};
        QByteArray bytes(DispatcherBridge::kRingSize, '\0');
        ::pread(fd, bytes.data(), size_t(bytes.size()), 0);
        ::close(fd);
        return bytes;
    }

    QTemporaryDir directory;
    DispatcherNames names;
    int listener = -1;
};

QByteArray record(int n) {
    QByteArray r = QByteArray("\x02\x01") + QByteArray::number(100000 + n).rightJustified(38, '0') + "\x03";
    r.resize(46, 'F');
    r += '\0';
    return r;
}

} // namespace

TEST(DispatcherBridgeTest, TheHundredAndFirstRecordGoesToSlotZeroAgain) {
    DispatcherPlace place;
    DispatcherBridge bridge(place.names, 50);
    ASSERT_TRUE(bridge.StartDispatcherBridge());
    place.listen();
    EXPECT_FALSE(bridge.WriteDispatcherRecord(record(0))) << "no dispatcher known before the first look";
    ASSERT_TRUE(QTest::qWaitFor([&] { return bridge.dispatcherRunning(); }, 2000));

    // The dispatcher reads each notification as it comes (a datagram queue holds only a few).
    QList<quint32> indexes;
    for (int n = 1; n <= 101; ++n) {
        ASSERT_TRUE(bridge.WriteDispatcherRecord(record(n)));
        indexes += place.notified();
    }
    ASSERT_EQ(indexes.size(), 101);
    EXPECT_EQ(indexes[99], 99u);
    EXPECT_EQ(indexes[100], 0u) << "the 101st notification carries 0";
    const QByteArray ring = place.ring();
    EXPECT_EQ(ring.mid(0, 47), record(101)) << "slot 0 holds the 101st record";
    EXPECT_EQ(ring.mid(99 * 128, 47), record(100));
    EXPECT_EQ(ring.at(47), '\0');
    EXPECT_EQ(bridge.nextSlot(), 1);
}

TEST(DispatcherBridgeTest, WithoutADispatcherEventsFailAndNothingIsWritten) {
    DispatcherPlace place("no-such-dispatcher.exe");
    RecordingUserInterface ui;
    ReportSettings settings;
    ReportLimits limits;
    limits.dispatcher = place.names;
    limits.dispatcherWatchMs = 50;
    ReportSender sender(settings, ui, limits);
    ASSERT_TRUE(sender.StartReporting(ReportMode::Dispatcher));
    EXPECT_EQ(ui.statusFields.value(StatusField::ReportMode), QStringLiteral("Varn CMS"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return ui.statusFields.value(StatusField::ReportStatus) == "OFF"; }, 2000));

    QList<ReportResult> results;
    sender.ReportEvent(event(0x1234), [&](ReportResult r) { results.append(r); });
    sender.ReportEvent(ReportRequest{}, [&](ReportResult r) { results.append(r); });
    ASSERT_TRUE(QTest::qWaitFor([&] { return results.size() == 2; }, 2000));
    EXPECT_EQ(results, (QList<ReportResult>{ReportResult::Failed, ReportResult::NotSent}));
    EXPECT_EQ(place.ring(), QByteArray(DispatcherBridge::kRingSize, '\0'));
}

TEST(DispatcherBridgeTest, ARingOfAnotherSizeIsBroughtToTwelveThousandEightHundredBytes) {
    DispatcherPlace place;
    const int fd = ::shm_open(place.names.ring.constData(), O_CREAT | O_RDWR, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, 100), 0);
    ::close(fd);
    DispatcherBridge bridge(place.names, 50);
    ASSERT_TRUE(bridge.StartDispatcherBridge());
    EXPECT_EQ(place.ring().size(), DispatcherBridge::kRingSize);
    struct stat info {};
    const int again = ::shm_open(place.names.ring.constData(), O_RDONLY, 0);
    ASSERT_GE(again, 0);
    ASSERT_EQ(::fstat(again, &info), 0);
    ::close(again);
    EXPECT_EQ(info.st_size, DispatcherBridge::kRingSize);
    EXPECT_EQ(info.st_mode & 0777, 0666u) << "open to every user";
}
