#pragma once

#include "common/DataDirectory.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

class ClientRegistry;

// Where the clients of a start came from.
enum class ClientListSource {
    Main,   // "Clients.lst"
    Backup, // "Backup/Clients.lst" ("Clients.lst" was rebuilt from it)
    None,   // neither gave a list: the registry starts empty
};

// The outcome of loading the list: its source, and what the operator must be
// told (a file refused or put aside), once, by whoever can tell.
struct ClientListLoad {
    ClientListSource source = ClientListSource::None;
    QString problem; // empty when nothing is wrong with the files
    bool loaded() const { return source != ClientListSource::None; }
};

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
    // stays empty.
    //
    // A file is taken only when it is a list: a regular file of at most
    // DataFileReader::kMaxBytes (never a link, a FIFO, a directory), of which
    // at least half the non-empty lines are client lines or block marks (see
    // isClientList). What is in the place of a file that is not taken is put
    // aside as "<name>.bad" before anything is written there, so a save never
    // writes over it; when it cannot be put aside, that copy is not written
    // again in this run. The outcome says where the clients came from and,
    // when a file was refused or put aside, what to tell the operator.
    ClientListLoad LoadClientList();
    // Writes both copies from the registry, holding the registry lock. A copy
    // that cannot be written (a missing "Backup" directory) is skipped, and so
    // is one that the load could neither read nor put aside.
    void SaveClientList();

    // Whether a file's content is a client list rather than something else
    // in its place (binary data, another text): at least half of its
    // non-empty lines are block marks or start with an account (hexadecimal
    // digits only) followed by a TAB. An empty content is an empty list.
    static bool isClientList(QByteArrayView content);

    // Registers the clients of a file's content; returns the number of
    // primaries read. Malformed lines are skipped or read with defaults.
    int parse(const QByteArray& content);
    // The file's content for the registry as it is now (takes the registry lock).
    QByteArray serialize();

    QString mainPath() const;
    QString backupPath() const;

private:
    QByteArray serializeUnlocked() const;
    // Reads one copy; a refused or foreign one gives its problem text.
    static bool readList(const QString& path, QByteArray& content, QString& problem, bool& present);
    // Puts a copy that was not taken aside; false when it stays in place.
    static bool putAside(const QString& path, QStringList& said);

    ClientRegistry& m_registry;
    DataDirectory m_directory;
    int m_defaultKeepAlive;
    mutable qsizetype m_lastSize = 0;
    // A copy that holds something the load did not take and could not put aside.
    bool m_keepMain = false;
    bool m_keepBackup = false;
};
