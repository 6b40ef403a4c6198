// The encrypted side of DC-09 reception. Any text after "[" decrypts to a
// result or an error, never more; any clear text encrypted with random padding
// decrypts back to itself; and a message is judged the same whether it comes
// in clear from an account without a key or encrypted from one with a key,
// but for what encryption itself asks (the timestamp, a part that decrypts).
#include "config/Dc09Settings.h"
#include "device/Dc09Receiver.h"
#include "device/SiaCodeTable.h"
#include "fuzz/FuzzInput.h"

namespace {

using Answer = Dc09Outcome::Answer;
using Reason = Dc09Outcome::Reason;

const QDateTime kNow(QDate(2024, 7, 8), QTime(12, 34, 56), Qt::UTC);
// The longest clear text tried: its encrypted frame must stay within the length field's limit.
constexpr qsizetype kMaxClear = 1500;
const char* const kIds[] = {"ADM-CID", "SIA-DCS", "NULL"};

struct Setup {
    QByteArray keys[3];
    Dc09Settings settings[3]; // account ABC with the key of each length
    SiaCodeTable siaCodes;

    Setup() {
        for (int i = 0; i < 3; ++i) {
            keys[i] = QByteArray(16 + 8 * i, Qt::Uninitialized);
            for (qsizetype b = 0; b < keys[i].size(); ++b)
                keys[i][b] = char(0x11 * (b + 1) + i);
            settings[i].port = 5000;
            settings[i].keys.insert("ABC", keys[i]);
        }
        siaCodes.parse("BA 1 130 Roubo\nBR 3 130 Restauro\nOP 1 401 Desarme\n");
    }
};

const Setup& setup() {
    static const Setup instance;
    return instance;
}

// What the encrypted message must get, given what the same text in clear got.
Reason expectedEncrypted(const Dc09Outcome& plain, const QByteArray& clear) {
    const auto content = Dc09::readContent(clear);
    if (!content) {
        require(plain.reason == Reason::BadContent);
        return Reason::Undecryptable;
    }
    return content->timestamp ? plain.reason : Reason::NoTimestamp;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    const int keyIndex = input.byte() % 3;
    const char* id = kIds[input.byte() % 3];
    const quint8 padSeed = input.byte();
    QByteArray clear = bytesOf(input.rest());
    if (clear.size() > kMaxClear)
        clear.truncate(kMaxClear);
    const QByteArray& key = setup().keys[keyIndex];

    // Any text as the encrypted part.
    const Dc09Envelope::Tail any = Dc09Envelope::decryptTail(key, clear);
    require(any.ok() || any.clear.isEmpty());
    require(!any.ok() || any.clear.size() < clear.size() / 2);

    // Any clear text round trips.
    quint32 next = padSeed;
    const Dc09Envelope::RandomSource random = [&next] { return next = next * 1103515245u + 12345u; };
    const QByteArray hex = Dc09Envelope::encryptTail(key, clear, random);
    require(hex.size() % 32 == 0 && !hex.isEmpty());
    const Dc09Envelope::Tail back = Dc09Envelope::decryptTail(key, hex);
    require(back.ok() && back.clear == clear);

    // The same message in clear and encrypted.
    const QByteArray quoted = QByteArray("\"") + id + "\"0001L0#";
    const QByteArray plainFrame = Dc09Envelope::wrap(quoted + "1234[" + clear);
    const QByteArray sealedFrame = Dc09Envelope::wrap("\"*" + quoted.mid(1) + "ABC[" + hex);
    const Setup& s = setup();
    Dc09Receiver plainReceiver(s.settings[keyIndex], s.siaCodes, random);
    Dc09Receiver sealedReceiver(s.settings[keyIndex], s.siaCodes, random);
    const Dc09Outcome plain = plainReceiver.take(plainFrame, QStringLiteral("192.0.2.1"), 1, kNow);
    const Dc09Outcome sealed = sealedReceiver.take(sealedFrame, QStringLiteral("192.0.2.1"), 1, kNow);
    require(sealed.reason == expectedEncrypted(plain, clear));
    require(sealed.reason != plain.reason || sealed.events == plain.events);
    if (sealed.answer == Answer::Ack) {
        QByteArrayView body;
        require(Dc09Envelope::open(sealed.reply, body) == Dc09Envelope::Fault::None);
        const auto split = Dc09::readHeader(body);
        require(split && split->header.encrypted && split->header.id == Dc09::kAck);
        require(Dc09Envelope::decryptTail(key, split->tail).clear == "]" + Dc09::formatTimestamp(kNow));
    }
    return 0;
}
