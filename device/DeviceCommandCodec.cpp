#include "device/DeviceCommandCodec.h"

#include "device/TaviComCodec.h"

#include <QStringList>

#include <algorithm>

namespace {

constexpr int kMsgCallbackSent = 137;
constexpr int kMsgCannotObtainSocket = 138;
constexpr int kMsgCallbackError = 139;
constexpr int kMsgPgmDone = 156;
constexpr int kMsgCommandError = 157;
constexpr int kMsgNoAnswer = 155;
constexpr int kMsgWrongParameter = 179;
constexpr int kMsgCommunicationError = 181;
constexpr int kMsgNotImplemented = 183;
constexpr int kMsgError = 184;

constexpr int kMaxDottedLength = 15;
constexpr quint8 kDetailsFormat = 1;
constexpr quint8 kLineBit = 0x02;
constexpr quint8 kCellularBit = 0x04;

// Offsets within the details payload.
constexpr int kFormat = 0;
constexpr int kModel = 1;
constexpr int kRevisionMajor = 2;
constexpr int kRevisionMinor = 3;
constexpr int kFirmware = 4;
constexpr int kPassword = 16;
constexpr int kPasswordLength = 4;
constexpr int kMac = 28;
constexpr int kIn1 = 34;
constexpr int kIn2 = 35;
constexpr int kPgm = 36;
constexpr int kRssi = 41;

struct Model {
    quint8 code;
    const char* name;
    bool pgmSection;
};
constexpr Model kModels[] = {
    {1, "Tavi-S", true},  {2, "Tavi-U", true},    {5, "Tavi-SG", true},
    {6, "Tavi-UG", true}, {17, "Tavi-SP", false}, {21, "Tavi-SGP", false},
};

quint8 byteAt(const QByteArray& payload, int offset) {
    return offset < payload.size() ? static_cast<quint8>(payload[offset]) : 0;
}

} // namespace

