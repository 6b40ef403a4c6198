#pragma once

#include <QtGlobal>

#include <array>
#include <optional>
#include <span>

// The TaviCom datagram format as pure functions over bytes: a 16-byte header,
// a payload padded to an even length (or to 16-byte blocks in what the server
// sends with flag bit 0), and a CRC-16/ARC stored little-endian. All
// multi-byte fields are little-endian. Nothing here touches a socket, and no
// function reads or writes outside the span it is given.
namespace TaviCom {

// Header layout.
constexpr int kOffMarker = 0;
constexpr int kOffVersion = 1;
constexpr int kOffType = 2;
constexpr int kOffFlags = 3;
constexpr int kOffDeviceId = 4; // 32 bits; the low 16 bits are the account
constexpr int kOffSequence = 8;
constexpr int kOffChannel = 10;
constexpr int kOffCode = 11;
constexpr int kOffAnswerKind = 12;
constexpr int kOffKind = 13;
constexpr int kOffPayloadLength = 14;
constexpr int kHeaderLength = 16;
constexpr int kCrcLength = 2;
constexpr int kFrameOverhead = kHeaderLength + kCrcLength;

// The largest datagram the server reads, and the size of every datagram buffer.
constexpr int kMaxDatagramLength = 292;
using DatagramBuffer = std::array<quint8, kMaxDatagramLength>;

constexpr quint8 kMarker = '!';
constexpr quint8 kVersion = 1;

// Types.
constexpr quint8 kTypeEvent = 0x20;
constexpr quint8 kTypeKeepAlive = 1;
constexpr quint8 kTypeAcknowledged = 4; // also the type of the server's own requests
constexpr quint8 kTypeRefused = 5;

// Flags.
constexpr quint8 kFlagPadded = 0x01;  // payload padded to 16-byte blocks (enciphered payloads)
constexpr quint8 kFlagNoCheck = 0x02; // the CRC is not verified
constexpr quint8 kFlagsRequest = 0x10;
constexpr quint8 kFlagsAnswer = 0x20;

// Kinds.
constexpr quint8 kKindRequest = 0;
constexpr quint8 kKindReport = 1;
constexpr quint8 kKindAnswer = 2;

// Channels.
constexpr quint8 kChannelEthernet = 1;
constexpr quint8 kChannelGprs = 2;

// Codes of answers and requests.
constexpr quint8 kCodeAccepted = 1;
constexpr quint8 kCodeCallback = 2;
constexpr quint8 kCodeIncorrectParameter = 6;
constexpr quint8 kCodeUnknownType = 14;

// Results of CheckDatagram.
constexpr int kCheckValid = 0;
constexpr int kCheckCrcError = 2;
constexpr int kCheckVersion = 11;

// Device report payload (kind 1): account, event code, partition, (one byte
// not interpreted), zone or user, keep-alive period.
constexpr int kReportPayloadLength = 10;
// Callback request payload (kind 0, code 2): account, port.
constexpr int kCallbackPayloadLength = 4;

// How the payload length is rounded: received datagrams are always read with
// even rounding; what the server sends is rounded to 16 when flag bit 0 is set
// (an empty payload then counts as 16), otherwise to an even length.
enum class Padding { Received, Sent };

int paddedLength(quint16 payloadLength, quint8 flags, Padding padding);

quint16 readU16(std::span<const quint8> bytes, int offset);
quint32 readU32(std::span<const quint8> bytes, int offset);
void writeU16(std::span<quint8> bytes, int offset, quint16 value);
void writeU32(std::span<quint8> bytes, int offset, quint32 value);

// The header fields of a datagram; none when fewer than 16 bytes are given.
struct Header {
    quint8 marker = 0;
    quint8 version = 0;
    quint8 type = 0;
    quint8 flags = 0;
    quint32 deviceId = 0;
    quint16 sequence = 0;
    quint8 channel = 0;
    quint8 code = 0;
    quint8 answerKind = 0;
    quint8 kind = 0;
    quint16 payloadLength = 0;

    quint16 account() const { return static_cast<quint16>(deviceId & 0xFFFF); }
};
std::optional<Header> readHeader(std::span<const quint8> datagram);

// True when the received bytes start with the marker and hold the header, the
// payload rounded up to an even length and the CRC. Lying length fields and
// short reads give false.
bool isCompleteDatagram(std::span<const quint8> datagram);

// The validity check of a received datagram of receivedLength bytes (at most
// buffer.size()): kCheckVersion for a version above 1, else kCheckCrcError
// when the CRC is checked and wrong (or the frame is incomplete), else
// kCheckValid. Unless flag bit 1 is set, the CRC is computed with a channel
// byte whose high nibble is set taken as that high nibble; afterwards the
// channel byte holds the channel to record: the low nibble when both nibbles
// were set, the high nibble when only it was set, otherwise unchanged.
int CheckDatagram(std::span<quint8> buffer, qsizetype receivedLength, Padding padding = Padding::Received);

// Pads the payload of the datagram in buffer with zero bytes up to paddedLength
// and stores the CRC (computed with the channel rule of CheckDatagram). Returns
// the number of bytes to send, or -1 when they do not fit in buffer.
int finishDatagram(std::span<quint8> buffer, quint16 payloadLength, int paddedLength);

// Writes the marker, version 1, channel 1 and the payload length into the
// header, pads the payload and stores the CRC. Returns the padded length (the
// caller sends kFrameOverhead + that many bytes), or -1 when the datagram does
// not fit in buffer.
int SealDatagram(std::span<quint8> buffer, quint16 payloadLength);

// The fields of a device report (kind 1).
struct DeviceReport {
    quint16 account = 0;
    quint16 code = 0;
    quint8 partition = 0;
    quint16 zone = 0;
    quint16 period = 0;
};
// None when the datagram carries fewer than 10 payload bytes.
std::optional<DeviceReport> readDeviceReport(std::span<const quint8> datagram);
// Writes the report payload at offset 16; the header is the caller's.
void writeDeviceReport(std::span<quint8> buffer, const DeviceReport& report);

// The fields of a callback request (kind 0, code 2).
struct CallbackRequest {
    quint16 account = 0;
    quint16 port = 0;
};
std::optional<CallbackRequest> readCallbackRequest(std::span<const quint8> datagram);

// Builds and seals in answer the answer to a device report (its header
// fields read from report): type 4 code 1, or type 5 code 14 when refused;
// flags 0x20 with the report's low four flag bits; device identifier and
// sequence copied; answer kind 1; kind = the report's answer kind; no payload.
// Returns the number of bytes to send, or -1 when report has no header.
int buildReportAnswer(std::span<const quint8> report, std::span<quint8> answer, bool refused);

// Builds and seals the answer to a callback request: type 4 code 1 when
// accepted, type 5 code 6 (unknown account) otherwise; flags 0x20; device
// identifier and sequence copied; answer kind 2; kind = the request's answer
// kind; no payload. Returns the number of bytes to send, or -1.
int buildCallbackAnswer(std::span<const quint8> request, std::span<quint8> answer, bool accepted);

} // namespace TaviCom
