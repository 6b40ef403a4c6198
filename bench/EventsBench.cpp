// Events list figures: rebuilding the list from a log of a million lines (time
// and memory of the list), and raising client events with reporting off (list
// and log included).

#include "clients/ClientRecord.h"
#include "clients/ClientRegistry.h"
#include "common/UserInterface.h"
#include "common/ui/RowIcons.h"
#include "config/ServerSettings.h"
#include "events/AlarmTextTable.h"
#include "events/EventList.h"
#include "events/EventPipeline.h"
#include "events/InternalEventTable.h"
#include "events/ui/EventsPage.h"
#include "reporting/Reporter.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>

#include "bench/BenchSupport.h"

#include <benchmark/benchmark.h>

#include <cstdio>

namespace {

const int kLogLines =
    qEnvironmentVariableIsSet("EVENTS_BENCH_LINES") ? qEnvironmentVariableIntValue("EVENTS_BENCH_LINES") : 1000000;
constexpr int kRaisedEvents = 100'000;

// A log of a million lines: 500 clients, one event every second or so, a
// handful of event kinds.
void writeLog(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return;
    const char* texts[] = {"Disparo de alarme de roubo",
                           "Restauro: disparo de alarme de roubo",
                           "Arme por usuário",
                           "Desarme por usuário",
                           "Teste periódico",
                           "Falta de energia elétrica (AC)"};
    const char* codes[] = {"130", "130", "401", "401", "602", "301"};
    const char* qualifiers[] = {"E", "R", "R", "E", "E", "E"};
    QByteArray block;
    char line[256];
    int seconds = 0;
    for (int i = 0; i < kLogLines; ++i) {
        const int kind = i % 6;
        const int client = (i * 7919) % 500;
        seconds += (i % 3 == 0) ? 1 : 0;
        const int day = 1 + (seconds / 86400) % 28;
        const int month = 1 + (seconds / (86400 * 28)) % 12;
        const int length = std::snprintf(
            line, sizeof line,
            "%d\t%02d/%02d/2026 %02d:%02d:%02d\tCliente %d\t%04X\t%s\t%s\t%s\t01\t%03d\tTaviCom\tKorvo 16IP\n",
            i % 11 == 0 ? 2 : 0, day, month, (seconds / 3600) % 24, (seconds / 60) % 60, seconds % 60, client,
            0x1000 + client, texts[kind], qualifiers[kind], codes[kind], 100 + client % 40);
        block.append(line, length);
        if (block.size() > (1 << 20)) {
            file.write(block);
            block.clear();
        }
    }
    file.write(block);
}

void BM_ReloadMillionLines(benchmark::State& state) {
    QTemporaryDir dir;
    writeLog(dir.filePath(QStringLiteral("Events.log")));
    BenchSupport::QuietUserInterface ui;
    EventList list(DataDirectory(dir.path()), ui);
    ClientRegistry registry;
    RowIcons icons;
    std::unique_ptr<EventsPage> page;
    if (state.range(0) == 1)
        page = std::make_unique<EventsPage>(list, registry, icons);
    const long before = BenchSupport::residentKb();
    for (auto _ : state) {
        list.ReloadEvents();
        benchmark::DoNotOptimize(list.model().rowCount());
    }
    const long after = BenchSupport::residentKb();
    state.counters["rows"] = list.model().rowCount();
    state.counters["list_MB"] = double(after - before) / 1024.0;
    state.counters["rss_MB"] = double(after) / 1024.0;
}
BENCHMARK(BM_ReloadMillionLines)->Arg(0)->Arg(1)->ArgName("with_view")->Iterations(3)->Unit(benchmark::kMillisecond);

void BM_RaiseClientEvents(benchmark::State& state) {
    QTemporaryDir dir;
    BenchSupport::QuietUserInterface ui;
    NotSentReporter reporter;
    AlarmTextTable alarms;
    LoadAlarmTexts(QStringLiteral(ATALAIA_SOURCE_DIR "/demo/Alarms.lst"), alarms);
    InternalEventTable internal;
    ServerSettings settings;
    PrimaryClient client;
    client.account = 0x1234;
    client.name = QStringLiteral("Padaria Central");
    client.panel = QStringLiteral("Korvo 16IP");
    client.status = ClientStatus::Online;
    for (auto _ : state) {
        QFile::remove(dir.filePath(QStringLiteral("Events.log")));
        EventList list(DataDirectory(dir.path()), ui);
        EventPipeline pipeline(list, reporter, alarms, internal, settings, ui, DataDirectory(dir.path()));
        for (int i = 0; i < kRaisedEvents; ++i)
            pipeline.RaiseClientEvent(&client, (i % 2 == 0) ? 1130 : 3130, 1, quint16(i % 1000), 1);
        list.model().showWaitingRows();
        benchmark::DoNotOptimize(list.model().rowCount());
    }
    state.SetItemsProcessed(state.iterations() * kRaisedEvents);
}
BENCHMARK(BM_RaiseClientEvents)->Iterations(2)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    return BenchSupport::runBenchmarks(argc, argv);
}
