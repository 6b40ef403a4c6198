#pragma once

#include "device/TaviComCodec.h"

#include <vector>

// Builds datagrams as a Tavi device does: the CRC computed with the channel
// rule (high nibble), the payload padded to an even length with zeros.
struct DatagramSpec {
    quint8 version = TaviCom::kVersion;
    quint8 type = TaviCom::kTypeEvent;
    quint8 flags = 0;
    quint32 deviceId = 0x00C0FFEE;
    quint16 sequence = 0x1234;
    quint8 channel = TaviCom::kChannelEthernet;
    quint8 code = 0;
    quint8 answerKind = TaviCom::kKindAnswer;
    quint8 kind = TaviCom::kKindReport;
    TaviCom::DeviceReport report{0x00EE, 1130, 2, 17, 60};
    // Used instead of the report payload when kind is not a report.
    std::vector<quint8> payload;
};

inline std::vector<quint8> makeDatagram(const DatagramSpec& spec) {
    using namespace TaviCom;
    std::vector<quint8> bytes(kMaxDatagramLength, 0xAA);
    bytes[kOffMarker] = kMarker;
    bytes[kOffVersion] = spec.version;
    bytes[kOffType] = spec.type;
    bytes[kOffFlags] = spec.flags;
    writeU32(bytes, kOffDeviceId, spec.deviceId);
    writeU16(bytes, kOffSequence, spec.sequence);
    bytes[kOffChannel] = spec.channel;
    bytes[kOffCode] = spec.code;
    bytes[kOffAnswerKind] = spec.answerKind;
    bytes[kOffKind] = spec.kind;
    quint16 payloadLength = kReportPayloadLength;
    if (spec.kind == kKindReport) {
        writeDeviceReport(bytes, spec.report);
    } else {
        payloadLength = static_cast<quint16>(spec.payload.size());
        std::copy(spec.payload.begin(), spec.payload.end(), bytes.begin() + kHeaderLength);
    }
    writeU16(bytes, kOffPayloadLength, payloadLength);
    const int length = finishDatagram(bytes, payloadLength, paddedLength(payloadLength, 0, Padding::Received));
    bytes.resize(static_cast<size_t>(length));
    return bytes;
}

// A callback request payload: account of the client that is to call, port to call.
inline std::vector<quint8> callbackPayload(quint16 account, quint16 port) {
    return {static_cast<quint8>(account & 0xFF), static_cast<quint8>(account >> 8), static_cast<quint8>(port & 0xFF),
            static_cast<quint8>(port >> 8)};
}
