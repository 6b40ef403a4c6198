#pragma once

#include "common/DataDirectory.h"
#include "config/Dc09ConfigFile.h"
#include "config/Dc09Settings.h"

#include <QList>
#include <QString>

struct CurrentOperator;
class UserInterface;

// What the port and window fields of the "DC-09" group hold when it is saved.
struct Dc09Form {
    QString port;
    QString lag;
    QString lead;
};

// The "DC-09" group of the configuration page without widgets: "Dc09.cfg" read
// when the page opens, the reception port, the time window and the AES keys by
// account. Keys are never shown, only their accounts and AES sizes; setting or
// removing one needs right B of the operator logged in at that moment. Key
// changes wait in the group until "Salvar", which rewrites "Dc09.cfg" and its
// copy in "Backup" whole, readable by the owner only, with the lines that name
// no setting kept as they were.
class Dc09Section {
public:
    struct KeyRow {
        QString account; // as the frames' "#" field gives it, or "*" for every account
        QString shown;   // the AES size and a mask, never the key
    };

    static constexpr const char* kMask = "••••••••";

    Dc09Section(const DataDirectory& dir, const CurrentOperator& current, UserInterface& ui);

    // Reads "Dc09.cfg" again (a missing file: reception off, the default
    // window, no keys); changes not saved are dropped.
    void load();

    Dc09Form form() const;
    QList<KeyRow> keyRows() const;
    bool mayChangeKeys() const;
    // True while a key change waits for "Salvar".
    bool keysChanged() const { return m_keysChanged; }

    // The key of an account (3 to 16 hexadecimal digits, or "*") given as 32,
    // 48 or 64 hexadecimal digits; replaces the account's key when it has one.
    // False, with a message and nothing changed, when the operator lacks
    // right B or either text is malformed.
    bool setKey(const QString& account, const QString& hexKey);
    // False, with a message, without right B or when the account has no key.
    bool removeKey(const QString& account);

    // "Salvar": the fields and the keys to "Dc09.cfg" and "Backup/Dc09.cfg".
    // A field out of range is refused with a message and nothing is written.
    bool save(const Dc09Form& form);

    // The settings as the group holds them (after load, the key changes, save).
    const Dc09Settings& settings() const { return m_settings; }

    static constexpr const char* kPortText = "A porta DC-09 vai de 0 (recepção desligada) a 65535";
    static constexpr const char* kWindowText = "A janela DC-09 pede dois números de segundos, de 0 a 86400";
    static constexpr const char* kAccountText =
        "A conta da chave tem de 3 a 16 dígitos hexadecimais, ou é \"*\" para todas as contas";
    static constexpr const char* kKeyText = "A chave AES tem 32, 48 ou 64 dígitos hexadecimais (AES-128, 192 ou 256)";
    static constexpr const char* kNoKeyText = "Esta conta não tem chave";
    static constexpr const char* kNotWrittenText = "Não foi possível gravar \"Dc09.cfg\"";

private:
    bool checkRight();
    void refuse(const QString& text);

    DataDirectory m_dir;
    const CurrentOperator& m_current;
    UserInterface& m_ui;
    Dc09Settings m_settings;
    bool m_keysChanged = false;
};
