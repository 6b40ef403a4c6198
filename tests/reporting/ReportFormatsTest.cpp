#include "reporting/ReportFormats.h"
#include "reporting/Dc09Frame.h"

#include <QDateTime>

#include <gtest/gtest.h>

namespace {

ReportRequest request(quint16 account, quint16 code, quint8 partition = 1, quint16 zone = 5,
                      quint16 reportAccount = 0x1234) {
    ReportRequest r;
    r.account = account;
    r.reportAccount = reportAccount;
    r.code = code;
    r.partition = partition;
    r.zone = zone;
    return r;
}

} // namespace

TEST(ReportFormats, SerialMessagesAreTwentyOneBytesEndingInDc4) {
    EXPECT_EQ(*FormatSerialEvent(request(0x1234, 1130), 1, 1), QByteArray("5011 181234E13001005\x14"));
    // Restore, no qualifier, and an internal event (row code 602 raised new).
    EXPECT_EQ(*FormatSerialEvent(request(0xABCD, 3130), 12, 3), QByteArray("5123 18ABCDR13001005\x14"));
    EXPECT_EQ(*FormatSerialEvent(request(0x00FF, 130), 1, 1), QByteArray("5011 1800FF 13001005\x14"));
    EXPECT_EQ(*FormatSerialEvent(request(0xFFFF, 1602, 0, 0), 1, 1), QByteArray("5011 18FFFFE60200000\x14"));
    EXPECT_EQ(*FormatSerialEvent(request(0x1234, 6123), 1, 1), QByteArray("5011 181234P12301005\x14"));

    EXPECT_EQ(FormatSerialHeartbeat(7), QByteArray("107X           @    \x14"));
    EXPECT_EQ(FormatSerialHeartbeat(7).size(), ReportFormat::kSerialLength);
    // Account 0 with a code is not an event in any mode.
    EXPECT_FALSE(FormatSerialEvent(request(0, 1130), 1, 1).has_value());
}

TEST(ReportFormats, OversizedValuesAreClippedToTheirFields) {
    const QByteArray serial = *FormatSerialEvent(request(0x1234, 2999, 255, 65535), 150, 12);
    EXPECT_EQ(serial.size(), ReportFormat::kSerialLength);
    EXPECT_EQ(serial, QByteArray("5999 181234E99999999\x14"));

    Dc09Sequence sequence;
    const QByteArray frame = *FormatDc09Event(request(0x1234, 65535, 255, 65535), sequence);
    EXPECT_EQ(frame.size(), ReportFormat::kDc09EventLength);
    EXPECT_TRUE(frame.contains("|9999 99 999]"));

    const QByteArray record = *FormatDispatcherRecord(request(0x1234, 65535, 255, 65535), QDateTime::currentDateTime());
    EXPECT_EQ(record.size(), ReportFormat::kDispatcherRecordLength);
}

TEST(ReportFormats, Dc09EventFrameMatchesTheWorkedExample) {
    Dc09Sequence sequence;
    const QByteArray frame = *FormatDc09Event(request(0x1234, 1130), sequence);
    EXPECT_EQ(frame, QByteArray("\n7EE80027\"ADM-CID\"0001L0#1234[#1234|1130 01 005]\r"));
    EXPECT_EQ(sequence.peek(), 2);

    // Whole code, qualifier digit first; no qualifier gives a leading 0.
    EXPECT_TRUE(FormatDc09Event(request(0x1234, 3130), sequence)->contains("|3130 01 005]"));
    EXPECT_TRUE(FormatDc09Event(request(0x1234, 130), sequence)->contains("|0130 01 005]"));

    // Every built frame passes the receiver's checks.
    Dc09Frame::Parsed parsed;
    EXPECT_EQ(Dc09Frame::check(*FormatDc09Event(request(0xBEEF, 1602, 0, 0, 0xFFFF), sequence), parsed),
              Dc09Frame::Check::Ok);
    EXPECT_EQ(parsed.identifier, "ADM-CID");
    EXPECT_EQ(parsed.sequence, "0004");
    EXPECT_EQ(parsed.account, "FFFF");
    EXPECT_EQ(parsed.data, "#BEEF|1602 00 000");
}

