#include "common/Crc16.h"

#include <array>

namespace {

constexpr std::array<quint16, 256> makeTable() {
    std::array<quint16, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        quint16 crc = static_cast<quint16>(i);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<quint16>((crc >> 1) ^ 0xA001) : static_cast<quint16>(crc >> 1);
        table[i] = crc;
    }
    return table;
}

constexpr auto kTable = makeTable();

} // namespace

namespace Crc16 {

quint16 arc(const char* data, qsizetype length, quint16 initial) {
    quint16 crc = initial;
    for (qsizetype i = 0; i < length; ++i)
        crc = static_cast<quint16>((crc >> 8) ^ kTable[(crc ^ static_cast<quint8>(data[i])) & 0xFF]);
    return crc;
}

} // namespace Crc16
