// "Clients.lst" read from any bytes into a registry, written and read again
// into a second one: both registries must hold the same clients with the same
// stored fields and dependents (in the same order under each primary), and
// writing the second gives a file with the same lines. The order of primaries
// that share a registry bucket is the registry's, so clients are compared as
// a set.
#include "clients/ClientListFile.h"
#include "clients/ClientRecord.h"
#include "clients/ClientRegistry.h"
#include "fuzz/FuzzInput.h"
#include "fuzz/FuzzRegistry.h"

#include <QByteArrayList>
#include <QHash>
#include <QStringList>

#include <algorithm>

namespace {

constexpr int kDefaultKeepAlive = 60;
const DataDirectory kNoDirectory(QStringLiteral("/nonexistent"));

// Every stored field of a primary and its dependents, as texts.
QStringList describe(const PrimaryClient& c) {
    QStringList parts{QString::number(c.account),
                      c.name,
                      c.panel,
                      c.lastContact,
                      c.ethAddress,
                      c.address,
                      QString::number(c.status),
                      QString::number(c.linkState),
                      QString::number(c.isMulticom()),
                      QString::fromLatin1(c.macKeyText()),
                      QString::number(c.ethPeriod),
                      QString::number(c.deviceId)};
    for (const DependentAccount* d = c.dependents; d; d = d->nextDependent) {
        require(d->primary == &c);
        parts << QString::number(d->account) << d->name << QString::number(d->status);
    }
    return parts;
}

// The same clients, each as often, in any order. Many records of a fuzzed
// file share an account, so the clients are counted rather than sorted.
bool sameClients(const ClientRegistry& a, const ClientRegistry& b) {
    if (a.primaryCount() != b.primaryCount())
        return false;
    QHash<QStringList, int> count;
    a.ForEachPrimary([&count](PrimaryClient* client) { ++count[describe(*client)]; });
    bool same = true;
    b.ForEachPrimary([&count, &same](PrimaryClient* client) { same = same && --count[describe(*client)] >= 0; });
    return same;
}

QByteArrayList sortedLines(const QByteArray& content) {
    QByteArrayList lines = content.split('\n');
    std::sort(lines.begin(), lines.end());
    return lines;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Kept for the whole run (see emptied()), and emptied again before the
    // input ends: the records of an input are then freed by the same input,
    // so the fuzzer's leak check only runs when something really leaked.
    static ClientRegistry firstRegistry;
    static ClientRegistry secondRegistry;
    ClientRegistry& loaded = emptied(firstRegistry);
    ClientListFile first(loaded, kNoDirectory, kDefaultKeepAlive);
    const int primaries = first.parse(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    require(primaries == loaded.primaryCount());
    const QByteArray saved = first.serialize();

    ClientRegistry& reloaded = emptied(secondRegistry);
    ClientListFile second(reloaded, kNoDirectory, kDefaultKeepAlive);
    require(second.parse(saved) == primaries);
    require(sameClients(loaded, reloaded));
    require(sortedLines(second.serialize()) == sortedLines(saved));
    emptied(loaded);
    emptied(reloaded);
    return 0;
}
