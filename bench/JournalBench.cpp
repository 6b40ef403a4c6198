// What the custody of acknowledged events costs on the acknowledgement path.
// A reading round of N event reports goes through the datagram server as the
// socket hands it over (check, acknowledgement, hand-on), once without the
// journal and once with it: the round's events are written to "Events.jnl"
// before the acknowledgements leave, synced right after, and released as the
// log takes them (here at once, since the benchmark's raiser lists nothing).
// The figure to read is events per second and its ratio between the two.
//
// The journal lives in ATALAIA_BENCH_DIR when set (to measure the disk the
// data directory is on), else in a fresh directory under /tmp.

#include "bench/BenchReceiver.h"
#include "device/DatagramSender.h"
#include "events/EventJournal.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <vector>

using namespace TaviCom;
using BenchSupport::BenchReceiver;

namespace {

constexpr int kClients = 64;

class DiscardingSender : public DatagramSender {
public:
    int sendBatch(std::span<const OutgoingDatagram> batch) override { return int(batch.size()); }
};

ReceivedDatagram eventReport(quint16 account, quint16 sequence, quint16 zone) {
    ReceivedDatagram datagram;
    DatagramBuffer& bytes = datagram.bytes;
    bytes[kOffType] = kTypeEvent;
    writeU32(bytes, kOffDeviceId, account);
    writeU16(bytes, kOffSequence, sequence);
    bytes[kOffAnswerKind] = kKindAnswer;
    bytes[kOffKind] = kKindReport;
    writeDeviceReport(bytes, {account, 1130, 1, zone, BenchSupport::kPeriodSeconds});
    datagram.length = kFrameOverhead + SealDatagram(bytes, kReportPayloadLength);
    datagram.address = 0x7F000001;
    datagram.port = 40000;
    return datagram;
}

void BM_ReadingRound(benchmark::State& state) {
    const int roundSize = int(state.range(0));
    const bool withJournal = state.range(1) != 0;
    std::unique_ptr<QTemporaryDir> temporary;
    QString directory = QString::fromLocal8Bit(std::getenv("ATALAIA_BENCH_DIR"));
    if (directory.isEmpty()) {
        temporary = std::make_unique<QTemporaryDir>();
        directory = temporary->path();
    }
    BenchReceiver receiver(kClients, false);
    DiscardingSender sender;
    receiver.server.setSender(sender);
    EventJournal journal{DataDirectory(directory)};
    if (withJournal)
        receiver.server.setJournal(&journal);

    std::vector<ReceivedDatagram> round;
    quint16 sequence = 0;
    for (auto _ : state) {
        state.PauseTiming();
        round.clear();
        for (int i = 0; i < roundSize; ++i) {
            ++sequence;
            round.push_back(eventReport(quint16(1 + i % kClients), sequence, quint16(sequence % 1000)));
        }
        state.ResumeTiming();
        receiver.server.handleDatagrams(round);
    }
    state.SetItemsProcessed(state.iterations() * roundSize);
    state.SetLabel(withJournal ? "journal" : "no journal");
}

BENCHMARK(BM_ReadingRound)
    ->ArgNames({"events", "journal"})
    ->ArgsProduct({{1, 8, 64}, {0, 1}})
    ->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
