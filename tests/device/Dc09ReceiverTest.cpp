#include "device/Dc09Receiver.h"
#include "config/Dc09Settings.h"
#include "device/SiaCodeTable.h"

#include <gtest/gtest.h>

namespace {

using Answer = Dc09Outcome::Answer;
using Reason = Dc09Outcome::Reason;

const QByteArray kKey128 = QByteArray::fromHex("2B7E151628AED2A6ABF7158809CF4F3C");
const QByteArray kKey256 = QByteArray::fromHex("603DEB1015CA71BE2B73AEF0857D77811F352C073B6108D72D9810A30914DFF4");
const QDateTime kNow(QDate(2024, 7, 8), QTime(12, 34, 56), Qt::UTC);
const QByteArray kNowText = "_12:34:56,07-08-2024";
const QString kPeer = QStringLiteral("192.0.2.7");
constexpr quint16 kPeerPort = 4321;

// Accounts ABC (AES-128) and 5678 (AES-256) have keys; the others speak in clear.
struct Reception {
    Dc09Settings settings;
    SiaCodeTable siaCodes;
    Dc09Receiver receiver{settings, siaCodes, [] { return 3u; }};

    Reception() {
        settings.port = 5000;
        settings.keys.insert("ABC", kKey128);
        settings.keys.insert("5678", kKey256);
        siaCodes.parse("BA 1 130 Roubo\nBR 3 130 Restauro: roubo\nOP 1 401 Desarme\n");
    }

    Dc09Outcome take(const QByteArray& frame, const QDateTime& now = kNow) {
        return receiver.take(frame, kPeer, kPeerPort, now);
    }
};

QByteArray plain(const QByteArray& body) {
    return Dc09Envelope::wrap(body);
}

// An encrypted frame whose encrypted part holds exactly clear after the padding.
QByteArray sealed(const QByteArray& head, const QByteArray& key, const QByteArray& clear) {
    return Dc09Envelope::wrap(head + Dc09Envelope::encryptTail(key, clear, [] { return 11u; }));
}

QByteArray stamp(const QDateTime& at) {
    return Dc09::formatTimestamp(at);
}

Dc09Content::Event event(quint16 account, quint16 code, quint8 partition, quint16 zone) {
    Dc09Content::Event e;
    e.account = account;
    e.code = code;
    e.partition = partition;
    e.zone = zone;
    return e;
}

// The header of an answer, read back.
Dc09::Header answerHeader(const QByteArray& reply) {
    QByteArrayView body;
    EXPECT_EQ(Dc09Envelope::open(reply, body), Dc09Envelope::Fault::None) << reply.constData();
    const auto split = Dc09::readHeader(body);
    return split ? split->header : Dc09::Header{};
}

} // namespace

