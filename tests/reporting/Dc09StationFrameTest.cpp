#include "reporting/Dc09StationFrame.h"

#include "common/Dc09Codec.h"
#include "common/Dc09Envelope.h"
#include "reporting/ReportFormats.h"
#include "reporting/ReportTypes.h"

#include <gtest/gtest.h>

namespace {

const QDateTime kNow(QDate(2026, 12, 11), QTime(10, 20, 30), Qt::UTC);
const QByteArray kKey128 = QByteArray::fromHex("000102030405060708090a0b0c0d0e0f");

Dc09Envelope::RandomSource fixedRandom() {
    return [n = quint32(0)]() mutable { return n++ * 2654435761u; };
}

QByteArray plainEvent() {
    ReportRequest request;
    request.account = 0x1234;
    request.reportAccount = 0x1234;
    request.code = 1130;
    request.partition = 1;
    request.zone = 5;
    Dc09Sequence sequence;
    return *FormatDc09Event(request, sequence);
}

QByteArray bodyOf(const QByteArray& frame) {
    QByteArrayView body;
    return Dc09Envelope::open(frame, body) == Dc09Envelope::Fault::None ? body.toByteArray() : QByteArray();
}

} // namespace

TEST(Dc09StationFrameTest, FramesCarryTheOptionsAndStayByteExactWithout) {
    const QByteArray plain = plainEvent();
    const QByteArray key192 = QByteArray::fromHex("000102030405060708090a0b0c0d0e0f1011121314151617");
    const QByteArray key256 = key192 + QByteArray::fromHex("18191a1b1c1d1e1f");
    const QByteArray linkTest = FormatDc09LinkTest(0x1234);
    struct Case {
        const char* name;
        QByteArray plain;
        Dc09StationFrame::Security security;
        QByteArray head;  // the body up to and with "["
        QByteArray clear; // what follows "[" in clear (decrypted when a key is given)
    };
    const Case cases[] = {
        {"no options", plain, {}, "\"ADM-CID\"0001L0#1234[", "#1234|1130 01 005]"},
        {"a timestamp", plain, {{}, true}, "\"ADM-CID\"0001L0#1234[", "#1234|1130 01 005]_10:20:30,12-11-2026"},
        {"AES-128", plain, {kKey128, false}, "\"*ADM-CID\"0001L0#1234[", "#1234|1130 01 005]_10:20:30,12-11-2026"},
        {"AES-192", plain, {key192, true}, "\"*ADM-CID\"0001L0#1234[", "#1234|1130 01 005]_10:20:30,12-11-2026"},
        {"AES-256", plain, {key256, false}, "\"*ADM-CID\"0001L0#1234[", "#1234|1130 01 005]_10:20:30,12-11-2026"},
        {"an encrypted link test", linkTest, {key256, false}, "\"*NULL\"0000L0#1234[", "]_10:20:30,12-11-2026"},
    };
    for (const Case& c : cases) {
        const QByteArray frame = Dc09StationFrame::secure(c.plain, c.security, kNow, fixedRandom());
        const QByteArray body = bodyOf(frame);
        ASSERT_FALSE(body.isEmpty()) << c.name << ": the envelope holds " << frame.constData();
        ASSERT_TRUE(body.startsWith(c.head)) << c.name << ": " << body.constData();
        const QByteArray tail = body.mid(c.head.size());
        if (c.security.key.isEmpty()) {
            EXPECT_EQ(tail, c.clear) << c.name;
            continue;
        }
        EXPECT_EQ(tail.size() % 32, 0) << c.name << ": whole blocks";
        EXPECT_EQ(Dc09Envelope::decryptTail(c.security.key, tail).clear, c.clear) << c.name;
    }
    EXPECT_EQ(Dc09StationFrame::secure(plain, {}, kNow, fixedRandom()), plain) << "the default frame is untouched";
    EXPECT_TRUE(Dc09StationFrame::secure(plain, {"short", false}, kNow, fixedRandom()).isEmpty());
}

