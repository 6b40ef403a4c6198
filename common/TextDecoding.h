#pragma once

#include <QByteArrayView>
#include <QString>

// The data files are 8-bit text: UTF-8 as this receiver writes them, or the
// Windows code page 1252 of the files that older Windows tools wrote. A text
// whose bytes are valid UTF-8 is read as UTF-8; any other as Windows-1252, so
// "€", "’" and "–" keep their meaning and no byte is lost.
namespace TextDecoding {

QString decode(QByteArrayView bytes);
// Windows-1252 alone (bytes 0x80 to 0x9F that the code page leaves undefined
// keep their own value, as Latin-1 has them).
QString fromWindows1252(QByteArrayView bytes);
// The first max UTF-16 units of text, one fewer when the cut would split a
// surrogate pair: a lone half would be saved as "?".
QString leftWhole(const QString& text, qsizetype max);

} // namespace TextDecoding
