#include "common/TextDecoding.h"

#include <array>

namespace {

// Code points of the bytes 0x80 to 0x9F in Windows-1252; the rest is Latin-1.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

} // namespace

namespace TextDecoding {

QString fromWindows1252(QByteArrayView bytes) {
    QString text(bytes.size(), Qt::Uninitialized);
    QChar* out = text.data();
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        *out++ = (byte >= 0x80 && byte <= 0x9F) ? QChar(kHighControls[byte - 0x80]) : QChar(byte);
    }
    return text;
}

QString decode(QByteArrayView bytes) {
    if (bytes.isValidUtf8())
        return QString::fromUtf8(bytes);
    return fromWindows1252(bytes);
}

QString leftWhole(const QString& text, qsizetype max) {
    if (text.size() <= max)
        return text;
    qsizetype length = max;
    if (length > 0 && text[length].isLowSurrogate() && text[length - 1].isHighSurrogate())
        --length;
    return text.left(length);
}

} // namespace TextDecoding
