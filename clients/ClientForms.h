#pragma once

#include "clients/ClientRecord.h"

#include <QString>
#include <QtGlobal>

#include <memory>
#include <optional>

class ClientRegistry;
class ClientTransitions;
class UserInterface;

// Results the client dialogs close with.
namespace ClientDialogResult {
constexpr int StayOpen = 0;
constexpr int Saved = 1;
constexpr int Cancelled = 2;
constexpr int BlockOrRemove = 3; // "Bloquear" on the Online and Offline pages, "Remover" on the Blocked page
} // namespace ClientDialogResult

// Control numbers of the client dialogs' fields.
namespace ClientField {
constexpr int Account = 1178;        // ClientData
constexpr int SetupAccount = 1265;   // ClientSetup, SetupDependent
constexpr int Name = 1192;           //
constexpr int Panel = 1030;          //
constexpr int Dependent = 1236;      // check box of ClientData
constexpr int PrimaryAccount = 1237; // ClientData, SetupDependent
constexpr int Multicom = 410;        // check box of ClientSetup
constexpr int Mac = 1275;            //
} // namespace ClientField

// What a dialog's "Salvar" decided: the result to close with (StayOpen keeps
// the dialog) and the field to give the focus to (0 none).
struct FormOutcome {
    int result = ClientDialogResult::StayOpen;
    int focusField = 0;
};

namespace ClientForms {

// An account field's text: at most its first seven characters, each adding a
// hexadecimal digit ("0"-"9", "A"-"F", "a"-"f") or, for any other character,
// its own code ("1g" reads 0x77). None above 0xFFFF.
std::optional<quint16> readAccount(const QString& text);
// Names go into the tab-separated client list: a TAB or a line end would split its line.
bool storableName(const QString& name);
constexpr const char* kBadNameText = "O nome não pode ter tabulação nem quebra de linha";

} // namespace ClientForms

// `ClientData`: shows and edits a registered client of the Online, Offline or
// Blocked page. "Salvar" may turn a primary into a dependent or back; the
// record is then replaced by one of the other variant (the old one leaves
// every page and the registry and is freed) and client() names the new one.
class ClientDataForm {
public:
    struct Fields {
        QString account;
        QString name;
        QString panel;
        bool dependent = false;
        QString primaryAccount;
    };

    ClientDataForm(ClientRecord& client, int pageKind, bool mayEdit, ClientRegistry& registry,
                   ClientTransitions& transitions, UserInterface& ui);

    ClientRecord* client() const { return m_client; }
    Fields fields() const;
    // "Salvar" only with right C; button 3 likewise, disabled on the Online
    // and Offline pages for a client already blocked.
    bool saveVisible() const { return m_mayEdit; }
    bool button3Visible() const { return m_mayEdit; }
    bool button3Enabled() const;
    // String of button 3: "Bloquear" (148), or "Remover" (125) on the Blocked page.
    int button3Text() const;

    FormOutcome save(const Fields& fields);

private:
    FormOutcome becomeDependent(PrimaryClient& primary, const QString& name);
    void becomePrimary();

    ClientRecord* m_client;
    int m_pageKind;
    bool m_mayEdit;
    ClientRegistry& m_registry;
    ClientTransitions& m_transitions;
    UserInterface& m_ui;
};

// `ClientSetup`: a primary client of the New page, on a record of its own (a
// fresh one, or a copy of the client being edited).
class ClientSetupForm {
public:
    struct Fields {
        QString account;
        QString name;
        QString panel;
        bool multicom = false;
        QString mac;
    };

    // Without original: "new" mode on a fresh primary. With one: a copy of it
    // (a Multicom copy for a Multicom client) in edit mode.
    ClientSetupForm(const PrimaryClient* original, bool multicomEnabled, ClientRegistry& registry, UserInterface& ui);
    ~ClientSetupForm();

    Fields fields() const;
    // Check box 410 and the MAC row: only while "Habilitar Multicom" is on.
    bool multicomVisible() const { return m_multicomEnabled; }
    // Check box 410: the record becomes a Multicom client (MAC "000000") or a plain primary again.
    void setMulticom(bool on);
    FormOutcome save(const Fields& fields);
    // The record; the caller takes it after a "new" OK.
    PrimaryClient& record() { return *m_record; }
    std::unique_ptr<PrimaryClient> takeRecord() { return std::move(m_record); }

private:
    std::unique_ptr<PrimaryClient> m_record;
    bool m_editing;
    bool m_multicomEnabled;
    ClientRegistry& m_registry;
    UserInterface& m_ui;
};

// `SetupDependent`: a dependent account of the New page, on a record of its own.
class SetupDependentForm {
public:
    struct Fields {
        QString account;
        QString name;
        QString primaryAccount;
    };

    // New: a fresh dependent, with primary preset (and fixed) when given.
    // Edit: a copy of original, its primary fixed.
    SetupDependentForm(PrimaryClient* primary, const DependentAccount* original, ClientRegistry& registry,
                       UserInterface& ui);
    ~SetupDependentForm();

    Fields fields() const;
    bool primaryFixed() const { return m_primary != nullptr; }
    // "Confirmar": the primary of that account becomes fixed; false (message 186) when there is none.
    bool confirm(const QString& primaryAccount);
    FormOutcome save(const Fields& fields);
    PrimaryClient* primary() const { return m_primary; }
    DependentAccount& record() { return *m_record; }
    std::unique_ptr<DependentAccount> takeRecord();

private:
    std::unique_ptr<DependentAccount> m_record;
    PrimaryClient* m_primary;
    bool m_editing;
    ClientRegistry& m_registry;
    UserInterface& m_ui;
};
