// The datagram path under load, over loopback:
// - the acknowledgement round trip: a device sends keep-alive reports one
//   after the other and waits for each answer, against a registry of 65,536
//   clients (every account registered, all online), beside a plain C UDP echo
//   on the same loopback as the floor;
// - 2,000,000 back-to-back round trips from one device against demo-like
//   data (3 clients): every one must be answered;
// - 8 devices flooding at once for 60 s in bursts of 40: every report is
//   answered or counted as dropped by the kernel.
//
// The server runs its real event loop on a thread of its own (standing for
// the application's main thread); the device is a blocking socket on the
// benchmark thread, so it receives each acknowledgement the moment the server
// sends it. A round trip is therefore: the device's send, the socket
// notification, the lookup of the client, the check, building and sending
// the acknowledgement, and the device's receive. What the server does after
// the acknowledgement (ClientContact with its page refresh) overlaps the
// device's next send; since the device sends the next report only after the
// answer, the acknowledgements per second still count the server's whole
// work per datagram once the queue is in its steady state.

#include <QCoreApplication>
#include <QThread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "bench/BenchReceiver.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <future>
#include <thread>
#include <vector>

using namespace TaviCom;
using BenchSupport::BenchReceiver;
using BenchSupport::keepAlive;
using BenchSupport::percentile;

namespace {

constexpr int kClientCount = 65536;

// The server side: the registry, the pages and the datagram server, built
// and run on a thread of their own with its own event loop, as the
// application runs them on its main thread.
class ServerThread : public QThread {
public:
    ServerThread(int clientCount, bool fillOnlinePage) : m_clientCount(clientCount), m_fill(fillOnlinePage) {}

    // Starts the server and gives its bound port once it runs; 0 (the
    // benchmark marked skipped) when it could not bind.
    quint16 startOrSkip(benchmark::State& state) {
        start();
        const quint16 port = m_port.get_future().get();
        if (port == 0) {
            wait();
            state.SkipWithError("cannot bind the server socket");
        }
        return port;
    }

