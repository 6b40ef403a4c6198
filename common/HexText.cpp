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

bool parseHex(QStringView text, quint32& value) {
    qsizetype i = 0;
    while (i < text.size() && (text[i] == u' ' || text[i] == u'\t'))
        ++i;
    quint32 result = 0;
    bool any = false;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        int digit;
        if (c >= u'0' && c <= u'9')
            digit = c - u'0';
        else if (c >= u'a' && c <= u'f')
            digit = c - u'a' + 10;
        else if (c >= u'A' && c <= u'F')
            digit = c - u'A' + 10;
        else
            break;
        result = (result << 4) | static_cast<quint32>(digit);
        any = true;
    }
    if (any)
        value = result;
    return any;
}

} // namespace HexText
