#pragma once

#include "common/AesCbc.h"

#include <QByteArray>
#include <QByteArrayView>

#include <functional>
#include <optional>

// What every DC-09 frame shares, whichever side builds or reads it: the
// envelope (LF, CRC-16/ARC of the body as four hexadecimal digits, the body
// length as four hexadecimal digits, the body, CR) and the encrypted part of a
// body (random padding, "|", the clear text, AES-CBC with a zero vector, sent
// as upper-case hexadecimal text).
namespace Dc09Envelope {

constexpr char kStart = '\n';
constexpr char kEnd = '\r';
constexpr int kCrcOffset = 1;
constexpr int kLengthOffset = 5;
constexpr int kFieldLength = 4;
constexpr int kHeaderLength = 9; // LF, CRC, length
constexpr int kEnvelopeLength = kHeaderLength + 1;
// The length field is "0" and three hexadecimal digits.
constexpr qsizetype kMaxBodyLength = 0xFFF;

QByteArray wrap(QByteArrayView body);

// One four-digit field of the header: exactly four hexadecimal digits, either case.
std::optional<quint16> readField(QByteArrayView text);

enum class Fault { None, NoStart, NoEnd, BadLength, BadCrc };

// Checks a whole frame: LF first, CR last, a length field that gives the body's
// length (at most kMaxBodyLength) and a CRC field that matches the body. On
// Fault::None, body views the body inside frame.
Fault open(QByteArrayView frame, QByteArrayView& body);
const char* faultText(Fault fault);

// The whole length of a frame, read from its first kHeaderLength bytes: none
// when they do not start with LF and a readable length field of at most
// kMaxBodyLength.
std::optional<qsizetype> frameLength(QByteArrayView header);

// Encrypted bodies.
constexpr char kPaddingEnd = '|';

// Gives 32 random bits at each call; tests give their own sequence.
using RandomSource = std::function<quint32()>;
// The process's random generator.
RandomSource systemRandom();

// length random printable characters, none of them "[", "]" or "|" (the marks
// that a reader of the decrypted text looks for).
QByteArray padding(qsizetype length, const RandomSource& random);

// The hexadecimal text that follows "[" in an encrypted body: random padding
// up to whole blocks, "|", clear, encrypted with key. Empty when the key has
// no AES length.
QByteArray encryptTail(QByteArrayView key, QByteArrayView clear, const RandomSource& random);

enum class TailError {
    None,
    NotHex,     // not pairs of hexadecimal digits
    DataLength, // no whole number of blocks
    KeyLength,
    NoPadding, // no "|" after the padding: a wrong key, or not encrypted at all
};

struct Tail {
    QByteArray clear; // what follows the padding and its "|"
    TailError error = TailError::None;

    bool ok() const { return error == TailError::None; }
};

// Decrypts the hexadecimal text that follows "[" and drops the padding through its "|".
Tail decryptTail(QByteArrayView key, QByteArrayView hex);
const char* tailErrorText(TailError error);

} // namespace Dc09Envelope
