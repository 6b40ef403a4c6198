#include "device/TaviComCodec.h"

#include "common/Crc16.h"

#include <algorithm>

namespace TaviCom {

namespace {

constexpr int kEvenBlock = 2;
constexpr int kCipherBlock = 16;

int roundUp(int value, int block) {
    return (value + block - 1) / block * block;
}

// The channel byte as the CRC sees it: its high nibble when that is set.
quint8 channelForCrc(quint8 channel) {
    const quint8 high = channel >> 4;
    return high != 0 ? high : channel;
}

// CRC-16/ARC over the first length bytes with the channel byte taken by the rule above.
quint16 frameCrc(std::span<const quint8> bytes, int length) {
    const auto* data = reinterpret_cast<const char*>(bytes.data());
    quint16 crc = Crc16::arc(data, kOffChannel);
    const char channel = static_cast<char>(channelForCrc(bytes[kOffChannel]));
    crc = Crc16::arc(&channel, 1, crc);
    return Crc16::arc(data + kOffChannel + 1, length - kOffChannel - 1, crc);
}

// Frame length (header, padded payload, CRC) of a received datagram, by its own length field.
int receivedFrameLength(std::span<const quint8> datagram) {
    const quint16 payloadLength = readU16(datagram, kOffPayloadLength);
    return kFrameOverhead + paddedLength(payloadLength, 0, Padding::Received);
}

void fillAnswerHeader(const Header& asked, std::span<quint8> answer, quint8 type, quint8 code, quint8 flags,
                      quint8 answerKind) {
    std::fill(answer.begin(), answer.begin() + kHeaderLength, 0);
    answer[kOffType] = type;
    answer[kOffFlags] = flags;
    writeU32(answer, kOffDeviceId, asked.deviceId);
    writeU16(answer, kOffSequence, asked.sequence);
    answer[kOffCode] = code;
    answer[kOffAnswerKind] = answerKind;
    answer[kOffKind] = asked.answerKind;
}

int sealAnswer(std::span<quint8> answer) {
    const int padded = SealDatagram(answer, 0);
    return padded < 0 ? -1 : kFrameOverhead + padded;
}

} // namespace

int paddedLength(quint16 payloadLength, quint8 flags, Padding padding) {
    if (padding == Padding::Sent && (flags & kFlagPadded) != 0)
        return payloadLength == 0 ? kCipherBlock : roundUp(payloadLength, kCipherBlock);
    return roundUp(payloadLength, kEvenBlock);
}

quint16 readU16(std::span<const quint8> bytes, int offset) {
    if (offset < 0 || static_cast<size_t>(offset) + 2 > bytes.size())
        return 0;
    return static_cast<quint16>(bytes[offset] | (bytes[offset + 1] << 8));
}

quint32 readU32(std::span<const quint8> bytes, int offset) {
    if (offset < 0 || static_cast<size_t>(offset) + 4 > bytes.size())
        return 0;
    return static_cast<quint32>(bytes[offset]) | (static_cast<quint32>(bytes[offset + 1]) << 8) |
           (static_cast<quint32>(bytes[offset + 2]) << 16) | (static_cast<quint32>(bytes[offset + 3]) << 24);
}

void writeU16(std::span<quint8> bytes, int offset, quint16 value) {
    if (offset < 0 || static_cast<size_t>(offset) + 2 > bytes.size())
        return;
    bytes[offset] = static_cast<quint8>(value & 0xFF);
    bytes[offset + 1] = static_cast<quint8>(value >> 8);
}

void writeU32(std::span<quint8> bytes, int offset, quint32 value) {
    if (offset < 0 || static_cast<size_t>(offset) + 4 > bytes.size())
        return;
    for (int i = 0; i < 4; ++i)
        bytes[offset + i] = static_cast<quint8>((value >> (8 * i)) & 0xFF);
}

std::optional<Header> readHeader(std::span<const quint8> datagram) {
    if (datagram.size() < static_cast<size_t>(kHeaderLength))
        return std::nullopt;
    Header header;
    header.marker = datagram[kOffMarker];
    header.version = datagram[kOffVersion];
    header.type = datagram[kOffType];
    header.flags = datagram[kOffFlags];
    header.deviceId = readU32(datagram, kOffDeviceId);
    header.sequence = readU16(datagram, kOffSequence);
    header.channel = datagram[kOffChannel];
    header.code = datagram[kOffCode];
    header.answerKind = datagram[kOffAnswerKind];
    header.kind = datagram[kOffKind];
    header.payloadLength = readU16(datagram, kOffPayloadLength);
    return header;
}

bool isCompleteDatagram(std::span<const quint8> datagram) {
    if (datagram.size() < static_cast<size_t>(kFrameOverhead) || datagram[kOffMarker] != kMarker)
        return false;
    return static_cast<size_t>(receivedFrameLength(datagram)) <= datagram.size();
}

int CheckDatagram(std::span<quint8> buffer, qsizetype receivedLength, Padding padding) {
    const qsizetype available = std::clamp<qsizetype>(receivedLength, 0, static_cast<qsizetype>(buffer.size()));
    if (available < kHeaderLength)
        return kCheckCrcError;
    if (buffer[kOffVersion] > kVersion)
        return kCheckVersion;
    const quint8 flags = buffer[kOffFlags];
    if ((flags & kFlagNoCheck) != 0)
        return kCheckValid;

    const int frameLength = kFrameOverhead + paddedLength(readU16(buffer, kOffPayloadLength), flags, padding);
    if (frameLength > available)
        return kCheckCrcError;
    const bool valid = frameCrc(buffer, frameLength) == 0;

    const quint8 channel = buffer[kOffChannel];
    const quint8 high = channel >> 4;
    const quint8 low = channel & 0x0F;
    if (high != 0)
        buffer[kOffChannel] = low != 0 ? low : high;
    return valid ? kCheckValid : kCheckCrcError;
}

int finishDatagram(std::span<quint8> buffer, quint16 payloadLength, int paddedLength) {
    const int frameLength = kFrameOverhead + paddedLength;
    if (paddedLength < payloadLength || static_cast<size_t>(frameLength) > buffer.size())
        return -1;
    std::fill(buffer.begin() + kHeaderLength + payloadLength, buffer.begin() + kHeaderLength + paddedLength, 0);
    const int crcOffset = kHeaderLength + paddedLength;
    writeU16(buffer, crcOffset, frameCrc(buffer, crcOffset));
    return frameLength;
}

int SealDatagram(std::span<quint8> buffer, quint16 payloadLength) {
    if (buffer.size() < static_cast<size_t>(kHeaderLength))
        return -1;
    buffer[kOffMarker] = kMarker;
    buffer[kOffVersion] = kVersion;
    buffer[kOffChannel] = kChannelEthernet;
    writeU16(buffer, kOffPayloadLength, payloadLength);
    const int padded = paddedLength(payloadLength, buffer[kOffFlags], Padding::Sent);
    return finishDatagram(buffer, payloadLength, padded) < 0 ? -1 : padded;
}

std::optional<DeviceReport> readDeviceReport(std::span<const quint8> datagram) {
    const auto header = readHeader(datagram);
    if (!header || header->payloadLength < kReportPayloadLength ||
        datagram.size() < static_cast<size_t>(kHeaderLength + kReportPayloadLength))
        return std::nullopt;
    const auto payload = datagram.subspan(kHeaderLength, kReportPayloadLength);
    DeviceReport report;
    report.account = readU16(payload, 0);
    report.code = readU16(payload, 2);
    report.partition = payload[4];
    report.zone = readU16(payload, 6);
    report.period = readU16(payload, 8);
    return report;
}

void writeDeviceReport(std::span<quint8> buffer, const DeviceReport& report) {
    if (buffer.size() < static_cast<size_t>(kHeaderLength + kReportPayloadLength))
        return;
    auto payload = buffer.subspan(kHeaderLength, kReportPayloadLength);
    writeU16(payload, 0, report.account);
    writeU16(payload, 2, report.code);
    payload[4] = report.partition;
    payload[5] = 0;
    writeU16(payload, 6, report.zone);
    writeU16(payload, 8, report.period);
}

std::optional<CallbackRequest> readCallbackRequest(std::span<const quint8> datagram) {
    const auto header = readHeader(datagram);
    if (!header || header->payloadLength < kCallbackPayloadLength ||
        datagram.size() < static_cast<size_t>(kHeaderLength + kCallbackPayloadLength))
        return std::nullopt;
    return CallbackRequest{readU16(datagram, kHeaderLength), readU16(datagram, kHeaderLength + 2)};
}

int buildReportAnswer(std::span<const quint8> report, std::span<quint8> answer, bool refused) {
    const auto header = readHeader(report);
    if (!header || answer.size() < static_cast<size_t>(kHeaderLength))
        return -1;
    fillAnswerHeader(*header, answer, refused ? kTypeRefused : kTypeAcknowledged,
                     refused ? kCodeUnknownType : kCodeAccepted, kFlagsAnswer | (header->flags & 0x0F), kKindReport);
    return sealAnswer(answer);
}

int buildCallbackAnswer(std::span<const quint8> request, std::span<quint8> answer, bool accepted) {
    const auto header = readHeader(request);
    if (!header || answer.size() < static_cast<size_t>(kHeaderLength))
        return -1;
    fillAnswerHeader(*header, answer, accepted ? kTypeAcknowledged : kTypeRefused,
                     accepted ? kCodeAccepted : kCodeIncorrectParameter, kFlagsAnswer, kKindAnswer);
    return sealAnswer(answer);
}

} // namespace TaviCom
