// Throughput of the report sender: events forwarded per second over DC-09 to
// an ACKing station on loopback (the sender alone, and whole client events with
// their list row and log line), and serial messages per second at 115200 baud
// over a pseudo-terminal pair with a receiver that answers 0x06 at once.

#include "clients/ClientRecord.h"
#include "common/DataDirectory.h"
#include "common/UserInterface.h"
#include "config/ServerSettings.h"
#include "events/AlarmTextTable.h"
#include "events/EventList.h"
#include "events/EventListModel.h"
#include "events/EventPipeline.h"
#include "events/InternalEventTable.h"
#include "reporting/Dc09Frame.h"
#include "reporting/ReportSender.h"

#include <QCoreApplication>
#include <QNetworkDatagram>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QUdpSocket>

#include "bench/BenchSupport.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace {

ReportRequest event(quint16 account) {
    ReportRequest r;
    r.account = account;
    r.reportAccount = account;
    r.code = 1130;
    r.partition = 1;
    r.zone = 5;
    return r;
}

// Raises count events back to back and runs the event loop until every result is in.
int forwardBatch(ReportSender& sender, int count) {
    int sent = 0;
    int done = 0;
    for (int i = 0; i < count; ++i) {
        sender.ReportEvent(event(quint16(1 + i % 0xFFFE)), [&](ReportResult result) {
            ++done;
            sent += result == ReportResult::Sent ? 1 : 0;
        });
    }
    while (done < count)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return sent;
}

// A DC-09 station on loopback that acknowledges every frame at once.
void answerAck(QUdpSocket& station) {
    QObject::connect(&station, &QUdpSocket::readyRead, [&station] {
        while (station.hasPendingDatagrams()) {
            const QNetworkDatagram d = station.receiveDatagram();
            Dc09Frame::Parsed parsed;
            Dc09Frame::check(d.data(), parsed);
            station.writeDatagram(Dc09Frame::reply("ACK", parsed.sequence, parsed.account), d.senderAddress(),
                                  quint16(d.senderPort()));
        }
    });
}

// A report sender in DC-09 mode towards an acknowledging loopback station.
struct AckingDc09Setup {
    AckingDc09Setup() {
        station.bind(QHostAddress::LocalHost, 0);
        answerAck(station);
        settings.stationHost = QStringLiteral("127.0.0.1");
        settings.stationPort = station.localPort();
        sender.StartReporting(ReportMode::Dc09);
    }
    QUdpSocket station;
    ReportSettings settings;
    InternalEventTable table;
    BenchSupport::QuietUserInterface ui;
    ReportSender sender{settings, ui};
};

void BM_Dc09EventsToAckingStation(benchmark::State& state) {
    AckingDc09Setup dc09;
    ReportSender& sender = dc09.sender;

    const int batch = int(state.range(0));
    int sent = 0;
    for (auto _ : state)
        sent += forwardBatch(sender, batch);
    state.SetItemsProcessed(int64_t(state.iterations()) * batch);
    state.counters["sent"] = sent;
}
BENCHMARK(BM_Dc09EventsToAckingStation)->Arg(1000)->Unit(benchmark::kMillisecond)->UseRealTime();

// Whole client events: forwarded over DC-09 and acknowledged, then listed and logged.
void BM_Dc09ClientEventsListedAndLogged(benchmark::State& state) {
    AckingDc09Setup dc09;
    ReportSender& sender = dc09.sender;

    QTemporaryDir dir;
    const DataDirectory data(dir.path());
    AlarmTextTable alarms;
    ServerSettings serverSettings;
    EventList list(data, dc09.ui);
    EventPipeline pipeline(list, sender, alarms, dc09.table, serverSettings, dc09.ui, data);
    PrimaryClient client;
    client.account = 0x1234;
    client.name = QStringLiteral("Padaria Central");
    client.panel = QStringLiteral("Korvo 16IP");
    client.status = ClientStatus::Online;

    const int batch = int(state.range(0));
    for (auto _ : state) {
        const int target = list.model().eventCount() + batch;
        for (int i = 0; i < batch; ++i)
            pipeline.RaiseClientEvent(&client, 1130, 1, quint16(i % 1000), 1);
        while (list.model().eventCount() < target)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    list.model().showWaitingRows();
    state.SetItemsProcessed(int64_t(state.iterations()) * batch);
    state.counters["sent_rows"] = list.model().rowCount() > 0 && list.model().resultAt(0) == 0 ? 1 : 0;
}
BENCHMARK(BM_Dc09ClientEventsListedAndLogged)->Arg(1000)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SerialMessagesAt115200(benchmark::State& state) {
    int master = -1;
    int slave = -1;
    char name[256] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        state.SkipWithError("openpty failed");
        return;
    }
    termios raw{};
    ::tcgetattr(slave, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(slave, TCSANOW, &raw);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    QSocketNotifier notifier(master, QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, [master] {
        char chunk[256];
        const ssize_t size = ::read(master, chunk, sizeof chunk);
        for (ssize_t i = 0; i < size; ++i) {
            if (chunk[i] == 0x14) {
                const char ack = 0x06;
                [[maybe_unused]] const ssize_t w = ::write(master, &ack, 1);
            }
        }
    });

    ReportSettings settings;
    settings.serialPort = QString::fromLocal8Bit(name);
    settings.baudIndex = 13; // 115200
    BenchSupport::QuietUserInterface ui;
    ReportSender sender(settings, ui);
    sender.StartReporting(ReportMode::Serial);

    const int batch = int(state.range(0));
    int sent = 0;
    for (auto _ : state)
        sent += forwardBatch(sender, batch);
    state.SetItemsProcessed(int64_t(state.iterations()) * batch);
    state.counters["sent"] = sent;
    sender.StopReporting();
    ::close(master);
    ::close(slave);
}
BENCHMARK(BM_SerialMessagesAt115200)->Arg(200)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_FormatDc09Event(benchmark::State& state) {
    Dc09Sequence sequence;
    for (auto _ : state)
        benchmark::DoNotOptimize(FormatDc09Event(event(0x1234), sequence));
    state.SetItemsProcessed(int64_t(state.iterations()));
}
BENCHMARK(BM_FormatDc09Event);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    return BenchSupport::runBenchmarks(argc, argv);
}
