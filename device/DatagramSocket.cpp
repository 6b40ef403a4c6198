#include "device/DatagramSocket.h"

#include <QSocketNotifier>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Room for the SO_RXQ_OVFL control message of one datagram.

sockaddr_in ipv4(quint32 address, quint16 port) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(address);
    return to;
}

QString systemError(int error) {
    return qt_error_string(error);
}

} // namespace

DatagramSocket::DatagramSocket(QObject* parent) : QObject(parent) {}

DatagramSocket::~DatagramSocket() {
    close();
}

bool DatagramSocket::open(quint16 port) {
    close();
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        m_error = systemError(errno);
        return false;
    }
    const sockaddr_in local = ipv4(INADDR_ANY, port);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        m_error = systemError(errno);
        ::close(fd);
        return false;
    }
    // A privileged process may go past net.core.rmem_max; any other gets at most that cap.
    const int requested = kRequestedReceiveBuffer;
    if (::setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &requested, sizeof requested) != 0)
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &requested, sizeof requested);
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_RXQ_OVFL, &on, sizeof on);

    sockaddr_in bound{};
    socklen_t boundLength = sizeof bound;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &boundLength);
    m_fd = fd;
    m_localPort = ntohs(bound.sin_port);
    m_error.clear();
    m_dropped = {};
    rearm();
    return true;
}

void DatagramSocket::close() {
    m_notifier.reset();
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_localPort = 0;
}

int DatagramSocket::receiveBufferSize() const {
    int size = 0;
    socklen_t length = sizeof size;
    if (m_fd < 0 || ::getsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &size, &length) != 0)
        return 0;
    return size;
}

void DatagramSocket::rearm() {
    m_notifier.reset();
    if (m_fd < 0)
        return;
    m_notifier = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &DatagramSocket::readyRead);
    m_notifier->setEnabled(true);
}

int DatagramSocket::receiveBatch(std::span<ReceivedDatagram> batch) {
    if (m_fd < 0)
        return -1;
    return receiveUdpBatch<kBatchSize>(m_fd, batch, m_dropped);
}

int DatagramSocket::sendBatch(std::span<const OutgoingDatagram> batch) {
    if (m_fd < 0)
        return 0;
    int sent = 0;
    while (!batch.empty()) {
        const size_t count = std::min(batch.size(), size_t(kBatchSize));
        std::array<mmsghdr, kBatchSize> messages{};
        std::array<iovec, kBatchSize> vectors{};
        std::array<sockaddr_in, kBatchSize> receivers{};
        for (size_t i = 0; i < count; ++i) {
            receivers[i] = ipv4(batch[i].address, batch[i].port);
            vectors[i] = {const_cast<quint8*>(batch[i].bytes.data()), batch[i].bytes.size()};
            msghdr& header = messages[i].msg_hdr;
            header.msg_name = &receivers[i];
            header.msg_namelen = sizeof receivers[i];
            header.msg_iov = &vectors[i];
            header.msg_iovlen = 1;
        }
        int done;
        do {
            done = ::sendmmsg(m_fd, messages.data(), unsigned(count), MSG_DONTWAIT);
        } while (done < 0 && errno == EINTR);
        // A datagram the kernel refuses is skipped, so one bad receiver does not hold back the rest.
        const size_t passed = done > 0 ? size_t(done) : 1;
        sent += std::max(done, 0);
        batch = batch.subspan(passed);
    }
    return sent;
}

bool DatagramSocket::hasQueuedDatagrams() const {
    if (m_fd < 0)
        return false;
    char none;
    // A zero-length peek returns 0 for any queued datagram (even an empty one) and fails when none waits.
    return ::recv(m_fd, &none, 0, MSG_PEEK | MSG_DONTWAIT) >= 0;
}
