#pragma once

#include "common/DataDirectory.h"

#include <QByteArray>
#include <QString>

class ClientRegistry;

// "Clients.lst" and its copy "Backup/Clients.lst": every client of the
// registry, one TAB-separated line per primary and per dependent account, a
// primary's dependents between a "{" line and a "}" line. Lines end with CR LF;
// a bare LF is read as a line end too.
//
// Primary line: account ("%04X"), name, panel, last contact, Ethernet address,
// status, link state, kind (1 plain, 2 Multicom), [the six MAC characters,
// kind 2 only], Ethernet period, device identifier ("%08X").
// Dependent line: account ("%04X"), name, status.
class ClientListFile {
public:
    static constexpr const char* kFileName = "Clients.lst";

    // defaultKeepAlive: the Ethernet countdown given to a plain client whose
    // line has no period (half the configured "Yellow" time).
    ClientListFile(ClientRegistry& registry, DataDirectory directory, int defaultKeepAlive);

    // Reads "Clients.lst" into the registry. When it cannot be read, the
    // backup is copied over it and read instead; with neither the registry
    // stays empty. Returns false when no file could be read.
    bool LoadClientList();
    // Writes both copies from the registry, holding the registry lock. A copy
    // that cannot be written (a missing "Backup" directory) is skipped.
    void SaveClientList();

    // Registers the clients of a file's content; returns the number of
    // primaries read. Malformed lines are skipped or read with defaults.
    int parse(const QByteArray& content);
    // The file's content for the registry as it is now (takes the registry lock).
    QByteArray serialize();

    QString mainPath() const;
    QString backupPath() const;

private:
    QByteArray serializeUnlocked() const;

    ClientRegistry& m_registry;
    DataDirectory m_directory;
    int m_defaultKeepAlive;
    mutable qsizetype m_lastSize = 0;
};
