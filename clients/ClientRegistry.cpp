#include "clients/ClientRegistry.h"

#include <algorithm>
#include <array>
#include <vector>

namespace {

// A fixed byte permutation for the text hash; only bucket placement depends on it.
constexpr std::array<quint8, 256> makePermutation() {
    std::array<quint8, 256> table{};
    for (unsigned i = 0; i < 256; ++i)
        table[i] = static_cast<quint8>((i * 167u + 13u) & 0xFF); // 167 is odd: a bijection of 0..255
    return table;
}

constexpr auto kPermutation = makePermutation();

} // namespace

ClientRegistry::ClientRegistry(int lockTimeoutMs) : m_lock(lockTimeoutMs) {}

ClientRegistry::~ClientRegistry() {
    Shutdown();
}

int ClientRegistry::textBucket(QByteArrayView text) {
    quint8 h = 0;
    for (char c : text)
        h ^= kPermutation[static_cast<quint8>(c)];
    return h;
}

int ClientRegistry::textBucket(const QString& text) {
    return textBucket(QByteArrayView(text.toUtf8()));
}

int ClientRegistry::macBucket(const ClientRecord* record) {
    char key[6];
    for (int i = 0; i < 6; ++i)
        key[i] = record->macChar(i);
    return textBucket(QByteArrayView(key, 6));
}

void ClientRegistry::insert(Index& index, int bucket, ClientRecord* record) {
    index[bucket] = new Node{record, index[bucket], record->account};
}

void ClientRegistry::remove(Index& index, int bucket, ClientRecord* record) {
    Node* previous = nullptr;
    for (Node* node = index[bucket]; node; previous = node, node = node->next) {
        if (node->record == record) {
            (previous ? previous->next : index[bucket]) = node->next;
            delete node;
            return;
        }
    }
}

void ClientRegistry::clear(Index& index) {
    for (Node*& head : index) {
        while (head) {
            Node* next = head->next;
            delete head;
            head = next;
        }
    }
}

void ClientRegistry::saveList() const {
    if (m_save)
        m_save();
}

void ClientRegistry::Register(ClientRecord* record, bool save) {
    if (!record)
        return;
    {
        TimedLockGuard guard(m_lock);
        if (record->isPrimary()) {
            // Already filed: found through its serial, not by walking a chain
            // that holds every client of the bucket (a load would be quadratic).
            if (record->serial != 0 && m_live.value(record->serial) == record)
                return;
            insert(m_primary, accountBucket(record->account), record);
            m_firstPrimary[record->account] = static_cast<PrimaryClient*>(record); // now the head of its chain
        }
        insert(m_name, textBucket(record->name), record);
        if (record->isMulticom()) {
            insert(m_multicomAccount, accountBucket(record->account), record);
            if (record->isPrimary()) {
                insert(m_mac, macBucket(record), record);
                insert(m_address, textBucket(record->ethAddressText()), record);
            }
        }
        if (record->serial == 0)
            record->serial = m_nextSerial++;
        m_live.insert(record->serial, record);
        ++m_changes;
    }
    if (save)
        saveList();
}

void ClientRegistry::Unregister(ClientRecord* record, bool save) {
    if (!record)
        return;
    {
        TimedLockGuard guard(m_lock);
        if (record->isPrimary()) {
            remove(m_primary, accountBucket(record->account), record);
            refreshFirstPrimary(record->account);
        }
        remove(m_name, textBucket(record->name), record);
        if (record->isMulticom()) {
            remove(m_multicomAccount, accountBucket(record->account), record);
            if (record->isPrimary()) {
                remove(m_mac, macBucket(record), record);
                remove(m_address, textBucket(record->ethAddressText()), record);
            }
        }
        m_live.remove(record->serial);
        ++m_changes;
    }
    if (save)
        saveList();
}

template <typename Bucket, typename Change>
void ClientRegistry::refile(Index& index, PrimaryClient* client, Bucket bucket, Change change) {
    // Only a registered Multicom primary is filed in the MAC and address indexes.
    if (!client->isMulticom() || !IsRegistered(client)) {
        change();
        return;
    }
    TimedLockGuard guard(m_lock);
    remove(index, bucket(client), client);
    change();
    insert(index, bucket(client), client);
}

