#include "device/TaviComCodec.h"

#include "tests/device/DatagramBuilder.h"

#include <QRandomGenerator>

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

using namespace TaviCom;

namespace {

using ReportFields = DatagramFields;

std::vector<quint8> makeReport(const ReportFields& fields) {
    return makeDatagram(fields);
}

} // namespace

TEST(TaviComCodecTest, ReceivedLengthVersionAndCrcChecks) {
    auto report = makeReport({});
    ASSERT_EQ(report.size(), 28u) << "16 header bytes, 10 payload bytes, 2 CRC bytes";
    EXPECT_TRUE(isCompleteDatagram(report));
    EXPECT_EQ(CheckDatagram(report, 28), kCheckValid);
    const auto decoded = readDeviceReport(report);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->account, 0x00EE);
    EXPECT_EQ(decoded->code, 1130);
    EXPECT_EQ(decoded->partition, 2);
    EXPECT_EQ(decoded->zone, 17);
    EXPECT_EQ(decoded->period, 60);

    std::vector<quint8> seventeen(report.begin(), report.begin() + 17);
    writeU16(seventeen, kOffPayloadLength, 0);
    EXPECT_FALSE(isCompleteDatagram(seventeen)) << "17 bytes cannot hold header and CRC";

    auto corrupted = report;
    corrupted[20] ^= 0x01;
    EXPECT_EQ(CheckDatagram(corrupted, 28), kCheckCrcError);

    auto unchecked = corrupted;
    unchecked[kOffFlags] |= kFlagNoCheck;
    EXPECT_EQ(CheckDatagram(unchecked, 28), kCheckValid) << "flag bit 1 accepts any CRC";

    ReportFields newer;
    newer.version = 2;
    auto version2 = makeReport(newer);
    EXPECT_EQ(CheckDatagram(version2, 28), kCheckVersion);

    ReportFields padded;
    padded.flags = kFlagPadded;
    auto paddedReport = makeReport(padded);
    EXPECT_EQ(paddedReport.size(), 28u) << "received payloads use even rounding whatever flag bit 0 says";
    EXPECT_EQ(CheckDatagram(paddedReport, 28), kCheckValid);

    // Odd payload length: one padding byte before the CRC.
    auto odd = makeReport({});
    writeU16(odd, kOffPayloadLength, 9);
    EXPECT_TRUE(isCompleteDatagram(odd));
    EXPECT_EQ(finishDatagram(odd, 9, paddedLength(9, 0, Padding::Received)), 28);
    EXPECT_EQ(odd[25], 0) << "the padding byte is zero";
    EXPECT_EQ(CheckDatagram(odd, 28), kCheckValid);
}

TEST(TaviComCodecTest, ChannelByteRuleForCheckAndRecording) {
    struct Case {
        quint8 sent;
        quint8 crcChannel; // what the device's CRC covered
        quint8 recorded;
    };
    for (const Case c : {Case{0x21, 2, 1}, Case{0x20, 2, 2}, Case{0x01, 1, 1}, Case{0x02, 2, 2}}) {
        ReportFields fields;
        fields.channel = c.crcChannel;
        auto report = makeReport(fields);
        // The device's CRC covers the high nibble; the byte on the wire carries both.
        report[kOffChannel] = c.sent;
        EXPECT_EQ(CheckDatagram(report, 28), kCheckValid) << std::hex << int(c.sent);
        EXPECT_EQ(report[kOffChannel], c.recorded) << std::hex << int(c.sent);
    }

    ReportFields raw;
    raw.channel = 0x21;
    raw.flags = kFlagNoCheck;
    auto unchecked = makeReport(raw);
    EXPECT_EQ(CheckDatagram(unchecked, 28), kCheckValid);
    EXPECT_EQ(unchecked[kOffChannel], 0x21) << "left as received when the CRC is not checked";
}

