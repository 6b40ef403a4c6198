// The device-command codec on any bytes: a device's answer read as far as it
// goes, its details payload, the messages that end a callback and a PGM
// toggle, the callback address check, and a request built and read back.
#include "device/DeviceCommandCodec.h"
#include "device/TaviComCodec.h"
#include "fuzz/FuzzInput.h"

#include <QStringList>

using namespace DeviceCommand;

namespace {

constexpr size_t kLongestAddressText = 20;

void checkAnswerReading(std::span<const quint8> datagram, int pgmIndex) {
    const std::optional<Answer> answer = readAnswer(datagram);
    require(answer.has_value() == (datagram.size() >= size_t(TaviCom::kHeaderLength)));
    if (answer) {
        // The payload stops at its length field and before the CRC.
        const auto header = TaviCom::readHeader(datagram);
        require(answer->payload.size() <= header->payloadLength);
        require(size_t(answer->payload.size()) + TaviCom::kHeaderLength <= datagram.size());
        const Details details = readDetails(answer->payload);
        require(!details.model.isEmpty());
    }
    callbackMessage(answer);
    std::optional<bool> newState;
    pgmMessage(answer, pgmIndex, &newState);
    require(!newState || (answer && answer->type == TaviCom::kTypeAcknowledged));
}

// A dotted address is three dots and digits; its octets are what the callback sends.
void checkAddress(const QString& text, quint16 port) {
    if (!isDottedAddress(text))
        return;
    for (const QChar c : text)
        require(c == QLatin1Char('.') || (c >= QLatin1Char('0') && c <= QLatin1Char('9')));
    const auto payload = callbackPayload(text, QString(), port);
    const QStringList parts = text.split(QLatin1Char('.'));
    require(parts.size() == 4);
    for (int i = 0; i < 4; ++i)
        require(payload[size_t(i)] == parts[i].toUInt());
    require(TaviCom::readU16(payload, 4) == port);
}

// A request is read back as an answer with the same code, sequence and payload.
void checkRequest(quint32 deviceId, quint16 sequence, quint8 code, std::span<const quint8> payload) {
    TaviCom::DatagramBuffer buffer{};
    const int length = buildRequest(buffer, deviceId, sequence, code, payload);
    if (length < 0) {
        require(payload.size() > size_t(TaviCom::kMaxDatagramLength - TaviCom::kFrameOverhead));
        return;
    }
    const std::span<const quint8> request(buffer.data(), size_t(length));
    TaviCom::DatagramBuffer copy = buffer;
    require(TaviCom::CheckDatagram(copy, length, TaviCom::Padding::Sent) == TaviCom::kCheckValid);
    const std::optional<Answer> back = readAnswer(request);
    require(back && back->code == code && back->sequence == sequence && back->type == TaviCom::kTypeAcknowledged);
    require(back->payload == bytesOf(payload));
    require(TaviCom::readHeader(request)->deviceId == deviceId);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const quint8> all(data, size);
    FuzzInput input(data, size);
    const quint8 first = input.byte();
    checkAnswerReading(all, first % (kPgmCount + 1));
    readDetails(bytesOf(all));

    const QString text = QString::fromLatin1(bytesOf(all.first(std::min(size, kLongestAddressText))));
    const quint16 port = input.u16();
    checkAddress(text, port);
    checkAddress(text.trimmed(), port);

    const quint32 deviceId = quint32(input.u16()) << 16 | input.u16();
    const quint16 sequence = input.u16();
    checkRequest(deviceId, sequence, input.byte(), input.rest());
    return 0;
}
