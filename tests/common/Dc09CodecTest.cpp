#include "common/Dc09Codec.h"

#include <gtest/gtest.h>

namespace {

const QByteArray kKey = QByteArray::fromHex("2B7E151628AED2A6ABF7158809CF4F3C");
const QDateTime kNow(QDate(2024, 7, 8), QTime(12, 34, 56), Qt::UTC);

Dc09::Header header(const char* id, const char* sequence, std::optional<QByteArray> receiver, const char* line,
                    const char* account) {
    Dc09::Header h;
    h.id = id;
    h.sequence = sequence;
    h.receiver = receiver;
    h.line = line;
    h.account = account;
    return h;
}

QByteArray bodyOf(const QByteArray& frame) {
    QByteArrayView body;
    EXPECT_EQ(Dc09Envelope::open(frame, body), Dc09Envelope::Fault::None) << frame.constData();
    return body.toByteArray();
}

} // namespace

TEST(Dc09CodecTest, HeadersWithAndWithoutTheirOptionalFields) {
    const struct {
        const char* body;
        std::optional<Dc09::Header> header;
        const char* tail;
    } cases[] = {
        {"\"ADM-CID\"0009R1L2#1234[#1234|1130 01 005]", header("ADM-CID", "0009", "1", "2", "1234"),
         "#1234|1130 01 005]"},
        {"\"SIA-DCS\"0042L0#123[x", header("SIA-DCS", "0042", std::nullopt, "0", "123"), "x"},
        {"\"NULL\"0000#ABCDEF0123456789[]", header("NULL", "0000", std::nullopt, "0", "ABCDEF0123456789"), "]"},
        {"\"NULL\"0000RABCDEFLabcdef#abc[", header("NULL", "0000", "ABCDEF", "abcdef", "abc"), ""},
        {"\"NULL\"0000R1#1234[]", header("NULL", "0000", "1", "0", "1234"), "]"},
        {"\"ADM-CID\"0001L0#1234", std::nullopt, ""},                // no "["
        {"ADM-CID\"0001L0#1234[]", std::nullopt, ""},                // no opening quote
        {"\"ADM-CID0001L0#1234[]", std::nullopt, ""},                // no closing quote
        {"\"\"0001L0#1234[]", std::nullopt, ""},                     // empty identifier
        {"\"ADM CID\"0001L0#1234[]", std::nullopt, ""},              // blank in the identifier
        {"\"ADM-CID\"001L0#1234[]", std::nullopt, ""},               // three-digit sequence
        {"\"ADM-CID\"00A1L0#1234[]", std::nullopt, ""},              // letter in the sequence
        {"\"ADM-CID\"0001RL0#1234[]", std::nullopt, ""},             // R without digits
        {"\"ADM-CID\"0001R1234567L0#1234[]", std::nullopt, ""},      // seven receiver digits
        {"\"ADM-CID\"0001L0#12[]", std::nullopt, ""},                // two account digits
        {"\"ADM-CID\"0001L0#12345678901234567[]", std::nullopt, ""}, // seventeen
        {"\"ADM-CID\"0001L0#12G4[]", std::nullopt, ""},              // not hexadecimal
        {"\"ADM-CID\"0001L01234[]", std::nullopt, ""},               // no "#"
    };
    for (const auto& c : cases) {
        const auto split = Dc09::readHeader(c.body);
        ASSERT_EQ(split.has_value(), c.header.has_value()) << c.body;
        if (!split)
            continue;
        EXPECT_EQ(split->header, *c.header) << c.body;
        EXPECT_EQ(split->tail, QByteArrayView(c.tail)) << c.body;
    }

    const auto encrypted = Dc09::readHeader("\"*SIA-DCS\"0042L0#123[ABCD");
    ASSERT_TRUE(encrypted);
    EXPECT_TRUE(encrypted->header.encrypted);
    EXPECT_EQ(encrypted->header.id, "SIA-DCS") << "the mark is not part of the identifier";

    // Answers read too, for the devices' side. "A" is a hexadecimal digit as well as the mark of a NAK's account.
    const struct {
        const char* body;
        const char* receiver;
        const char* line;
        char mark;
        const char* account;
    } answers[] = {
        {"\"NAK\"0000R0L0A0[]_12:34:56,07-08-2024", "0", "0", 'A', "0"},
        {"\"NAK\"0000R0A0[]", "0", "0", 'A', "0"},
        {"\"NAK\"0000R1L2AA5[]", "1", "2A", 'A', "5"},
        {"\"ACK\"0000R1L0A1#1234[]", "1", "0A1", '#', "1234"},
    };
    for (const auto& a : answers) {
        const auto split = Dc09::readHeader(a.body);
        ASSERT_TRUE(split) << a.body;
        EXPECT_EQ(split->header.receiver, QByteArray(a.receiver)) << a.body;
        EXPECT_EQ(split->header.line, a.line) << a.body;
        EXPECT_EQ(split->header.accountMark, a.mark) << a.body;
        EXPECT_EQ(split->header.account, a.account) << a.body;
    }
    EXPECT_FALSE(Dc09::readHeader("\"NAK\"0000R0L0A[]")) << "a mark without digits";
}

