#pragma once

#include "clients/ClientRecord.h"
#include "common/TimedLock.h"

#include <QByteArrayView>
#include <QHash>

#include <functional>
#include <memory>

// Every client record the server knows, filed in five fixed 256-bucket hash
// indexes (primary accounts, names, Multicom accounts, MAC keys, addresses).
// The registry owns its records from loading to shutdown; a primary owns its
// dependent accounts.
//
// Threads: the registry is used on the user-interface thread only (device
// link, pages, dialogs, the client list writer and the once-a-second monitor
// and link watch, which run as timers there). The lock keeps the
// contract of a timed binary semaphore: each index operation and lookup takes
// it for its own duration and the list writer holds it for its whole write;
// nothing may take it twice.
class ClientRegistry {
public:
    static constexpr int kBucketCount = 256;

    explicit ClientRegistry(int lockTimeoutMs = TimedLock::kDefaultTimeoutMs);
    ~ClientRegistry();
    ClientRegistry(const ClientRegistry&) = delete;
    ClientRegistry& operator=(const ClientRegistry&) = delete;

    // Called by Register/Unregister when asked to save: writes the client list.
    void setSaveHandler(std::function<void()> save) { m_save = std::move(save); }
    void saveList() const;

    // Files the record in every index it belongs to (a primary already
    // present is left alone), then saves the list when asked.
    void Register(ClientRecord* record, bool save = false);
    // Removes the record's node from every index under its current keys; the
    // record itself is not destroyed.
    void Unregister(ClientRecord* record, bool save = false);

    // Gives a client a new Ethernet address; a registered Multicom primary is
    // filed again in the address index only (its place in every other index,
    // and so the order of the client list, stays).
    void setEthAddress(PrimaryClient* client, const QString& address);

    // Gives a Multicom client a new MAC key (six characters); a registered one
    // is filed again in the MAC index only.
    void setMacKey(MulticomClient* client, const char* key);

    PrimaryClient* FindPrimary(quint16 account);
    ClientRecord* FindMulticomAccount(quint16 account);
    // key: exactly six characters.
    MulticomClient* FindByMacKey(const char* key);
    MulticomClient* FindByAddress(const QString& address);
    PrimaryClient* FindPrimaryByName(const QString& name);
    PrimaryClient* IsRegistered(const PrimaryClient* primary);

    // The registered record with this serial, or none once it was unregistered.
    ClientRecord* findBySerial(quint64 serial) const;

    // Visits every primary: buckets 0 to 255 of the primary index, and within
    // a bucket the most recently registered first. The visitor must not
    // register or unregister records.
    template <typename Visitor> void ForEachPrimary(Visitor&& visit) const {
        for (const Node* head : m_primary)
            for (const Node* node = head; node; node = node->next)
                visit(static_cast<PrimaryClient*>(node->record));
    }

    int primaryCount() const;
    // Goes up with every Register, Unregister and Shutdown: a walker that keeps
    // the primaries in a list of its own knows when to build it again.
    quint64 changeCount() const { return m_changes; }
    TimedLock& lock() { return m_lock; }

    // Destroys every primary with its dependents and frees every node.
    void Shutdown();

    static int accountBucket(quint16 account) { return (account >> 8) ^ (account & 0xFF); }
    static int textBucket(QByteArrayView text);
    static int textBucket(const QString& text);

private:
    struct Node {
        ClientRecord* record;
        Node* next;
        quint16 account; // the record's account when it was filed: lookups compare without touching the record
    };
    using Index = Node* [kBucketCount];

    void refreshFirstPrimary(quint16 account);
    // Files client again in index after change alters the key that index files it under.
    template <typename Bucket, typename Change>
    void refile(Index& index, PrimaryClient* client, Bucket bucket, Change change);

    static void insert(Index& index, int bucket, ClientRecord* record);
    static void remove(Index& index, int bucket, ClientRecord* record);
    static void clear(Index& index);
    static int macBucket(const ClientRecord* record);

    Index m_primary{};
    Index m_name{};
    Index m_mac{};
    Index m_address{};
    Index m_multicomAccount{};
    // What FindPrimary finds for each account (the first of its chain), kept
    // beside the primary index so that the datagram path looks a client up
    // without walking a chain: with every account registered a chain holds 256.
    std::unique_ptr<PrimaryClient* []> m_firstPrimary { new PrimaryClient* [0x10000] {} };
    TimedLock m_lock;
    QHash<quint64, ClientRecord*> m_live;
    quint64 m_nextSerial = 1;
    quint64 m_changes = 0;
    std::function<void()> m_save;
};
