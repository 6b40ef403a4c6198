// Idle Multicom sessions held open over loopback: the memory each one costs
// and the main-thread cost of one accepted read while thousands are open.

#include "common/UserInterface.h"
#include "device/MulticomListener.h"
#include "device/MulticomListeningSocket.h"
#include "device/SessionProtocol.h"

#include <QCoreApplication>
#include <QFile>

#include "bench/BenchReceiver.h"

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
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

// The devices are plain sockets so that their side costs no user memory.
struct Sessions {
    SilentUserInterface ui;
    CountingProtocol protocol;
    // Long enough that no idle session times out while the benchmark runs.
    MulticomListener listener{ui, protocol, std::chrono::minutes(30)};
    std::vector<int> devices;
    double kibPerSession = 0;

    Sessions() { listener.OpenMulticomListener(0); }
    ~Sessions() {
        for (int fd : devices)
            ::close(fd);
    }

    bool connectOne() {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        if (fd < 0)
            return false;
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(listener.listeningPort());
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            ::close(fd);
            return false;
        }
        devices.push_back(fd);
        return true;
    }

    // Opens sessions until count are listed, five at a time (the backlog).
    bool grow(std::size_t count) {
        const long before = BenchSupport::residentKb();
        const std::size_t first = listener.sessionCount();
        while (listener.sessionCount() < count) {
            const std::size_t target = std::min<std::size_t>(count, devices.size() + MulticomListeningSocket::kBacklog);
            while (devices.size() < target) {
                if (!connectOne())
                    return false;
            }
            while (listener.sessionCount() < devices.size())
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        if (count > first)
            kibPerSession = double(BenchSupport::residentKb() - before) / double(count - first);
        return true;
    }
};

Sessions* g_sessions = nullptr;

// One device sends a one-byte frame; the main thread is run until the frame
// has been read, its watchdog noted and the frame handed to the protocol.
void BM_ActivityWithIdleSessions(benchmark::State& state) {
    const auto open = static_cast<std::size_t>(state.range(0));
    if (!g_sessions->grow(open)) {
        state.SkipWithError("could not open the sessions (descriptor limit?)");
        return;
    }
    std::size_t next = 0;
    for (auto _ : state) {
        const long expected = g_sessions->protocol.frames + 1;
        const int fd = g_sessions->devices[next++ % open];
        if (::send(fd, "k", 1, 0) != 1) {
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
    // Each session takes two descriptors here (device and server side).
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
    QCoreApplication app(argc, argv);
    Sessions sessions;
    g_sessions = &sessions;
    return BenchSupport::runBenchmarks(argc, argv);
}
