#pragma once

#include <QString>

// The numbered Brazilian Portuguese texts of the user interface. Controls
// receive the text whose number equals their identifier.
namespace StringTable {

// The text of number id, or an empty text when the table has none.
QString text(int id);
bool contains(int id);

} // namespace StringTable