    // Figures of the server once the thread has ended.
    quint64 datagramsRead = 0;
    quint64 kernelDrops = 0;
    int recoveries = 0;
    int receiveBuffer = 0;

protected:
    void run() override {
        BenchReceiver receiver(m_clientCount, m_fill);
        DatagramServer& server = receiver.server;
        const bool started = server.StartServer();
        receiveBuffer = server.receiveBufferSize();
        m_port.set_value(started ? server.boundPort() : 0);
        if (started)
            exec();
        datagramsRead = server.datagramsRead();
        kernelDrops = server.kernelDrops();
        recoveries = server.receptionRecoveries();
        server.stopServer();
    }

private:
    int m_clientCount;
    bool m_fill;
    std::promise<quint16> m_port;
};

// A device: a plain blocking socket, so that it sees each answer the moment
// the server sends it; receives give up after timeoutMs.
int openDevice(int timeoutMs) {
    const int device = ::socket(AF_INET, SOCK_DGRAM, 0);
    timeval receiveTimeout{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    ::setsockopt(device, SOL_SOCKET, SO_RCVTIMEO, &receiveTimeout, sizeof receiveTimeout);
    return device;
}

sockaddr_in loopback(quint16 port) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return to;
}

// Round trips of the given reports, in turn, one per iteration; an answer
// that is missing, not 18 bytes, not an acknowledgement or of another
// sequence counts as bad. With echo set, an answer is the report sent back.
void measureRoundTrips(benchmark::State& state, quint16 serverPort, const std::vector<std::vector<quint8>>& reports,
                       bool echo, const char* label) {
    const int device = openDevice(1000);
    const sockaddr_in to = loopback(serverPort);
    std::vector<double> roundTripsUs;
    roundTripsUs.reserve(size_t(1) << 22);
    DatagramBuffer answer;
    size_t next = 0;
    qint64 failures = 0;
    for (auto _ : state) {
        const auto& report = reports[next];
        next = (next + 1) % reports.size();
        const auto start = std::chrono::steady_clock::now();
        ::sendto(device, report.data(), report.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
        const ssize_t read = ::recv(device, answer.data(), answer.size(), 0);
        const auto end = std::chrono::steady_clock::now();
        if (roundTripsUs.size() < roundTripsUs.capacity())
            roundTripsUs.push_back(std::chrono::duration<double, std::micro>(end - start).count());
        const bool good = echo ? read == ssize_t(report.size())
                               : read == 18 && readU16(answer, kOffSequence) == readU16(report, kOffSequence) &&
                                     answer[kOffType] == kTypeAcknowledged;
        if (!good)
            ++failures;
    }
    ::close(device);

    const double p50 = percentile(roundTripsUs, 0.50);
    const double p99 = percentile(roundTripsUs, 0.99);
    state.counters["acks_per_s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["p50_us"] = p50;
    state.counters["p99_us"] = p99;
    state.counters["bad_answers"] = double(failures);
    std::printf("%s: %lld round trips, p50 %.1f us, p99 %.1f us, bad answers %lld\n", label,
                static_cast<long long>(state.iterations()), p50, p99, static_cast<long long>(failures));
}

// One report per account, in an order that spreads them over every bucket of the registry.
std::vector<std::vector<quint8>> reportsFor(int clientCount) {
    std::vector<std::vector<quint8>> reports;
    reports.reserve(size_t(clientCount));
    for (int i = 0; i < clientCount; ++i)
        reports.push_back(keepAlive(quint16((i * 40503) % clientCount), quint16(i)));
    return reports;
}

// Arguments: the number of registered clients, and whether the Online page
// lists them all from the start (1) or gets its rows as the clients are heard (0).
void BM_AckRoundTrip(benchmark::State& state) {
    const int clientCount = int(state.range(0));
    ServerThread serverThread(clientCount, state.range(1) != 0);
    const quint16 serverPort = serverThread.startOrSkip(state);
    if (serverPort == 0)
        return;
    const auto reports = reportsFor(clientCount);
    const QByteArray label = QStringLiteral("clients %1, online page %2")
                                 .arg(clientCount)
                                 .arg(state.range(1) ? "filled" : "filling")
                                 .toUtf8();
    measureRoundTrips(state, serverPort, reports, false, label.constData());
    serverThread.quit();
    serverThread.wait();
    state.counters["recoveries"] = serverThread.recoveries;
}

// The floor: a plain C echo on a thread of its own, a blocking receive and
// send per datagram, over the same loopback.
void BM_PlainUdpEcho(benchmark::State& state) {
    const int echo = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in local = loopback(0);
    socklen_t length = sizeof local;
    ::bind(echo, reinterpret_cast<const sockaddr*>(&local), sizeof local);
    ::getsockname(echo, reinterpret_cast<sockaddr*>(&local), &length);
    std::atomic<bool> stop{false};
    std::thread echoThread([&] {
        timeval timeout{0, 100 * 1000};
        ::setsockopt(echo, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        char buffer[kMaxDatagramLength];
        while (!stop) {
            sockaddr_in from{};
            socklen_t fromLength = sizeof from;
            const ssize_t read =
                ::recvfrom(echo, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
            if (read > 0)
                ::sendto(echo, buffer, size_t(read), 0, reinterpret_cast<const sockaddr*>(&from), fromLength);
        }
    });
    measureRoundTrips(state, ntohs(local.sin_port), reportsFor(256), true, "plain C UDP echo");
    stop = true;
    echoThread.join();
    ::close(echo);
}

// 2,000,000 round trips from one device, one after the other, against
// demo-like data (3 clients): every one must be answered.
void BM_BackToBackRoundTrips(benchmark::State& state) {
    constexpr int kDemoClients = 3;
    ServerThread serverThread(kDemoClients, true);
    const quint16 serverPort = serverThread.startOrSkip(state);
    if (serverPort == 0)
        return;
    std::vector<std::vector<quint8>> reports;
    for (int i = 0; i < 4096; ++i)
        reports.push_back(keepAlive(quint16(i % kDemoClients), quint16(i)));
    measureRoundTrips(state, serverPort, reports, false, "back to back, 3 clients");
    serverThread.quit();
    serverThread.wait();
    state.counters["recoveries"] = serverThread.recoveries;
}

// Eight devices report together, as after a network outage, for 60 s: each
// sends a burst of 40 keep-alives, then collects the answers, and again.
// Every report must be answered or dropped by the kernel on a full buffer.
void BM_EightDeviceFlood(benchmark::State& state) {
    constexpr int kDevices = 8;
    constexpr int kBurst = 40;
    constexpr auto kDuration = std::chrono::seconds(60);
    for (auto _ : state) {
        ServerThread serverThread(kDevices, true);
        const quint16 serverPort = serverThread.startOrSkip(state);
        if (serverPort == 0)
            return;
        const sockaddr_in to = loopback(serverPort);
        std::atomic<long long> sent{0}, answered{0};
        const auto deadline = std::chrono::steady_clock::now() + kDuration;
        std::vector<std::thread> devices;
        for (int d = 0; d < kDevices; ++d) {
            devices.emplace_back([&, d] {
                const int device = openDevice(100);
                DatagramBuffer answer;
                quint16 sequence = 0;
                long long mySent = 0, myAnswered = 0;
                const auto collect = [&](long long wanted) {
                    while (myAnswered < wanted && ::recv(device, answer.data(), answer.size(), 0) == 18)
                        ++myAnswered;
                };
                while (std::chrono::steady_clock::now() < deadline) {
                    for (int i = 0; i < kBurst; ++i) {
                        const auto report = keepAlive(quint16(d), ++sequence);
                        ::sendto(device, report.data(), report.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                                 sizeof to);
                        ++mySent;
                    }
                    collect(mySent);
                }
                // Late answers of the last burst.
                for (int quiet = 0; quiet < 5 && myAnswered < mySent; ++quiet)
                    collect(mySent);
                sent += mySent;
                answered += myAnswered;
                ::close(device);
            });
        }
        for (auto& device : devices)
            device.join();
        // The kernel's drop count rides on the next datagram read: one probe carries it.
        const int probe = openDevice(1000);
        const auto report = keepAlive(0, 0xFFFF);
        ::sendto(probe, report.data(), report.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
        DatagramBuffer answer;
        ::recv(probe, answer.data(), answer.size(), 0);
        ::close(probe);
        serverThread.quit();
        serverThread.wait();

        const long long unaccounted = sent - answered - (long long)serverThread.kernelDrops;
        state.counters["sent"] = double(sent);
        state.counters["answered"] = double(answered);
        state.counters["kernel_drops"] = double(serverThread.kernelDrops);
        state.counters["unaccounted"] = double(unaccounted);
        state.counters["reports_per_s"] = double(answered) / double(kDuration.count());
        state.counters["recoveries"] = serverThread.recoveries;
        std::printf("8 devices, 60 s: sent %lld, answered %lld, dropped by the kernel %llu, unaccounted %lld, "
                    "receive buffer %d bytes\n",
                    sent.load(), answered.load(), static_cast<unsigned long long>(serverThread.kernelDrops),
                    unaccounted, serverThread.receiveBuffer);
    }
}

} // namespace

BENCHMARK(BM_AckRoundTrip)
    ->ArgNames({"clients", "online_page_filled"})
    ->Args({kClientCount, 0})
    ->Args({kClientCount, 1})
    ->Args({256, 1})
    ->MinTime(2.0)
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PlainUdpEcho)->MinTime(2.0)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BackToBackRoundTrips)->Iterations(2000000)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_EightDeviceFlood)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    return BenchSupport::runBenchmarks(argc, argv);
}