namespace DeviceCommand {

int buildRequest(std::span<quint8> buffer, quint32 deviceId, quint16 sequence, quint8 code,
                 std::span<const quint8> payload) {
    using namespace TaviCom;
    if (buffer.size() < size_t(kHeaderLength) + payload.size())
        return -1;
    std::fill(buffer.begin(), buffer.begin() + kHeaderLength, quint8(0));
    buffer[kOffType] = kTypeAcknowledged;
    buffer[kOffFlags] = kFlagsRequest;
    writeU32(buffer, kOffDeviceId, deviceId);
    writeU16(buffer, kOffSequence, sequence);
    buffer[kOffCode] = code;
    buffer[kOffAnswerKind] = kKindAnswer;
    buffer[kOffKind] = kKindRequest;
    std::copy(payload.begin(), payload.end(), buffer.begin() + kHeaderLength);
    const int padded = SealDatagram(buffer, static_cast<quint16>(payload.size()));
    return padded < 0 ? -1 : kFrameOverhead + padded;
}

bool isDottedAddress(const QString& text) {
    if (text.size() > kMaxDottedLength || text.count(QLatin1Char('.')) != 3)
        return false;
    for (const QString& part : text.split(QLatin1Char('.'))) {
        // Digits only: no sign, no blank, no NUL (which a number conversion would pass over).
        if (part.isEmpty() || part.size() > 3 ||
            !std::all_of(part.begin(), part.end(), [](QChar c) { return c >= u'0' && c <= u'9'; }) ||
            part.toInt() > 255)
            return false;
    }
    return true;
}

std::array<quint8, kCallbackPayloadLength> callbackPayload(const QString& address, const QString& clientAddress,
                                                           quint16 port) {
    std::array<quint8, kCallbackPayloadLength> payload{0xFF, 0xFF, 0xFF, 0xFF, 0, 0};
    if (address != clientAddress) {
        const QStringList parts = address.split(QLatin1Char('.'));
        for (int i = 0; i < 4 && i < parts.size(); ++i)
            payload[size_t(i)] = static_cast<quint8>(parts[i].toUInt());
    }
    TaviCom::writeU16(payload, 4, port);
    return payload;
}

std::optional<Answer> readAnswer(std::span<const quint8> datagram) {
    const std::optional<TaviCom::Header> header = TaviCom::readHeader(datagram);
    if (!header)
        return std::nullopt;
    Answer answer;
    answer.type = header->type;
    answer.code = header->code;
    answer.sequence = header->sequence;
    // The payload as far as both its length field and the datagram (less its CRC) go.
    const size_t available = datagram.size() >= size_t(TaviCom::kFrameOverhead)
                                 ? datagram.size() - TaviCom::kFrameOverhead
                                 : datagram.size() - TaviCom::kHeaderLength;
    const size_t length = std::min<size_t>(header->payloadLength, available);
    answer.payload =
        QByteArray(reinterpret_cast<const char*>(datagram.data() + TaviCom::kHeaderLength), qsizetype(length));
    return answer;
}

Details readDetails(const QByteArray& payload) {
    Details d;
    const quint8 code = byteAt(payload, kModel);
    const QString revision =
        QStringLiteral(" Rev. %1.%2").arg(byteAt(payload, kRevisionMajor)).arg(byteAt(payload, kRevisionMinor));
    d.lineSwitch = (code & kLineBit) != 0;
    d.cellular = (code & kCellularBit) != 0;
    if (byteAt(payload, kFormat) != kDetailsFormat) {
        d.model = revision; // only the revision digits are known
        return d;
    }
    d.model = QStringLiteral("Unknown!");
    for (const Model& model : kModels) {
        if (model.code == code) {
            d.model = QString::fromLatin1(model.name) + revision;
            d.pgmSection = model.pgmSection;
        }
    }
    d.firmware = QStringLiteral("%1.%2.%3.%4")
                     .arg(byteAt(payload, kFirmware + 3))
                     .arg(byteAt(payload, kFirmware + 2))
                     .arg(byteAt(payload, kFirmware + 1))
                     .arg(byteAt(payload, kFirmware));
    for (int i = 0; i < kPasswordLength && kPassword + i < payload.size() && payload[kPassword + i] != '\0'; ++i)
        d.password += QLatin1Char(payload[kPassword + i]);
    QStringList mac;
    for (int i = 0; i < 6; ++i)
        mac << QStringLiteral("%1").arg(byteAt(payload, kMac + i), 2, 16, QLatin1Char('0')).toUpper();
    d.mac = mac.join(QLatin1Char(':'));
    d.in1 = byteAt(payload, kIn1) != 0;
    d.in2 = byteAt(payload, kIn2) != 0;
    for (int i = 0; i < kPgmCount; ++i)
        d.pgm[size_t(i)] = byteAt(payload, kPgm + i) != 0;
    if (d.cellular)
        d.rssi = byteAt(payload, kRssi);
    return d;
}

int callbackMessage(const std::optional<Answer>& answer) {
    if (!answer)
        return kMsgCommunicationError;
    if (answer->type == TaviCom::kTypeAcknowledged)
        return answer->code == kCodeCallbackSent ? kMsgCallbackSent : kMsgCallbackError;
    if (answer->type == TaviCom::kTypeRefused) {
        if (answer->code == kRefusedBusy)
            return kMsgBusy;
        return answer->code == kRefusedCallbackFailed ? kMsgCallbackError : kMsgCannotObtainSocket;
    }
    return kMsgCommunicationError;
}

int pgmMessage(const std::optional<Answer>& answer, int index, std::optional<bool>* newState) {
    if (!answer)
        return kMsgNoAnswer;
    if (answer->type == TaviCom::kTypeAcknowledged) {
        if (answer->code != kCodePgm)
            return kMsgCommunicationError;
        if (byteAt(answer->payload, 0) != index)
            return kMsgCommandError;
        *newState = byteAt(answer->payload, 1) == 1;
        return kMsgPgmDone;
    }
    if (answer->type == TaviCom::kTypeRefused) {
        if (answer->code == kRefusedNotImplemented)
            return kMsgNotImplemented;
        return answer->code == kRefusedParameter ? kMsgWrongParameter : kMsgError;
    }
    return kMsgCommunicationError;
}

} // namespace DeviceCommand
