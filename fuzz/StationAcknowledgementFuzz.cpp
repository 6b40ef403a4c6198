// What decides whether a central station acknowledged a report: a DC-09 reply
// datagram and the serial receiver's byte; and the DC-09 envelope read back.
// Only the first 64 bytes of a reply may count, and a reply built as a station
// builds it is an acknowledgement exactly when its identifier is "ACK".
#include "common/Dc09Envelope.h"
#include "fuzz/FuzzInput.h"
#include "reporting/Dc09Frame.h"
#include "reporting/ReportFormats.h"

namespace {

constexpr qsizetype kMaxBodyLength = 0xFFFF; // the envelope's length field is four hex digits

void checkEnvelope(QByteArrayView body) {
    if (body.size() > kMaxBodyLength)
        return;
    const QByteArray frame = Dc09Envelope::wrap(body);
    Dc09Frame::Parsed parsed;
    const Dc09Frame::Check check = Dc09Frame::check(frame, parsed);
    require(parsed.body == body);
    require(parsed.crcOk);
    require(check == Dc09Frame::Check::Ok || check == Dc09Frame::Check::BadIdentifier);
    require((check == Dc09Frame::Check::Ok) == !parsed.identifier.isEmpty());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArrayView all(reinterpret_cast<const char*>(data), qsizetype(size));
    const bool acknowledged = IsDc09Ack(all);
    require(acknowledged == IsDc09Ack(all.first(std::min<qsizetype>(all.size(), ReportFormat::kDc09ReplyReadLength))));
    for (const char byte : all.first(std::min<qsizetype>(all.size(), 16)))
        require(IsSerialAck(byte) == (byte == ReportFormat::kSerialAck));

    Dc09Frame::Parsed parsed;
    const Dc09Frame::Check check = Dc09Frame::check(all, parsed);
    require(check != Dc09Frame::Check::Ok || (parsed.crcOk && !parsed.identifier.isEmpty()));
    Dc09Frame::checkText(check);
    checkEnvelope(all);

    // A station's reply with the sequence and account taken from the input.
    FuzzInput input(data, size);
    const QByteArray sequence = bytesOf(input.take(4));
    const QByteArray account = bytesOf(input.take(input.byte() % 8));
    require(IsDc09Ack(Dc09Frame::reply("ACK", sequence, account)));
    require(!IsDc09Ack(Dc09Frame::reply("NAK", sequence, account)));
    return 0;
}
