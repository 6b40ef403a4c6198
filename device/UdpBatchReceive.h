#pragma once

#include <QtGlobal>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <span>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

// The kernel's count of datagrams dropped on a full receive buffer
// (SO_RXQ_OVFL), as each datagram read carries it.
struct KernelDropCount {
    quint32 lastCounter = 0; // the kernel's running count, as the last datagram carried it
    quint64 drops = 0;
};

// Reads up to batch.size() (at most MaxBatch) datagrams from a non-blocking
// IPv4 UDP socket in one call, without waiting. Each slot is a datagram
// record with `bytes` (a fixed array, a longer datagram is cut at its size),
// `length`, `address` and `port` (host byte order). Returns how many were
// read: 0 when none waits, -1 on an error of the socket.
template <size_t MaxBatch, typename Datagram>
int receiveUdpBatch(int fd, std::span<Datagram> batch, KernelDropCount& dropped) {
    constexpr size_t kControlLength = CMSG_SPACE(sizeof(quint32));
    const size_t count = std::min(batch.size(), MaxBatch);
    std::array<mmsghdr, MaxBatch> messages{};
    std::array<iovec, MaxBatch> vectors{};
    std::array<sockaddr_in, MaxBatch> senders{};
    std::array<std::array<char, kControlLength>, MaxBatch> controls{};
    for (size_t i = 0; i < count; ++i) {
        vectors[i] = {batch[i].bytes.data(), batch[i].bytes.size()};
        msghdr& header = messages[i].msg_hdr;
        header.msg_name = &senders[i];
        header.msg_namelen = sizeof senders[i];
        header.msg_iov = &vectors[i];
        header.msg_iovlen = 1;
        header.msg_control = controls[i].data();
        header.msg_controllen = controls[i].size();
    }
    int read;
    do {
        read = ::recvmmsg(fd, messages.data(), unsigned(count), MSG_DONTWAIT, nullptr);
    } while (read < 0 && errno == EINTR);
    if (read < 0)
        return (errno == EAGAIN || errno == EWOULDBLOCK) ? 0 : -1;

    for (int i = 0; i < read; ++i) {
        Datagram& datagram = batch[size_t(i)];
        datagram.length = int(std::min<size_t>(messages[size_t(i)].msg_len, datagram.bytes.size()));
        datagram.address = ntohl(senders[size_t(i)].sin_addr.s_addr);
        datagram.port = ntohs(senders[size_t(i)].sin_port);
        msghdr& header = messages[size_t(i)].msg_hdr;
        for (cmsghdr* control = CMSG_FIRSTHDR(&header); control; control = CMSG_NXTHDR(&header, control)) {
            if (control->cmsg_level != SOL_SOCKET || control->cmsg_type != SO_RXQ_OVFL)
                continue;
            quint32 counter = 0;
            std::memcpy(&counter, CMSG_DATA(control), sizeof counter);
            dropped.drops += quint32(counter - dropped.lastCounter); // the kernel's count wraps at 32 bits
            dropped.lastCounter = counter;
        }
    }
    return read;
}