TEST(Dc09ReceiverTest, AnswerTable) {
    const QByteArray admCid = "\"ADM-CID\"0001L0#1234[#1234|1130 01 005]";
    const QByteArray nak = "\n24920025\"NAK\"0000R0L0A0[]_12:34:56,07-08-2024\r";
    const struct {
        const char* name;
        QByteArray frame;
        Answer answer;
        Reason reason;
        QByteArray reply; // exact bytes, CRCs from a separate reference; empty: checked by reading it back
    } cases[] = {
        {"Contact ID", plain(admCid), Answer::Ack, Reason::Taken, "\n1BC10012\"ACK\"0001L0#1234[]\r"},
        {"Contact ID without L", plain("\"ADM-CID\"0001#1234[#1234|1130 01 005]"), Answer::Ack, Reason::Taken,
         "\n1BC10012\"ACK\"0001L0#1234[]\r"},
        {"NULL with R", plain("\"NULL\"0000R0L0#1234[]"), Answer::Ack, Reason::Supervision,
         "\n181A0014\"ACK\"0000R0L0#1234[]\r"},
        {"SIA", plain("\"SIA-DCS\"0002L0#1234[#1234|Nri1/BA5]"), Answer::Ack, Reason::Taken, {}},
        {"timestamp 40 s behind", plain(admCid + stamp(kNow.addSecs(-40))), Answer::Ack, Reason::Taken, {}},
        {"timestamp 20 s ahead", plain(admCid + stamp(kNow.addSecs(20))), Answer::Ack, Reason::Taken, {}},
        {"timestamp 41 s behind", plain(admCid + stamp(kNow.addSecs(-41))), Answer::Nak, Reason::OutsideWindow, nak},
        {"timestamp 21 s ahead", plain(admCid + stamp(kNow.addSecs(21))), Answer::Nak, Reason::OutsideWindow, nak},
        {"encrypted, a day behind", sealed("\"*NULL\"0003L0#ABC[", kKey128, "]" + stamp(kNow.addDays(-1))), Answer::Nak,
         Reason::OutsideWindow, nak},
        {"unknown identifier", plain("\"ADM-802\"0042L0#123[]"), Answer::Duh, Reason::UnknownId,
         "\n48D70011\"DUH\"0042L0#123[]\r"},
        {"account of five digits", plain("\"NULL\"0001L0#12345[]"), Answer::Duh, Reason::AccountTooLong,
         "\n4CC70013\"DUH\"0001L0#12345[]\r"},
        {"data account of five digits", plain("\"ADM-CID\"0001L0#1234[#12345|1130 01 005]"), Answer::Duh,
         Reason::AccountTooLong, "\n251F0012\"DUH\"0001L0#1234[]\r"},
        {"encrypted, no key for the account", sealed("\"*NULL\"0001L0#1234[", kKey128, "]" + kNowText), Answer::Duh,
         Reason::NoKey, "\n251F0012\"DUH\"0001L0#1234[]\r"},
        {"in clear from an account with a key", plain("\"NULL\"0000L0#ABC[]"), Answer::Duh, Reason::PlainWithKey,
         "\n2DD50011\"DUH\"0000L0#ABC[]\r"},
        {"encrypted under another key", sealed("\"*NULL\"0000L0#ABC[", kKey256.left(16), "]" + kNowText), Answer::Duh,
         Reason::Undecryptable, "\n2DD50011\"DUH\"0000L0#ABC[]\r"},
        {"encrypted part not whole blocks",
         plain("\"*NULL\"0000L0#ABC[0123456789ABCDEF"),
         Answer::Duh,
         Reason::Undecryptable,
         {}},
        {"encrypted without timestamp", sealed("\"*NULL\"0000L0#ABC[", kKey128, "]"), Answer::Duh, Reason::NoTimestamp,
         "\n2DD50011\"DUH\"0000L0#ABC[]\r"},
        {"no such qualifier", plain("\"ADM-CID\"0001L0#1234[#1234|2130 01 005]"), Answer::Duh, Reason::BadContent,
         "\n251F0012\"DUH\"0001L0#1234[]\r"},
        {"SIA without a code", plain("\"SIA-DCS\"0001L0#1234[#1234|Nri1]"), Answer::Duh, Reason::BadContent, {}},
        {"text after the data", plain("\"NULL\"0001L0#1234[]x"), Answer::Duh, Reason::BadContent,
         "\n251F0012\"DUH\"0001L0#1234[]\r"},
        {"bad timestamp", plain(admCid + "_12:34:56,13-08-2024"), Answer::Duh, Reason::BadContent, {}},
        {"CRC wrong", QByteArray(plain(admCid)).replace(1, 1, "8"), Answer::None, Reason::BadEnvelope, {}},
        {"length wrong", QByteArray(plain(admCid)).replace(8, 1, "8"), Answer::None, Reason::BadEnvelope, {}},
        {"no CR", plain(admCid).chopped(1), Answer::None, Reason::BadEnvelope, {}},
        {"nothing", {}, Answer::None, Reason::BadEnvelope, {}},
        {"three-digit sequence",
         plain("\"ADM-CID\"001L0#1234[#1234|1130 01 005]"),
         Answer::None,
         Reason::BadHeader,
         {}},
        {"no account", plain("\"NULL\"0000R0L0A0[]"), Answer::None, Reason::BadHeader, {}},
        {"a device's ACK", plain("\"ACK\"0001L0#1234[]"), Answer::None, Reason::NotAMessage, {}},
    };
    for (const auto& c : cases) {
        Reception reception;
        const Dc09Outcome outcome = reception.take(c.frame);
        EXPECT_EQ(outcome.answer, c.answer) << c.name;
        EXPECT_EQ(outcome.reason, c.reason) << c.name << ": " << reasonText(outcome.reason);
        EXPECT_EQ(outcome.address, kPeer) << c.name;
        EXPECT_EQ(outcome.port, kPeerPort) << c.name;
        if (!c.reply.isEmpty()) {
            EXPECT_EQ(outcome.reply, c.reply) << c.name;
        }
        if (c.answer == Answer::None) {
            EXPECT_TRUE(outcome.reply.isEmpty()) << c.name;
        } else if (c.answer != Answer::Nak) {
            const Dc09::Header answer = answerHeader(outcome.reply);
            EXPECT_EQ(answer.id, c.answer == Answer::Ack ? "ACK" : "DUH") << c.name;
            EXPECT_EQ(answer.sequence, outcome.header.sequence) << c.name;
            EXPECT_EQ(answer.account, outcome.header.account) << c.name;
        }
        EXPECT_EQ(!outcome.events.isEmpty(), c.reason == Reason::Taken) << c.name;
        EXPECT_EQ(outcome.contact(), c.reason == Reason::Taken || c.reason == Reason::Supervision) << c.name;
    }
}

