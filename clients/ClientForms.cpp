#include "clients/ClientForms.h"

#include "clients/ClientRecord.h"
#include "clients/ClientRegistry.h"
#include "clients/ClientTransitions.h"
#include "common/HexText.h"
#include "common/StringTable.h"
#include "common/UserInterface.h"

namespace {

constexpr int kAccountScanLength = 7;
constexpr int kMacLength = 6;
constexpr int kMsgTypeName = 147;
constexpr int kMsgNoPrimary = 171;
constexpr int kMsgSamePrimary = 175;
constexpr int kMsgNoAccount = 186;
constexpr int kMsgAccountExists = 187;
constexpr int kMsgNameExists = 188;
constexpr int kMsgNameEmpty = 189;
constexpr int kMsgPrimaryMissing = 190;
constexpr int kStrBlock = 148;
constexpr int kStrRemove = 125;
constexpr const char* kBadMacText = "O MAC deve ter seis dígitos hexadecimais";

FormOutcome stay(int field = 0) {
    return {ClientDialogResult::StayOpen, field};
}

FormOutcome refuse(UserInterface& ui, const QString& text, UserInterface::Icon icon, int field) {
    ui.showMessage(text, icon);
    return stay(field);
}

FormOutcome refuse(UserInterface& ui, int message, UserInterface::Icon icon, int field) {
    return refuse(ui, StringTable::text(message), icon, field);
}

// The checks every name field shares: not empty (message number given), storable.
std::optional<FormOutcome> refusedName(UserInterface& ui, const QString& name, int emptyMessage,
                                       UserInterface::Icon emptyIcon) {
    if (name.isEmpty())
        return refuse(ui, emptyMessage, emptyIcon, ClientField::Name);
    if (!ClientForms::storableName(name))
        return refuse(ui, QString::fromUtf8(ClientForms::kBadNameText), UserInterface::Icon::Error, ClientField::Name);
    return std::nullopt;
}

bool validMac(const QString& mac) {
    if (mac.size() != kMacLength)
        return false;
    for (QChar c : mac)
        if (!c.isDigit() && !(c.toUpper() >= QLatin1Char('A') && c.toUpper() <= QLatin1Char('F')))
            return false;
    return true;
}

} // namespace

namespace ClientForms {

std::optional<quint16> readAccount(const QString& text) {
    quint32 value = 0;
    for (QChar c : QStringView(text).left(kAccountScanLength)) {
        const char16_t u = c.unicode();
        quint32 digit = u;
        if (u >= '0' && u <= '9')
            digit = u - '0';
        else if (u >= 'A' && u <= 'F')
            digit = u - 'A' + 10;
        else if (u >= 'a' && u <= 'f')
            digit = u - 'a' + 10;
        value = value * 16 + digit;
        if (value > 0xFFFF)
            return std::nullopt;
    }
    return static_cast<quint16>(value);
}

bool storableName(const QString& name) {
    return !name.contains(QLatin1Char('\t')) && !name.contains(QLatin1Char('\r')) && !name.contains(QLatin1Char('\n'));
}

} // namespace ClientForms

// ---- ClientData ----

ClientDataForm::ClientDataForm(ClientRecord& client, int pageKind, bool mayEdit, ClientRegistry& registry,
                               ClientTransitions& transitions, UserInterface& ui)
    : m_client(&client), m_pageKind(pageKind), m_mayEdit(mayEdit), m_registry(registry), m_transitions(transitions),
      m_ui(ui) {}

ClientDataForm::Fields ClientDataForm::fields() const {
    Fields f;
    f.account = HexText::hex4(m_client->account);
    f.name = m_client->name;
    f.dependent = m_client->isDependent();
    if (!f.dependent)
        f.panel = m_client->panelText();
    else if (const PrimaryClient* primary = m_client->primaryRecord())
        f.primaryAccount = HexText::hex4(primary->account);
    return f;
}

bool ClientDataForm::button3Enabled() const {
    return m_pageKind == ClientStatus::Blocked || m_client->status != ClientStatus::Blocked;
}

int ClientDataForm::button3Text() const {
    return m_pageKind == ClientStatus::Blocked ? kStrRemove : kStrBlock;
}

