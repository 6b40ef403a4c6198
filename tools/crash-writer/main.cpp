// crash-writer DATA_DIR [--die-in-archive]
//
// Does to the data directory, in a loop without end, what the receiver does
// to its files: first contacts of new clients (a new primary registered and
// "Clients.lst" with its backup saved through the registry's save handler, as
// the server core wires it), events appended to "Events.log" through the
// events list, and now and then an archive run that moves the older part of
// the log to "Archive.log". It starts from whatever a killed run left: the
// client list is loaded, and numbering goes on after the last client and the
// last event found. Each step done is announced on standard output (see
// CrashRecords.h), so a test that kills this program knows what must be on
// the disk.
//
// With --die-in-archive the first archive run kills the program itself after
// the moved lines are in "Archive.log" and before "Events.tmp" replaces
// "Events.log": a kill at that point, every time.

#include "clients/ClientListFile.h"
#include "clients/ClientRecord.h"
#include "clients/ClientRegistry.h"
#include "common/DataDirectory.h"
#include "common/UserInterface.h"
#include "events/EventLine.h"
#include "events/EventList.h"
#include "events/EventLogFile.h"
#include "tools/crash-writer/CrashRecords.h"

#include <QCoreApplication>
#include <QFile>
#include <QRandomGenerator>

#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

constexpr int kDefaultKeepAlive = 60;
// One first contact of a new client every so many events and one archive run
// every so many events, counted over the runs (by the event numbers); an
// archive run keeps up to kMaxKeptEvents of the newest events.
constexpr int kEventsPerClient = 16;
constexpr int kEventsPerArchive = 64;
constexpr int kMaxKeptEvents = 32;
// Accounts are 16-bit: no client beyond the last one.
constexpr qint64 kMaxClients = 0xFFFF;
// The end of a log file read to find its last event.
constexpr qint64 kTailBytes = 64 * 1024;

// Nobody to show anything to; the archive's question is answered Yes.
class NoOperator final : public UserInterface {
public:
    void showMessage(const QString& text, Icon) override {
        std::fprintf(stderr, "crash-writer: %s\n", qPrintable(text));
    }
    bool askYesNo(const QString&, Icon, bool) override { return true; }
    void setStatusField(int, const QString&) override {}
    void playSound(const QString&) override {}
};

// One progress line, straight to the descriptor: nothing waits in a buffer
// when the kill comes.
void announce(char step, qint64 n = -1) {
    char line[32];
    const int length = n < 0 ? std::snprintf(line, sizeof line, "%c\n", step)
                             : std::snprintf(line, sizeof line, "%c %lld\n", step, static_cast<long long>(n));
    for (int done = 0; done < length;) {
        const ssize_t written = ::write(STDOUT_FILENO, line + done, size_t(length - done));
        if (written <= 0)
            return;
        done += int(written);
    }
}

// The highest event number among the whole lines at the end of a log file; 0 without one.
qint64 lastEventIn(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    const qint64 size = file.size();
    file.seek(std::max<qint64>(0, size - kTailBytes));
    QByteArray tail = file.readAll();
    // An unended last line is not a whole line.
    tail.truncate(tail.lastIndexOf('\n') + 1);
    qint64 last = 0;
    const QByteArray prefix = CrashRecords::eventText(0).chopped(1).toUtf8();
    for (const QByteArray& line : tail.split('\n')) {
        const auto raw = EventLogFile::parseLine(line);
        if (!raw || !raw->fields[EventLine::Text].startsWith(prefix))
            continue;
        bool ok = false;
        const qint64 n = raw->fields[EventLine::Text].sliced(prefix.size()).toByteArray().toLongLong(&ok);
        if (ok)
            last = std::max(last, n);
    }
    return last;
}

EventLine eventLine(qint64 n, const QString& clientName) {
    EventLine line;
    line.result = 0;
    line.time = CrashRecords::timeText(n);
    line.name = clientName;
    line.account = QString::fromLatin1(CrashRecords::kEventAccount);
    line.text = CrashRecords::eventText(n);
    line.qualifier = QString::fromLatin1(CrashRecords::kEventQualifier);
    line.code = QString::fromLatin1(CrashRecords::kEventCode);
    line.partition = QString::fromLatin1(CrashRecords::kEventPartition);
    line.zone = QString::fromLatin1(CrashRecords::kEventZone);
    line.protocol = QString::fromLatin1(CrashRecords::kEventProtocol);
    line.panel = QString::fromLatin1(CrashRecords::kEventPanel);
    return line;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2 || args.size() > 3 || (args.size() == 3 && args[2] != QLatin1String("--die-in-archive"))) {
        std::fprintf(stderr, "usage: crash-writer DATA_DIR [--die-in-archive]\n");
        return 2;
    }
    const DataDirectory dir(args[1]);
    const bool dieInArchive = args.size() == 3;

    // As the server core: the list loaded at start, saved by the registry's handler.
    ClientRegistry registry;
    ClientListFile clientList(registry, dir, kDefaultKeepAlive);
    clientList.LoadClientList();
    registry.setSaveHandler([&clientList] { clientList.SaveClientList(); });
    qint64 clients = registry.primaryCount();

    // As the receiver's start: the events list read from the log.
    NoOperator ui;
    EventList events(dir, ui);
    events.ReloadEvents();
    if (dieInArchive) {
        events.logFile().setRenameFunction([](const QString&, const QString&) {
            std::raise(SIGKILL);
            return QStringLiteral("not killed");
        });
    }
    qint64 event = std::max(lastEventIn(events.logFile().logPath()), lastEventIn(events.logFile().archivePath()));

    announce(CrashRecords::kReady);
    QRandomGenerator random(quint32(::getpid()));
    for (;;) {
        ++event;
        events.addEvent(eventLine(event, clients > 0 ? CrashRecords::clientName(clients)
                                                     : QString::fromLatin1(CrashRecords::kNoClientName)));
        announce(CrashRecords::kEventLogged, event);

        if (event % kEventsPerClient == 0 && clients < kMaxClients) {
            // A device heard from for the first time: a new primary, and the list saved.
            auto* client = new PrimaryClient;
            ++clients;
            client->account = quint16(clients);
            client->deviceId = quint32(clients);
            client->name = CrashRecords::clientName(clients);
            client->panel = QString::fromLatin1(CrashRecords::kClientPanel);
            client->status = ClientStatus::Online;
            client->ethPeriod = CrashRecords::kClientPeriod;
            registry.Register(client, true);
            announce(CrashRecords::kClientSaved, clients);
        }

        if (event % kEventsPerArchive == 0) {
            // The operator archives up to a row near the top of the list.
            const qint64 upTo = event - random.bounded(kMaxKeptEvents);
            events.ArchiveEvents(CrashRecords::timeText(upTo));
            announce(CrashRecords::kArchived, upTo);
        }
    }
}