TEST(Dc09ReceiverTest, EncryptedMessagesAreAnsweredEncryptedWithTheReceiversTime) {
    const struct {
        const char* name;
        QByteArray frame;
        QByteArray key;
        QList<Dc09Content::Event> events;
    } cases[] = {
        {"AES-128, lower-case account",
         sealed("\"*ADM-CID\"0007R5L1#abc[", kKey128, "#ABC|3130 02 011]" + kNowText),
         kKey128,
         {event(0x0ABC, 3130, 2, 11)}},
        {"AES-256, SIA with extended data",
         sealed("\"*SIA-DCS\"0008L0#5678[", kKey256, "#5678|Nri3/BR004/OP2][X-46W-23]" + stamp(kNow.addSecs(-5))),
         kKey256,
         {event(0x5678, 3130, 3, 4), event(0x5678, 1401, 3, 2)}},
        {"NULL", sealed("\"*NULL\"0009L0#ABC[", kKey128, "]" + kNowText), kKey128, {}},
    };
    for (const auto& c : cases) {
        Reception reception;
        const Dc09Outcome outcome = reception.take(c.frame);
        ASSERT_EQ(outcome.answer, Answer::Ack) << c.name << ": " << reasonText(outcome.reason);
        EXPECT_TRUE(outcome.encrypted) << c.name;
        EXPECT_EQ(outcome.events.size(), c.events.size()) << c.name;
        for (qsizetype i = 0; i < qMin(outcome.events.size(), c.events.size()); ++i) {
            EXPECT_EQ(outcome.events[i].account, c.events[i].account) << c.name << i;
            EXPECT_EQ(outcome.events[i].code, c.events[i].code) << c.name << i;
            EXPECT_EQ(outcome.events[i].partition, c.events[i].partition) << c.name << i;
            EXPECT_EQ(outcome.events[i].zone, c.events[i].zone) << c.name << i;
        }

        QByteArrayView body;
        ASSERT_EQ(Dc09Envelope::open(outcome.reply, body), Dc09Envelope::Fault::None) << c.name;
        const auto split = Dc09::readHeader(body);
        ASSERT_TRUE(split) << c.name;
        EXPECT_TRUE(split->header.encrypted) << c.name << ": \"*ACK\"";
        EXPECT_EQ(split->header.id, "ACK") << c.name;
        EXPECT_EQ(split->header.sequence, outcome.header.sequence) << c.name;
        EXPECT_EQ(split->header.receiver, outcome.header.receiver) << c.name;
        EXPECT_EQ(split->header.line, outcome.header.line) << c.name;
        EXPECT_EQ(split->header.account, outcome.header.account) << c.name;
        const Dc09Envelope::Tail tail = Dc09Envelope::decryptTail(c.key, split->tail);
        ASSERT_TRUE(tail.ok()) << c.name;
        EXPECT_EQ(tail.clear, "]" + kNowText) << c.name;
    }
}

