#include "device/Dc09Receiver.h"

#include "config/Dc09Settings.h"
#include "device/SiaCodeTable.h"

namespace {

constexpr qint64 kMsPerSecond = 1000;

using Answer = Dc09Outcome::Answer;
using Reason = Dc09Outcome::Reason;

bool isAnswerId(const QByteArray& id) {
    return id == Dc09::kAck || id == Dc09::kNak || id == Dc09::kDuh;
}

// What a repetition must repeat: everything the device sends again unchanged
// (the padding and the timestamp of an encrypted message are new at each try).
QByteArray signature(const Dc09::Header& header, const Dc09::Content& content) {
    QByteArray out = header.id;
    for (const QByteArray* part : {&header.line, &content.data}) {
        out += '\0';
        out += *part;
    }
    out += '\0';
    out += header.receiver.value_or("-");
    for (const QByteArray& block : content.extended) {
        out += '\0';
        out += block;
    }
    return out;
}

} // namespace

const char* reasonText(Dc09Outcome::Reason reason) {
    switch (reason) {
    case Reason::Taken:
        return "taken";
    case Reason::Supervision:
        return "supervision";
    case Reason::Duplicate:
        return "repeated message";
    case Reason::BadEnvelope:
        return "bad envelope";
    case Reason::BadHeader:
        return "bad header";
    case Reason::NotAMessage:
        return "an answer, not a message";
    case Reason::UnknownId:
        return "unknown identifier";
    case Reason::AccountTooLong:
        return "account longer than four digits";
    case Reason::NoKey:
        return "encrypted, no key for the account";
    case Reason::PlainWithKey:
        return "in clear from an account with a key";
    case Reason::Undecryptable:
        return "does not decrypt";
    case Reason::BadContent:
        return "bad content";
    case Reason::NoTimestamp:
        return "encrypted without timestamp";
    case Reason::OutsideWindow:
        return "timestamp outside the window";
    }
    return "?";
}

bool Dc09RecentMessages::repeated(const QByteArray& key, const QByteArray& content, qint64 nowMs) {
    forgetBefore(nowMs - kWindowMs);
    const auto found = m_byKey.find(key);
    if (found != m_byKey.end() && found->content == content && nowMs - found->atMs < kWindowMs)
        return true;
    m_byKey.insert(key, Seen{content, nowMs});
    m_order.emplace_back(nowMs, key);
    while (m_byKey.size() > kMaxRemembered && !m_order.empty()) {
        const auto& [atMs, oldest] = m_order.front();
        const auto entry = m_byKey.find(oldest);
        if (entry != m_byKey.end() && entry->atMs == atMs)
            m_byKey.erase(entry);
        m_order.pop_front();
    }
    return false;
}

void Dc09RecentMessages::forgetBefore(qint64 oldestMs) {
    // A clock set back leaves entries "in the future": they go when their key comes again.
    while (!m_order.empty() && m_order.front().first <= oldestMs) {
        const auto& [atMs, key] = m_order.front();
        const auto entry = m_byKey.find(key);
        if (entry != m_byKey.end() && entry->atMs == atMs)
            m_byKey.erase(entry);
        m_order.pop_front();
    }
}

Dc09Receiver::Dc09Receiver(const Dc09Settings& settings, const SiaCodeTable& siaCodes,
                           Dc09Envelope::RandomSource random)
    : m_settings(settings), m_siaCodes(siaCodes), m_random(std::move(random)) {}

Dc09Outcome Dc09Receiver::take(QByteArrayView frame, const QString& address, quint16 port, const QDateTime& nowUtc) {
    Dc09Outcome outcome;
    outcome.address = address;
    outcome.port = port;
    auto silence = [&outcome](Reason reason) -> Dc09Outcome& {
        outcome.reason = reason;
        return outcome;
    };
    auto refuse = [&outcome](Reason reason) -> Dc09Outcome& {
        outcome.answer = Answer::Duh;
        outcome.reason = reason;
        outcome.reply = Dc09::duh(outcome.header);
        return outcome;
    };

    QByteArrayView body;
    if (Dc09Envelope::open(frame, body) != Dc09Envelope::Fault::None)
        return silence(Reason::BadEnvelope);
    const std::optional<Dc09::Split> split = Dc09::readHeader(body);
    if (!split || split->header.accountMark != Dc09::kAccountMark)
        return silence(Reason::BadHeader);
    outcome.header = split->header;
    const Dc09::Header& header = outcome.header;
    if (isAnswerId(header.id))
        return silence(Reason::NotAMessage);
    const bool supervision = header.id == Dc09::kNull;
    if (!supervision && header.id != Dc09::kAdmCid && header.id != Dc09::kSiaDcs)
        return refuse(Reason::UnknownId);
    if (header.account.size() > Dc09Content::kMaxRegisterAccountDigits)
        return refuse(Reason::AccountTooLong);

    // No downgrade: an account with a key speaks encrypted or is not heard.
    const QByteArray* key = m_settings.keyFor(header.account);
    if (header.encrypted && !key)
        return refuse(Reason::NoKey);
    if (!header.encrypted && key)
        return refuse(Reason::PlainWithKey);

    QByteArray decrypted;
    QByteArrayView clear = split->tail;
    if (header.encrypted) {
        Dc09Envelope::Tail tail = Dc09Envelope::decryptTail(*key, split->tail);
        if (!tail.ok())
            return refuse(Reason::Undecryptable);
        decrypted = std::move(tail.clear);
        clear = decrypted;
    }
    const std::optional<Dc09::Content> content = Dc09::readContent(clear);
    if (!content)
        return refuse(header.encrypted ? Reason::Undecryptable : Reason::BadContent);
    if (header.encrypted && !content->timestamp)
        return refuse(Reason::NoTimestamp);
    if (content->timestamp) {
        const qint64 offsetMs = content->timestamp->toMSecsSinceEpoch() - nowUtc.toMSecsSinceEpoch();
        if (offsetMs < -m_settings.lag * kMsPerSecond || offsetMs > m_settings.lead * kMsPerSecond) {
            outcome.answer = Answer::Nak;
            outcome.reason = Reason::OutsideWindow;
            outcome.reply = Dc09::nak(nowUtc);
            return outcome;
        }
    }

    Dc09Content::Read read;
    if (!supervision) {
        read = header.id == Dc09::kAdmCid ? Dc09Content::readAdmCid(content->data)
                                          : Dc09Content::readSiaDcs(content->data, m_siaCodes);
        if (read.fault == Dc09Content::Fault::AccountTooLong)
            return refuse(Reason::AccountTooLong);
        if (read.fault != Dc09Content::Fault::None)
            return refuse(Reason::BadContent);
    }

    outcome.answer = Answer::Ack;
    outcome.encrypted = header.encrypted;
    outcome.reportAccount = static_cast<quint16>(header.account.toUInt(nullptr, 16));
    outcome.reply = header.encrypted ? Dc09::encryptedAck(header, *key, nowUtc, m_random) : Dc09::ack(header);
    if (supervision) {
        outcome.reason = Reason::Supervision;
        return outcome;
    }
    const QByteArray recentKey = header.account.toUpper() + '/' + header.sequence;
    if (m_recent.repeated(recentKey, signature(header, *content), nowUtc.toMSecsSinceEpoch())) {
        outcome.reason = Reason::Duplicate;
        return outcome;
    }
    outcome.reason = Reason::Taken;
    outcome.events = std::move(read.events);
    return outcome;
}