TEST(Dc09CodecTest, ContentBlocksAndTimestamps) {
    const QDateTime stamp(QDate(2024, 2, 29), QTime(23, 59, 58), Qt::UTC);
    const struct {
        const char* clear;
        std::optional<Dc09::Content> content;
    } cases[] = {
        {"#1234|1130 01 005]", Dc09::Content{"#1234|1130 01 005", {}, {}}},
        {"]", Dc09::Content{"", {}, {}}},
        {"#1234|NBA5][X123W456][Mabc]", Dc09::Content{"#1234|NBA5", {"X123W456", "Mabc"}, {}}},
        {"#1234|NBA5][][Y1]_23:59:58,02-29-2024", Dc09::Content{"#1234|NBA5", {"", "Y1"}, stamp}},
        {"]_23:59:58,02-29-2024", Dc09::Content{"", {}, stamp}},
        {"#1234|1130 01 005", std::nullopt},      // no "]"
        {"]x", std::nullopt},                     // text after the data
        {"][X1", std::nullopt},                   // open extended block
        {"]_23:59:58,02-29-2024 ", std::nullopt}, // text after the timestamp
        {"]_23:59:58,02-30-2024", std::nullopt},  // no such day
        {"]_24:00:00,01-01-2024", std::nullopt},  // no such hour
        {"]_23:59:58,02-29-24", std::nullopt},    // two-digit year
        {"]_23-59-58,02-29-2024", std::nullopt},  // wrong separators
        {"]_", std::nullopt},
    };
    for (const auto& c : cases) {
        const auto content = Dc09::readContent(c.clear);
        ASSERT_EQ(content.has_value(), c.content.has_value()) << c.clear;
        if (content) {
            EXPECT_EQ(*content, *c.content) << c.clear;
        }
    }
    EXPECT_EQ(Dc09::formatTimestamp(stamp), "_23:59:58,02-29-2024");
    EXPECT_EQ(Dc09::formatTimestamp(stamp.toOffsetFromUtc(-3 * 3600)), "_23:59:58,02-29-2024") << "always UTC";
    EXPECT_EQ(Dc09::readTimestamp("_00:00:00,01-01-2000"), QDateTime(QDate(2000, 1, 1), QTime(0, 0), Qt::UTC));
}

