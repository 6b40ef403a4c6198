#include "config/OperatorsSection.h"

#include "common/UserInterface.h"
#include "config/UsersFile.h"
#include "config/ValueExchange.h"

namespace {

bool fourDigits(const QString& password) {
    if (password.size() != OperatorsSection::kPasswordLength)
        return false;
    for (QChar c : password) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return true;
}

bool storableName(const QString& name) {
    return !name.contains(QLatin1Char('\t')) && !name.contains(QLatin1Char('\r')) && !name.contains(QLatin1Char('\n'));
}

} // namespace

OperatorsSection::OperatorsSection(OperatorTable& table, CurrentOperator& current, const DataDirectory& dir,
                                   UserInterface& ui)
    : m_table(table), m_current(current), m_dir(dir), m_ui(ui) {}

void OperatorsSection::refresh() {
    const bool administrator = m_current.has(OperatorRight::Administrator);
    for (int entry = OperatorTable::kAnonymous; entry < OperatorTable::kSize; ++entry) {
        const Operator& op = m_table.entry(entry);
        Row& row = m_rows[static_cast<size_t>(entry)];
        row = Row{};
        row.rights = op.rights;
        const bool named = entry >= OperatorTable::kFirstNamed;
        if (named && entry >= m_table.count()) {
            // A free entry: only the first one offers "Novo", and only to an administrator.
            row.buttonVisible = entry == m_table.count() && administrator;
            continue;
        }
        row.name = op.name;
        if (op.number == m_current.number || administrator) {
            row.buttonVisible = named;
            row.buttonRemoves = true;
            row.nameEnabled = named;
            row.passwordVisible = named;
            row.password = op.password;
            row.boxesEnabled = administrator;
        }
    }
}

void OperatorsSection::novo(int entry) {
    if (entry != m_table.count() || !m_current.has(OperatorRight::Administrator) || m_table.openEntry() < 0)
        return;
    Row& row = m_rows[static_cast<size_t>(entry)];
    row = Row{};
    row.buttonVisible = row.buttonRemoves = row.nameEnabled = row.passwordVisible = row.boxesEnabled = true;
    if (entry + 1 < OperatorTable::kSize) {
        Row& next = m_rows[static_cast<size_t>(entry + 1)];
        next.buttonVisible = true;
        next.buttonRemoves = false;
    }
    m_saveEnabled = true;
}

void OperatorsSection::remover(int entry) {
    if (entry < OperatorTable::kFirstNamed || entry >= m_table.count())
        return;
    m_table.removeEntry(entry);
    refresh();
    m_saveEnabled = true;
}

void OperatorsSection::rightClicked(int entry, int right, bool checked, const QString& shownName) {
    if (entry < OperatorTable::kAnonymous || entry >= OperatorTable::kSize || right < 0 ||
        right >= int(OperatorRight::kBoxes.size()))
        return;
    Operator& op = m_table.entry(entry);
    const quint16 bit = OperatorRight::kBoxes[static_cast<size_t>(right)];
    op.rights = checked ? quint16(op.rights | bit) : quint16(op.rights & ~bit);
    m_rows[static_cast<size_t>(entry)].rights = op.rights;
    if (shownName == m_current.name)
        m_current.rights = op.rights;
    m_saveEnabled = true;
}

int OperatorsSection::refusedControl(const OperatorsForm& form) const {
    if (!fourDigits(form.adminPassword))
        return OperatorControl::password(OperatorTable::kAdministrator);
    for (size_t i = 0; i < form.names.size(); ++i) {
        if (!storableName(form.names[i]))
            return OperatorControl::name(OperatorTable::kFirstNamed + int(i));
    }
    for (size_t i = 0; i < form.passwords.size(); ++i) {
        const int entry = OperatorTable::kFirstNamed + int(i);
        if (entry < m_table.count() && !form.names[i].isEmpty() && !fourDigits(form.passwords[i]))
            return OperatorControl::password(entry);
    }
    return 0;
}

void OperatorsSection::takeFields(ValueExchange& exchange, const OperatorsForm& form) {
    m_fieldsTaken = false;
    if (const int refused = refusedControl(form)) {
        const bool nameRefused = refused < OperatorControl::FirstPassword;
        m_ui.showMessage(QString::fromUtf8(nameRefused ? kNameText : kPasswordText), UserInterface::Icon::Error);
        exchange.markFailed(refused);
        return;
    }
    m_table.entry(OperatorTable::kAdministrator).password = form.adminPassword;
    for (size_t i = 0; i < form.names.size(); ++i) {
        const int entry = OperatorTable::kFirstNamed + int(i);
        if (entry >= m_table.count())
            break; // free rows hold nothing
        Operator& op = m_table.entry(entry);
        op.name = form.names[i];
        op.password = form.passwords[i];
    }
    m_fieldsTaken = true;
}

void OperatorsSection::refreshCurrentRights() {
    if (m_current.isAdministrator() || m_current.isAnonymous()) {
        m_table.logIn(m_current.number - 1, m_current);
        return;
    }
    for (int entry = OperatorTable::kFirstNamed; entry < OperatorTable::kSize; ++entry) {
        const Operator& op = m_table.entry(entry);
        if (!op.name.isEmpty() && op.name == m_current.name)
            m_current.rights = op.rights;
    }
}

bool OperatorsSection::SaveOperators() {
    if (!m_fieldsTaken)
        return false;
    m_fieldsTaken = false;
    refreshCurrentRights();
    UsersFile::write(m_dir, m_table);
    m_saveEnabled = false;
    return true;
}
