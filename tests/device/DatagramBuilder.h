#pragma once

#include "device/TaviComCodec.h"

#include <vector>

// Builds datagrams as a Tavi device does: the CRC computed with the channel
// rule (high nibble), the payload padded to an even length with zeros.
struct DatagramFields {
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

inline std::vector<quint8> makeDatagram(const DatagramFields& fields) {
    using namespace TaviCom;
    std::vector<quint8> bytes(kMaxDatagramLength, 0xAA);
    bytes[kOffMarker] = kMarker;
    bytes[kOffVersion] = fields.version;
    bytes[kOffType] = fields.type;
    bytes[kOffFlags] = fields.flags;
    writeU32(bytes, kOffDeviceId, fields.deviceId);
    writeU16(bytes, kOffSequence, fields.sequence);
    bytes[kOffChannel] = fields.channel;
    bytes[kOffCode] = fields.code;
    bytes[kOffAnswerKind] = fields.answerKind;
    bytes[kOffKind] = fields.kind;
    quint16 payloadLength = kReportPayloadLength;
    if (fields.kind == kKindReport) {
        writeDeviceReport(bytes, fields.report);
    } else {
        payloadLength = static_cast<quint16>(fields.payload.size());
        std::copy(fields.payload.begin(), fields.payload.end(), bytes.begin() + kHeaderLength);
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
