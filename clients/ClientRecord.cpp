#include "clients/ClientRecord.h"

#include "common/StringTable.h"
#include "common/UserInterface.h"

// ---- DependentAccount: answers most questions by asking its primary ----

bool DependentAccount::isMulticom() const {
    return primary && primary->isMulticom();
}

QString DependentAccount::panelText() const {
    return primary ? primary->panel : QString();
}

QString DependentAccount::ethAddressText() const {
    return primary ? primary->ethAddress : QString();
}

quint16 DependentAccount::primaryAccount() const {
    return primary ? primary->account : account;
}

QByteArray DependentAccount::macKeyText() const {
    return primary ? primary->macKeyText() : QByteArray();
}

QString DependentAccount::lastContactText() const {
    return primary ? primary->lastContact : QString();
}

int DependentAccount::channelValue() const {
    return primary ? primary->channel : Channel::Unknown;
}

bool DependentAccount::destroy(UserInterface&) {
    if (!primary)
        return false;
    primary->RemoveDependent(this);
    return true;
}

// ---- PrimaryClient ----

PrimaryClient::~PrimaryClient() {
    // A primary owns its dependent accounts.
    DependentAccount* d = dependents;
    while (d) {
        DependentAccount* next = d->nextDependent;
        delete d;
        d = next;
    }
}

bool PrimaryClient::hasUnblockedDependent() const {
    for (const DependentAccount* d = dependents; d; d = d->nextDependent)
        if (d->status != ClientStatus::Blocked)
            return true;
    return false;
}

bool PrimaryClient::destroy(UserInterface& ui) {
    if (hasDependents()) {
        ui.showMessage(StringTable::text(kMsgRemoveDependentsFirst), UserInterface::Icon::Exclamation);
        return false;
    }
    delete this;
    return true;
}

ClientRecord* PrimaryClient::FindAccount(quint16 value) {
    for (DependentAccount* d = dependents; d; d = d->nextDependent)
        if (d->account == value)
            return d;
    return account == value ? this : nullptr;
}

DependentAccount* PrimaryClient::FindDependentByName(const QString& value) const {
    for (DependentAccount* d = dependents; d; d = d->nextDependent)
        if (d->name == value)
            return d;
    return nullptr;
}

DependentAccount* PrimaryClient::AddDependent(DependentAccount* d) {
    DependentAccount** link = &dependents;
    while (*link) {
        if (*link == d)
            return d;
        link = &(*link)->nextDependent;
    }
    *link = d;
    d->nextDependent = nullptr;
    d->primary = this;
    return d;
}

DependentAccount* PrimaryClient::appendDependentAfter(DependentAccount* last, DependentAccount* d) {
    Q_ASSERT(last ? last->primary == this && !last->nextDependent : !dependents);
    (last ? last->nextDependent : dependents) = d;
    d->nextDependent = nullptr;
    d->primary = this;
    return d;
}

bool PrimaryClient::detachDependent(DependentAccount* d) {
    for (DependentAccount** link = &dependents; *link; link = &(*link)->nextDependent) {
        if (*link == d) {
            *link = d->nextDependent;
            d->nextDependent = nullptr;
            return true;
        }
    }
    return false;
}

void PrimaryClient::RemoveDependent(DependentAccount* d) {
    if (detachDependent(d))
        delete d;
}

int PrimaryClient::dependentCount() const {
    int count = 0;
    for (const DependentAccount* d = dependents; d; d = d->nextDependent)
        ++count;
    return count;
}

void PrimaryClient::copyPrimaryFieldsFrom(const PrimaryClient& other) {
    status = other.status;
    account = other.account;
    name = other.name;
    panel = other.panel;
    channel = other.channel;
    lastContact = other.lastContact;
    address = other.address;
    port = other.port;
    gprsAddress = other.gprsAddress;
    gprsPort = other.gprsPort;
    ethAddress = other.ethAddress;
    ethPort = other.ethPort;
    linkState = other.linkState;
    ethCountdown = other.ethCountdown;
    ethPeriod = other.ethPeriod;
    gprsCountdown = other.gprsCountdown;
    gprsPeriod = other.gprsPeriod;
    datagramSequence = other.datagramSequence;
    deviceId = other.deviceId;
    remoteCallback = other.remoteCallback;
    heardOver = other.heardOver;
    cipherKey = other.cipherKey;
}

// ---- MulticomClient ----

MulticomClient::MulticomClient() = default;

MulticomClient::MulticomClient(PrimaryClient& from) {
    copyPrimaryFieldsFrom(from);
    dependents = from.dependents;
    from.dependents = nullptr;
    for (DependentAccount* d = dependents; d; d = d->nextDependent)
        d->primary = this;
}

char MulticomClient::macChar(int index) const {
    return (index >= 0 && index < 6) ? macKey[static_cast<size_t>(index)] : '\0';
}

void MulticomClient::setMacChar(int index, char c) {
    if (index >= 0 && index < 6)
        macKey[static_cast<size_t>(index)] = c;
}

bool MulticomClient::macKeyUnset() const {
    for (size_t i = 1; i < macKey.size(); ++i)
        if (macKey[i] != '0')
            return false;
    return true;
}
