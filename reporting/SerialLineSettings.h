#pragma once

#include "reporting/ReportSettings.h"

#include <QSerialPort>

#include <array>

// The line settings a serial receiver port is given, taken from the indexes
// of the report settings.
struct SerialLineSettings {
    // "Taxa de bits", by index.
    static constexpr std::array<int, 16> kBaudRates = {0,     110,   300,   600,   1200,  2400,   4800,   9600,
                                                       14400, 19200, 38400, 56000, 57600, 115200, 128000, 256000};

    int baudRate = 9600;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;

    static SerialLineSettings from(const ReportSettings& settings) {
        SerialLineSettings line;
        const int baud = settings.baudIndex;
        line.baudRate = baud >= 0 && baud < int(kBaudRates.size()) ? kBaudRates[size_t(baud)] : 9600;
        line.dataBits = settings.dataBitsIndex == 0 ? QSerialPort::Data7 : QSerialPort::Data8;
        line.parity = settings.parityIndex == 1   ? QSerialPort::OddParity
                      : settings.parityIndex == 2 ? QSerialPort::EvenParity
                                                  : QSerialPort::NoParity;
        // Index 0 of "Bits de parada" gives one stop bit, any other index two.
        line.stopBits = settings.stopBitsIndex == 0 ? QSerialPort::OneStop : QSerialPort::TwoStop;
        return line;
    }

    // Bits on the line per character: start bit, data, parity, stop bits.
    int bitsPerCharacter() const {
        return 1 + int(dataBits) + (parity == QSerialPort::NoParity ? 0 : 1) +
               (stopBits == QSerialPort::OneStop ? 1 : 2);
    }

    // Time the line needs to transmit count characters, rounded up.
    int transmitMs(qsizetype count) const {
        if (baudRate <= 0)
            return 0;
        const qint64 bits = qint64(count) * bitsPerCharacter() * 1000;
        return int((bits + baudRate - 1) / baudRate);
    }
};