TEST(Dc09ReceiverTest, EncryptedFrameBuiltOutsideThisCodeIsTaken) {
    // Built with a separate CRC-16/ARC and the OpenSSL command line:
    //   printf 'qwertyuiop|#ABC|1130 01 005]_12:34:56,07-08-2024' |
    //   openssl enc -aes-128-cbc -K 2B7E151628AED2A6ABF7158809CF4F3C -iv 00000000000000000000000000000000 -nopad
    const QByteArray frame = "\n96AC0075\"*ADM-CID\"0001L0#ABC["
                             "EEB3E2BC51117B7650070B0E2E65563BA562825C78E8687928874AE2F11904F1"
                             "D7BC500C82F4DCAC5E35041FEAD8F8E2\r";
    Reception reception;
    const Dc09Outcome outcome = reception.take(frame);
    EXPECT_EQ(outcome.reason, Reason::Taken) << reasonText(outcome.reason);
    EXPECT_TRUE(outcome.encrypted);
    ASSERT_EQ(outcome.events.size(), 1);
    EXPECT_EQ(outcome.events[0], event(0x0ABC, 1130, 1, 5));
}

TEST(Dc09ReceiverTest, KeyForEveryAccountAndWindowChangesActAtOnce) {
    Reception reception;
    reception.settings.keys.insert("*", kKey256);
    EXPECT_EQ(reception.take(plain("\"NULL\"0000L0#1234[]")).reason, Reason::PlainWithKey) << "no account in clear";
    EXPECT_EQ(reception.take(sealed("\"*NULL\"0001L0#4321[", kKey256, "]" + kNowText)).answer, Answer::Ack);
    EXPECT_EQ(reception.take(sealed("\"*NULL\"0002L0#ABC[", kKey256, "]" + kNowText)).reason, Reason::Undecryptable)
        << "an account's own key comes before the key of every account";

    reception.settings.keys.clear();
    reception.settings.lag = 0;
    reception.settings.lead = 0;
    const QByteArray admCid = "\"ADM-CID\"0003L0#1234[#1234|1130 01 005]";
    EXPECT_EQ(reception.take(plain(admCid + kNowText)).answer, Answer::Ack);
    EXPECT_EQ(reception.take(plain(admCid + stamp(kNow.addSecs(-1)))).answer, Answer::Nak);
    EXPECT_EQ(reception.take(plain(admCid + stamp(kNow.addSecs(1)))).answer, Answer::Nak);
}

