#pragma once

#include <QString>

// The numbered Brazilian Portuguese texts of the user interface. Controls
// receive the text whose number equals their identifier.
namespace StringTable {

// The text of number id, or an empty text when the table has none.
QString text(int id);
bool contains(int id);
// The number of a text of the table, or 0 when it is none of them (a message
// put together from parts, a text of its own).
int numberOf(const QString& text);

} // namespace StringTable