TEST(Dc09StationFrameTest, TheEncryptedTailMatchesAnIndependentAesComputation) {
    // The padding the fixed random source gives is "!gaHB<%}e"; the plain text
    // "!gaHB<%}e|#1234|1130 01 005]_10:20:30,12-11-2026" was encrypted with the
    // openssl command (aes-128-cbc, key 000102...0f, zero IV, no padding).
    const QByteArray frame = Dc09StationFrame::secure(plainEvent(), {kKey128, false}, kNow, fixedRandom());
    EXPECT_EQ(bodyOf(frame), QByteArray("\"*ADM-CID\"0001L0#1234[7104C313A716DBABDA6567E6287EB6C2C10802DACBADD3009F3138"
                                        "42727253BFFFE57F87F98A380B31D5B37DB5D972E9"));
}

TEST(Dc09StationFrameTest, RepliesAreReadWithTheKey) {
    using Dc09StationFrame::ReplyKind;
    Dc09::Header sent;
    sent.id = Dc09::kAdmCid;
    sent.sequence = "0001";
    sent.account = "1234";
    const QByteArray otherKey = QByteArray::fromHex("0f0e0d0c0b0a09080706050403020100");
    const QByteArray ack = Dc09::ack(sent);
    QByteArray badCrcAck = ack;
    badCrcAck[1] = badCrcAck[1] == '0' ? '1' : '0';
    const QByteArray encryptedAck = Dc09::encryptedAck(sent, kKey128, kNow, fixedRandom());
    const QByteArray nak = Dc09Envelope::wrap("\"NAK\"0000R0L0A0[]_10:21:00,12-11-2026");
    Dc09::Content noTime;
    Dc09::Header encryptedNoTime = sent;
    encryptedNoTime.id = Dc09::kAck;
    struct Case {
        const char* name;
        QByteArray reply;
        QByteArray key;
        ReplyKind kind;
        bool stationTime;
    };
    const Case cases[] = {
        {"a plain ACK", ack, {}, ReplyKind::Ack, false},
        {"a plain ACK to an encrypted frame", ack, kKey128, ReplyKind::Ack, false},
        {"a plain ACK with a wrong CRC, known by its identifier", badCrcAck, {}, ReplyKind::Ack, false},
        {"an encrypted ACK", encryptedAck, kKey128, ReplyKind::Ack, false},
        {"an encrypted ACK under another key", encryptedAck, otherKey, ReplyKind::Unreadable, false},
        {"an encrypted ACK without a key", encryptedAck, {}, ReplyKind::Unreadable, false},
        {"an encrypted ACK without the time", Dc09::encryptedFrame(encryptedNoTime, noTime, kKey128, fixedRandom()),
         kKey128, ReplyKind::Unreadable, false},
        {"a NAK with the station's time", nak, kKey128, ReplyKind::Nak, true},
        {"a NAK without a time", Dc09Envelope::wrap("\"NAK\"0001L0#1234[]"), {}, ReplyKind::Nak, false},
        {"a DUH", Dc09::duh(sent), {}, ReplyKind::Duh, false},
        {"garbage", "\n\x01\x02garbage\r", kKey128, ReplyKind::Unreadable, false},
        {"nothing", {}, {}, ReplyKind::Unreadable, false},
    };
    for (const Case& c : cases) {
        const Dc09StationFrame::Reply reply = Dc09StationFrame::readReply(c.reply, c.key);
        EXPECT_EQ(reply.kind, c.kind) << c.name;
        EXPECT_EQ(reply.stationTime.has_value(), c.stationTime) << c.name;
    }
    EXPECT_EQ(Dc09StationFrame::readReply(nak, {}).stationTime,
              QDateTime(QDate(2026, 12, 11), QTime(10, 21, 0), Qt::UTC));
}
