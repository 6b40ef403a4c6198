#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <array>

class UserInterface;
class PrimaryClient;
class MulticomClient;
class DependentAccount;

// Values of ClientRecord::status; each is also the tab index of the client page that lists the record.
namespace ClientStatus {
constexpr int Moving = -1; // taken off one page and not yet put on another
constexpr int Online = 1;
constexpr int Offline = 2;
constexpr int Blocked = 3;
constexpr int New = 4;
} // namespace ClientStatus

// Values of PrimaryClient::linkState; each is also the row icon index.
namespace LinkState {
constexpr int Ok = 0;       // green
constexpr int Late = 1;     // yellow
constexpr int Lost = 2;     // red
constexpr int NotHeard = 3; // white
} // namespace LinkState

// Values of PrimaryClient::channel.
namespace Channel {
constexpr int Unknown = 0;
constexpr int Ethernet = 1;
constexpr int Gprs = 2;
} // namespace Channel

// The protocol over which a primary's device was last heard in this run.
enum class HeardOver { Nothing, TaviCom, Dc09, Multicom };

// Message shown when a primary that still has dependent accounts is to be removed.
constexpr int kMsgRemoveDependentsFirst = 170;
// Message shown when a dependent is to be unblocked while its primary is blocked.
constexpr int kMsgUnblockPrimaryFirst = 174;

// One alarm account known to the server: a primary client (with its own
// device), a Multicom client (a primary whose device speaks Multicom), or a
// dependent account that a primary's device reports for. The class of a record
// never changes in place.
class ClientRecord {
public:
    virtual ~ClientRecord() = default;
    ClientRecord(const ClientRecord&) = delete;
    ClientRecord& operator=(const ClientRecord&) = delete;

    int status = ClientStatus::New;
    quint16 account = 0;
    QString name;

    // Identity given by the registry when the record is first registered; 0
    // before. Deferred references (posted requests) name a client by it, so a
    // record destroyed in between is simply not found again.
    quint64 serial = 0;

    virtual bool isPrimary() const = 0;
    virtual bool isDependent() const = 0;
    virtual bool hasDependents() const = 0;
    virtual bool hasUnblockedDependent() const = 0;
    virtual bool hasNoDependents() const = 0;
    virtual bool isOrphan() const = 0;
    virtual bool isMulticom() const = 0;
    virtual bool isDirect() const = 0;
    virtual QString panelText() const = 0;
    virtual PrimaryClient* primaryRecord() = 0;
    virtual DependentAccount* firstDependent() const = 0;
    virtual QString ethAddressText() const = 0;
    virtual quint16 primaryAccount() const = 0;
    // The six MAC characters of a Multicom client; a null array for other records.
    virtual QByteArray macKeyText() const = 0;
    virtual quint16 ethPortValue() const = 0;
    virtual int linkIcon() const = 0;
    virtual QString lastContactText() const = 0;
    virtual int channelValue() const = 0;
    virtual void setChannel(int channel) = 0;
    virtual void setEthPort(quint16 port) = 0;
    virtual void setEthAddress(const QString& address) = 0;
    // Frees the record. A primary that still has dependents shows message 170,
    // stays, and false is returned; an orphan dependent does nothing.
    virtual bool destroy(UserInterface& ui) = 0;
    virtual char macChar(int index) const = 0;
    virtual void setMacChar(int index, char c) = 0;

protected:
    ClientRecord() = default;
};

class DependentAccount final : public ClientRecord {
public:
    DependentAccount() = default;

    PrimaryClient* primary = nullptr;
    DependentAccount* nextDependent = nullptr;

    bool isPrimary() const override { return false; }
    bool isDependent() const override { return true; }
    bool hasDependents() const override { return false; }
    bool hasUnblockedDependent() const override { return false; }
    bool hasNoDependents() const override { return true; }
    bool isOrphan() const override { return primary == nullptr; }
    bool isMulticom() const override;
    bool isDirect() const override { return true; }
    QString panelText() const override;
    PrimaryClient* primaryRecord() override { return primary; }
    DependentAccount* firstDependent() const override { return nullptr; }
    QString ethAddressText() const override;
    quint16 primaryAccount() const override;
    QByteArray macKeyText() const override;
    quint16 ethPortValue() const override { return 0; }
    int linkIcon() const override { return LinkState::NotHeard; }
    QString lastContactText() const override;
    int channelValue() const override;
    void setChannel(int) override {}
    void setEthPort(quint16) override {}
    void setEthAddress(const QString&) override {}
    bool destroy(UserInterface& ui) override;
    char macChar(int) const override { return '\0'; }
    void setMacChar(int, char) override {}
};

