#include "device/MulticomFrames.h"

#include "common/HexText.h"

namespace Multicom {

namespace {

constexpr int kSumFieldLength = 4;

// Decimal digits as the devices read them: the character minus "0", not validated.
int decimal(const std::array<char, kBufferSize>& buffer, int offset, int count) {
    int value = 0;
    for (int i = 0; i < count; ++i)
        value = value * 10 + (buffer[size_t(offset + i)] - '0');
    return value;
}

std::array<char, kMacKeyLength> macKeyAt(const std::array<char, kBufferSize>& buffer) {
    std::array<char, kMacKeyLength> key{};
    for (int i = 0; i < kMacKeyLength; ++i)
        key[size_t(i)] = buffer[size_t(kOffScrambled + i)];
    return key;
}

// Closes a frame built in out: the sum of bytes 1 onwards, then ETX.
void appendSumAndEnd(QByteArray& out) {
    HexText::appendHex(out, sum(std::span<const char>(out.constData() + 1, size_t(out.size() - 1))), kSumFieldLength);
    out += kEtx;
}

QByteArray shortFrame(std::initializer_list<char> body) {
    QByteArray out;
    out += kStx;
    for (char c : body)
        out += c;
    out += kEtx;
    return out;
}

} // namespace

int hexDigit(char c) {
    return c <= '9' ? c - '0' : c - 'A' + 10;
}

quint8 hexPair(const char* pair) {
    return static_cast<quint8>((hexDigit(pair[0]) << 4) + hexDigit(pair[1]));
}

void writeHexPair(quint8 value, char* out) {
    HexText::writeHex(out, value, 2);
}

void writeHexWord(quint16 value, char* out) {
    HexText::writeHex(out, value, 4);
}

quint16 sum(std::span<const char> bytes) {
    quint16 total = 0;
    for (char c : bytes)
        total = static_cast<quint16>(total + static_cast<quint8>(c));
    return total;
}

std::optional<quint16> readSumField(std::span<const char> field) {
    // Like "%4X": up to four hexadecimal digits in either case, after any blanks.
    if (field.size() > size_t(kSumFieldLength))
        return std::nullopt;
    quint32 value = 0;
    if (!HexText::parseHex(QByteArrayView(field.data(), qsizetype(field.size())), value))
        return std::nullopt;
    return static_cast<quint16>(value);
}

void scramble(char* text, int pairCount, quint32 key) {
    for (int i = 0; i < pairCount; ++i) {
        const int shift = 8 * (3 - (i % 4));
        const auto keyByte = static_cast<quint8>(key >> shift);
        writeHexPair(static_cast<quint8>(hexPair(text + 2 * i) ^ keyByte), text + 2 * i);
    }
}

bool isCompleteFrame(std::span<const char> frame) {
    return frame.size() >= 2 && frame.front() == kStx && frame.back() == kEtx;
}

bool hasValidSum(std::span<const char> frame) {
    if (frame.size() < size_t(kMinMessageLength))
        return false;
    const size_t n = frame.size();
    const auto field = readSumField(frame.subspan(n - 1 - kSumFieldLength, kSumFieldLength));
    return field && *field == sum(frame.subspan(1, n - 1 - kSumFieldLength - 1));
}

QByteArray challengeFrame(quint8 indexA, quint8 indexB, const QByteArray& peerAddressHex) {
    QByteArray out;
    out.reserve(kChallengeLength);
    out += kStx;
    out += "XR";
    HexText::appendHex(out, indexA, 2);
    HexText::appendHex(out, indexB, 2);
    out += peerAddressHex.left(8);
    appendSumAndEnd(out);
    return out;
}

QByteArray acknowledgeFrame() {
    return shortFrame({'K'});
}

QByteArray commandWaitingFrame() {
    return shortFrame({'K', 'W'});
}

QByteArray negativeFrame() {
    return shortFrame({'N'});
}

QByteArray endFrame() {
    return shortFrame({'E'});
}

QByteArray callbackCommandFrame(const std::array<char, 4>& challenge, const std::array<quint8, 4>& address,
                                quint16 port, quint32 key) {
    QByteArray out;
    out.reserve(kCallbackCommandLength);
    out += kStx;
    out += 'C';
    out.append(challenge.data(), 4);
    for (quint8 octet : address)
        HexText::appendHex(out, octet, 2);
    HexText::appendHex(out, port, 4);
    constexpr int kScrambledOffset = 6;
    constexpr int kScrambledPairs = 6;
    scramble(out.data() + kScrambledOffset, kScrambledPairs, key);
    appendSumAndEnd(out);
    return out;
}

QByteArray lineSwitchFrame(quint8 minutes) {
    QByteArray out;
    out += kStx;
    out += 'P';
    HexText::appendHex(out, minutes, 2);
    HexText::appendHex(out, static_cast<quint8>(~minutes), 2);
    out += kEtx;
    return out;
}

QByteArray registerFrame() {
    return shortFrame({'R', 'M', '0'});
}

QByteArray eventFrame(const EventToSend& event, quint32 key) {
    QByteArray out;
    out.reserve(kEventFrameLength);
    out += kStx;
    out += "XI0000";
    out += event.macKey.left(kMacKeyLength).leftJustified(kMacKeyLength, '0');
    out += "00000000"; // not interpreted
    HexText::appendHex(out, event.account, 4);
    out += QByteArray::number(event.code % 10000).rightJustified(4, '0');
    out += QByteArray::number(event.zone % 1000).rightJustified(3, '0');
    out += QByteArray::number(event.partition % 100).rightJustified(2, '0');
    out += event.channelLetter;
    scramble(out.data() + kOffScrambled, kEventScrambledChars / 2, key);
    appendSumAndEnd(out);
    return out;
}

QByteArray heartbeatFrame(const QByteArray& macKey, quint8 intervalMinutes, quint32 key) {
    QByteArray out;
    out.reserve(kHeartbeatFrameLength);
    out += kStx;
    out += "XH0000";
    out += macKey.left(kMacKeyLength).leftJustified(kMacKeyLength, '0');
    HexText::appendHex(out, intervalMinutes, 2);
    scramble(out.data() + kOffScrambled, kHeartbeatScrambledChars / 2, key);
    appendSumAndEnd(out);
    return out;
}

QByteArray fetchFrame() {
    return shortFrame({'W'});
}

QByteArray confirmFrame() {
    return shortFrame({'C'});
}

QByteArray deviceAcknowledgeFrame() {
    return shortFrame({'K'});
}

EventFields readEventFields(const std::array<char, kBufferSize>& buffer) {
    EventFields fields;
    fields.macKey = macKeyAt(buffer);
    fields.account = static_cast<quint16>((hexPair(&buffer[21]) << 8) | hexPair(&buffer[23]));
    fields.code = static_cast<quint16>(decimal(buffer, 25, 4));
    fields.zone = static_cast<quint16>(decimal(buffer, 29, 3));
    fields.partition = static_cast<quint8>(decimal(buffer, 32, 2));
    switch (buffer[34]) {
    case 'E':
        fields.channel = 1;
        break;
    case 'F':
        fields.channel = 2;
        break;
    default:
        fields.channel = 0;
        break;
    }
    return fields;
}

HeartbeatFields readHeartbeatFields(const std::array<char, kBufferSize>& buffer) {
    HeartbeatFields fields;
    fields.macKey = macKeyAt(buffer);
    fields.intervalMinutes = hexPair(&buffer[13]);
    return fields;
}

} // namespace Multicom
