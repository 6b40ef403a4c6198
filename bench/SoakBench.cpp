// A soak run of the whole receiver (not a CI test): a server core on a fresh
// data directory with 65,536 registered clients, devices on threads of their
// own sending events at 10,000 per second in total and a keep-alive from every
// client once a period, and reporting in mode 2 (DC-09 over UDP) to a
// station-sim process that answers ACK. At the end it prints what was sent,
// acknowledged and lost, what reached "Events.log" and the station, the
// resident memory after the warm-up and at the end, the 99th percentile of the
// acknowledgement time and the number of client-list saves.
//
//   soak_bench [--seconds N] [--rate EVENTS_PER_S] [--clients N] [--devices N] [--period S] [--warmup S]
//              [--window]
//
// With --window the receiver runs with its main window, as operators run it
// (on the offscreen platform unless QT_QPA_PLATFORM names another); without
// it, as the headless service.
//
// The events list keeps a row for every event of the log until the log is
// archived: that growth is by design. So the memory is compared with the list
// emptied (a client filter that matches no event) both after the warm-up and
// at the end; the end figure with the list full is printed too.

#include "clients/ClientRegistry.h"
#include "config/ServerSettings.h"
#include "device/DatagramServer.h"
#include "device/TaviComCodec.h"
#include "events/EventList.h"
#include "events/EventListModel.h"
#include "reporting/ReportSender.h"
#include "shell/ServerCore.h"
#include "shell/ui/MainFrame.h"
#include "shell/ui/ServerWindow.h"

#include "bench/BenchSupport.h"
#include "bench/ReceiverFiles.h"
#include "bench/StationProcess.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <arpa/inet.h>
#include <malloc.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <thread>
#include <vector>

using namespace TaviCom;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kAckLength = 18;
constexpr quint16 kEventCode = 1130;
// Acknowledgement times are kept in 10 us steps up to 10 s (a fixed table, so
// the devices allocate nothing while they run).
constexpr int kHistogramStepUs = 10;
constexpr int kHistogramSteps = 1000000;
// How long the devices wait for the last answers, and the reporting for its last results.
constexpr auto kDrainTime = std::chrono::seconds(3);
constexpr int kReportDrainMs = 30000;
constexpr int kProgressEveryS = 10;
constexpr int kDeviceSocketBuffer = 4 << 20;
constexpr const char* kNoSuchClient = "(nenhum cliente)";

struct Options {
    int seconds = 600;
    int rate = 10000;
    int clients = 65536;
    int devices = 4;
    int period = 60;
    int warmup = 0; // 0: a keep-alive period and 5 s, or a sixth of the run if longer (at most half of it)
};

// ---------------------------------------------------------------------------
// A device thread: a socket of its own (bound to port 0) sending for every
// count-th account from first on, events at its share of the rate and each of
// its clients' keep-alive once a period, paced in 1 ms steps; every answer is
// matched to its report by the sequence number.
struct DeviceFigures {
    quint64 eventsSent = 0;
    quint64 keepAlivesSent = 0;
    quint64 eventsAcked = 0;
    quint64 keepAlivesAcked = 0;
    quint64 refused = 0;    // answered, but not with an acknowledgement
    quint64 unanswered = 0; // no answer before the sequence came round again or the run ended
    quint64 strays = 0;     // answers to nothing outstanding
    std::vector<quint32> histogram = std::vector<quint32>(kHistogramSteps + 1, 0);
};

class Device {
public:
    Device(int first, int count, const Options& options, quint16 serverPort)
        : m_options(options), m_eventsPerS(double(options.rate) / count) {
        for (int account = first; account < options.clients; account += count)
            m_accounts.push_back(quint16(account));
        m_keepAlivesPerS = double(m_accounts.size()) / options.period;
        m_to.sin_family = AF_INET;
        m_to.sin_port = htons(serverPort);
        m_to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        m_random.seed(quint32(first) * 7919u + 1);
    }