TEST(Dc09ReceiverTest, RepeatedMessagesAreAcknowledgedAgainAndRaisedOnce) {
    Reception reception;
    const QByteArray first = plain("\"ADM-CID\"0005L0#1234[#1234|1130 01 005]");
    const struct {
        const char* name;
        QByteArray frame;
        int secondsAfterFirst;
        Reason reason;
    } steps[] = {
        {"first", first, 0, Reason::Taken},
        {"again, 59 s later", first, 59, Reason::Duplicate},
        {"same sequence, other event", plain("\"ADM-CID\"0005L0#1234[#1234|1131 01 005]"), 59, Reason::Taken},
        {"same sequence and event, other account", plain("\"ADM-CID\"0005L0#4321[#4321|1130 01 005]"), 59,
         Reason::Taken},
        {"other sequence", plain("\"ADM-CID\"0006L0#1234[#1234|1130 01 005]"), 59, Reason::Taken},
        {"NULL is a contact each time", plain("\"NULL\"0005L0#1234[]"), 59, Reason::Supervision},
        {"NULL again", plain("\"NULL\"0005L0#1234[]"), 59, Reason::Supervision},
    };
    for (const auto& s : steps) {
        const Dc09Outcome outcome = reception.take(s.frame, kNow.addSecs(s.secondsAfterFirst));
        EXPECT_EQ(outcome.answer, Answer::Ack) << s.name;
        EXPECT_EQ(outcome.reason, s.reason) << s.name;
        EXPECT_EQ(outcome.events.isEmpty(), s.reason != Reason::Taken) << s.name;
    }
    // The event changed at 59 s; the first one, sent again, is new again.
    EXPECT_EQ(reception.take(first, kNow.addSecs(60)).reason, Reason::Taken);
    EXPECT_EQ(reception.take(first, kNow.addSecs(119)).reason, Reason::Duplicate);
    EXPECT_EQ(reception.take(first, kNow.addSecs(180)).reason, Reason::Taken) << "a minute later it is new";

    // An encrypted message sent again has new padding and a new timestamp: still the same message.
    const QByteArray head = "\"*SIA-DCS\"0100L0#ABC[";
    const QByteArray data = "#ABC|Nri1/BA5]";
    EXPECT_EQ(reception.take(sealed(head, kKey128, data + kNowText)).reason, Reason::Taken);
    const QByteArray resent = Dc09Envelope::wrap(
        head + Dc09Envelope::encryptTail(kKey128, data + stamp(kNow.addSecs(30)), [] { return 29u; }));
    const Dc09Outcome again = reception.take(resent, kNow.addSecs(30));
    EXPECT_EQ(again.reason, Reason::Duplicate);
    EXPECT_EQ(answerHeader(again.reply).encrypted, true) << "acknowledged as the first time";
}

TEST(Dc09ReceiverTest, DataAccountIsTheEventsAndFrameAccountTheReportingOne) {
    const struct {
        const char* name;
        QByteArray frame;
        quint16 reportAccount;
        QList<quint16> eventAccounts;
    } cases[] = {
        {"same account", plain("\"ADM-CID\"0001L0#1234[#1234|1130 01 005]"), 0x1234, {0x1234}},
        {"dependent account", plain("\"ADM-CID\"0001L0#1234[#0B20|1130 01 005]"), 0x1234, {0x0B20}},
        {"three digits each", plain("\"SIA-DCS\"0001L0#123[#456|NBA1/BR1]"), 0x0123, {0x0456, 0x0456}},
        {"encrypted, dependent",
         sealed("\"*ADM-CID\"0001L0#5678[", kKey256, "#00FF|1130 01 005]" + kNowText),
         0x5678,
         {0x00FF}},
    };
    for (const auto& c : cases) {
        Reception reception;
        const Dc09Outcome outcome = reception.take(c.frame);
        ASSERT_EQ(outcome.reason, Reason::Taken) << c.name;
        EXPECT_EQ(outcome.reportAccount, c.reportAccount) << c.name;
        QList<quint16> accounts;
        for (const Dc09Content::Event& e : outcome.events)
            accounts.append(e.account);
        EXPECT_EQ(accounts, c.eventAccounts) << c.name;
    }
    // The reporting account of a NULL message too.
    Reception reception;
    EXPECT_EQ(reception.take(plain("\"NULL\"0000L0#0B20[]")).reportAccount, 0x0B20);
}
