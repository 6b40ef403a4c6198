// A burst of alarms at the receiver as a new user runs it (not a CI test):
// the atalaia program in a child process, once headless and once with its
// window (on the offscreen platform), each on a fresh data directory with 64
// registered clients and reporting in mode 2 to a station-sim that answers
// ACK. Devices send 5,000 distinct alarms with 16 in flight (as when many
// devices report together after an outage). For each mode it prints what was
// acknowledged, what "Events.log" shows as forwarded (result 0), the
// receiver's CPU time per event and the events per second end to end (from
// the first alarm sent to the last one logged), with the machine's load.
//
//   burst_bench [--events N] [--in-flight N] [--clients N] [--rows N] [--rounds N] [--mode both|headless|window]
//               [--receiver PATH]
//
// --rows starts each receiver with that many earlier events in its list;
// --receiver runs another build of the program (a profiling one, an older one).

#include "device/TaviComCodec.h"

#include "bench/BenchSupport.h"
#include "bench/ReceiverFiles.h"
#include "bench/StationProcess.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLocale>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace TaviCom;

namespace {

constexpr quint16 kEventCode = 1130;
constexpr quint16 kReadySequence = 0xFFFF;
// Clients from account 1: an event of account 0 is forwarded as a heartbeat.
constexpr int kFirstAccount = 1;
constexpr int kAckLength = 18;
// Keep-alive period of the clients: longer than any run, so none goes offline meanwhile.
constexpr int kPeriodS = 3600;
constexpr int kStartTimeoutMs = 60000;
// A receiver that has acknowledged nothing, or logged nothing more, for this long is taken as stuck.
constexpr int kQuietLimitMs = 15000;
constexpr int kStopWaitMs = 15000;
constexpr int kMaxEvents = 60000; // one sequence number each, clear of kReadySequence

enum class Mode { Headless, Window };

struct Options {
    QString receiver = QStringLiteral(ATALAIA_PATH);
    int events = 5000;
    int inFlight = 16;
    int clients = 64;
    int rows = 0;
    int rounds = 1;
    std::vector<Mode> modes{Mode::Headless, Mode::Window};
};

struct Figures {
    Mode mode = Mode::Headless;
    quint64 acknowledged = 0;
    quint64 logged = 0;
    quint64 forwarded = 0;
    quint64 failed = 0;
    double cpuUsPerEvent = 0;
    double eventsPerS = 0;
    QByteArray load;
};

// The devices: one socket on loopback that sends to the receiver's port and
// reads the answers by sequence number.
class Devices {
public:
    explicit Devices(quint16 receiverPort) {
        m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK, 0);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_fd, reinterpret_cast<const sockaddr*>(&local), sizeof local);
        m_to.sin_family = AF_INET;
        m_to.sin_port = htons(receiverPort);
        m_to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    }
    ~Devices() { ::close(m_fd); }

    void send(const QByteArray& datagram) {
        ::sendto(m_fd, datagram.constData(), size_t(datagram.size()), 0, reinterpret_cast<const sockaddr*>(&m_to),
                 sizeof m_to);
    }

    // The sequence numbers of the acknowledgements that arrive within waitMs (and at once after the first).
    std::vector<quint16> acknowledgements(int waitMs) {
        std::vector<quint16> sequences;
        pollfd readable{m_fd, POLLIN, 0};
        if (::poll(&readable, 1, waitMs) <= 0)
            return sequences;
        quint8 answer[kMaxDatagramLength];
        for (ssize_t length; (length = ::recv(m_fd, answer, sizeof answer, 0)) >= 0;) {
            if (length == kAckLength && answer[kOffType] == kTypeAcknowledged)
                sequences.push_back(readU16(std::span<const quint8>(answer, size_t(length)), kOffSequence));
        }
        return sequences;
    }

private:
    int m_fd = -1;
    sockaddr_in m_to{};
};

