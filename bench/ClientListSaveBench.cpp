#include "clients/ClientListFile.h"
#include "clients/ClientRecord.h"
#include "clients/ClientRegistry.h"

#include <QDir>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

constexpr int kClientCount = 65536;
constexpr int kDefaultKeepAlive = 60;

// Every account once (more clients than accounts: again from the first):
// plain primaries, every eighth a Multicom client, every sixteenth with two
// dependents (dependent accounts reuse numbers; they are not primary keys).
void fill(ClientRegistry& registry, int count = kClientCount) {
    for (int i = 0; i < count; ++i) {
        PrimaryClient* client = (i % 8 == 0) ? new MulticomClient : new PrimaryClient;
        client->account = static_cast<quint16>(i);
        client->name = QStringLiteral("Cliente %1 Loja Centro").arg(i);
        client->panel = QStringLiteral("Korvo 16IP");
        client->lastContact = QStringLiteral("05/03/2020 14:22:10");
        client->ethAddress = QStringLiteral("10.%1.%2.7").arg(i >> 8).arg(i & 0xFF);
        client->status = 1 + i % 4;
        client->ethPeriod = 120;
        client->deviceId = static_cast<quint32>(i) * 2654435761u;
        registry.Register(client);
        for (int k = 0; i % 16 == 0 && k < 2; ++k) {
            auto* dependent = new DependentAccount;
            dependent->account = static_cast<quint16>(i ^ (0x8000 + k));
            dependent->name = QStringLiteral("Deposito %1").arg(k);
            dependent->status = client->status;
            client->AddDependent(dependent);
            registry.Register(dependent);
        }
    }
}

void BM_SaveClientList(benchmark::State& state) {
    QTemporaryDir dir;
    QDir(dir.path()).mkdir(QStringLiteral("Backup"));
    ClientRegistry registry;
    fill(registry);
    ClientListFile file(registry, DataDirectory(dir.path()), kDefaultKeepAlive);
    for (auto _ : state)
        file.SaveClientList();
    state.counters["clients"] = kClientCount;
}
BENCHMARK(BM_SaveClientList)->Unit(benchmark::kMillisecond);

void BM_SerializeClientList(benchmark::State& state) {
    ClientRegistry registry;
    fill(registry);
    ClientListFile file(registry, DataDirectory(QStringLiteral("/nonexistent")), kDefaultKeepAlive);
    for (auto _ : state)
        benchmark::DoNotOptimize(file.serialize());
}
BENCHMARK(BM_SerializeClientList)->Unit(benchmark::kMillisecond);

void BM_LoadClientList(benchmark::State& state) {
    QTemporaryDir dir;
    QDir(dir.path()).mkdir(QStringLiteral("Backup"));
    {
        ClientRegistry registry;
        fill(registry, int(state.range(0)));
        ClientListFile(registry, DataDirectory(dir.path()), kDefaultKeepAlive).SaveClientList();
    }
    for (auto _ : state) {
        ClientRegistry registry;
        ClientListFile file(registry, DataDirectory(dir.path()), kDefaultKeepAlive);
        file.LoadClientList();
        benchmark::DoNotOptimize(registry.primaryCount());
        state.PauseTiming(); // the registry's destruction is not part of loading
        registry.Shutdown();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
// The time per client stays flat as the list grows: loading is linear.
BENCHMARK(BM_LoadClientList)->Arg(kClientCount)->Arg(80000)->Arg(160000)->Arg(320000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