FormOutcome ClientDataForm::save(const Fields& f) {
    if (!m_mayEdit)
        return stay();
    // The exchange of values: an account above FFFF keeps the dialog open on its field, without a message.
    const std::optional<quint16> account = ClientForms::readAccount(f.account);
    if (!account)
        return stay(ClientField::Account);
    std::optional<quint16> primaryAccount;
    if (f.dependent) {
        primaryAccount = ClientForms::readAccount(f.primaryAccount);
        if (!primaryAccount)
            return stay(ClientField::PrimaryAccount);
    }
    if (auto refused = refusedName(m_ui, f.name, kMsgTypeName, UserInterface::Icon::None))
        return *refused;

    // Every check comes before the first change, so a refusal leaves the client as it was.
    PrimaryClient* primary = nullptr;
    if (f.dependent) {
        primary = m_registry.FindPrimary(*primaryAccount);
        if (!primary)
            return refuse(m_ui, kMsgNoPrimary, UserInterface::Icon::Error, ClientField::PrimaryAccount);
        // A primary cannot become a dependent of itself (it is freed on the way).
        if (primary->name == f.name || primary == m_client)
            return refuse(m_ui, kMsgSamePrimary, UserInterface::Icon::Error, ClientField::PrimaryAccount);
        if (m_client->hasDependents())
            return refuse(m_ui, kMsgRemoveDependentsFirst, UserInterface::Icon::Exclamation, 0);
    }

    // Out of the indexes under the keys it is filed by now (a dependent of a
    // Multicom primary is filed as Multicom), before anything changes them.
    m_registry.Unregister(m_client);
    if (f.dependent) {
        if (m_client->isPrimary()) {
            auto* dependent = new DependentAccount;
            dependent->account = m_client->account;
            dependent->name = m_client->name;
            dependent->status = m_client->status;
            m_transitions.discard(*m_client);
            m_client = dependent;
        }
        auto* dependent = static_cast<DependentAccount*>(m_client);
        if (dependent->primary && dependent->primary != primary)
            dependent->primary->detachDependent(dependent);
        primary->AddDependent(dependent);
    }
    // A dependent's form shows no panel: the one taken over from its former primary stays unless one was typed.
    const bool keepPanel = !f.dependent && m_client->isDependent() && f.panel.isEmpty();
    if (!f.dependent && m_client->isDependent())
        becomePrimary();

    // The record is filed again under its final account and name.
    m_client->account = *account;
    m_client->name = f.name;
    if (m_client->isPrimary() && !keepPanel)
        static_cast<PrimaryClient*>(m_client)->panel = f.panel;
    m_registry.Register(m_client);
    return {ClientDialogResult::Saved, 0};
}

void ClientDataForm::becomePrimary() {
    auto* former = static_cast<DependentAccount*>(m_client);
    auto* primary = new PrimaryClient;
    // The connection and supervision fields are those of the former primary (none for an orphan).
    if (former->primary)
        primary->copyPrimaryFieldsFrom(*former->primary);
    primary->account = former->account;
    primary->name = former->name;
    primary->status = former->status;
    m_transitions.discard(*former);
    m_client = primary;
    m_transitions.place(*primary, m_pageKind);
}

// ---- ClientSetup ----

ClientSetupForm::ClientSetupForm(const PrimaryClient* original, bool multicomEnabled, ClientRegistry& registry,
                                 UserInterface& ui)
    : m_editing(original != nullptr), m_multicomEnabled(multicomEnabled), m_registry(registry), m_ui(ui) {
    if (!original) {
        m_record = std::make_unique<PrimaryClient>();
        return;
    }
    // A copy without the dependents: only the status, account and name of an edit are applied.
    if (original->isMulticom()) {
        auto copy = std::make_unique<MulticomClient>();
        copy->copyPrimaryFieldsFrom(*original);
        copy->macKey = static_cast<const MulticomClient*>(original)->macKey;
        m_record = std::move(copy);
    } else {
        m_record = std::make_unique<PrimaryClient>();
        m_record->copyPrimaryFieldsFrom(*original);
        m_record->panel.clear();
    }
}

ClientSetupForm::~ClientSetupForm() = default;

ClientSetupForm::Fields ClientSetupForm::fields() const {
    Fields f;
    f.account = HexText::hex4(m_record->account);
    f.name = m_record->name;
    f.panel = m_record->panel;
    f.multicom = m_multicomEnabled && m_record->isMulticom();
    if (f.multicom)
        f.mac = QString::fromLatin1(m_record->macKeyText());
    return f;
}

void ClientSetupForm::setMulticom(bool on) {
    if (on == m_record->isMulticom())
        return;
    std::unique_ptr<PrimaryClient> replacement;
    if (on)
        replacement = std::make_unique<MulticomClient>(); // its MAC starts as "000000"
    else
        replacement = std::make_unique<PrimaryClient>();
    replacement->copyPrimaryFieldsFrom(*m_record);
    m_record = std::move(replacement);
}

