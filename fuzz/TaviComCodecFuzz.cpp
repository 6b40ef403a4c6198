// The TaviCom datagram codec on any bytes: the header, report and callback
// request readers, the validity check, and the answers built to what was read.
// Every answer the server builds must pass its own check, and a datagram
// sealed the way a device seals it must pass the check of a received one.
#include "device/TaviComCodec.h"
#include "fuzz/FuzzInput.h"

#include <algorithm>

using namespace TaviCom;

namespace {

// The longest answer: a header, an empty payload padded to one 16-byte block, the CRC.
constexpr int kLongestAnswer = kFrameOverhead + 16;

// An answer the server sends: valid under its own padding rule, with the
// device identifier and sequence of what it answers.
void checkAnswer(std::span<const quint8> asked, std::span<const quint8> answer, int length, quint8 type) {
    const Header askedHeader = *readHeader(asked);
    require(length >= kFrameOverhead && size_t(length) <= answer.size());
    DatagramBuffer copy{};
    std::copy_n(answer.begin(), length, copy.begin());
    require(CheckDatagram(copy, length, Padding::Sent) == kCheckValid);
    const Header header = *readHeader(std::span<const quint8>(copy.data(), size_t(length)));
    require(header.marker == kMarker && header.version == kVersion);
    require(header.type == type);
    require(header.deviceId == askedHeader.deviceId && header.sequence == askedHeader.sequence);
    require(header.payloadLength == 0);
    require(length == kFrameOverhead + paddedLength(0, header.flags, Padding::Sent));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    const quint8 answerRoom = input.byte(); // how much room the answers get
    const std::span<const quint8> received = input.rest();

    const auto header = readHeader(received);
    require(header.has_value() == (received.size() >= size_t(kHeaderLength)));
    const bool complete = isCompleteDatagram(received);
    require(!complete || (header && header->marker == kMarker));

    DatagramBuffer buffer{};
    const size_t kept = std::min(received.size(), buffer.size());
    std::copy_n(received.begin(), kept, buffer.begin());
    const int check = CheckDatagram(buffer, qsizetype(received.size()));
    require(check == kCheckValid || check == kCheckCrcError || check == kCheckVersion);

    const auto report = readDeviceReport(received);
    require(!report || (header && header->payloadLength >= kReportPayloadLength));
    const auto callback = readCallbackRequest(received);
    require(!callback || (header && header->payloadLength >= kCallbackPayloadLength));

    for (const bool yes : {false, true}) {
        DatagramBuffer answer{};
        const int length = buildReportAnswer(received, answer, /*refused=*/yes);
        require((length > 0) == header.has_value());
        if (length > 0)
            checkAnswer(received, answer, length, yes ? kTypeRefused : kTypeAcknowledged);
        const int callbackLength = buildCallbackAnswer(received, answer, /*accepted=*/yes);
        require((callbackLength > 0) == header.has_value());
        if (callbackLength > 0)
            checkAnswer(received, answer, callbackLength, yes ? kTypeAcknowledged : kTypeRefused);
    }

    // Too little room for an answer is refused, never overrun.
    std::array<quint8, kMaxDatagramLength> room{};
    const std::span<quint8> small(room.data(), answerRoom % (kLongestAnswer + 1));
    const int smallLength = buildReportAnswer(received, small, answerRoom & 0x80);
    require(smallLength == -1 || (smallLength > 0 && size_t(smallLength) <= small.size()));

    // Sealed as a device seals it (the payload length field as given, padded to
    // an even length), the bytes pass the check of a received datagram.
    if (header && header->marker == kMarker) {
        DatagramBuffer sealed = buffer;
        const int length =
            finishDatagram(sealed, header->payloadLength, paddedLength(header->payloadLength, 0, Padding::Received));
        if (length > 0) {
            const std::span<const quint8> bytes(sealed.data(), size_t(length));
            require(isCompleteDatagram(bytes));
            const int sealedCheck = CheckDatagram(sealed, length);
            require(sealedCheck == (header->version > kVersion ? kCheckVersion : kCheckValid));
        }
    }

    // Sealed as the server seals what it sends, with a payload length taken from the input.
    if (header) {
        DatagramBuffer sent = buffer;
        const quint16 payloadLength = header->sequence % kMaxDatagramLength;
        const int padded = SealDatagram(sent, payloadLength);
        if (padded >= 0)
            require(CheckDatagram(sent, kFrameOverhead + padded, Padding::Sent) == kCheckValid);
        else
            require(kFrameOverhead + paddedLength(payloadLength, sent[kOffFlags], Padding::Sent) > kMaxDatagramLength);
    }
    return 0;
}
