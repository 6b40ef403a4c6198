#include "device/Dc09Content.h"

#include "common/Dc09Codec.h"
#include "device/SiaCodeTable.h"

#include <optional>

namespace Dc09Content {

namespace {

constexpr char kAccountEnd = '|';
constexpr char kNewEvent = 'N';
constexpr char kBlockSeparator = '/';
constexpr char kTextMark = '^';
constexpr int kMaxPartitionDigits = 3;
inline constexpr char kPartitionModifier[] = "ri";
// "QEEE GG ZZZ"
constexpr int kCidLength = 11;

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool isHexDigit(char c) {
    return isDigit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

bool isUpper(char c) {
    return c >= 'A' && c <= 'Z';
}

bool isLower(char c) {
    return c >= 'a' && c <= 'z';
}

Read fault(Fault why) {
    return {{}, why};
}

// "#ACCT|" at the front of data: the account and what follows the bar.
struct Account {
    quint16 value = 0;
    QByteArrayView rest;
    Fault fault = Fault::None;
};

Account readAccount(QByteArrayView data) {
    Account account;
    if (data.isEmpty() || data[0] != Dc09::kAccountMark) {
        account.fault = Fault::Layout;
        return account;
    }
    qsizetype pos = 1;
    quint32 value = 0;
    while (pos < data.size() && isHexDigit(data[pos]) && pos <= Dc09::kMaxAccountDigits) {
        const char c = data[pos++];
        value = (value << 4) | quint32(isDigit(c) ? c - '0' : (c & ~0x20) - 'A' + 10);
    }
    const qsizetype digits = pos - 1;
    if (digits < Dc09::kMinAccountDigits || pos >= data.size() || data[pos] != kAccountEnd) {
        account.fault = Fault::Layout;
        return account;
    }
    if (digits > kMaxRegisterAccountDigits) {
        account.fault = Fault::AccountTooLong;
        return account;
    }
    account.value = static_cast<quint16>(value);
    account.rest = data.sliced(pos + 1);
    return account;
}

// The run of decimal digits at text[pos] (pos moves past it), at most max of them.
std::optional<int> digitsAt(QByteArrayView text, qsizetype& pos, int max) {
    const qsizetype start = pos;
    int value = 0;
    while (pos < text.size() && isDigit(text[pos])) {
        if (pos - start == max)
            return std::nullopt;
        value = value * 10 + (text[pos++] - '0');
    }
    return value;
}

bool isModifierValue(char c) {
    return isDigit(c) || c == ':' || c == '.' || c == '-';
}

} // namespace

Read readAdmCid(QByteArrayView data) {
    const Account account = readAccount(data);
    if (account.fault != Fault::None)
        return fault(account.fault);
    const QByteArrayView cid = account.rest;
    if (cid.size() != kCidLength || cid[4] != ' ' || cid[7] != ' ')
        return fault(Fault::Layout);
    const std::optional<int> qualifier = Dc09::fixedDecimal(cid, 0, 1);
    const std::optional<int> event = Dc09::fixedDecimal(cid, 1, 3);
    const std::optional<int> partition = Dc09::fixedDecimal(cid, 5, 2);
    const std::optional<int> zone = Dc09::fixedDecimal(cid, 8, 3);
    if (!qualifier || !event || !partition || !zone || (*qualifier != 1 && *qualifier != 3 && *qualifier != 6))
        return fault(Fault::Layout);
    Event read;
    read.account = account.value;
    read.code = static_cast<quint16>(*qualifier * 1000 + *event);
    read.partition = static_cast<quint8>(*partition);
    read.zone = static_cast<quint16>(*zone);
    return {{read}, Fault::None};
}

Read readSiaDcs(QByteArrayView data, const SiaCodeTable& table) {
    const Account account = readAccount(data);
    if (account.fault != Fault::None)
        return fault(account.fault);
    const QByteArrayView text = account.rest;
    if (text.isEmpty() || text[0] != kNewEvent)
        return fault(Fault::Layout);

    Read read;
    quint8 partition = 0;
    qsizetype pos = 1;
    while (pos < text.size()) {
        const char c = text[pos];
        if (c == kBlockSeparator) {
            ++pos;
        } else if (c == kTextMark) {
            const qsizetype end = text.indexOf(kTextMark, pos + 1);
            if (end < 0)
                return fault(Fault::Layout);
            pos = end + 1;
        } else if (isLower(c) && pos + 1 < text.size() && isLower(text[pos + 1])) {
            const QByteArrayView modifier = text.sliced(pos, 2);
            pos += 2;
            if (modifier == kPartitionModifier) {
                const qsizetype start = pos;
                const std::optional<int> value = digitsAt(text, pos, kMaxPartitionDigits);
                if (!value || pos == start || *value > kMaxPartition)
                    return fault(Fault::Layout);
                partition = static_cast<quint8>(*value);
            } else {
                while (pos < text.size() && isModifierValue(text[pos]))
                    ++pos;
            }
        } else if (isUpper(c) && pos + 1 < text.size() && isUpper(text[pos + 1])) {
            Event event;
            event.account = account.value;
            event.partition = partition;
            event.siaCode = text.sliced(pos, 2).toByteArray();
            pos += 2;
            const std::optional<int> zone = digitsAt(text, pos, kMaxZoneDigits);
            if (!zone)
                return fault(Fault::Layout);
            event.zone = static_cast<quint16>(*zone);
            if (const SiaCodeTable::Entry* entry = table.find(event.siaCode)) {
                event.code = entry->code;
                event.text = entry->text;
            } else {
                event.code = SiaCodeTable::kUnknownCode;
                event.known = false;
                event.text = QString::fromLatin1(SiaCodeTable::kUnknownText);
            }
            read.events.append(event);
        } else {
            return fault(Fault::Layout);
        }
    }
    if (read.events.isEmpty())
        return fault(Fault::Layout);
    return read;
}

} // namespace Dc09Content