void ClientRegistry::setEthAddress(PrimaryClient* client, const QString& address) {
    if (client)
        refile(
            m_address, client, [](const ClientRecord* c) { return textBucket(c->ethAddressText()); },
            [&] { client->setEthAddress(address); });
}

void ClientRegistry::setMacKey(MulticomClient* client, const char* key) {
    if (client && key)
        refile(m_mac, client, &ClientRegistry::macBucket, [&] {
            for (int i = 0; i < 6; ++i)
                client->setMacChar(i, key[i]);
        });
}

void ClientRegistry::refreshFirstPrimary(quint16 account) {
    m_firstPrimary[account] = nullptr;
    for (Node* node = m_primary[accountBucket(account)]; node; node = node->next) {
        if (node->account == account) {
            m_firstPrimary[account] = static_cast<PrimaryClient*>(node->record);
            return;
        }
    }
}

PrimaryClient* ClientRegistry::FindPrimary(quint16 account) {
    TimedLockGuard guard(m_lock);
    return m_firstPrimary[account];
}

ClientRecord* ClientRegistry::FindMulticomAccount(quint16 account) {
    TimedLockGuard guard(m_lock);
    for (Node* node = m_multicomAccount[accountBucket(account)]; node; node = node->next)
        if (node->record->account == account)
            return node->record;
    return nullptr;
}

MulticomClient* ClientRegistry::FindByMacKey(const char* key) {
    if (!key)
        return nullptr;
    TimedLockGuard guard(m_lock);
    for (Node* node = m_mac[textBucket(QByteArrayView(key, 6))]; node; node = node->next) {
        ClientRecord* record = node->record;
        if (record->macChar(0) == '\0')
            continue;
        bool equal = true;
        for (int i = 0; i < 6 && equal; ++i)
            equal = record->macChar(i) == key[i];
        if (equal)
            return static_cast<MulticomClient*>(record);
    }
    return nullptr;
}

MulticomClient* ClientRegistry::FindByAddress(const QString& address) {
    if (address.isEmpty())
        return nullptr;
    TimedLockGuard guard(m_lock);
    for (Node* node = m_address[textBucket(address)]; node; node = node->next) {
        auto* client = static_cast<MulticomClient*>(node->record);
        if (client->ethAddress == address || client->gprsAddress == address)
            return client;
    }
    return nullptr;
}

PrimaryClient* ClientRegistry::FindPrimaryByName(const QString& name) {
    TimedLockGuard guard(m_lock);
    for (Node* node = m_name[textBucket(name)]; node; node = node->next)
        if (node->record->name == name && node->record->isPrimary())
            return static_cast<PrimaryClient*>(node->record);
    return nullptr;
}

PrimaryClient* ClientRegistry::IsRegistered(const PrimaryClient* primary) {
    if (!primary)
        return nullptr;
    TimedLockGuard guard(m_lock);
    for (Node* node = m_primary[accountBucket(primary->account)]; node; node = node->next)
        if (node->record == primary)
            return static_cast<PrimaryClient*>(node->record);
    return nullptr;
}

ClientRecord* ClientRegistry::findBySerial(quint64 serial) const {
    return m_live.value(serial, nullptr);
}

int ClientRegistry::primaryCount() const {
    int count = 0;
    ForEachPrimary([&count](PrimaryClient*) { ++count; });
    return count;
}

void ClientRegistry::Shutdown() {
    TimedLockGuard guard(m_lock);
    // Collect first: deleting while walking would free nodes under the walk.
    std::vector<PrimaryClient*> primaries;
    ForEachPrimary([&primaries](PrimaryClient* p) { primaries.push_back(p); });
    clear(m_primary);
    std::fill_n(m_firstPrimary.get(), 0x10000, nullptr);
    clear(m_name);
    clear(m_mac);
    clear(m_address);
    clear(m_multicomAccount);
    m_live.clear();
    ++m_changes;
    for (PrimaryClient* p : primaries)
        delete p;
}
