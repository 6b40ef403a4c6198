#include "config/Operators.h"

void OperatorTable::reset(const QString& anonymousName) {
    m_entries = {};
    m_entries[kAdministrator] = {QString::fromLatin1(kAdministratorName), kAdministrator + 1, OperatorRight::All, {}};
    m_entries[kAnonymous] = {anonymousName, kAnonymous + 1, 0, {}};
    m_count = kFirstNamed;
}

int OperatorTable::openEntry() {
    if (m_count >= kSize)
        return -1;
    const int index = m_count++;
    m_entries[static_cast<size_t>(index)] = Operator{{}, index + 1, 0, {}};
    return index;
}

void OperatorTable::removeEntry(int index) {
    if (index < kFirstNamed || index >= m_count)
        return;
    for (int i = index; i + 1 < m_count; ++i) {
        m_entries[static_cast<size_t>(i)] = m_entries[static_cast<size_t>(i + 1)];
        m_entries[static_cast<size_t>(i)].number = i + 1;
    }
    --m_count;
    m_entries[static_cast<size_t>(m_count)] = Operator{};
}

void OperatorTable::logIn(int index, CurrentOperator& current) const {
    const Operator& chosen = entry(index);
    current.name = chosen.name;
    current.number = index + 1;
    current.rights = index == kAdministrator ? OperatorRight::All : chosen.rights;
}
