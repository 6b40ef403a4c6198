#pragma once

#include <QByteArray>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

// What the fuzz targets share: the check that stops at the first broken
// property, and a reader that takes values off the front of an input.

// Stops the run when a property does not hold; libFuzzer and the smoke driver
// then keep the input that broke it.
inline void require(bool holds) {
    if (!holds)
        __builtin_trap();
}

class FuzzInput {
public:
    FuzzInput(const uint8_t* data, size_t size) : m_data(data, size) {}

    bool empty() const { return m_data.empty(); }
    size_t size() const { return m_data.size(); }

    // The next byte; 0 once the input is used up.
    uint8_t byte() {
        if (m_data.empty())
            return 0;
        const uint8_t value = m_data.front();
        m_data = m_data.subspan(1);
        return value;
    }
    uint16_t u16() { return uint16_t(byte() | (byte() << 8)); }

    // The next count bytes, fewer at the end of the input.
    std::span<const uint8_t> take(size_t count) {
        const std::span<const uint8_t> taken = m_data.first(std::min(count, m_data.size()));
        m_data = m_data.subspan(taken.size());
        return taken;
    }
    std::span<const uint8_t> rest() { return take(m_data.size()); }

private:
    std::span<const uint8_t> m_data;
};

inline QByteArray bytesOf(std::span<const uint8_t> bytes) {
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
}
