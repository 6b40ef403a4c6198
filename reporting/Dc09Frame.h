#pragma once

#include <QByteArray>
#include <QByteArrayView>

// The station's side of a DC-09 frame: the body inside the envelope
// (common/Dc09Envelope.h) starts with the quoted identifier ("ADM-CID",
// "NULL", "ACK").
namespace Dc09Frame {

// A received frame taken apart. Fields that are missing stay empty.
struct Parsed {
    QByteArray body;
    QByteArray identifier; // without its quotes
    QByteArray sequence;   // four digits after the identifier
    QByteArray account;    // after "#" in the header part
    QByteArray data;       // between "[" and "]"
    bool crcOk = false;
};

enum class Check { Ok, NoStart, NoEnd, BadLength, BadCrc, BadIdentifier };

// Checks a whole frame (LF, CRC, length, quoted identifier, CR) and takes it
// apart. parsed is filled as far as the frame allows, also on a failed check.
Check check(QByteArrayView frame, Parsed& parsed);
const char* checkText(Check check);

// The station's answer to an event frame: identifier ("ACK" or "NAK"), the
// frame's sequence and account, empty data.
QByteArray reply(QByteArrayView identifier, QByteArrayView sequence, QByteArrayView account);

} // namespace Dc09Frame
