#include "device/TaviComCodec.h"
#include "events/EventJournal.h"
#include "tests/shell/ReceiverFixture.h"
#include "tests/tools/HeadlessRun.h"

#include <QElapsedTimer>
#include <QHash>
#include <QPair>
#include <QProcess>
#include <QSet>

#include <QUdpSocket>
#include <array>
#include <span>

#include <gtest/gtest.h>

using namespace HeadlessRun;

namespace {

enum class Station { Silent, Refusing, Unreachable, Answering };

struct StationCase {
    const char* name;
    Station station;
};

void PrintTo(const StationCase& c, std::ostream* out) {
    *out << c.name;
}

constexpr int kRounds = 10;
constexpr int kAlarmsPerRound = 300; // more than one reading round of the socket
// An alarm is known by its round (the event code) and its zone.
using AlarmKey = QPair<int, int>;

// A DC-09 station in one of the states a link can be in; the port a receiver reports to.
class StationPeer {
public:
    explicit StationPeer(Station station) {
        switch (station) {
        case Station::Silent:
            m_silent.bind(QHostAddress::LocalHost, 0);
            m_port = m_silent.localPort();
            break;
        case Station::Unreachable: {
            QUdpSocket probe; // a port free a moment ago: nothing listens there
            probe.bind(QHostAddress::LocalHost, 0);
            m_port = probe.localPort();
            break;
        }
        case Station::Refusing:
        case Station::Answering:
            m_sim.start(QStringLiteral(STATION_SIM_PATH),
                        {"--udp", "0", "--quiet", "--answer", station == Station::Answering ? "ack" : "nak"});
            QByteArray output;
            [[maybe_unused]] const bool listening = QTest::qWaitFor(
                [&] {
                    output += m_sim.readAllStandardOutput();
                    return numberAfter(output, "listening on UDP port ") > 0;
                },
                kWaitMs);
            m_port = quint16(qMax(0, numberAfter(output, "listening on UDP port ")));
            break;
        }
    }
    ~StationPeer() {
        if (m_sim.state() != QProcess::NotRunning) {
            m_sim.kill();
            m_sim.waitForFinished(kWaitMs);
        }
    }
    quint16 port() const { return m_port; }

private:
    QUdpSocket m_silent;
    QProcess m_sim;
    quint16 m_port = 0;
};

// Every alarm of the test device ("1001") in "Events.log", with the number of its lines.
QHash<AlarmKey, int> loggedAlarms(const TempDataDir& dir) {
    QHash<AlarmKey, int> logged;
    for (const QByteArray& line : dir.read("Events.log").split('\n')) {
        const QByteArrayList fields = line.split('\t');
        if (fields.size() > 8 && fields[3] == "1001")
            ++logged[{fields[6].trimmed().toInt() - 130, fields[8].trimmed().toInt()}];
    }
    return logged;
}

class CustodyAcrossKillsTest : public ::testing::TestWithParam<StationCase> {};

} // namespace

// A device stops sending an alarm once it is answered, so an answer is a
// promise of custody: however often the receiver is killed, during a burst,
// while alarms wait for the station or while it gives back what an earlier run
// held, every answered alarm ends up in "Events.log", exactly once.
TEST_P(CustodyAcrossKillsTest, EveryAnsweredAlarmIsLoggedOnceWhateverTheStation) {
    StationPeer station(GetParam().station);
    ASSERT_GT(station.port(), 0);
    TempDataDir dir;
    copyDemo(dir);
    QByteArray report = dir.read("Report.cfg");
    report.replace(0, 1, "2"); // DC-09
    report.replace("9999", QByteArray::number(station.port()));
    dir.write("Report.cfg", report);

    QSet<AlarmKey> answered;
    QProcess receiver;
    for (int round = 0; round < kRounds; ++round) {
        const quint16 port = quint16(numberAfter(startHeadless(receiver, dir), "receiving on UDP port "));
        ASSERT_GT(port, 0) << "round " << round;
        QUdpSocket device;
        ASSERT_TRUE(device.bind(QHostAddress::LocalHost, 0));
        // Answers are taken as they come: a socket left unread drops them once its queue is full.
        const auto takeAnswers = [&] {
            while (device.hasPendingDatagrams()) {
                const QByteArray answer = device.receiveDatagram().data();
                const int sequence = TaviCom::readU16(
                    std::span<const quint8>(reinterpret_cast<const quint8*>(answer.constData()), size_t(answer.size())),
                    TaviCom::kOffSequence);
                answered.insert({(sequence - 1) / kAlarmsPerRound, (sequence - 1) % kAlarmsPerRound + 1});
            }
        };
        for (int zone = 1; zone <= kAlarmsPerRound; ++zone) {
            const auto sequence = quint16(round * kAlarmsPerRound + zone);
            device.writeDatagram(
                ReceiverFixture::eventReport(0x1001, sequence, quint16(1130 + round), 1, quint16(zone)),
                QHostAddress::LocalHost, port);
            if (zone % 100 == 0)
                takeAnswers();
        }
        // Killed during the burst, once the answers left, or while alarms wait for the station.
        QElapsedTimer sent;
        sent.start();
        while (sent.elapsed() < std::array{2, 60, 400}[size_t(round % 3)]) {
            takeAnswers();
            QTest::qWait(1);
        }
        receiver.kill();
        ASSERT_TRUE(receiver.waitForFinished(kWaitMs));
        takeAnswers();
    }
    ASSERT_FALSE(answered.isEmpty());

    // A last run that ends in order gives back what the last kill left.
    startHeadless(receiver, dir);
    receiver.terminate();
    ASSERT_TRUE(receiver.waitForFinished(kWaitMs));
    EXPECT_EQ(receiver.exitCode(), 0);

    const QHash<AlarmKey, int> logged = loggedAlarms(dir);
    int lost = 0;
    for (const AlarmKey& key : answered)
        lost += logged.value(key) == 0;
    EXPECT_EQ(lost, 0) << "of " << answered.size() << " answered alarms";
    for (auto it = logged.cbegin(); it != logged.cend(); ++it)
        EXPECT_EQ(it.value(), 1) << "round " << it.key().first << " zone " << it.key().second;
    EventJournal custody{dir.dataDirectory()};
    EXPECT_TRUE(custody.takeLeftOver({}).isEmpty()) << "nothing left in custody";
}

INSTANTIATE_TEST_SUITE_P(Stations, CustodyAcrossKillsTest,
                         ::testing::Values(StationCase{"silent", Station::Silent},
                                           StationCase{"refusing", Station::Refusing},
                                           StationCase{"unreachable", Station::Unreachable},
                                           StationCase{"answering", Station::Answering}),
                         [](const auto& info) { return std::string(info.param.name); });
