#include "common/Dc09Envelope.h"

#include <gtest/gtest.h>

#include <set>

namespace {

using Dc09Envelope::Fault;

const QByteArray kKey128 = QByteArray::fromHex("2B7E151628AED2A6ABF7158809CF4F3C");

// Gives 0, 1, 2, ... : every character of the padding alphabet in turn, and
// the values that a plain "byte % 256" would turn into the three marks.
Dc09Envelope::RandomSource counting() {
    return [next = quint32(0)]() mutable { return next++; };
}

} // namespace

TEST(Dc09EnvelopeTest, CrcOfABodyWorkedByHand) {
    // CRC-16/ARC of the two bytes "[]" (0x5B 0x5D): start at 0000; per byte,
    // XOR it into the low byte, then eight times shift right, XOR-ing A001
    // after a shift that dropped a 1.
    //   0000 ^ 5B = 005B
    //     005B: 1 -> 002D^A001 = A02C; 0 -> 5016; 0 -> 280B; 1 -> 1405^A001 = B404
    //     B404: 0 -> 5A02; 0 -> 2D01; 1 -> 1680^A001 = B681; 1 -> 5B40^A001 = FB41
    //   FB41 ^ 5D = FB1C
    //     FB1C: 0 -> 7D8E; 0 -> 3EC7; 1 -> 1F63^A001 = BF62; 0 -> 5FB1
    //     5FB1: 1 -> 2FD8^A001 = 8FD9; 1 -> 47EC^A001 = E7ED; 1 -> 73F6^A001 = D3F7; 1 -> 69FB^A001 = C9FA
    // so the frame is LF "C9FA" "0002" "[]" CR.
    EXPECT_EQ(Dc09Envelope::wrap("[]"), QByteArray("\nC9FA0002[]\r"));
}

TEST(Dc09EnvelopeTest, OpensGoodFramesAndNamesWhatIsWrongWithBadOnes) {
    // CRC and length of the body computed by a separate reference implementation.
    const QByteArray body = "\"ADM-CID\"0001L0#1234[#1234|1130 01 005]";
    const QByteArray good = "\n7EE80027" + body + "\r";
    ASSERT_EQ(Dc09Envelope::wrap(body), good);

    const struct {
        const char* name;
        QByteArray frame;
        Fault fault;
    } cases[] = {
        {"good", good, Fault::None},
        {"lower-case CRC digits", "\n7ee80027" + body + "\r", Fault::None},
        {"empty", "", Fault::NoStart},
        {"no LF", good.mid(1), Fault::NoStart},
        {"no CR", good.chopped(1), Fault::NoEnd},
        {"shorter than an envelope", "\n7EE8002\r", Fault::NoEnd},
        {"length one too small", "\n7EE80026" + body + "\r", Fault::BadLength},
        {"length not hexadecimal", "\n7EE8002G" + body + "\r", Fault::BadLength},
        {"length past 0FFF", "\n7EE81027" + body + "\r", Fault::BadLength},
        {"CRC one off", "\n7EE90027" + body + "\r", Fault::BadCrc},
        {"CRC not hexadecimal", "\n7EEX0027" + body + "\r", Fault::BadCrc},
        {"body changed", "\n7EE80027" + QByteArray(body).replace("1130", "1131") + "\r", Fault::BadCrc},
    };
    for (const auto& c : cases) {
        QByteArrayView opened;
        EXPECT_EQ(Dc09Envelope::open(c.frame, opened), c.fault) << c.name;
        if (c.fault == Fault::None) {
            EXPECT_EQ(opened, body) << c.name;
        }
    }
    EXPECT_STREQ(Dc09Envelope::faultText(Fault::BadCrc), "CRC does not match");
}

