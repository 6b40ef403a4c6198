#pragma once

#include <QtGlobal>

#include <span>

// One datagram to send in a batch.
struct OutgoingDatagram {
    std::span<const quint8> bytes;
    quint32 address = 0; // host byte order
    quint16 port = 0;
};

// Where the datagram server's answers go: its socket, or, on the receive path
// without a socket, whatever takes the place of one.
class DatagramSender {
public:
    virtual ~DatagramSender() = default;
    // Sends every datagram of the batch; returns how many went out.
    virtual int sendBatch(std::span<const OutgoingDatagram> batch) = 0;
    bool sendTo(std::span<const quint8> bytes, quint32 address, quint16 port) {
        const OutgoingDatagram datagram{bytes, address, port};
        return sendBatch(std::span<const OutgoingDatagram>(&datagram, 1)) == 1;
    }
};
