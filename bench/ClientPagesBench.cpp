// Client pages at the whole account space: with 65,536 clients on the pages,
// switching tabs (the page drawn), refilling a page after an edit and finding
// the client named in the name box must each stay under 100 ms.

#include "clients/ClientPagePanel.h"
#include "clients/ClientPages.h"
#include "clients/ClientRecord.h"
#include "clients/ClientTransitions.h"
#include "shell/ServerCore.h"
#include "shell/ui/MainFrame.h"
#include "shell/ui/ServerWindow.h"

#include <QApplication>
#include <QFile>
#include <QTabWidget>
#include <QTemporaryDir>

#include "bench/BenchSupport.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>

namespace {

constexpr int kClients = 65536;

// A receiver on a data directory whose "Clients.lst" holds every account:
// with allOnline every client on the Online page, else half Online, a quarter
// Offline, an eighth Blocked and an eighth New.
struct PagesReceiver {
    explicit PagesReceiver(bool allOnline) {
        auto write = [this](const char* name, const QByteArray& content) {
            QFile file(dir.filePath(QString::fromLatin1(name)));
            if (file.open(QIODevice::WriteOnly))
                file.write(content);
        };
        write("Server.cfg", "[Ports]\r\nUDP 0\r\n[Run]\r\nAnonymEntry\t1\r\n");
        write("Alarms.lst", "[Roubo]\n130 = Disparo de alarme de roubo\nRestauracao de roubo\n");
        write("LocalEvents.lst", "FFFF FFFF 000 00\n");
        QByteArray list;
        list.reserve(kClients * 64);
        char line[128];
        for (int account = 0; account < kClients; ++account) {
            int status = ClientStatus::Online;
            if (!allOnline) {
                const int eighth = account % 8;
                status = eighth < 4 ? ClientStatus::Online
                                    : (eighth < 6 ? ClientStatus::Offline
                                                  : (eighth == 6 ? ClientStatus::Blocked : ClientStatus::New));
            }
            const int link = status == ClientStatus::Offline ? LinkState::Lost : LinkState::Ok;
            const int length =
                std::snprintf(line, sizeof line, "%04X\tCliente %05d\tKorvo 16IP\t\t\t%d\t%d\t1\t60\t%08X\r\n", account,
                              account, status, link, account);
            list.append(line, length);
        }
        write("Clients.lst", list);
        core = std::make_unique<ServerCore>(dir.path(), ui);
        window = std::make_unique<ServerWindow>(*core);
        started = core->start([this] { window->build(); });
        if (started) {
            window->mainFrame()->show();
            QApplication::processEvents();
        }
    }
    ~PagesReceiver() {
        window.reset();
        core.reset();
    }

    QTemporaryDir dir;
    BenchSupport::QuietUserInterface ui;
    std::unique_ptr<ServerCore> core;
    std::unique_ptr<ServerWindow> window;
    bool started = false;
};

PagesReceiver& receiver(bool allOnline) {
    static PagesReceiver mixed(false);
    static PagesReceiver online(true);
    return allOnline ? online : mixed;
}

void BM_SwitchTab(benchmark::State& state) {
    PagesReceiver& r = receiver(false);
    if (!r.started) {
        state.SkipWithError("the receiver did not start");
        return;
    }
    QTabWidget* tabs = r.window->mainFrame()->tabs();
    int next = ClientStatus::Online;
    for (auto _ : state) {
        tabs->setCurrentIndex(next);
        // The page as the operator sees it: laid out and drawn.
        QApplication::processEvents();
        benchmark::DoNotOptimize(r.window->mainFrame()->grab());
        next = next == ClientStatus::New ? ClientStatus::Online : next + 1;
    }
    state.counters["rows_online"] = r.core->pages().online().rowCount();
}
BENCHMARK(BM_SwitchTab)->Unit(benchmark::kMillisecond)->Iterations(40);

void BM_Refill(benchmark::State& state) {
    PagesReceiver& r = receiver(state.range(0) == 1);
    const int kind = int(state.range(1));
    for (auto _ : state) {
        r.core->transitions().refill(kind);
        QApplication::processEvents(); // the view takes the new rows
    }
    state.counters["rows"] = r.core->pages().PageForStatus(kind)->rowCount();
}
BENCHMARK(BM_Refill)
    ->ArgNames({"all_online", "page"})
    ->Args({1, ClientStatus::Online})
    ->Args({0, ClientStatus::Online})
    ->Args({0, ClientStatus::Offline})
    ->Args({0, ClientStatus::New})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10);

void BM_SearchByName(benchmark::State& state) {
    PagesReceiver& r = receiver(true);
    ClientPagePanel& panel = r.core->panel(ClientStatus::Online);
    ClientPageModel& page = panel.model();
    // The worst case: the name of the last row, so every row is compared.
    const QString last = page.textAt(page.rowCount() - 1, 1);
    for (auto _ : state) {
        panel.setNameText(last);
        benchmark::DoNotOptimize(panel.clientInNameText());
    }
    state.counters["rows"] = page.rowCount();
}
BENCHMARK(BM_SearchByName)->Unit(benchmark::kMillisecond)->Iterations(50);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    return BenchSupport::runBenchmarks(argc, argv);
}
