#include "common/Dc09Codec.h"

#include <QDate>
#include <QTime>

namespace Dc09 {

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool isHexDigit(char c) {
    return isDigit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// Reads a body from the front, one field at a time.
class Cursor {
public:
    explicit Cursor(QByteArrayView text) : m_text(text) {}

    bool atEnd() const { return m_pos >= m_text.size(); }
    char peek() const { return atEnd() ? '\0' : m_text[m_pos]; }
    QByteArrayView rest() const { return m_text.sliced(m_pos); }
    qsizetype position() const { return m_pos; }
    void moveTo(qsizetype position) { m_pos = position; }

    bool take(char c) {
        if (peek() != c || atEnd())
            return false;
        ++m_pos;
        return true;
    }

    // The longest run (up to max) of characters that pass; none when it is shorter than min.
    template <typename Pass> std::optional<QByteArrayView> run(Pass pass, qsizetype min, qsizetype max) {
        qsizetype end = m_pos;
        while (end < m_text.size() && end - m_pos < max && pass(m_text[end]))
            ++end;
        if (end - m_pos < min)
            return std::nullopt;
        const QByteArrayView taken = m_text.sliced(m_pos, end - m_pos);
        m_pos = end;
        return taken;
    }

    // The characters up to the next c (c is passed over); none when there is no c.
    std::optional<QByteArrayView> upTo(char c) {
        for (qsizetype end = m_pos; end < m_text.size(); ++end) {
            if (m_text[end] == c) {
                const QByteArrayView taken = m_text.sliced(m_pos, end - m_pos);
                m_pos = end + 1;
                return taken;
            }
        }
        return std::nullopt;
    }

private:
    QByteArrayView m_text;
    qsizetype m_pos = 0;
};

bool isIdCharacter(char c) {
    return c > ' ' && c < 0x7F && c != '"';
}

// The digits of an R or L field. In an answer that names no account
// ("...R0L0A0[") its mark "A" is a hexadecimal digit too: digits followed by
// "[" that hold an "A" after the first one end before the last "A".
std::optional<QByteArrayView> prefixField(Cursor& cursor) {
    const qsizetype start = cursor.position();
    const auto digits = cursor.run(isHexDigit, 1, kMaxPrefixDigits);
    if (!digits || cursor.peek() != '[')
        return digits;
    const qsizetype mark = digits->lastIndexOf(kAccountPrefixMark);
    if (mark < 1 || mark == digits->size() - 1)
        return digits;
    cursor.moveTo(start + mark);
    return digits->first(mark);
}

QByteArray headerText(const Header& header) {
    QByteArray out;
    out += '"';
    if (header.encrypted)
        out += kEncryptedMark;
    out += header.id;
    out += '"';
    out += header.sequence;
    if (header.receiver) {
        out += 'R';
        out += *header.receiver;
    }
    out += 'L';
    out += header.line;
    out += header.accountMark;
    out += header.account;
    out += '[';
    return out;
}

// What follows "[" in clear.
QByteArray clearTail(const Content& content) {
    QByteArray out = content.data;
    out += ']';
    for (const QByteArray& block : content.extended) {
        out += '[';
        out += block;
        out += ']';
    }
    if (content.timestamp)
        out += formatTimestamp(*content.timestamp);
    return out;
}

Header answerTo(const Header& message, const char* id) {
    Header answer = message;
    answer.id = id;
    answer.encrypted = false;
    answer.accountMark = kAccountMark;
    return answer;
}

} // namespace

std::optional<Split> readHeader(QByteArrayView body) {
    Cursor cursor(body);
    Split split;
    Header& header = split.header;
    if (!cursor.take('"'))
        return std::nullopt;
    header.encrypted = cursor.take(kEncryptedMark);
    const auto id = cursor.run(isIdCharacter, 1, kMaxIdLength);
    if (!id || !cursor.take('"'))
        return std::nullopt;
    header.id = id->toByteArray();

    const auto sequence = cursor.run(isDigit, kSequenceLength, kSequenceLength);
    if (!sequence)
        return std::nullopt;
    header.sequence = sequence->toByteArray();
    if (cursor.take('R')) {
        const auto receiver = prefixField(cursor);
        if (!receiver)
            return std::nullopt;
        header.receiver = receiver->toByteArray();
    }
    if (cursor.take('L')) {
        const auto line = prefixField(cursor);
        if (!line)
            return std::nullopt;
        header.line = line->toByteArray();
    }

    std::optional<QByteArrayView> account;
    if (cursor.take(kAccountMark)) {
        account = cursor.run(isHexDigit, kMinAccountDigits, kMaxAccountDigits);
    } else if (cursor.take(kAccountPrefixMark)) {
        header.accountMark = kAccountPrefixMark;
        account = cursor.run(isHexDigit, 1, kMaxAccountDigits);
    }
    if (!account || !cursor.take('['))
        return std::nullopt;
    header.account = account->toByteArray();
    split.tail = cursor.rest();
    return split;
}

std::optional<Content> readContent(QByteArrayView clear) {
    Cursor cursor(clear);
    Content content;
    const auto data = cursor.upTo(']');
    if (!data)
        return std::nullopt;
    content.data = data->toByteArray();
    while (cursor.take('[')) {
        const auto block = cursor.upTo(']');
        if (!block)
            return std::nullopt;
        content.extended.append(block->toByteArray());
    }
    if (cursor.peek() == '_' && !cursor.atEnd()) {
        content.timestamp = readTimestamp(cursor.rest());
        if (!content.timestamp)
            return std::nullopt;
        return content;
    }
    if (!cursor.atEnd())
        return std::nullopt;
    return content;
}

QByteArray formatTimestamp(const QDateTime& utc) {
    const QDateTime at = utc.toUTC();
    const QDate date = at.date();
    const QTime time = at.time();
    QByteArray out;
    out.reserve(kTimestampLength);
    auto digits = [&out](int value, int count) {
        char text[4];
        for (int i = count - 1; i >= 0; --i, value /= 10)
            text[i] = char('0' + value % 10);
        out.append(text, count);
    };
    out += '_';
    digits(time.hour(), 2);
    out += ':';
    digits(time.minute(), 2);
    out += ':';
    digits(time.second(), 2);
    out += ',';
    digits(date.month(), 2);
    out += '-';
    digits(date.day(), 2);
    out += '-';
    digits(qBound(0, date.year(), 9999), 4);
    return out;
}

std::optional<int> fixedDecimal(QByteArrayView text, qsizetype from, qsizetype digits) {
    int value = 0;
    for (qsizetype i = from; i < from + digits; ++i) {
        if (!isDigit(text[i]))
            return std::nullopt;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

std::optional<QDateTime> readTimestamp(QByteArrayView text) {
    // _HH:MM:SS,MM-DD-YYYY
    if (text.size() != kTimestampLength || text[0] != '_' || text[3] != ':' || text[6] != ':' || text[9] != ',' ||
        text[12] != '-' || text[15] != '-')
        return std::nullopt;
    const auto hour = fixedDecimal(text, 1, 2);
    const auto minute = fixedDecimal(text, 4, 2);
    const auto second = fixedDecimal(text, 7, 2);
    const auto month = fixedDecimal(text, 10, 2);
    const auto day = fixedDecimal(text, 13, 2);
    const auto year = fixedDecimal(text, 16, 4);
    if (!hour || !minute || !second || !month || !day || !year)
        return std::nullopt;
    const QDate date(*year, *month, *day);
    const QTime time(*hour, *minute, *second);
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    return QDateTime(date, time, Qt::UTC);
}

QByteArray frame(const Header& header, const Content& content) {
    Header clear = header;
    clear.encrypted = false;
    return Dc09Envelope::wrap(headerText(clear) + clearTail(content));
}

QByteArray encryptedFrame(Header header, const Content& content, QByteArrayView key,
                          const Dc09Envelope::RandomSource& random) {
    header.encrypted = true;
    const QByteArray tail = Dc09Envelope::encryptTail(key, clearTail(content), random);
    if (tail.isEmpty())
        return {};
    return Dc09Envelope::wrap(headerText(header) + tail);
}

QByteArray ack(const Header& message) {
    return frame(answerTo(message, kAck), {});
}

QByteArray encryptedAck(const Header& message, QByteArrayView key, const QDateTime& nowUtc,
                        const Dc09Envelope::RandomSource& random) {
    Content content;
    content.timestamp = nowUtc;
    return encryptedFrame(answerTo(message, kAck), content, key, random);
}

QByteArray nak(const QDateTime& nowUtc) {
    Header header;
    header.id = kNak;
    header.sequence = "0000";
    header.receiver = "0";
    header.line = "0";
    header.accountMark = kAccountPrefixMark;
    header.account = "0";
    Content content;
    content.timestamp = nowUtc;
    return frame(header, content);
}

QByteArray duh(const Header& message) {
    return frame(answerTo(message, kDuh), {});
}

} // namespace Dc09
