#pragma once

#include "config/Operators.h"

#include <QByteArray>
#include <QString>

class DataDirectory;

// "Users.lst" and its copy "Backup/Users.lst": line 1 the administrator's
// password code and the anonymous operator's rights, then one line per named
// operator (name TAB rights TAB password code), CR LF ended. A password code is
// the four-digit number XOR PasswordKey, in decimal.
namespace UsersFile {

constexpr const char* kFileName = "Users.lst";

// The code stored for a four-digit password, and the password read back from
// a code (at least four digits, zero-padded: the code of 0042 gives "0042").
quint16 passwordCode(const QString& password);
QString passwordFromCode(qint16 code);

// Fills a reset table from a file's text. Reading ends at the first number
// that cannot be read: the operators complete before it stay, the entry it
// belongs to is not stored (an operator without a readable password could
// otherwise log in with an empty one). An administrator code that cannot be
// read gives the default password, as a missing file does.
void parse(const QByteArray& content, OperatorTable& table);
QByteArray serialize(const OperatorTable& table);

// `LoadOperators`: resets the table and fills it from "Users.lst"; a file that
// cannot be opened leaves the administrator's default password "8264" and no
// named operators, without a message. Something in the file's place that is
// refused (not a regular file, too large, unreadable) counts as no file; the
// text that says why is returned for the caller to show (empty otherwise).
QString LoadOperators(const DataDirectory& dir, const QString& anonymousName, OperatorTable& table);

// Writes "Users.lst", then "Backup/Users.lst", each whole and readable by the
// owner only. One that cannot be written does not stop the other.
void write(const DataDirectory& dir, const OperatorTable& table);

} // namespace UsersFile
