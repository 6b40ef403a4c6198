#pragma once

#include <QtGlobal>

#include <array>

// The 128 keys from which a Multicom session key is drawn: entry A XOR entry B
// for the two challenge indexes. The table is fixed in the program and must
// be the one built into the devices; the server and the device simulator
// share this one. Its entries are the successive values of a 32-bit xorshift
// generator from a fixed seed, worked out when the program is compiled.
namespace Multicom {

constexpr int kKeyCount = 128;

constexpr std::array<quint32, kKeyCount> makeKeyTable() {
    std::array<quint32, kKeyCount> table{};
    quint32 state = 0x7A1A1A5Du;
    for (quint32& key : table) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        key = state;
    }
    return table;
}

inline constexpr std::array<quint32, kKeyCount> kKeyTable = makeKeyTable();

// The session key of the challenge indexes (each 0 to 127).
constexpr quint32 sessionKey(int indexA, int indexB) {
    return kKeyTable[size_t(indexA & 0x7F)] ^ kKeyTable[size_t(indexB & 0x7F)];
}

} // namespace Multicom
