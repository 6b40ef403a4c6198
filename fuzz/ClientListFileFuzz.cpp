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

QList<QStringList> clients(const ClientRegistry& registry) {
    QList<QStringList> all;
    registry.ForEachPrimary([&all](PrimaryClient* client) { all << describe(*client); });
    std::sort(all.begin(), all.end());
    return all;
}

QByteArrayList sortedLines(const QByteArray& content) {
    QByteArrayList lines = content.split('\n');
    std::sort(lines.begin(), lines.end());
    return lines;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Kept for the whole run (see emptied()).
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
    require(clients(loaded) == clients(reloaded));
    require(sortedLines(second.serialize()) == sortedLines(saved));
    return 0;
}