TEST(Dc09CodecTest, AnswersCopyTheMessagesFieldsByteForByte) {
    // Expected CRCs from a separate reference implementation of CRC-16/ARC.
    const Dc09::Header full = header("ADM-CID", "0009", "1", "2", "1234");
    const Dc09::Header bare = header("SIA-DCS", "0042", std::nullopt, "0", "123");
    const struct {
        const char* name;
        QByteArray frame;
        QByteArray expected;
    } cases[] = {
        {"ACK with R and L", Dc09::ack(full), "\n18D60014\"ACK\"0009R1L2#1234[]\r"},
        {"DUH with R and L", Dc09::duh(full), "\n680E0014\"DUH\"0009R1L2#1234[]\r"},
        {"ACK without R", Dc09::ack(bare), "\n16810011\"ACK\"0042L0#123[]\r"},
        {"DUH without R", Dc09::duh(bare), "\n48D70011\"DUH\"0042L0#123[]\r"},
        {"NAK with the receiver's time", Dc09::nak(kNow), "\n24920025\"NAK\"0000R0L0A0[]_12:34:56,07-08-2024\r"},
        {"a message built", Dc09::frame(full, Dc09::Content{"#1234|1130 01 005", {}, {}}),
         "\n63140029\"ADM-CID\"0009R1L2#1234[#1234|1130 01 005]\r"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.frame, c.expected) << c.name;

    Dc09::Header encrypted = full;
    encrypted.encrypted = true;
    EXPECT_EQ(Dc09::ack(encrypted), Dc09::ack(full)) << "the plain ACK never carries the mark";
}

TEST(Dc09CodecTest, EncryptedAckCarriesTheReceiversTimeUnderTheMessagesKey) {
    Dc09::Header message = header("SIA-DCS", "0042", "A1", "3", "123");
    message.encrypted = true;
    const QByteArray frame = Dc09::encryptedAck(message, kKey, kNow, [] { return 7u; });
    const QByteArray body = bodyOf(frame);
    const auto split = Dc09::readHeader(body);
    ASSERT_TRUE(split);
    EXPECT_EQ(split->header.id, "ACK");
    EXPECT_TRUE(split->header.encrypted);
    EXPECT_EQ(split->header.sequence, "0042");
    EXPECT_EQ(split->header.receiver, QByteArray("A1"));
    EXPECT_EQ(split->header.line, "3");
    EXPECT_EQ(split->header.account, "123");
    // "|]" and the 20-character time: 22 bytes, so 10 of padding make two blocks.
    EXPECT_EQ(split->tail.size(), 64);
    const QByteArray plain = AesCbc::decrypt(kKey, QByteArray::fromHex(split->tail.toByteArray())).bytes;
    EXPECT_EQ(plain.sliced(10), "|]_12:34:56,07-08-2024");
    EXPECT_FALSE(plain.first(10).contains('|'));
    EXPECT_TRUE(Dc09::encryptedAck(message, QByteArray(5, 'k'), kNow, [] { return 7u; }).isEmpty());
}

TEST(Dc09CodecTest, BuiltMessagesReadBackPlainAndEncrypted) {
    const Dc09::Content content{"#5678|Nri2/BA005/OP12", {"X-46.6W-23.5", "Mdev"}, kNow};
    for (const bool encrypt : {false, true}) {
        const Dc09::Header sent = header("SIA-DCS", "0100", "12", "5", "1234");
        const QByteArray frame =
            encrypt ? Dc09::encryptedFrame(sent, content, kKey, [] { return 1u; }) : Dc09::frame(sent, content);
        const QByteArray body = bodyOf(frame);
        const auto split = Dc09::readHeader(body);
        ASSERT_TRUE(split) << encrypt;
        EXPECT_EQ(split->header.encrypted, encrypt);
        Dc09::Header expected = sent;
        expected.encrypted = encrypt;
        EXPECT_EQ(split->header, expected);
        QByteArray clear = split->tail.toByteArray();
        if (encrypt)
            clear = Dc09Envelope::decryptTail(kKey, clear).clear;
        const auto read = Dc09::readContent(clear);
        ASSERT_TRUE(read) << encrypt;
        EXPECT_EQ(*read, content) << encrypt;
    }
}