TEST(TaviComCodecTest, SealedDatagramsAndAnswers) {
    DatagramBuffer buffer;
    buffer.fill(0xCC);
    buffer[kOffFlags] = kFlagPadded;
    EXPECT_EQ(SealDatagram(buffer, 0), 16) << "an empty padded payload counts as 16";
    for (int i = kHeaderLength; i < kHeaderLength + 16; ++i)
        EXPECT_EQ(buffer[i], 0) << i;
    EXPECT_EQ(buffer[kOffMarker], kMarker);
    EXPECT_EQ(buffer[kOffVersion], 1);
    EXPECT_EQ(buffer[kOffChannel], 1);
    EXPECT_EQ(CheckDatagram(std::span<quint8>(buffer).first(34), 34, Padding::Sent), kCheckValid);
    EXPECT_EQ(SealDatagram(buffer, 17), 32);
    buffer[kOffFlags] = 0;
    EXPECT_EQ(SealDatagram(buffer, 3), 4);
    EXPECT_EQ(SealDatagram(buffer, kMaxDatagramLength), -1) << "does not fit";
    std::array<quint8, 8> tiny{};
    EXPECT_EQ(SealDatagram(tiny, 0), -1);

    // Report answer: every header byte.
    ReportFields fields;
    fields.flags = kFlagPadded | 0x40;
    fields.answerKind = 7;
    const auto report = makeReport(fields);
    DatagramBuffer answer;
    answer.fill(0xEE);
    ASSERT_EQ(buildReportAnswer(report, answer, false), 34) << "echoed bit 0: 16 zero bytes of padding";
    const std::array<quint8, 16> expectedHeader{0x21, 1, 4, 0x21, 0xEE, 0xFF, 0xC0, 0x00, 0x34, 0x12, 1, 1, 1, 7, 0, 0};
    EXPECT_TRUE(std::equal(expectedHeader.begin(), expectedHeader.end(), answer.begin()));
    EXPECT_TRUE(std::all_of(answer.begin() + 16, answer.begin() + 32, [](quint8 b) { return b == 0; }));
    EXPECT_EQ(CheckDatagram(std::span<quint8>(answer).first(34), 34, Padding::Sent), kCheckValid);

    ASSERT_EQ(buildReportAnswer(makeReport({}), answer, true), 18);
    EXPECT_EQ(answer[kOffType], kTypeRefused);
    EXPECT_EQ(answer[kOffCode], kCodeUnknownType);
    EXPECT_EQ(answer[kOffFlags], kFlagsAnswer);

    // Callback answers carry plain flags 0x20 and answer kind 2.
    auto request = makeReport(fields);
    request[kOffKind] = kKindRequest;
    ASSERT_EQ(buildCallbackAnswer(request, answer, false), 18);
    EXPECT_EQ(answer[kOffType], kTypeRefused);
    EXPECT_EQ(answer[kOffCode], kCodeIncorrectParameter);
    EXPECT_EQ(answer[kOffFlags], kFlagsAnswer);
    EXPECT_EQ(answer[kOffAnswerKind], kKindAnswer);
    EXPECT_EQ(answer[kOffKind], 7);
    EXPECT_EQ(readU16(answer, kOffSequence), 0x1234);
    ASSERT_EQ(buildCallbackAnswer(request, answer, true), 18);
    EXPECT_EQ(answer[kOffType], kTypeAcknowledged);
    EXPECT_EQ(answer[kOffCode], kCodeAccepted);

    const std::array<quint8, 10> shortHeader{};
    EXPECT_EQ(buildReportAnswer(shortHeader, answer, false), -1);
}

TEST(TaviComCodecTest, LyingLengthsAndRandomBytesStayInBounds) {
    auto report = makeReport({});
    writeU16(report, kOffPayloadLength, 0xFFFF);
    EXPECT_FALSE(isCompleteDatagram(report));
    EXPECT_EQ(CheckDatagram(report, 28), kCheckCrcError);
    writeU16(report, kOffPayloadLength, 12);
    EXPECT_FALSE(isCompleteDatagram(report)) << "claims 30 bytes, 28 arrived";
    EXPECT_EQ(CheckDatagram(report, 1000), kCheckCrcError) << "a length beyond the buffer is clamped";

    auto wrongMarker = makeReport({});
    wrongMarker[kOffMarker] = '?';
    EXPECT_FALSE(isCompleteDatagram(wrongMarker));

    // A short payload is not a device report, nor a callback request.
    auto shortPayload = makeReport({});
    writeU16(shortPayload, kOffPayloadLength, 2);
    EXPECT_FALSE(readDeviceReport(shortPayload));
    EXPECT_FALSE(readCallbackRequest(shortPayload));

    // Every length from 0 to 300 with random content: each buffer is exactly
    // as long as the datagram, so any read past it is caught by the sanitizer.
    QRandomGenerator random(20240611);
    for (int length = 0; length <= 300; ++length) {
        for (int round = 0; round < 4; ++round) {
            std::vector<quint8> bytes(static_cast<size_t>(length));
            for (auto& b : bytes)
                b = static_cast<quint8>(random.bounded(256));
            if (length > 0 && round % 2 == 0)
                bytes[kOffMarker] = kMarker;
            if (length >= kHeaderLength && round == 2)
                writeU16(bytes, kOffPayloadLength, static_cast<quint16>(std::max(0, length - kFrameOverhead)));
            const bool complete = isCompleteDatagram(bytes);
            const int check = CheckDatagram(bytes, length);
            EXPECT_TRUE(check == kCheckValid || check == kCheckCrcError || check == kCheckVersion);
            if (complete) {
                EXPECT_LE(kFrameOverhead + paddedLength(readU16(bytes, kOffPayloadLength), 0, Padding::Received),
                          length);
            }
            (void)readHeader(bytes);
            (void)readDeviceReport(bytes);
            (void)readCallbackRequest(bytes);
            DatagramBuffer answer;
            (void)buildReportAnswer(bytes, answer, round == 3);
            (void)buildCallbackAnswer(bytes, answer, round == 1);
        }
    }
}
