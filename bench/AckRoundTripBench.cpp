// Acknowledgement round trip of the datagram server: a device on loopback
// sends keep-alive reports one after the other and waits for each answer,
// against a registry of 65,536 clients (every account registered, all online).
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

#include "clients/ClientContact.h"
#include "clients/ClientPages.h"
#include "clients/ClientRegistry.h"
#include "common/UserInterface.h"
#include "config/ServerSettings.h"
#include "device/CallbackStarter.h"
#include "device/DatagramServer.h"
#include "device/TaviComCodec.h"
#include "events/EventRaiser.h"
#include "events/InternalEventTable.h"
#include "reporting/ReportSettings.h"
#include "reporting/Reporter.h"

#include <QCoreApplication>
#include <QThread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "bench/BenchSupport.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <future>
#include <vector>

using namespace TaviCom;

namespace {

constexpr int kClientCount = 65536;
constexpr quint16 kPeriodSeconds = 60;

class SilentEventRaiser : public EventRaiser {
public:
    void RaiseClientEvent(ClientRecord*, quint16, quint8, quint16, int) override {}
    void RaiseClientInternalEvent(ReportResult, quint16, ClientRecord*) override {}
    void RaiseInternalEvent(ReportResult, quint16, const QString&) override {}
    void AddEventLine(ReportResult, const QString&, quint16, quint16, quint8, quint16, int,
                      const std::optional<QString>&) override {}
};

std::vector<quint8> keepAlive(quint16 account, quint16 sequence) {
    std::vector<quint8> bytes(kMaxDatagramLength, 0);
    bytes[kOffMarker] = kMarker;
    bytes[kOffVersion] = kVersion;
    bytes[kOffType] = kTypeKeepAlive;
    writeU32(bytes, kOffDeviceId, account);
    writeU16(bytes, kOffSequence, sequence);
    bytes[kOffChannel] = kChannelEthernet;
    bytes[kOffAnswerKind] = kKindAnswer;
    bytes[kOffKind] = kKindReport;
    writeU16(bytes, kOffPayloadLength, kReportPayloadLength);
    writeDeviceReport(bytes, {account, 0, 0, 0, kPeriodSeconds});
    bytes.resize(size_t(finishDatagram(bytes, kReportPayloadLength, kReportPayloadLength)));
    return bytes;
}

double percentile(std::vector<double> values, double fraction) {
    if (values.empty())
        return 0;
    const auto index = std::min(values.size() - 1, size_t(fraction * double(values.size())));
    std::nth_element(values.begin(), values.begin() + long(index), values.end());
    return values[index];
}

// The server side: the registry, the pages and the datagram server, built
// and run on a thread of their own with its own event loop, as the
// application runs them on its main thread.
class ServerThread : public QThread {
public:
    ServerThread(int clientCount, bool fillOnlinePage) : m_clientCount(clientCount), m_fill(fillOnlinePage) {}

    // The bound port once the server runs; 0 when it could not bind.
    quint16 waitForPort() { return m_port.get_future().get(); }

protected:
    void run() override {
        ServerSettings serverSettings; // UDP 0: a free port
        ReportSettings reportSettings;
        ClientRegistry registry;
        ClientPages pages;
        SilentEventRaiser events;
        InternalEventTable internalEvents;
        ContactRecorder contacts(registry, pages, events, internalEvents);
        NotSentReporter reporter;
        NoCallbackStarter callbacks;
        BenchSupport::QuietUserInterface ui;
        for (int account = 0; account < m_clientCount; ++account) {
            auto* client = new PrimaryClient;
            client->account = quint16(account);
            client->deviceId = quint32(account);
            client->status = ClientStatus::Online;
            client->linkState = LinkState::Ok;
            registry.Register(client);
        }
        if (m_fill)
            pages.refillAll(registry);
        DatagramServer server(serverSettings, reportSettings, registry, contacts, events, reporter, callbacks, ui);
        const bool started = server.StartServer();
        m_port.set_value(started ? server.boundPort() : 0);
        if (started)
            exec();
        server.stopServer();
        registry.Shutdown();
    }

private:
    int m_clientCount;
    bool m_fill;
    std::promise<quint16> m_port;
};

// Arguments: the number of registered clients, and whether the Online page
// lists them all from the start (1) or gets its rows as the clients are heard (0).
void BM_AckRoundTrip(benchmark::State& state) {
    const int clientCount = int(state.range(0));
    ServerThread serverThread(clientCount, state.range(1) != 0);
    serverThread.start();
    const quint16 serverPort = serverThread.waitForPort();
    if (serverPort == 0) {
        serverThread.wait();
        state.SkipWithError("cannot bind the server socket");
        return;
    }

    // The device: a plain blocking socket on this thread, so that it sees each
    // answer the moment the server sends it.
    const int device = ::socket(AF_INET, SOCK_DGRAM, 0);
    timeval receiveTimeout{1, 0};
    ::setsockopt(device, SOL_SOCKET, SO_RCVTIMEO, &receiveTimeout, sizeof receiveTimeout);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(serverPort);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);

    // The reports are built before the clock runs: one per account, in an order
    // that spreads them over every bucket of the registry.
    std::vector<std::vector<quint8>> reports;
    reports.reserve(size_t(clientCount));
    for (int i = 0; i < clientCount; ++i)
        reports.push_back(keepAlive(quint16((i * 40503) % clientCount), quint16(i)));

    std::vector<double> roundTripsUs;
    roundTripsUs.reserve(1 << 20);
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
        roundTripsUs.push_back(std::chrono::duration<double, std::micro>(end - start).count());
        if (read != 18 || readU16(answer, kOffSequence) != readU16(report, kOffSequence) ||
            answer[kOffType] != kTypeAcknowledged)
            ++failures;
    }
    ::close(device);
    serverThread.quit();
    serverThread.wait();

    const double p50 = percentile(roundTripsUs, 0.50);
    const double p99 = percentile(roundTripsUs, 0.99);
    state.counters["acks_per_s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["p50_us"] = p50;
    state.counters["p99_us"] = p99;
    state.counters["bad_answers"] = double(failures);
    std::printf("clients %d, online page %s: %zu round trips, p50 %.1f us, p99 %.1f us, bad answers %lld\n",
                clientCount, state.range(1) ? "filled" : "filling", roundTripsUs.size(), p50, p99,
                static_cast<long long>(failures));
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

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    return BenchSupport::runBenchmarks(argc, argv);
}
