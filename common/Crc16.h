#pragma once

#include <QByteArrayView>
#include <QtGlobal>

// CRC-16/ARC: reflected polynomial 0xA001, initial value 0, no final XOR.
// Used by the TaviCom datagrams and the DC-09 frames; "123456789" gives 0xBB3D.
namespace Crc16 {

quint16 arc(const char* data, qsizetype length, quint16 initial = 0);

inline quint16 arc(QByteArrayView bytes, quint16 initial = 0) {
    return arc(bytes.data(), bytes.size(), initial);
}

} // namespace Crc16