FormOutcome ClientSetupForm::save(const Fields& f) {
    const std::optional<quint16> account = ClientForms::readAccount(f.account);
    if (!account)
        return stay(ClientField::SetupAccount);
    const bool withMac = m_multicomEnabled && m_record->isMulticom();
    if (withMac && !validMac(f.mac))
        return refuse(m_ui, QString::fromUtf8(kBadMacText), UserInterface::Icon::Error, ClientField::Mac);
    if (auto refused = refusedName(m_ui, f.name, kMsgNameEmpty, UserInterface::Icon::Error))
        return *refused;
    m_record->account = *account;
    m_record->name = f.name;
    m_record->panel = f.panel;
    const bool accountTaken = m_registry.FindPrimary(*account) != nullptr;
    const bool nameTaken = m_registry.FindPrimaryByName(f.name) != nullptr;
    if (!m_editing) {
        if (accountTaken)
            return refuse(m_ui, kMsgAccountExists, UserInterface::Icon::Error, ClientField::SetupAccount);
        if (nameTaken)
            return refuse(m_ui, kMsgNameExists, UserInterface::Icon::Error, ClientField::Name);
    } else if (accountTaken && nameTaken) {
        return {ClientDialogResult::Cancelled, 0}; // nothing that matters changed
    }
    if (withMac) {
        const QByteArray mac = f.mac.toLatin1();
        for (int i = 0; i < kMacLength; ++i)
            m_record->setMacChar(i, mac[i]);
    }
    m_record->status = ClientStatus::New;
    return {ClientDialogResult::Saved, 0};
}

// ---- SetupDependent ----

SetupDependentForm::SetupDependentForm(PrimaryClient* primary, const DependentAccount* original,
                                       ClientRegistry& registry, UserInterface& ui)
    : m_record(std::make_unique<DependentAccount>()), m_primary(original ? original->primary : primary),
      m_editing(original != nullptr), m_registry(registry), m_ui(ui) {
    if (original) {
        m_record->account = original->account;
        m_record->name = original->name;
        m_record->status = original->status;
    }
    m_record->primary = m_primary; // not in its list: the copy is linked only when taken
}

SetupDependentForm::~SetupDependentForm() = default;

SetupDependentForm::Fields SetupDependentForm::fields() const {
    Fields f;
    f.account = HexText::hex4(m_record->account);
    f.name = m_record->name;
    if (m_primary)
        f.primaryAccount = HexText::hex4(m_primary->account);
    return f;
}

bool SetupDependentForm::confirm(const QString& primaryAccount) {
    const std::optional<quint16> account = ClientForms::readAccount(primaryAccount);
    PrimaryClient* primary = account ? m_registry.FindPrimary(*account) : nullptr;
    if (!primary) {
        m_ui.showMessage(StringTable::text(kMsgNoAccount), UserInterface::Icon::Error);
        return false;
    }
    m_primary = primary;
    m_record->primary = primary;
    return true;
}

FormOutcome SetupDependentForm::save(const Fields& f) {
    const std::optional<quint16> account = ClientForms::readAccount(f.account);
    if (!account)
        return stay(ClientField::SetupAccount);
    if (!m_primary)
        return refuse(m_ui, kMsgPrimaryMissing, UserInterface::Icon::Error, ClientField::PrimaryAccount);
    if (auto refused = refusedName(m_ui, f.name, kMsgNameEmpty, UserInterface::Icon::Error))
        return *refused;
    m_record->account = *account;
    m_record->name = f.name;
    // Only within the primary: its dependents and its own account.
    const bool accountTaken = m_primary->FindAccount(*account) != nullptr;
    const bool nameTaken = m_primary->FindDependentByName(f.name) != nullptr;
    if (!m_editing) {
        if (accountTaken)
            return refuse(m_ui, kMsgAccountExists, UserInterface::Icon::Error, ClientField::SetupAccount);
        if (nameTaken)
            return refuse(m_ui, kMsgNameExists, UserInterface::Icon::Error, ClientField::Name);
    } else if (accountTaken && nameTaken) {
        return {ClientDialogResult::Cancelled, 0};
    }
    return {ClientDialogResult::Saved, 0};
}

std::unique_ptr<DependentAccount> SetupDependentForm::takeRecord() {
    return std::move(m_record);
}
