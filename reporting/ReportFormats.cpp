#include "reporting/ReportFormats.h"

#include "common/Dc09Envelope.h"
#include "common/HexText.h"

#include <algorithm>

namespace {

constexpr int kMaxPartition = 99;
constexpr int kMaxZone = 999;
constexpr int kMaxEventNumber = 999;
constexpr int kMaxCode = 9999;
constexpr int kMaxReceiver = 99;
constexpr int kMaxLine = 9;

constexpr quint16 kPresentBase = 6000;
constexpr quint16 kRestoreBase = 3000;
constexpr quint16 kNewBase = 1000;

const QByteArray kSerialEventStart = QByteArrayLiteral("5");
const QByteArray kContactIdMarker = QByteArrayLiteral("18");
const QByteArray kSerialHeartbeatMiddle = QByteArrayLiteral("X           @    ");
const QByteArray kAdmCidIdentifier = QByteArrayLiteral("\"ADM-CID\"");
const QByteArray kLinkTestIdentifier = QByteArrayLiteral("\"NULL\"");
const QByteArray kLinkTestSequence = QByteArrayLiteral("0000");
const QByteArray kAccountPrefix = QByteArrayLiteral("L0#");
const QByteArray kAckIdentifier = QByteArrayLiteral("ACK");
constexpr int kReplyIdentifierOffset = 10;
constexpr int kReplyIdentifierLimit = 80;

constexpr char kStx = 0x02;
constexpr char kDispatcherSecond = 0x01;
constexpr char kEtx = 0x03;
const QByteArray kDispatcherMarker = QByteArrayLiteral("81");
const QByteArray kDispatcherFill = QByteArrayLiteral("FFFFFFFFFFFFFFFF");

// Decimal digits with leading zeros, the value clipped to 0..max first so the
// text never outgrows its field.
QByteArray dec(int value, int width, int max) {
    const int clipped = std::clamp(value, 0, max);
    return QByteArray::number(clipped).rightJustified(width, '0');
}

} // namespace

char QualifierLetter(quint16 code) {
    if (code >= kPresentBase)
        return 'P';
    if (code >= kRestoreBase)
        return 'R';
    if (code < kNewBase)
        return ' ';
    return 'E';
}

int EventNumber(quint16 code) {
    if (code >= kPresentBase)
        return code - kPresentBase;
    if (code >= kRestoreBase)
        return code - kRestoreBase;
    if (code < kNewBase)
        return code;
    return code - kNewBase;
}

std::optional<QByteArray> FormatSerialEvent(const ReportRequest& request, int receiver, int line) {
    if (request.account == 0)
        return std::nullopt;
    QByteArray out;
    out.reserve(ReportFormat::kSerialLength);
    out += kSerialEventStart;
    out += dec(receiver, 2, kMaxReceiver);
    out += dec(line, 1, kMaxLine);
    out += ' ';
    out += kContactIdMarker;
    out += HexText::hex4Bytes(request.account);
    out += QualifierLetter(request.code);
    out += dec(EventNumber(request.code), 3, kMaxEventNumber);
    out += dec(request.partition, 2, kMaxPartition);
    out += dec(request.zone, 3, kMaxZone);
    out += ReportFormat::kSerialTerminator;
    return out;
}

QByteArray FormatSerialHeartbeat(int receiver) {
    QByteArray out;
    out.reserve(ReportFormat::kSerialLength);
    out += '1';
    out += dec(receiver, 2, kMaxReceiver);
    out += kSerialHeartbeatMiddle;
    out += ReportFormat::kSerialTerminator;
    return out;
}

std::optional<QByteArray> FormatDc09Event(const ReportRequest& request, Dc09Sequence& sequence) {
    if (request.account == 0)
        return std::nullopt;
    QByteArray body;
    body.reserve(ReportFormat::kDc09EventLength);
    body += kAdmCidIdentifier;
    body += dec(sequence.take(), 4, Dc09Sequence::kLast);
    body += kAccountPrefix;
    body += HexText::hex4Bytes(request.reportAccount);
    body += "[#";
    body += HexText::hex4Bytes(request.account);
    body += '|';
    body += dec(request.code, 4, kMaxCode);
    body += ' ';
    body += dec(request.partition, 2, kMaxPartition);
    body += ' ';
    body += dec(request.zone, 3, kMaxZone);
    body += ']';
    return Dc09Envelope::wrap(body);
}

QByteArray FormatDc09LinkTest(quint16 cidAccount) {
    QByteArray body = kLinkTestIdentifier + kLinkTestSequence + kAccountPrefix + HexText::hex4Bytes(cidAccount) + "[]";
    return Dc09Envelope::wrap(body);
}

std::optional<QByteArray> FormatDispatcherRecord(const ReportRequest& request, const QDateTime& now) {
    if (request.account == 0)
        return std::nullopt;
    QByteArray out;
    out.reserve(ReportFormat::kDispatcherRecordLength);
    out += kStx;
    out += kDispatcherSecond;
    out += now.toString(QStringLiteral("yyMMdd")).toLatin1();
    out += now.toString(QStringLiteral("HHmmss")).toLatin1();
    out += kDispatcherMarker;
    out += HexText::hex4Bytes(request.account);
    out += dec(request.code, 4, kMaxCode);
    out += dec(request.partition, 2, kMaxPartition);
    out += dec(request.zone, 3, kMaxZone);
    out += kDispatcherFill;
    out += kEtx;
    out += '\0';
    return out;
}

bool IsDc09Ack(QByteArrayView reply) {
    const QByteArrayView read = reply.first(std::min<qsizetype>(reply.size(), ReportFormat::kDc09ReplyReadLength));
    if (read.size() <= kReplyIdentifierOffset)
        return false;
    const QByteArrayView rest =
        read.sliced(kReplyIdentifierOffset)
            .first(std::min<qsizetype>(read.size(), kReplyIdentifierLimit) - kReplyIdentifierOffset);
    // The identifier ends at the next double quote; a reply without one has no identifier.
    const qsizetype quote = rest.indexOf('"');
    if (quote < 0)
        return false;
    return rest.first(quote) == kAckIdentifier;
}

bool IsSerialAck(char byte) {
    return byte == ReportFormat::kSerialAck;
}