class PrimaryClient : public ClientRecord {
public:
    PrimaryClient() = default;
    ~PrimaryClient() override;

    QString panel;
    int channel = Channel::Unknown;
    QString lastContact;
    QString address;
    quint16 port = 0;
    QString gprsAddress;
    quint16 gprsPort = 0;
    QString ethAddress;
    quint16 ethPort = 0;
    int linkState = LinkState::NotHeard;
    qint32 ethCountdown = 0;
    qint32 ethPeriod = 0;
    qint32 gprsCountdown = 0;
    qint32 gprsPeriod = 0;
    quint16 datagramSequence = 0;
    quint32 deviceId = 0;
    bool remoteCallback = false;
    // Device commands go out over TaviCom (or wait for a Multicom report): a
    // device heard over DC-09 has no way to take them.
    HeardOver heardOver = HeardOver::Nothing;
    const void* cipherKey = nullptr; // never set: no client has enciphered frames
    DependentAccount* dependents = nullptr;

    bool isPrimary() const override { return true; }
    bool isDependent() const override { return false; }
    bool hasDependents() const override { return dependents != nullptr; }
    bool hasUnblockedDependent() const override;
    bool hasNoDependents() const override { return dependents == nullptr; }
    bool isOrphan() const override { return false; }
    bool isMulticom() const override { return false; }
    bool isDirect() const override { return true; }
    QString panelText() const override { return panel; }
    PrimaryClient* primaryRecord() override { return this; }
    DependentAccount* firstDependent() const override { return dependents; }
    QString ethAddressText() const override { return ethAddress; }
    quint16 primaryAccount() const override { return account; }
    QByteArray macKeyText() const override { return {}; }
    quint16 ethPortValue() const override { return ethPort; }
    int linkIcon() const override { return linkState; }
    QString lastContactText() const override { return lastContact; }
    int channelValue() const override { return channel; }
    void setChannel(int value) override { channel = value; }
    void setEthPort(quint16 value) override { ethPort = value; }
    void setEthAddress(const QString& value) override { ethAddress = value; }
    bool destroy(UserInterface& ui) override;
    char macChar(int) const override { return '\0'; }
    void setMacChar(int, char) override {}

    // Dependents first, then the primary's own account; none when nothing matches.
    ClientRecord* FindAccount(quint16 account);
    DependentAccount* FindDependentByName(const QString& name) const;
    // Appends d at the end of the list (unless it is already there) and makes this its primary.
    DependentAccount* AddDependent(DependentAccount* d);
    // Appends a new dependent after last, which is this primary's last one (or
    // none yet): a reader appending many does not walk the chain each time.
    DependentAccount* appendDependentAfter(DependentAccount* last, DependentAccount* d);
    // Unlinks d from the list and frees it; nothing if it is not there.
    void RemoveDependent(DependentAccount* d);
    // Unlinks d from the list without freeing it.
    bool detachDependent(DependentAccount* d);
    int dependentCount() const;

    // Copies every primary field (not the dependents, not the identity) from other.
    void copyPrimaryFieldsFrom(const PrimaryClient& other);
};

class MulticomClient final : public PrimaryClient {
public:
    MulticomClient();
    // Built from a plain primary: every primary field, the dependents taken over.
    explicit MulticomClient(PrimaryClient& from);

    int pendingCommand = 0; // 0 none, 1 callback, 2 line switch
    std::array<char, 6> macKey{{'0', '0', '0', '0', '0', '0'}};
    std::array<quint8, 4> callbackIp{};
    quint16 callbackPort = 0;
    quint8 switchTarget = 0;

    bool isMulticom() const override { return true; }
    bool isDirect() const override { return false; }
    QByteArray macKeyText() const override { return QByteArray(macKey.data(), 6); }
    // The key counts as unset while its last five characters are all "0".
    bool macKeyUnset() const;
    char macChar(int index) const override;
    void setMacChar(int index, char c) override;
};
