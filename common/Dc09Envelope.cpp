#include "common/Dc09Envelope.h"

#include "common/Crc16.h"
#include "common/HexText.h"

#include <QRandomGenerator>

namespace Dc09Envelope {

namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// The characters padding is drawn from: printable ASCII less the three marks.
constexpr char kPaddingCharacters[] = "!\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ\\^_`"
                                      "abcdefghijklmnopqrstuvwxyz{}~";
constexpr quint32 kPaddingCharacterCount = sizeof kPaddingCharacters - 1;

} // namespace

QByteArray wrap(QByteArrayView body) {
    QByteArray out;
    out.reserve(body.size() + kEnvelopeLength);
    out += kStart;
    out += HexText::hex4Bytes(Crc16::arc(body));
    out += HexText::hex4Bytes(static_cast<quint16>(body.size()));
    out.append(body);
    out += kEnd;
    return out;
}

std::optional<quint16> readField(QByteArrayView text) {
    if (text.size() != kFieldLength)
        return std::nullopt;
    quint16 value = 0;
    for (const char c : text) {
        const int digit = hexDigit(c);
        if (digit < 0)
            return std::nullopt;
        value = static_cast<quint16>((value << 4) | digit);
    }
    return value;
}

std::optional<qsizetype> frameLength(QByteArrayView header) {
    if (header.size() < kHeaderLength || header.front() != kStart)
        return std::nullopt;
    const std::optional<quint16> length = readField(header.sliced(kLengthOffset, kFieldLength));
    if (!length || *length > kMaxBodyLength)
        return std::nullopt;
    return qsizetype(*length) + kEnvelopeLength;
}

Fault open(QByteArrayView frame, QByteArrayView& body) {
    if (frame.isEmpty() || frame.front() != kStart)
        return Fault::NoStart;
    if (frame.size() < kEnvelopeLength || frame.back() != kEnd)
        return Fault::NoEnd;
    const std::optional<qsizetype> length = frameLength(frame);
    if (!length || *length != frame.size())
        return Fault::BadLength;
    const QByteArrayView inside = frame.sliced(kHeaderLength, frame.size() - kEnvelopeLength);
    const std::optional<quint16> crc = readField(frame.sliced(kCrcOffset, kFieldLength));
    if (!crc || *crc != Crc16::arc(inside))
        return Fault::BadCrc;
    body = inside;
    return Fault::None;
}

const char* faultText(Fault fault) {
    switch (fault) {
    case Fault::None:
        return "ok";
    case Fault::NoStart:
        return "no LF at the start";
    case Fault::NoEnd:
        return "no CR at the end";
    case Fault::BadLength:
        return "length field does not match";
    case Fault::BadCrc:
        return "CRC does not match";
    }
    return "?";
}

RandomSource systemRandom() {
    return [] { return QRandomGenerator::global()->generate(); };
}

QByteArray padding(qsizetype length, const RandomSource& random) {
    QByteArray out(qMax<qsizetype>(length, 0), Qt::Uninitialized);
    for (char& c : out)
        c = kPaddingCharacters[random() % kPaddingCharacterCount];
    return out;
}

QByteArray encryptTail(QByteArrayView key, QByteArrayView clear, const RandomSource& random) {
    const qsizetype used = clear.size() + 1; // with the "|"
    const qsizetype padLength = (AesCbc::kBlockLength - used % AesCbc::kBlockLength) % AesCbc::kBlockLength;
    QByteArray plain = padding(padLength, random);
    plain += kPaddingEnd;
    plain.append(clear);
    const AesCbc::Result sealed = AesCbc::encrypt(key, plain);
    return sealed.ok() ? sealed.bytes.toHex().toUpper() : QByteArray();
}

Tail decryptTail(QByteArrayView key, QByteArrayView hex) {
    if (hex.size() % 2 != 0)
        return {{}, TailError::NotHex};
    QByteArray cipher(hex.size() / 2, Qt::Uninitialized);
    for (qsizetype i = 0; i < cipher.size(); ++i) {
        const int high = hexDigit(hex[2 * i]);
        const int low = hexDigit(hex[2 * i + 1]);
        if (high < 0 || low < 0)
            return {{}, TailError::NotHex};
        cipher[i] = static_cast<char>((high << 4) | low);
    }
    const AesCbc::Result opened = AesCbc::decrypt(key, cipher);
    switch (opened.error) {
    case AesCbc::Error::None:
        break;
    case AesCbc::Error::KeyLength:
        return {{}, TailError::KeyLength};
    case AesCbc::Error::DataLength:
    case AesCbc::Error::Cipher:
        return {{}, TailError::DataLength};
    }
    const qsizetype bar = opened.bytes.indexOf(kPaddingEnd);
    if (bar < 0)
        return {{}, TailError::NoPadding};
    return {opened.bytes.mid(bar + 1), TailError::None};
}

const char* tailErrorText(TailError error) {
    switch (error) {
    case TailError::None:
        return "ok";
    case TailError::NotHex:
        return "encrypted text is not hexadecimal";
    case TailError::DataLength:
        return "encrypted text is not whole blocks";
    case TailError::KeyLength:
        return "key is not 16, 24 or 32 bytes";
    case TailError::NoPadding:
        return "no end of padding after decryption";
    }
    return "?";
}

} // namespace Dc09Envelope