    void run(Clock::time_point start, Clock::time_point deadline, std::atomic<quint64>& eventsAcked) {
        m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK, 0);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_fd, reinterpret_cast<const sockaddr*>(&local), sizeof local);
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &kDeviceSocketBuffer, sizeof kDeviceSocketBuffer);
        ::setsockopt(m_fd, SOL_SOCKET, SO_SNDBUF, &kDeviceSocketBuffer, sizeof kDeviceSocketBuffer);
        m_sentAt.assign(0x10000, 0);
        m_isEvent.assign(0x10000, 0);

        std::uniform_int_distribution<size_t> pick(0, m_accounts.size() - 1);
        size_t nextKeepAlive = 0;
        while (Clock::now() < deadline) {
            const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
            while (double(figures.eventsSent) < elapsed * m_eventsPerS) {
                // Account 0000 stands for the heartbeat at the station, so its alarms are not
                // forwarded in this mode: alarms come from the other accounts.
                quint16 account = 0;
                while (account == 0 && m_accounts.size() > 1)
                    account = m_accounts[pick(m_random)];
                send(BenchSupport::reportDatagram(kTypeEvent, account, m_sequence, kEventCode,
                                                  quint16(1 + m_sequence % 99), 0),
                     true);
                ++figures.eventsSent;
            }
            while (double(figures.keepAlivesSent) < elapsed * m_keepAlivesPerS) {
                const quint16 account = m_accounts[nextKeepAlive++ % m_accounts.size()];
                send(BenchSupport::reportDatagram(kTypeKeepAlive, account, m_sequence, 0, 0, quint16(m_options.period)),
                     false);
                ++figures.keepAlivesSent;
            }
            receive(1);
            eventsAcked.store(figures.eventsAcked, std::memory_order_relaxed);
        }
        // The last answers.
        const auto drainEnd = Clock::now() + kDrainTime;
        while (m_outstanding > 0 && Clock::now() < drainEnd)
            receive(10);
        eventsAcked.store(figures.eventsAcked, std::memory_order_relaxed);
        figures.unanswered += m_outstanding;
        ::close(m_fd);
    }

    DeviceFigures figures;

private:
    void send(const QByteArray& datagram, bool event) {
        const size_t slot = m_sequence;
        if (m_sentAt[slot] != 0) {
            ++figures.unanswered; // its sequence comes round again with no answer yet
            --m_outstanding;
        }
        m_sentAt[slot] = Clock::now().time_since_epoch().count();
        m_isEvent[slot] = event ? 1 : 0;
        ++m_outstanding;
        ++m_sequence;
        while (::sendto(m_fd, datagram.constData(), size_t(datagram.size()), 0,
                        reinterpret_cast<const sockaddr*>(&m_to), sizeof m_to) < 0 &&
               errno == EAGAIN)
            receive(1);
    }

    void receive(int waitMs) {
        pollfd readable{m_fd, POLLIN, 0};
        if (::poll(&readable, 1, waitMs) <= 0)
            return;
        quint8 answer[kMaxDatagramLength];
        for (;;) {
            const ssize_t length = ::recv(m_fd, answer, sizeof answer, 0);
            if (length < 0)
                return;
            const qint64 now = Clock::now().time_since_epoch().count();
            const quint16 sequence = readU16(std::span<const quint8>(answer, size_t(length)), kOffSequence);
            if (length != kAckLength || m_sentAt[sequence] == 0) {
                ++figures.strays;
                continue;
            }
            const qint64 us = (now - m_sentAt[sequence]) / 1000;
            ++figures.histogram[size_t(std::min<qint64>(us / kHistogramStepUs, kHistogramSteps))];
            if (answer[kOffType] != kTypeAcknowledged)
                ++figures.refused;
            else if (m_isEvent[sequence])
                ++figures.eventsAcked;
            else
                ++figures.keepAlivesAcked;
            m_sentAt[sequence] = 0;
            --m_outstanding;
        }
    }

    const Options& m_options;
    std::vector<quint16> m_accounts;
    double m_eventsPerS;
    double m_keepAlivesPerS = 0;
    sockaddr_in m_to{};
    int m_fd = -1;
    quint16 m_sequence = 0;
    quint64 m_outstanding = 0;
    std::vector<qint64> m_sentAt;
    std::vector<quint8> m_isEvent;
    std::mt19937 m_random;
};

// Client-list saves: every time "Clients.lst" takes a new file's place.
class SaveCounter {
public:
    explicit SaveCounter(const QString& dir) {
        m_fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (m_fd >= 0)
            ::inotify_add_watch(m_fd, QFile::encodeName(dir).constData(), IN_MOVED_TO | IN_CREATE);
    }
    ~SaveCounter() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    quint64 count() {
        alignas(inotify_event) char buffer[16384];
        ssize_t length;
        while (m_fd >= 0 && (length = ::read(m_fd, buffer, sizeof buffer)) > 0) {
            for (ssize_t at = 0; at < length;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                if (event->len > 0 && std::strcmp(event->name, "Clients.lst") == 0)
                    ++m_saves;
                at += ssize_t(sizeof(inotify_event) + event->len);
            }
        }
        return m_saves;
    }

private:
    int m_fd = -1;
    quint64 m_saves = 0;
};

