#include "reporting/Dc09Frame.h"

#include "common/Crc16.h"
#include "common/Dc09Envelope.h"

namespace Dc09Frame {

namespace {

constexpr int kSequenceLength = 4;

QByteArray between(const QByteArray& text, char open, char close, qsizetype from) {
    const qsizetype start = text.indexOf(open, from);
    if (start < 0)
        return {};
    const qsizetype end = text.indexOf(close, start + 1);
    return end < 0 ? text.mid(start + 1) : text.mid(start + 1, end - start - 1);
}

} // namespace

Check check(QByteArrayView frame, Parsed& parsed) {
    parsed = Parsed{};
    using namespace Dc09Envelope;
    if (frame.isEmpty() || frame.front() != kStart)
        return Check::NoStart;
    if (frame.size() < kEnvelopeLength || frame.back() != kEnd)
        return Check::NoEnd;
    parsed.body = frame.sliced(kHeaderLength, frame.size() - kEnvelopeLength).toByteArray();

    if (parsed.body.startsWith('"')) {
        const qsizetype close = parsed.body.indexOf('"', 1);
        if (close > 0) {
            parsed.identifier = parsed.body.mid(1, close - 1);
            parsed.sequence = parsed.body.mid(close + 1, kSequenceLength);
            const qsizetype hash = parsed.body.indexOf('#', close + 1);
            const qsizetype bracket = parsed.body.indexOf('[', close + 1);
            if (hash >= 0 && (bracket < 0 || hash < bracket))
                parsed.account = parsed.body.mid(hash + 1, (bracket < 0 ? parsed.body.size() : bracket) - hash - 1);
            if (bracket >= 0)
                parsed.data = between(parsed.body, '[', ']', bracket);
        }
    }

    const std::optional<quint16> crc = readField(frame.sliced(kCrcOffset, kFieldLength));
    parsed.crcOk = crc && *crc == Crc16::arc(parsed.body);

    const std::optional<quint16> length = readField(frame.sliced(kLengthOffset, kFieldLength));
    if (!length || *length != parsed.body.size())
        return Check::BadLength;
    if (!parsed.crcOk)
        return Check::BadCrc;
    if (parsed.identifier.isEmpty())
        return Check::BadIdentifier;
    return Check::Ok;
}

const char* checkText(Check check) {
    switch (check) {
    case Check::Ok:
        return "ok";
    case Check::NoStart:
        return "no LF at the start";
    case Check::NoEnd:
        return "no CR at the end";
    case Check::BadLength:
        return "length field does not match";
    case Check::BadCrc:
        return "CRC does not match";
    case Check::BadIdentifier:
        return "no quoted identifier";
    }
    return "?";
}

QByteArray reply(QByteArrayView identifier, QByteArrayView sequence, QByteArrayView account) {
    QByteArray body;
    body += '"';
    body.append(identifier);
    body += '"';
    body.append(sequence);
    body += "L0#";
    body.append(account);
    body += "[]";
    return Dc09Envelope::wrap(body);
}

} // namespace Dc09Frame
