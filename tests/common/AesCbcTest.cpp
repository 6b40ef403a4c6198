#include "common/AesCbc.h"

#include <QList>

#include <gtest/gtest.h>

namespace {

QByteArray hex(const char* text) {
    return QByteArray::fromHex(text);
}

} // namespace

TEST(AesCbcTest, KnownAnswersComputedOutsideThisCode) {
    const struct {
        const char* name;
        QByteArray key;
        QByteArray plain;
        QByteArray cipher;
    } cases[] = {
        // FIPS-197 appendix C: one block, so CBC with a zero vector is the bare cipher.
        {"AES-128", hex("000102030405060708090a0b0c0d0e0f"), hex("00112233445566778899aabbccddeeff"),
         hex("69c4e0d86a7b0430d8cdb78070b4c55a")},
        {"AES-192", hex("000102030405060708090a0b0c0d0e0f1011121314151617"), hex("00112233445566778899aabbccddeeff"),
         hex("dda97ca4864cdfe06eaf70a0ec0d7191")},
        {"AES-256", hex("000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f"),
         hex("00112233445566778899aabbccddeeff"), hex("8ea2b7ca516745bfeafc49904b496089")},
        // Two chained blocks of an encrypted acknowledgement's text, from the command line:
        //   printf 'abcdefghij|]_12:34:56,07-08-2024' |
        //   openssl enc -aes-128-cbc -K 2B7E151628AED2A6ABF7158809CF4F3C -iv 00000000000000000000000000000000 -nopad
        {"AES-128, two blocks", hex("2B7E151628AED2A6ABF7158809CF4F3C"), "abcdefghij|]_12:34:56,07-08-2024",
         hex("B7E971C68A45A3EAE9C4C01CB7C410F12FFAAB57F4AEF505B131C065A55351A6")},
    };
    for (const auto& c : cases) {
        const AesCbc::Result sealed = AesCbc::encrypt(c.key, c.plain);
        ASSERT_TRUE(sealed.ok()) << c.name;
        EXPECT_EQ(sealed.bytes.toHex(), c.cipher.toHex()) << c.name;
        const AesCbc::Result opened = AesCbc::decrypt(c.key, c.cipher);
        ASSERT_TRUE(opened.ok()) << c.name;
        EXPECT_EQ(opened.bytes, c.plain) << c.name;
    }
}

TEST(AesCbcTest, RoundTripsForEveryKeyLengthAndChainsTheBlocks) {
    // The same block twice: in CBC the second cipher block differs from the first.
    const QByteArray plain = QByteArray(16, 'A') + QByteArray(16, 'A') + QByteArray("0123456789abcdef");
    QList<QByteArray> ciphers;
    for (const int keyLength : {16, 24, 32}) {
        QByteArray key(keyLength, Qt::Uninitialized);
        for (int i = 0; i < keyLength; ++i)
            key[i] = char(0x30 + i);
        const AesCbc::Result sealed = AesCbc::encrypt(key, plain);
        ASSERT_TRUE(sealed.ok()) << keyLength;
        ASSERT_EQ(sealed.bytes.size(), plain.size()) << "no padding is added";
        EXPECT_NE(sealed.bytes.first(16), sealed.bytes.sliced(16, 16)) << keyLength;
        EXPECT_EQ(AesCbc::decrypt(key, sealed.bytes).bytes, plain) << keyLength;
        ciphers.append(sealed.bytes);

        QByteArray otherKey = key;
        otherKey[0] = char(otherKey[0] ^ 1);
        EXPECT_NE(AesCbc::decrypt(otherKey, sealed.bytes).bytes, plain) << keyLength;
    }
    EXPECT_NE(ciphers[0], ciphers[1]);
    EXPECT_NE(ciphers[1], ciphers[2]);
}

TEST(AesCbcTest, RefusesKeysAndDataOfOtherLengths) {
    const QByteArray block(16, 'x');
    const struct {
        qsizetype keyLength;
        QByteArray data;
        AesCbc::Error error;
    } cases[] = {
        {0, block, AesCbc::Error::KeyLength},
        {15, block, AesCbc::Error::KeyLength},
        {17, block, AesCbc::Error::KeyLength},
        {64, block, AesCbc::Error::KeyLength},
        {16, {}, AesCbc::Error::DataLength},
        {16, QByteArray(15, 'x'), AesCbc::Error::DataLength},
        {24, QByteArray(33, 'x'), AesCbc::Error::DataLength},
    };
    for (const auto& c : cases) {
        const QByteArray key(c.keyLength, 'k');
        const AesCbc::Result sealed = AesCbc::encrypt(key, c.data);
        EXPECT_EQ(sealed.error, c.error) << c.keyLength << " " << c.data.size();
        EXPECT_TRUE(sealed.bytes.isEmpty());
        EXPECT_EQ(AesCbc::decrypt(key, c.data).error, c.error) << c.keyLength << " " << c.data.size();
        EXPECT_STRNE(AesCbc::errorText(c.error), "ok");
        EXPECT_EQ(AesCbc::isKeyLength(c.keyLength), c.error != AesCbc::Error::KeyLength) << c.keyLength;
    }
}