double percentileMs(const std::vector<quint64>& histogram, double fraction) {
    quint64 total = 0;
    for (const quint64 count : histogram)
        total += count;
    const quint64 wanted = quint64(fraction * double(total));
    quint64 seen = 0;
    for (size_t step = 0; step < histogram.size(); ++step) {
        seen += histogram[step];
        if (seen > wanted)
            return double((step + 1) * kHistogramStepUs) / 1000;
    }
    return double(histogram.size() * kHistogramStepUs) / 1000;
}

// Resident memory in KiB once the allocator has handed its free pages back, so
// that the figure follows the memory in use rather than the heap's high-water mark.
long trimmedResidentKb() {
    ::malloc_trim(0);
    return BenchSupport::residentKb();
}

// Runs the event loop until done() or the time is up.
template <typename Done> void runUntil(Done done, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
}

} // namespace

int main(int argc, char** argv) {
    // The window runs on the offscreen platform unless another one is asked for.
    const bool window =
        std::any_of(argv + 1, argv + argc, [](const char* a) { return std::strcmp(a, "--window") == 0; });
    if (window && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const std::unique_ptr<QCoreApplication> app =
        window ? std::make_unique<QApplication>(argc, argv) : std::make_unique<QCoreApplication>(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption seconds(QStringLiteral("seconds"), QStringLiteral("Length of the run (600)."),
                                     QStringLiteral("s"), QStringLiteral("600"));
    const QCommandLineOption rate(QStringLiteral("rate"),
                                  QStringLiteral("Events per second, all devices together (10000)."),
                                  QStringLiteral("n"), QStringLiteral("10000"));
    const QCommandLineOption clients(QStringLiteral("clients"), QStringLiteral("Registered clients (65536)."),
                                     QStringLiteral("n"), QStringLiteral("65536"));
    const QCommandLineOption devices(QStringLiteral("devices"), QStringLiteral("Device threads (4)."),
                                     QStringLiteral("n"), QStringLiteral("4"));
    const QCommandLineOption period(QStringLiteral("period"),
                                    QStringLiteral("Keep-alive period of every client in s (60)."), QStringLiteral("s"),
                                    QStringLiteral("60"));
    const QCommandLineOption warmup(
        QStringLiteral("warmup"), QStringLiteral("Warm-up in s (a keep-alive period and 5 s, or a sixth of the run)."),
        QStringLiteral("s"), QStringLiteral("0"));
    const QCommandLineOption windowOption(
        QStringLiteral("window"),
        QStringLiteral("The receiver with its main window (offscreen), as operators run it."));
    parser.addOptions({seconds, rate, clients, devices, period, warmup, windowOption});
    parser.process(*app);
    Options options;
    options.seconds = std::max(1, parser.value(seconds).toInt());
    options.rate = std::max(1, parser.value(rate).toInt());
    options.clients = std::clamp(parser.value(clients).toInt(), 1, 0x10000);
    options.devices = std::clamp(parser.value(devices).toInt(), 1, 64);
    options.period = std::clamp(parser.value(period).toInt(), 1, 0xFFFE);
    options.warmup = parser.value(warmup).toInt();
    // Warm: every client heard once, and the forwarding queue in its steady state.
    if (options.warmup <= 0)
        options.warmup = std::min(std::max(options.period + 5, options.seconds / 6), options.seconds / 2);

    StationProcess station;
    const quint16 stationPort = station.start(QStringLiteral(STATION_SIM_PATH));
    if (stationPort == 0) {
        std::fprintf(stderr, "soak: station-sim did not start\n");
        return 1;
    }
    QTemporaryDir dir;
    ReceiverFiles::writeDataFiles(dir.path(), options.clients, options.period, stationPort);
    SaveCounter saves(dir.path());

    BenchSupport::QuietUserInterface ui;
    auto core = std::make_unique<ServerCore>(dir.path(), ui);
    // The window goes before the core, as in the program.
    std::unique_ptr<ServerWindow> mainWindow;
    ServerCore::WindowBuilder buildWindow;
    if (window) {
        mainWindow = std::make_unique<ServerWindow>(*core);
        buildWindow = [&mainWindow] { mainWindow->build(); };
    }
    if (!core->start(buildWindow) || core->reportSender().appliedMode() != ReportMode::Dc09) {
        std::fprintf(stderr, "soak: the receiver did not start in DC-09 mode\n");
        station.stop();
        return 1;
    }
    if (mainWindow)
        mainWindow->mainFrame()->show();
    const quint16 serverPort = core->datagramServer().boundPort();
    const quint64 savesAtStart = saves.count();
    const long startKb = BenchSupport::residentKb();
    std::printf("%s receiver on UDP %u with %d clients, station-sim on UDP %u; %d devices, %d events/s, keep-alive "
                "every %d s, %d s (warm-up %d s)\n",
                window ? "windowed" : "headless", serverPort, core->registry().primaryCount(), stationPort,
                options.devices, options.rate, options.period, options.seconds, options.warmup);
    std::fflush(stdout);

    // The devices.
    std::vector<std::unique_ptr<Device>> deviceList;
    std::vector<std::atomic<quint64>> acked(size_t(options.devices));
    for (int d = 0; d < options.devices; ++d)
        deviceList.push_back(std::make_unique<Device>(d, options.devices, options, serverPort));
    const auto start = Clock::now();
    const auto deadline = start + std::chrono::seconds(options.seconds);
    std::atomic<int> running{options.devices};
    std::vector<std::thread> threads;
    for (int d = 0; d < options.devices; ++d) {
        threads.emplace_back([&, d] {
            deviceList[size_t(d)]->run(start, deadline, acked[size_t(d)]);
            --running;
        });
    }

    // Progress every few seconds; the memory after the warm-up, with the list emptied.
    long warmKb = 0;
    long warmFullKb = 0;
    int warmRows = 0;
    std::size_t warmQueue = 0;
    QTimer progress;
    int second = 0;
    QObject::connect(&progress, &QTimer::timeout, [&] {
        ++second;
        if (second == options.warmup) {
            warmFullKb = trimmedResidentKb();
            warmRows = core->eventList().model().eventCount();
            warmQueue = core->reportSender().queueLength();
            core->eventList().setFilter(QString::fromLatin1(kNoSuchClient));
            warmKb = trimmedResidentKb();
        }
        if (second % kProgressEveryS == 0) {
            quint64 events = 0;
            for (const auto& a : acked)
                events += a.load(std::memory_order_relaxed);
            std::printf(
                "%4d s: events acknowledged %llu, forwarded %llu, queue %zu, rows %d, rss %ld KiB\n", second,
                static_cast<unsigned long long>(events),
                static_cast<unsigned long long>(core->reportSender().forwardings(ReportMode::Dc09, ReportResult::Sent)),
                core->reportSender().queueLength(), core->eventList().model().eventCount(), BenchSupport::residentKb());
            std::fflush(stdout);
        }
    });
    progress.start(1000);
    runUntil([&] { return running.load() == 0; }, (options.seconds + 60) * 1000);
    progress.stop();
    for (auto& thread : threads)
        thread.join();

    // The memory in the state it was measured in after the warm-up: forwardings
    // still queued as they come, and the list emptied.
    const std::size_t endQueue = core->reportSender().queueLength();
    const int endRows = core->eventList().model().eventCount();
    const long endFullKb = trimmedResidentKb();
    core->eventList().setFilter(QString::fromLatin1(kNoSuchClient));
    const long endKb = trimmedResidentKb();

    // The forwardings under way finish and list their events.
    runUntil([&] { return core->reportSender().isIdle(); }, kReportDrainMs);
    // The station's totals come once a second.
    runUntil([] { return false; }, 1500);

    // The figures.
    DeviceFigures total;
    std::vector<quint64> histogram(kHistogramSteps + 1, 0);
    for (const auto& device : deviceList) {
        const DeviceFigures& f = device->figures;
        total.eventsSent += f.eventsSent;
        total.keepAlivesSent += f.keepAlivesSent;
        total.eventsAcked += f.eventsAcked;
        total.keepAlivesAcked += f.keepAlivesAcked;
        total.refused += f.refused;
        total.unanswered += f.unanswered;
        total.strays += f.strays;
        for (size_t i = 0; i < histogram.size(); ++i)
            histogram[i] += f.histogram[i];
    }
    ReportSender& sender = core->reportSender();
    const quint64 forwarded = sender.forwardings(ReportMode::Dc09, ReportResult::Sent);
    const quint64 forwardFailed = sender.forwardings(ReportMode::Dc09, ReportResult::Failed);
    const quint64 forwardNotSent = sender.forwardings(ReportMode::Dc09, ReportResult::NotSent);
    const quint64 kernelDrops = core->datagramServer().kernelDrops();
    const quint64 datagramsRead = core->datagramServer().datagramsRead();
    const ReceiverFiles::LogCounts log = ReceiverFiles::countLog(core->eventList().logFile().logPath());
    const quint64 logLines = log.lines;
    const quint64 logDeviceLines = log.device;
    const quint64 savesDuringRun = saves.count() - savesAtStart;
    core->shutdown();
    const quint64 savesAtShutdown = saves.count() - savesAtStart - savesDuringRun;
    station.stop();

    const quint64 reportsSent = total.eventsSent + total.keepAlivesSent;
    const quint64 reportsAcked = total.eventsAcked + total.keepAlivesAcked;
    const double growth = warmKb > 0 ? 100.0 * double(endKb - warmKb) / double(warmKb) : 0;
    std::printf("\n== soak (%s): %d s, %d clients, %d devices, %d events/s\n", window ? "window" : "headless",
                options.seconds, options.clients, options.devices, options.rate);
    std::printf("reports sent %llu (events %llu, keep-alives %llu)\n", static_cast<unsigned long long>(reportsSent),
                static_cast<unsigned long long>(total.eventsSent),
                static_cast<unsigned long long>(total.keepAlivesSent));
    std::printf("acknowledged %llu (events %llu, keep-alives %llu); refused %llu\n",
                static_cast<unsigned long long>(reportsAcked), static_cast<unsigned long long>(total.eventsAcked),
                static_cast<unsigned long long>(total.keepAlivesAcked), static_cast<unsigned long long>(total.refused));
    std::printf("lost/unanswered %llu; stray answers %llu; kernel drops at the receiver %llu; datagrams read %llu\n",
                static_cast<unsigned long long>(total.unanswered), static_cast<unsigned long long>(total.strays),
                static_cast<unsigned long long>(kernelDrops), static_cast<unsigned long long>(datagramsRead));
    std::printf("acknowledgement time p50 %.3f ms, p99 %.3f ms, p99.9 %.3f ms\n", percentileMs(histogram, 0.50),
                percentileMs(histogram, 0.99), percentileMs(histogram, 0.999));
    std::printf("Events.log: %llu device events (of %llu lines) vs %llu events acknowledged\n",
                static_cast<unsigned long long>(logDeviceLines), static_cast<unsigned long long>(logLines),
                static_cast<unsigned long long>(total.eventsAcked));
    std::printf("forwarded (DC-09): sent %llu (%.0f per s), failed %llu, not sent %llu; station frames %llu, ACKs "
                "%llu, NAKs %llu\n",
                static_cast<unsigned long long>(forwarded), double(forwarded) / options.seconds,
                static_cast<unsigned long long>(forwardFailed), static_cast<unsigned long long>(forwardNotSent),
                static_cast<unsigned long long>(station.frames.load()),
                static_cast<unsigned long long>(station.acks.load()),
                static_cast<unsigned long long>(station.naks.load()));
    std::printf("Events.log lines not sent (result 3): %llu\n", static_cast<unsigned long long>(log.notSent));
    for (const QByteArray& line : log.notSentSamples)
        std::printf("  %s\n", line.constData());
    std::printf("events forwarded %llu (every result) vs events listed %llu (each listed event is a line of "
                "Events.log; %d rows in the list since the warm-up)\n",
                static_cast<unsigned long long>(forwarded + forwardFailed + forwardNotSent),
                static_cast<unsigned long long>(logLines), endRows);
    std::printf("resident memory (list emptied): at start %ld KiB; after the warm-up %ld KiB (%ld KiB with its %d "
                "rows, %zu forwardings queued); at the end %ld KiB (%ld KiB with its %d rows, %zu forwardings queued); "
                "growth %.2f %%\n",
                startKb, warmKb, warmFullKb, warmRows, warmQueue, endKb, endFullKb, endRows, endQueue, growth);
    std::printf("client-list saves: %llu during the run, %llu at shutdown\n",
                static_cast<unsigned long long>(savesDuringRun), static_cast<unsigned long long>(savesAtShutdown));
    return 0;
}
