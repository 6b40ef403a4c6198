#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

// Hexadecimal texts: accounts are always four upper-case digits ("%04X"),
// device identifiers eight ("%08X").
namespace HexText {

QString hex4(quint16 value);
QString hex8(quint32 value);
QByteArray hex4Bytes(quint16 value);
// Appends value as digits upper-case hexadecimal digits (1 to 8), without a
// temporary buffer (for writers of large files).
void appendHex(QByteArray& out, quint32 value, int digits);
// Writes value as digits upper-case hexadecimal digits at out (in place).
void writeHex(char* out, quint32 value, int digits);

// Reads hexadecimal digits like "%X": leading blanks skipped, then as many hex
// digits as follow. Returns false when there is no digit at all. Overlong
// inputs keep the low 32 bits.
bool parseHex(QStringView text, quint32& value);
// The same over 8-bit text.
bool parseHex(QByteArrayView text, quint32& value);

} // namespace HexText
