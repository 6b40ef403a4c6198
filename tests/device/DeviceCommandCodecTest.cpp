#include "device/DeviceCommandCodec.h"
#include "device/TaviComCodec.h"

#include <gtest/gtest.h>

using namespace DeviceCommand;

namespace {

std::optional<Answer> answer(quint8 type, quint8 code, QByteArray payload = {}) {
    return Answer{type, code, 0, std::move(payload)};
}

} // namespace

TEST(DeviceCommandCodecTest, DetailsAreReadOnlyAsFarAsThePayloadGoes) {
    QByteArray full(42, '\0');
    full[0] = 1;
    full[1] = 6;
    full[2] = 1;
    full[3] = 2;
    full[4] = 4, full[5] = 3, full[6] = 2, full[7] = 1;
    full.replace(16, 4, "4321");
    full[28] = char(0xAB), full[33] = char(0x5E);
    full[34] = 1;
    full[37] = 1;
    full[41] = 23;
    struct Case {
        const char* name;
        QByteArray payload;
        const char* model;
        const char* firmware;
        const char* mac;
        bool line, cellular, pgmSection;
        int rssi;
    };
    const Case cases[] = {
        {"whole", full, "Tavi-UG Rev. 1.2", "1.2.3.4", "AB:00:00:00:00:5E", true, true, true, 23},
        {"cut after the revision", full.left(4), "Tavi-UG Rev. 1.2", "0.0.0.0", "00:00:00:00:00:00", true, true, true,
         0},
        {"model 9", QByteArray::fromHex("0109"), "Unknown!", "0.0.0.0", "00:00:00:00:00:00", false, false, true, 0},
        {"Tavi-SP has no PGM section", QByteArray::fromHex("0111"), "Tavi-SP Rev. 0.0", "0.0.0.0", "00:00:00:00:00:00",
         false, false, false, 0},
        {"another format: the revision alone", QByteArray::fromHex("0206010203040506"), " Rev. 1.2", "", "", true, true,
         true, 0},
        {"empty", {}, " Rev. 0.0", "", "", false, false, true, 0},
    };
    for (const Case& c : cases) {
        const Details d = readDetails(c.payload);
        EXPECT_EQ(d.model, QString::fromLatin1(c.model)) << c.name;
        EXPECT_EQ(d.firmware, QString::fromLatin1(c.firmware)) << c.name;
        EXPECT_EQ(d.mac, QString::fromLatin1(c.mac)) << c.name;
        EXPECT_EQ(d.lineSwitch, c.line) << c.name;
        EXPECT_EQ(d.cellular, c.cellular) << c.name;
        EXPECT_EQ(d.pgmSection, c.pgmSection) << c.name;
        EXPECT_EQ(d.rssi, c.rssi) << c.name;
    }
    const Details whole = readDetails(full);
    EXPECT_EQ(whole.password, QStringLiteral("4321"));
    EXPECT_TRUE(whole.in1);
    EXPECT_EQ(whole.pgm, (std::array<bool, 4>{false, true, false, false}));
}

TEST(DeviceCommandCodecTest, AnswersGiveTheirMessages) {
    using namespace TaviCom;
    struct Case {
        std::optional<Answer> answer;
        int callback;
        int pgmIndex1;
    };
    const Case cases[] = {
        {std::nullopt, 181, 155},
        {answer(kTypeAcknowledged, 1), 137, 181},
        {answer(kTypeAcknowledged, 0x31, QByteArray::fromHex("0101")), 139, 156},
        {answer(kTypeAcknowledged, 0x31, QByteArray::fromHex("0201")), 139, 157},
        {answer(kTypeAcknowledged, 0x31), 139, 157}, // no payload: index 0 read, not 1
        {answer(kTypeRefused, 7), 150, 184},
        {answer(kTypeRefused, 10), 139, 184},
        {answer(kTypeRefused, 4), 138, 183},
        {answer(kTypeRefused, 6), 138, 179},
        {answer(0x20, 1), 181, 181},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(callbackMessage(cases[i].answer), cases[i].callback) << i;
        std::optional<bool> state;
        EXPECT_EQ(pgmMessage(cases[i].answer, 1, &state), cases[i].pgmIndex1) << i;
        EXPECT_EQ(state.has_value(), cases[i].pgmIndex1 == 156) << i;
    }
}

TEST(DeviceCommandCodecTest, CallbackAddressesAndRequests) {
    for (const char* good : {"10.0.0.1", "255.255.255.255", "192.168.1.20"})
        EXPECT_TRUE(isDottedAddress(QString::fromLatin1(good))) << good;
    for (const char* bad :
         {"10.0.0", "10.0.0.256", "a.b.c.d", "tavi.example.com", "1.2.3.4.5", "", "10..0.1", "-1.2.3.4", "0010.0.0.1"})
        EXPECT_FALSE(isDottedAddress(QString::fromLatin1(bad))) << bad;
    for (const char* blank : {" 10.0.0.1", "10.0.0.1 ", "10. 0.0.1", "10.0.0.1\t"})
        EXPECT_FALSE(isDottedAddress(QString::fromLatin1(blank))) << "a blank is not a digit: [" << blank << "]";
    EXPECT_FALSE(isDottedAddress(QString::fromLatin1("10\0.0.0.1", 9))) << "nor is a NUL";
    EXPECT_EQ(callbackPayload("10.1.2.3", "10.9.9.9", 5050), (std::array<quint8, 6>{10, 1, 2, 3, 0xBA, 0x13}));
    EXPECT_EQ(callbackPayload("10.9.9.9", "10.9.9.9", 1), (std::array<quint8, 6>{0xFF, 0xFF, 0xFF, 0xFF, 1, 0}));

    TaviCom::DatagramBuffer buffer{};
    const quint8 payload[] = {2, 0};
    const int length = buildRequest(buffer, 0x1A2B00EE, 77, kCodePgm, payload);
    ASSERT_EQ(length, TaviCom::kFrameOverhead + 2);
    const auto bytes = std::span<quint8>(buffer.data(), size_t(length));
    EXPECT_EQ(TaviCom::CheckDatagram(bytes, length), TaviCom::kCheckValid);
    const auto header = TaviCom::readHeader(bytes);
    EXPECT_EQ(header->type, TaviCom::kTypeAcknowledged);
    EXPECT_EQ(header->flags, TaviCom::kFlagsRequest);
    EXPECT_EQ(header->sequence, 77);
    EXPECT_EQ(header->answerKind, TaviCom::kKindAnswer);
    EXPECT_EQ(header->kind, TaviCom::kKindRequest);
    // An answer whose length field claims more than it carries gives only what is there.
    buffer[TaviCom::kOffPayloadLength] = 200;
    EXPECT_EQ(readAnswer(bytes)->payload.size(), 2);
}