TEST(Dc09EnvelopeTest, FrameLengthFromTheHeaderAlone) {
    const struct {
        QByteArray header;
        std::optional<qsizetype> length;
    } cases[] = {
        {"\nC9FA0002", 12},           {"\nC9FA0002[]\r", 12},       {"\nC9FA0FFF", 0xFFF + 10},
        {"\nC9FA1000", std::nullopt}, {"\nC9FA00x2", std::nullopt}, {"C9FA0002[]", std::nullopt},
        {"\nC9FA000", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Dc09Envelope::frameLength(c.header), c.length) << c.header.toHex().constData();
}

TEST(Dc09EnvelopeTest, PaddingNeverHoldsTheMarksWhateverTheRandomSourceGives) {
    const QByteArray padding = Dc09Envelope::padding(1000, counting());
    ASSERT_EQ(padding.size(), 1000);
    std::set<char> seen;
    for (const char c : padding) {
        EXPECT_TRUE(c != '[' && c != ']' && c != '|') << c;
        EXPECT_TRUE(c > ' ' && c < 0x7F) << int(c);
        seen.insert(c);
    }
    EXPECT_EQ(seen.size(), 91u) << "every printable character but the three marks";
    EXPECT_TRUE(Dc09Envelope::padding(0, counting()).isEmpty());
    EXPECT_EQ(Dc09Envelope::padding(5, [] { return 0xFFFFFFFFu; }).size(), 5);
}

TEST(Dc09EnvelopeTest, EncryptedTailsRoundTripAndFailForWhatCannotBeTheirs) {
    for (const int keyLength : {16, 24, 32}) {
        const QByteArray key(keyLength, char(0x5A));
        for (const QByteArray& clear : {QByteArray("]_12:34:56,07-08-2024"), QByteArray("#1234|1130 01 005]"),
                                        QByteArray(15, 'x'), QByteArray(16, 'y'), QByteArray()}) {
            const QByteArray hex = Dc09Envelope::encryptTail(key, clear, counting());
            ASSERT_FALSE(hex.isEmpty());
            EXPECT_EQ(hex, hex.toUpper());
            EXPECT_EQ(hex.size() % 32, 0) << "whole blocks: " << clear.constData();
            EXPECT_LE(hex.size() / 2, clear.size() + 1 + 15) << "padding shorter than a block";
            const Dc09Envelope::Tail tail = Dc09Envelope::decryptTail(key, hex);
            ASSERT_TRUE(tail.ok()) << Dc09Envelope::tailErrorText(tail.error);
            EXPECT_EQ(tail.clear, clear);
            EXPECT_EQ(Dc09Envelope::decryptTail(key, hex.toLower()).clear, clear) << "either case reads";
        }
    }
    EXPECT_TRUE(Dc09Envelope::encryptTail(QByteArray(20, 'k'), "x", counting()).isEmpty());

    // Known answer: the padding "abcdefghij" that makes 32 bytes, from the command-line vector of AesCbcTest.
    const QByteArray known = "B7E971C68A45A3EAE9C4C01CB7C410F12FFAAB57F4AEF505B131C065A55351A6";
    EXPECT_EQ(Dc09Envelope::decryptTail(kKey128, known).clear, "]_12:34:56,07-08-2024");

    using Dc09Envelope::TailError;
    const struct {
        const char* name;
        QByteArray key;
        QByteArray hex;
        TailError error;
    } failures[] = {
        {"odd number of digits", kKey128, known.chopped(1), TailError::NotHex},
        {"not hexadecimal", kKey128, QByteArray(known).replace(0, 1, "G"), TailError::NotHex},
        {"half a block", kKey128, known.left(16), TailError::DataLength},
        {"nothing", kKey128, "", TailError::DataLength},
        {"key of no AES length", QByteArray(10, 'k'), known, TailError::KeyLength},
        // The same text under another key decrypts to noise without a "|" (checked below to be so).
        {"wrong key", QByteArray(16, 'k'), known, TailError::NoPadding},
    };
    ASSERT_FALSE(AesCbc::decrypt(QByteArray(16, 'k'), QByteArray::fromHex(known)).bytes.contains('|'));
    for (const auto& f : failures) {
        const Dc09Envelope::Tail tail = Dc09Envelope::decryptTail(f.key, f.hex);
        EXPECT_EQ(tail.error, f.error) << f.name;
        EXPECT_TRUE(tail.clear.isEmpty()) << f.name;
    }
}
