#include "common/HexText.h"

namespace HexText {

QString hex4(quint16 value) {
    return QStringLiteral("%1").arg(value, 4, 16, QLatin1Char('0')).toUpper();
}

QString hex8(quint32 value) {
    return QStringLiteral("%1").arg(value, 8, 16, QLatin1Char('0')).toUpper();
}

QByteArray hex4Bytes(quint16 value) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    QByteArray out(4, '0');
    for (int i = 3; i >= 0; --i) {
        out[i] = kDigits[value & 0xF];
        value >>= 4;
    }
    return out;
}

namespace {

// "%X": leading blanks skipped, then as many hex digits as follow.
template <typename Text> bool parseHexDigits(const Text& text, quint32& value) {
    qsizetype i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    quint32 result = 0;
    bool any = false;
    for (; i < text.size(); ++i) {
        const unsigned c = static_cast<unsigned>(text[i]);
        unsigned digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            break;
        result = (result << 4) | digit;
        any = true;
    }
    if (any)
        value = result;
    return any;
}

} // namespace

void writeHex(char* out, quint32 value, int digits) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    for (int i = digits - 1; i >= 0; --i) {
        out[i] = kDigits[value & 0xF];
        value >>= 4;
    }
}

void appendHex(QByteArray& out, quint32 value, int digits) {
    digits = qBound(1, digits, 8);
    char text[8];
    writeHex(text, value, digits);
    out.append(text, digits);
}

bool parseHex(QStringView text, quint32& value) {
    struct Units {
        QStringView view;
        qsizetype size() const { return view.size(); }
        char16_t operator[](qsizetype i) const { return view[i].unicode(); }
    };
    return parseHexDigits(Units{text}, value);
}

bool parseHex(QByteArrayView text, quint32& value) {
    struct Bytes {
        QByteArrayView view;
        qsizetype size() const { return view.size(); }
        unsigned char operator[](qsizetype i) const { return static_cast<unsigned char>(view[i]); }
    };
    return parseHexDigits(Bytes{text}, value);
}

} // namespace HexText