quint16 freeUdpPort() {
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

// CPU time of every thread of a process so far, in ns.
quint64 processCpuNs(qint64 pid) {
    quint64 total = 0;
    const QString tasks = QStringLiteral("/proc/%1/task").arg(pid);
    for (const QString& task : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile schedstat(tasks + QLatin1Char('/') + task + QStringLiteral("/schedstat"));
        if (schedstat.open(QIODevice::ReadOnly))
            total += schedstat.readAll().split(' ').value(0).toULongLong();
    }
    return total;
}

QByteArray loadAverage() {
    QFile file(QStringLiteral("/proc/loadavg"));
    return file.open(QIODevice::ReadOnly) ? file.readAll().split(' ').mid(0, 3).join(' ') : QByteArray("?");
}

// Counts the device events that reach "Events.log", reading only what was added since the last look.
class LogFollower {
public:
    explicit LogFollower(const QString& path) : m_file(path) {}
    quint64 deviceEvents() {
        if (!m_file.isOpen() && !m_file.open(QIODevice::ReadOnly))
            return m_device;
        m_rest += m_file.readAll();
        qsizetype start = 0;
        for (qsizetype end; (end = m_rest.indexOf('\n', start)) >= 0; start = end + 1) {
            if (QByteArrayView(m_rest).sliced(start, end - start).contains("\tTaviCom\t"))
                ++m_device;
        }
        m_rest.remove(0, start);
        return m_device;
    }

private:
    QFile m_file;
    QByteArray m_rest;
    quint64 m_device = 0;
};

Figures runBurst(Mode mode, const Options& options, quint16 stationPort) {
    Figures figures;
    figures.mode = mode;
    QTemporaryDir dir;
    const quint16 port = freeUdpPort();
    ReceiverFiles::writeDataFiles(dir.path(), options.clients, kPeriodS, stationPort, port, kFirstAccount);
    LogFollower log(dir.filePath(QStringLiteral("Events.log")));
    if (options.rows > 0)
        ReceiverFiles::writeEarlierEvents(dir.path(), options.rows);
    const quint64 earlier = log.deviceEvents(); // not the burst's

    QProcess receiver;
    QStringList arguments{QStringLiteral("--data-dir"), dir.path()};
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (mode == Mode::Headless)
        arguments << QStringLiteral("--headless");
    else
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    receiver.setProcessEnvironment(environment);
    receiver.setStandardOutputFile(dir.filePath(QStringLiteral("receiver.out")));
    receiver.setStandardErrorFile(dir.filePath(QStringLiteral("receiver.out")));
    receiver.start(options.receiver, arguments);
    if (!receiver.waitForStarted()) {
        std::fprintf(stderr, "burst: the receiver did not start\n");
        return figures;
    }

    // Ready once a keep-alive is acknowledged.
    Devices devices(port);
    QElapsedTimer clock;
    clock.start();
    bool ready = false;
    while (!ready && clock.elapsed() < kStartTimeoutMs && receiver.state() == QProcess::Running) {
        devices.send(BenchSupport::reportDatagram(kTypeKeepAlive, kFirstAccount, kReadySequence, 0, 0, kPeriodS));
        for (const quint16 sequence : devices.acknowledgements(100))
            ready = ready || sequence == kReadySequence;
    }
    if (!ready) {
        std::fprintf(stderr, "burst: the receiver did not answer (see %s)\n",
                     qPrintable(dir.filePath(QStringLiteral("receiver.out"))));
        dir.setAutoRemove(false);
        return figures;
    }
    QThread::msleep(500); // the start-up's own events settle

    // The burst: inFlight alarms outstanding, the next sent as each is acknowledged.
    const int events = std::min(options.events, kMaxEvents);
    std::vector<bool> answered(size_t(events), false);
    const quint64 cpuBefore = processCpuNs(receiver.processId());
    clock.restart();
    int sent = 0;
    auto sendNext = [&] {
        const quint16 account = quint16(kFirstAccount + sent % options.clients);
        devices.send(
            BenchSupport::reportDatagram(kTypeEvent, account, quint16(sent), kEventCode, quint16(1 + sent % 999), 0));
        ++sent;
    };
    while (sent < std::min(events, options.inFlight))
        sendNext();
    qint64 lastAnswerMs = 0;
    while (figures.acknowledged < quint64(events) && clock.elapsed() - lastAnswerMs < kQuietLimitMs) {
        for (const quint16 sequence : devices.acknowledgements(10)) {
            if (sequence >= events || answered[sequence])
                continue;
            answered[sequence] = true;
            ++figures.acknowledged;
            lastAnswerMs = clock.elapsed();
            if (sent < events)
                sendNext();
        }
    }

    // Until every acknowledged alarm is logged (or the log stops growing).
    quint64 logged = log.deviceEvents() - earlier;
    qint64 lastLoggedMs = clock.elapsed();
    while (logged < figures.acknowledged && clock.elapsed() - lastLoggedMs < kQuietLimitMs) {
        QThread::msleep(5);
        const quint64 now = log.deviceEvents() - earlier;
        if (now != logged) {
            logged = now;
            lastLoggedMs = clock.elapsed();
        }
    }
    const quint64 cpuAfter = processCpuNs(receiver.processId());
    figures.load = loadAverage();
    figures.logged = logged;
    figures.cpuUsPerEvent = double(cpuAfter - cpuBefore) / 1000.0 / std::max<quint64>(1, logged);
    figures.eventsPerS = double(logged) * 1000.0 / double(std::max<qint64>(1, lastLoggedMs));

    receiver.terminate();
    if (!receiver.waitForFinished(kStopWaitMs)) {
        receiver.kill();
        receiver.waitForFinished();
    }
    const ReceiverFiles::LogCounts counts = ReceiverFiles::countLog(dir.filePath(QStringLiteral("Events.log")));
    figures.forwarded = counts.deviceSent - quint64(options.rows);
    figures.failed = counts.deviceFailed;
    return figures;
}

QString thousands(double value) {
    return QLocale(QLocale::English).toString(qint64(value + 0.5));
}

void printTable(const std::vector<Figures>& rows, const Options& options) {
    std::printf("\n%d alarms, %d in flight, %d clients, %d earlier rows in the list\n\n", options.events,
                options.inFlight, options.clients, options.rows);
    std::printf(
        "| mode | acknowledged | forwarded (result 0 in \"Events.log\") | receiver CPU per event | events/s end "
        "to end | load average |\n|---|---|---|---|---|---|\n");
    for (const Figures& f : rows) {
        QString forwarded = thousands(double(f.forwarded));
        if (f.failed > 0)
            forwarded += QStringLiteral(" (%1 got `Failed`)").arg(thousands(double(f.failed)));
        std::printf("| %s | %s | %s | %.1f us | %s | %s |\n",
                    f.mode == Mode::Headless ? "`--headless`" : "window (offscreen platform)",
                    qPrintable(thousands(double(f.acknowledged))), qPrintable(forwarded), f.cpuUsPerEvent,
                    qPrintable(thousands(f.eventsPerS)), f.load.constData());
    }
    // Window against headless, round by round.
    for (size_t i = 0; i + 1 < rows.size(); i += 2) {
        const Figures& headless = rows[i];
        const Figures& window = rows[i + 1];
        if (headless.mode != Mode::Headless || window.mode != Mode::Window || headless.eventsPerS <= 0 ||
            headless.cpuUsPerEvent <= 0)
            continue;
        std::printf("round %zu: window/headless events per second %.2f, CPU per event %.2f\n", i / 2 + 1,
                    window.eventsPerS / headless.eventsPerS, window.cpuUsPerEvent / headless.cpuUsPerEvent);
    }
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption events(QStringLiteral("events"), QStringLiteral("Alarms in the burst (5000)."),
                                    QStringLiteral("n"), QStringLiteral("5000"));
    const QCommandLineOption inFlight(QStringLiteral("in-flight"),
                                      QStringLiteral("Alarms sent and not yet acknowledged (16)."), QStringLiteral("n"),
                                      QStringLiteral("16"));
    const QCommandLineOption clients(QStringLiteral("clients"), QStringLiteral("Registered clients (64)."),
                                     QStringLiteral("n"), QStringLiteral("64"));
    const QCommandLineOption rows(QStringLiteral("rows"), QStringLiteral("Earlier events in the list (0)."),
                                  QStringLiteral("n"), QStringLiteral("0"));
    const QCommandLineOption rounds(QStringLiteral("rounds"), QStringLiteral("Runs of each mode (1)."),
                                    QStringLiteral("n"), QStringLiteral("1"));
    const QCommandLineOption mode(QStringLiteral("mode"), QStringLiteral("both, headless or window (both)."),
                                  QStringLiteral("mode"), QStringLiteral("both"));
    const QCommandLineOption receiver(QStringLiteral("receiver"), QStringLiteral("The atalaia program to run."),
                                      QStringLiteral("path"), QStringLiteral(ATALAIA_PATH));
    parser.addOptions({events, inFlight, clients, rows, rounds, mode, receiver});
    parser.process(app);
    Options options;
    options.receiver = parser.value(receiver);
    options.events = std::clamp(parser.value(events).toInt(), 1, kMaxEvents);
    options.inFlight = std::clamp(parser.value(inFlight).toInt(), 1, 1024);
    options.clients = std::clamp(parser.value(clients).toInt(), 1, 0x10000);
    options.rows = std::max(0, parser.value(rows).toInt());
    options.rounds = std::max(1, parser.value(rounds).toInt());
    if (parser.value(mode) == QLatin1String("headless"))
        options.modes = {Mode::Headless};
    else if (parser.value(mode) == QLatin1String("window"))
        options.modes = {Mode::Window};

    StationProcess station;
    const quint16 stationPort = station.start(QStringLiteral(STATION_SIM_PATH));
    if (stationPort == 0) {
        std::fprintf(stderr, "burst: station-sim did not start\n");
        return 1;
    }
    std::vector<Figures> results;
    for (int round = 0; round < options.rounds; ++round) {
        for (const Mode m : options.modes) {
            results.push_back(runBurst(m, options, stationPort));
            const Figures& f = results.back();
            std::printf("%s: acknowledged %llu, logged %llu, forwarded %llu, failed %llu, %.1f us/event, %.0f "
                        "events/s, load %s\n",
                        m == Mode::Headless ? "headless" : "window", static_cast<unsigned long long>(f.acknowledged),
                        static_cast<unsigned long long>(f.logged), static_cast<unsigned long long>(f.forwarded),
                        static_cast<unsigned long long>(f.failed), f.cpuUsPerEvent, f.eventsPerS, f.load.constData());
            std::fflush(stdout);
        }
    }
    station.stop();
    printTable(results, options);
    return 0;
}
