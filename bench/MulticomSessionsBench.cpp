// Idle Multicom sessions held open over loopback: the memory each one costs
// and the main-thread cost of one accepted read while thousands are open.

#include "common/UserInterface.h"
#include "device/MulticomListener.h"
#include "device/SessionProtocol.h"

#include <QCoreApplication>
#include <QFile>

#include "bench/BenchReceiver.h"

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <limits>
#include <thread>
#include <vector>

namespace {

class SilentUserInterface : public UserInterface {
public:
    void showMessage(const QString& text, Icon) override { std::fprintf(stderr, "%s\n", qPrintable(text)); }
    bool askYesNo(const QString&, Icon, bool defaultYes) override { return defaultYes; }
    void setStatusField(int, const QString&) override {}
    void playSound(const QString&) override {}
};

class CountingProtocol : public SessionProtocol {
public:
    QByteArray HandleSessionFrame(MulticomSession&, std::array<char, MulticomSession::kBufferSize>&, int) override {
        ++frames;
        return {};
    }
    long frames = 0;
};

// The devices are plain sockets so that their side costs no user memory. The
// one active device is in this process; the idle ones are held by child
// processes, so that 10,000 sessions fit in this process's descriptor limit
// (each session here needs one descriptor, a device in the same process a
// second).
struct Sessions {
    SilentUserInterface ui;
    CountingProtocol protocol;
    // Long enough that no idle session times out while the benchmark runs.
    MulticomListener listener{ui, protocol, std::chrono::minutes(30)};
    int activeDevice = -1;
    std::vector<std::pair<pid_t, int>> idleHolders; // child process, write end of its pipe
    double kibPerSession = 0;

    Sessions() {
        // Far more than the receiver's default, which would refuse most of them.
        listener.setMaxSessions(std::numeric_limits<std::size_t>::max());
        listener.OpenMulticomListener(0);
    }
    ~Sessions() {
        if (activeDevice >= 0)
            ::close(activeDevice);
        for (const auto& [pid, pipe] : idleHolders) {
            ::close(pipe); // the child reads the end of the pipe and exits
            ::waitpid(pid, nullptr, 0);
        }
    }

    int connectOne() const {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        if (fd < 0)
            return -1;
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(listener.listeningPort());
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            ::close(fd);
            return -1;
        }
        return fd;
    }

    // A child process that opens count idle connections and holds them until its pipe closes.
    bool spawnIdleDevices(std::size_t count) {
        int fds[2];
        if (::pipe(fds) != 0)
            return false;
        const pid_t pid = ::fork();
        if (pid < 0)
            return false;
        if (pid == 0) {
            ::close(fds[1]);
            std::vector<int> held;
            for (std::size_t i = 0; i < count; ++i) {
                const int fd = connectOne();
                if (fd < 0)
                    break;
                held.push_back(fd);
            }
            char end;
            while (::read(fds[0], &end, 1) > 0) {
            }
            ::_exit(0);
        }
        ::close(fds[0]);
        idleHolders.emplace_back(pid, fds[1]);
        return true;
    }

    bool waitForSessions(std::size_t count) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
        while (listener.sessionCount() < count) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
        }
        return true;
    }

    // Opens sessions until count are listed: the active device first, then idle ones.
    bool grow(std::size_t count) {
        if (listener.sessionCount() >= count)
            return true;
        const long before = BenchSupport::residentKb();
        const std::size_t first = listener.sessionCount();
        if (activeDevice < 0) {
            activeDevice = connectOne();
            if (activeDevice < 0 || !waitForSessions(1))
                return false;
        }
        if (listener.sessionCount() < count && !spawnIdleDevices(count - listener.sessionCount()))
            return false;
        if (!waitForSessions(count))
            return false;
        if (count > first)
            kibPerSession = double(BenchSupport::residentKb() - before) / double(count - first);
        return true;
    }
};

Sessions* g_sessions = nullptr;