TEST(ReportFormats, Dc09SequenceWrapsToOneAndIsOnlyTakenByBuiltFrames) {
    Dc09Sequence sequence(9998);
    EXPECT_TRUE(FormatDc09Event(request(1, 1130), sequence)->contains("\"ADM-CID\"9998L0#"));
    EXPECT_TRUE(FormatDc09Event(request(1, 1130), sequence)->contains("\"ADM-CID\"9999L0#"));
    // Account 0 builds nothing and takes no number.
    EXPECT_FALSE(FormatDc09Event(request(0, 1130), sequence).has_value());
    EXPECT_TRUE(FormatDc09Event(request(1, 1130), sequence)->contains("\"ADM-CID\"0001L0#"));
    EXPECT_EQ(Dc09Sequence(0).peek(), 1);
}

TEST(ReportFormats, LinkTestFrameCarriesTheCidAccount) {
    const QByteArray frame = FormatDc09LinkTest(0x1A2B);
    EXPECT_EQ(frame.size(), ReportFormat::kDc09LinkTestLength);
    EXPECT_TRUE(frame.endsWith("0013\"NULL\"0000L0#1A2B[]\r"));
    Dc09Frame::Parsed parsed;
    EXPECT_EQ(Dc09Frame::check(frame, parsed), Dc09Frame::Check::Ok);
}

TEST(ReportFormats, DispatcherRecordLayout) {
    const QDateTime when(QDate(2024, 3, 7), QTime(21, 5, 9));
    const QByteArray record = *FormatDispatcherRecord(request(0x0A1B, 3130, 2, 17), when);
    EXPECT_EQ(record, QByteArray("\x02\x01"
                                 "240307210509"
                                 "81"
                                 "0A1B"
                                 "3130"
                                 "02"
                                 "017"
                                 "FFFFFFFFFFFFFFFF"
                                 "\x03",
                                 46) +
                          QByteArray(1, '\0'));
    EXPECT_FALSE(FormatDispatcherRecord(request(0, 0), when).has_value());
}

TEST(ReportFormats, AcknowledgementRecognition) {
    EXPECT_TRUE(IsDc09Ack(Dc09Frame::reply("ACK", "0001", "1234")));
    EXPECT_FALSE(IsDc09Ack(Dc09Frame::reply("NAK", "0001", "1234")));
    // The reply's CRC is not examined.
    EXPECT_TRUE(IsDc09Ack(QByteArray("\n00000012\"ACK\"0001L0#1234[]\r")));
    // Garbage, short replies, an identifier without closing quote.
    EXPECT_FALSE(IsDc09Ack(QByteArray()));
    EXPECT_FALSE(IsDc09Ack(QByteArray("ACK")));
    EXPECT_FALSE(IsDc09Ack(QByteArray("\x01\x02garbage\"\"ACK", 15)));
    EXPECT_FALSE(IsDc09Ack(QByteArray("\n00000012\"ACK")));
    EXPECT_FALSE(IsDc09Ack(QByteArray("\n00000012\"ACKNOWLEDGED\"")));
    // Only the first 64 bytes count: a closing quote further on is not seen.
    EXPECT_TRUE(IsDc09Ack(Dc09Frame::reply("ACK", "0001", "1234") + QByteArray(200, 'x')));
    EXPECT_FALSE(IsDc09Ack(QByteArray("\n00000012\"ACK") + QByteArray(60, ' ') + "\""));

    EXPECT_TRUE(IsSerialAck(0x06));
    EXPECT_FALSE(IsSerialAck(0x15));
    EXPECT_FALSE(IsSerialAck(0));
}

TEST(ReportFormats, ReceiverFrameChecks) {
    Dc09Frame::Parsed parsed;
    const QByteArray good = Dc09Frame::reply("ACK", "0001", "1234");
    EXPECT_EQ(Dc09Frame::check(good, parsed), Dc09Frame::Check::Ok);
    EXPECT_EQ(Dc09Frame::check(good.mid(1), parsed), Dc09Frame::Check::NoStart);
    EXPECT_EQ(Dc09Frame::check(good.chopped(1), parsed), Dc09Frame::Check::NoEnd);
    QByteArray badCrc = good;
    badCrc[2] = badCrc[2] == 'A' ? 'B' : 'A';
    EXPECT_EQ(Dc09Frame::check(badCrc, parsed), Dc09Frame::Check::BadCrc);
    QByteArray badLength = good;
    badLength.insert(good.size() - 1, "x");
    EXPECT_EQ(Dc09Frame::check(badLength, parsed), Dc09Frame::Check::BadLength);
}
