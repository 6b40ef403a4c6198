// One pass of the client monitor over a full register (every 16-bit account):
// with every countdown still running, and with every online client turning
// late in the same pass.
#include "clients/ClientMonitor.h"
#include "clients/ClientPages.h"
#include "clients/ClientRecord.h"
#include "clients/ClientRegistry.h"
#include "clients/ClientStatusEvents.h"
#include "clients/ClientTransitions.h"
#include "common/EventRequests.h"
#include "common/UserInterface.h"
#include "config/ServerSettings.h"

#include <QCoreApplication>

#include "bench/BenchSupport.h"

#include <benchmark/benchmark.h>

namespace {

constexpr int kClientCount = 65536;

class CountingRequests final : public EventRequests {
public:
    void requestClientEvent(quint64, int, bool) override { ++requests; }
    void requestServerEvent(int, bool) override { ++requests; }
    int requests = 0;
};

class NoReturns final : public ClientStatusEvents {
public:
    void clientBackOnline(ClientRecord*) override {}
    void clientBlocked(ClientRecord*, bool) override {}
    void clientRemoved(ClientRecord*) override {}
};

struct Register {
    explicit Register(int onlineRows) {
        for (int i = 0; i < kClientCount; ++i) {
            auto* client = new PrimaryClient;
            client->account = static_cast<quint16>(i);
            client->name = QStringLiteral("Cliente %1").arg(i);
            client->status = i < onlineRows ? ClientStatus::Online : ClientStatus::Offline;
            client->linkState = LinkState::Ok;
            client->ethPeriod = 60;
            client->ethAddress = QStringLiteral("10.%1.%2.7").arg(i >> 8).arg(i & 0xFF);
            client->gprsAddress = QStringLiteral("100.64.%1.%2").arg(i >> 8).arg(i & 0xFF);
            registry.Register(client);
            clients.push_back(client);
            if (i < onlineRows)
                pages.online().AddClient(client);
        }
    }

    ClientRegistry registry;
    ClientPages pages;
    BenchSupport::QuietUserInterface ui;
    CountingRequests requests;
    NoReturns returns;
    ServerSettings settings;
    std::vector<PrimaryClient*> clients;
    ClientTransitions transitions{
        registry, pages, returns, requests, ui, settings, DataDirectory(QStringLiteral("/tmp"))};
    ClientMonitor monitor{registry, transitions};
};

void BM_MonitorPassCountersRunning(benchmark::State& state) {
    Register r(kClientCount);
    for (PrimaryClient* c : r.clients) {
        c->ethCountdown = 1 << 30;
        c->gprsCountdown = (c->account % 2) ? 1 << 30 : 0;
    }
    for (auto _ : state)
        r.monitor.tick();
    state.SetItemsProcessed(state.iterations() * kClientCount);
}
BENCHMARK(BM_MonitorPassCountersRunning)->Unit(benchmark::kMicrosecond);

// Every client's countdown runs out in the same pass: each turns yellow; the
// first ones (the argument) are online and their rows on the Online page get
// the yellow icon, the others are offline and have no row to refresh.
void BM_MonitorPassAllTurnYellow(benchmark::State& state) {
    Register r(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        for (PrimaryClient* c : r.clients) {
            c->linkState = LinkState::Ok;
            c->ethCountdown = 1;
        }
        state.ResumeTiming();
        r.monitor.tick();
    }
    state.SetItemsProcessed(state.iterations() * kClientCount);
}
BENCHMARK(BM_MonitorPassAllTurnYellow)->Arg(4096)->Arg(kClientCount)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    return BenchSupport::runBenchmarks(argc, argv);
}