// One device sends a short complete frame; the main thread is run until the
// frame has been read, its watchdog noted and the frame handed to the protocol.
void BM_ActivityWithIdleSessions(benchmark::State& state) {
    const auto open = static_cast<std::size_t>(state.range(0));
    if (!g_sessions->grow(open)) {
        state.SkipWithError("could not open the sessions (descriptor limit?)");
        return;
    }
    static constexpr char kFrame[] = "\x02K\x03";
    for (auto _ : state) {
        const long expected = g_sessions->protocol.frames + 1;
        const int fd = g_sessions->activeDevice;
        if (::send(fd, kFrame, sizeof kFrame - 1, 0) != sizeof kFrame - 1) {
            state.SkipWithError("send failed");
            return;
        }
        while (g_sessions->protocol.frames < expected)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    state.counters["sessions"] = double(g_sessions->listener.sessionCount());
    state.counters["KiB_per_session"] = g_sessions->kibPerSession;
    state.counters["RSS_MiB"] = double(BenchSupport::residentKb()) / 1024.0;
}

// The acknowledgement round trip of the datagram server on the same main
// thread as the idle sessions: a device thread sends keep-alives one after
// the other while the main thread turns its event loop.
void BM_AckRoundTripWithIdleSessions(benchmark::State& state) {
    constexpr int kRoundTrips = 40000;
    constexpr int kClients = 256;
    const auto open = static_cast<std::size_t>(state.range(0));
    if (!g_sessions->grow(open)) {
        state.SkipWithError("could not open the sessions (descriptor limit?)");
        return;
    }
    BenchSupport::BenchReceiver receiver(kClients, true);
    if (!receiver.server.StartServer()) {
        state.SkipWithError("cannot bind the server socket");
        return;
    }
    const quint16 port = receiver.server.boundPort();
    for (auto _ : state) {
        std::atomic<bool> done{false};
        std::vector<double> roundTripsUs;
        long bad = 0;
        std::thread device([&] {
            const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
            timeval timeout{1, 0};
            ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
            sockaddr_in to{};
            to.sin_family = AF_INET;
            to.sin_port = htons(port);
            to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            roundTripsUs.reserve(kRoundTrips);
            TaviCom::DatagramBuffer answer;
            for (int i = 0; i < kRoundTrips; ++i) {
                const auto report = BenchSupport::keepAlive(quint16(i % kClients), quint16(i));
                const auto start = std::chrono::steady_clock::now();
                ::sendto(fd, report.data(), report.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
                if (::recv(fd, answer.data(), answer.size(), 0) != 18)
                    ++bad;
                roundTripsUs.push_back(
                    std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
            }
            ::close(fd);
            done = true;
        });
        const auto began = std::chrono::steady_clock::now();
        while (!done)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
        device.join();
        state.counters["acks_per_s"] = double(kRoundTrips) / seconds;
        state.counters["p50_us"] = BenchSupport::percentile(roundTripsUs, 0.50);
        state.counters["p99_us"] = BenchSupport::percentile(roundTripsUs, 0.99);
        state.counters["bad_answers"] = double(bad);
    }
    state.counters["sessions"] = double(g_sessions->listener.sessionCount());
}
// Sessions are only ever added: the runs go from none to 10,000.
BENCHMARK(BM_AckRoundTripWithIdleSessions)->Arg(0)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ActivityWithIdleSessions)->Arg(1)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AckRoundTripWithIdleSessions)->Arg(10000)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    // Each session takes two descriptors here (device and server side): ask
    // for room for 10,000 sessions, beyond the hard limit where allowed.
    constexpr rlim_t kWanted = 32768;
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < kWanted) {
        rlimit raised{kWanted, std::max(kWanted, limit.rlim_max)};
        if (::setrlimit(RLIMIT_NOFILE, &raised) != 0) {
            limit.rlim_cur = limit.rlim_max;
            ::setrlimit(RLIMIT_NOFILE, &limit);
        }
    }
    QCoreApplication app(argc, argv);
    Sessions sessions;
    g_sessions = &sessions;
    return BenchSupport::runBenchmarks(argc, argv);
}
