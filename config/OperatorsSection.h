#pragma once

#include "common/DataDirectory.h"
#include "config/Operators.h"

#include <QString>

#include <array>

class UserInterface;
class ValueExchange;

// Control numbers of the "Operadores" section of the configuration page. Rows
// are the table's entries: 0 the administrator, 1 the anonymous operator, 2 to
// 5 the named operators.
namespace OperatorControl {
constexpr int FirstButton = 518;   // 518..521: "Novo"/"Remover" of entries 2..5
constexpr int FirstName = 522;     // 522..527: name of entries 0..5
constexpr int FirstPassword = 528; // 528..533: password of entries 0..5
constexpr int ShowAdminPassword = 534;
constexpr int FirstBox = 535; // 535..564: rights boxes A..F of entries 1..5, six per row
constexpr int Save = 750;
constexpr int FirstLegend = 744; // 744..749: "A: Fechar" .. "F: Administrador"

constexpr int button(int entry) {
    return FirstButton + entry - OperatorTable::kFirstNamed;
}
constexpr int name(int entry) {
    return FirstName + entry;
}
constexpr int password(int entry) {
    return FirstPassword + entry;
}
constexpr int box(int entry, int right) {
    return FirstBox + (entry - OperatorTable::kAnonymous) * 6 + right;
}
} // namespace OperatorControl

// What the section's fields hold when it is saved.
struct OperatorsForm {
    QString adminPassword;              // 528
    std::array<QString, 4> names{};     // 524..527, entries 2..5
    std::array<QString, 4> passwords{}; // 530..533, entries 2..5
};

// The operators section of the configuration page without widgets: which
// row shows what, "Novo", "Remover", the rights boxes that act at once, the
// section's share of the page's exchange of values and `SaveOperators`.
class OperatorsSection {
public:
    // How one row (entries 1 to 5) is shown.
    struct Row {
        bool buttonVisible = false;
        bool buttonRemoves = false; // caption "Remover"; otherwise "Novo"
        bool nameEnabled = false;
        bool passwordVisible = false;
        bool boxesEnabled = false;
        quint16 rights = 0;
        QString name;
        QString password;
    };

    static constexpr int kPasswordLength = 4;
    static constexpr const char* kPasswordText = "A senha deve ter quatro dígitos";
    static constexpr const char* kNameText = "O nome do operador não pode ter tabulação nem quebra de linha";

    OperatorsSection(OperatorTable& table, CurrentOperator& current, const DataDirectory& dir, UserInterface& ui);

    // Shows the table again: at page creation, at every activation, after a removal.
    void refresh();
    const Row& row(int entry) const { return m_rows[static_cast<size_t>(entry)]; }
    // Box 534 (and with it the administrator's password) only for right F.
    bool adminPasswordBoxVisible() const { return m_current.has(OperatorRight::Administrator); }
    QString adminPassword() const { return m_table.entry(OperatorTable::kAdministrator).password; }

    bool saveEnabled() const { return m_saveEnabled; }
    void disableSave() { m_saveEnabled = false; }
    // A name or password field changed.
    void fieldEdited() { m_saveEnabled = true; }

    // "Novo" on the first free row, "Remover" on a used one.
    void novo(int entry);
    void remover(int entry);
    // A rights box (right index 0..5 for A..F) clicked on a row whose name
    // field shows shownName: the row's rights change at once, and the logged-in
    // operator's too when the names match.
    void rightClicked(int entry, int right, bool checked, const QString& shownName);

    // The section's step in the page's exchange of values. A password that is
    // not four digits on a row that is written, or a name with a TAB or a line
    // end, is refused with a message and nothing of the section is taken.
    void takeFields(ValueExchange& exchange, const OperatorsForm& form);
    // "Salvar" (750), after the page's exchange: the logged-in operator's
    // rights, then "Users.lst" and its backup. False, with nothing written and
    // Save still enabled, when the exchange did not take the section's fields.
    bool SaveOperators();

private:
    int refusedControl(const OperatorsForm& form) const;
    void refreshCurrentRights();

    OperatorTable& m_table;
    CurrentOperator& m_current;
    DataDirectory m_dir;
    UserInterface& m_ui;
    std::array<Row, OperatorTable::kSize> m_rows{};
    bool m_saveEnabled = false;
    bool m_fieldsTaken = false;
};
