#pragma once

#include <QString>
#include <QtGlobal>

#include <array>

// The operators' rights: bits of a 16-bit mask. Bits 5 to 14 carry no right;
// they are kept as read from "Users.lst" and written back unchanged.
namespace OperatorRight {
constexpr quint16 Close = 0x0001;         // A: closing the program
constexpr quint16 Configuration = 0x0002; // B: seeing the configuration page
constexpr quint16 Edit = 0x0004;          // C: adding, editing, removing and unblocking clients
constexpr quint16 Commands = 0x0008;      // D: the line-switch command of the details dialog
constexpr quint16 Details = 0x0010;       // E: the details dialog and the callback
constexpr quint16 Administrator = 0x8000; // F: managing the operators
constexpr quint16 All = 0xFFFF;
// The six rights in the order of their check boxes, A to F.
constexpr std::array<quint16, 6> kBoxes = {Close, Configuration, Edit, Commands, Details, Administrator};
} // namespace OperatorRight

// XORed with a password's number to give the code stored in "Users.lst".
constexpr quint16 PasswordKey = 0x7A1D;

// One entry of the operator table. An empty name marks a free entry (number 0).
struct Operator {
    QString name;
    int number = 0; // position in the table + 1; 0 while free
    quint16 rights = 0;
    QString password; // four decimal digits
};

// The operator now logged in: empty with no rights until the start-up login.
struct CurrentOperator {
    QString name;
    int number = 0;
    quint16 rights = 0;

    bool has(quint16 right) const { return (rights & right) != 0; }
    bool isAdministrator() const { return number == 1; }
    bool isAnonymous() const { return number == 2; }
};

// The six accounts in a fixed order: the administrator, the anonymous operator
// and up to four named operators, which occupy entries 2, 3, ... without gaps.
class OperatorTable {
public:
    static constexpr int kSize = 6;
    static constexpr int kAdministrator = 0;
    static constexpr int kAnonymous = 1;
    static constexpr int kFirstNamed = 2;
    static constexpr const char* kAdministratorName = "Admin";
    static constexpr const char* kDefaultAdministratorPassword = "8264";

    // Entry 0 "Admin" with every right, entry 1 the anonymous operator without
    // rights, the named entries free, the count 2.
    void reset(const QString& anonymousName);

    Operator& entry(int index) { return m_entries[static_cast<size_t>(index)]; }
    const Operator& entry(int index) const { return m_entries[static_cast<size_t>(index)]; }
    // Entries in use: 2 plus the named entries opened (2 to 6).
    int count() const { return m_count; }
    void setCount(int count) { m_count = count; }

    // "Novo": opens the first free entry (the one at count()); returns its
    // index, or -1 when the table is full.
    int openEntry();
    // "Remover": the later entries move up one place and the last one is freed.
    void removeEntry(int index);

    // Makes current the entry at index (the administrator always with every right).
    void logIn(int index, CurrentOperator& current) const;

private:
    std::array<Operator, kSize> m_entries;
    int m_count = kFirstNamed;
};
