#pragma once

#include "common/Dc09Envelope.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QList>

#include <optional>

// The bodies of SIA DC-09 frames as pure functions over bytes (the envelope
// around them is common/Dc09Envelope.h). A body is
//
//   "ID" SEQ [R rcvr] [L pref] #ACCT [data] [ext]... [_HH:MM:SS,MM-DD-YYYY]
//
// with an optional "*" before the identifier inside the quotes for an
// encrypted body, in which everything after "[" is the hexadecimal text of the
// encrypted padding, "|", data, "]", extended data and timestamp.
namespace Dc09 {

constexpr int kSequenceLength = 4;
constexpr int kMinAccountDigits = 3;
constexpr int kMaxAccountDigits = 16;
constexpr int kMaxPrefixDigits = 6; // of the R and L fields
constexpr int kMaxIdLength = 32;
constexpr int kTimestampLength = 20; // "_HH:MM:SS,MM-DD-YYYY"
constexpr char kEncryptedMark = '*';
constexpr char kAccountMark = '#';
// Answers name no account: "A" and a prefix in its place.
constexpr char kAccountPrefixMark = 'A';

// Identifiers of messages and answers.
inline constexpr char kAdmCid[] = "ADM-CID";
inline constexpr char kSiaDcs[] = "SIA-DCS";
inline constexpr char kNull[] = "NULL";
inline constexpr char kAck[] = "ACK";
inline constexpr char kNak[] = "NAK";
inline constexpr char kDuh[] = "DUH";

// Everything before "[": what an answer copies from the message.
struct Header {
    QByteArray id; // without the quotes and the encryption mark
    bool encrypted = false;
    QByteArray sequence;                // four decimal digits
    std::optional<QByteArray> receiver; // hexadecimal digits after "R"
    QByteArray line = "0";              // hexadecimal digits after "L"; a missing field reads as "0"
    char accountMark = kAccountMark;    // "#" in messages, "A" in a NAK
    QByteArray account;                 // hexadecimal digits after the mark, as sent

    bool operator==(const Header&) const = default;
};

// Everything from "[" on, in clear.
struct Content {
    QByteArray data;                    // between "[" and "]"
    QList<QByteArray> extended;         // each later "[...]" block, without its brackets, not interpreted
    std::optional<QDateTime> timestamp; // UTC, whole seconds

    bool operator==(const Content&) const = default;
};

// A body taken apart at its "[": the header, and the text after the "[" (clear
// text, or the hexadecimal text of an encrypted body), a view into the body read.
struct Split {
    Header header;
    QByteArrayView tail;
};
// None when the header does not follow the layout above.
std::optional<Split> readHeader(QByteArrayView body);

// Data, extended blocks and the optional timestamp, from the clear text after
// "[" up to the end of the body. None when they do not follow the layout.
std::optional<Content> readContent(QByteArrayView clear);

// "_HH:MM:SS,MM-DD-YYYY" of a UTC time, and back (none for any other text or
// a date or time that does not exist).
QByteArray formatTimestamp(const QDateTime& utc);
std::optional<QDateTime> readTimestamp(QByteArrayView text);
// A decimal field of exactly digits digits at text[from] (the caller has
// checked that text holds them); none when any of them is not a digit.
std::optional<int> fixedDecimal(QByteArrayView text, qsizetype from, qsizetype digits);

// Whole frames (envelope included). The encrypted one encrypts with key (16, 24
// or 32 bytes) and gives an empty array when the key has no AES length.
QByteArray frame(const Header& header, const Content& content);
QByteArray encryptedFrame(Header header, const Content& content, QByteArrayView key,
                          const Dc09Envelope::RandomSource& random);

// The receiver's answers to a message whose header is given: sequence, R, L
// and account copied. The encrypted acknowledgement ("*ACK") carries the
// receiver's time in its encrypted part; the NAK names no message (sequence
// 0000, R0, L0, A0) and gives the receiver's time for the device to set its clock by.
QByteArray ack(const Header& message);
QByteArray encryptedAck(const Header& message, QByteArrayView key, const QDateTime& nowUtc,
                        const Dc09Envelope::RandomSource& random);
QByteArray nak(const QDateTime& nowUtc);
QByteArray duh(const Header& message);

} // namespace Dc09
