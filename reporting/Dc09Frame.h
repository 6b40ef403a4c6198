#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <optional>

// The DC-09 frame envelope: LF, CRC-16/ARC of the body as four upper-case
// hexadecimal digits, the body length as four hexadecimal digits, the body,
// CR. The body starts with the quoted identifier ("ADM-CID", "NULL", "ACK").
namespace Dc09Frame {

constexpr char kStart = '\n';
constexpr char kEnd = '\r';
constexpr int kHeaderLength = 9; // LF, CRC, length
constexpr int kEnvelopeLength = kHeaderLength + 1;

QByteArray wrap(QByteArrayView body);

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
