#include "device/SessionSocket.h"

#include "common/HexText.h"

#include <cerrno>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

SessionSocket::SessionSocket(SessionId id, int descriptor) : m_id(id), m_descriptor(descriptor) {
    ::fcntl(descriptor, F_SETFL, ::fcntl(descriptor, F_GETFL) | O_NONBLOCK);
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    if (::getpeername(descriptor, reinterpret_cast<sockaddr*>(&peer), &length) == 0 && peer.sin_family == AF_INET) {
        const quint32 address = ntohl(peer.sin_addr.s_addr);
        m_protocol.peerAddressHex = HexText::hex8(address).toLatin1();
        m_protocol.peerAddressText = QStringLiteral("%1.%2.%3.%4")
                                         .arg(address >> 24)
                                         .arg((address >> 16) & 0xFF)
                                         .arg((address >> 8) & 0xFF)
                                         .arg(address & 0xFF);
        m_protocol.peerPort = ntohs(peer.sin_port);
    }
}

SessionSocket::~SessionSocket() {
    ::close(m_descriptor);
}

int SessionSocket::receive() {
    ssize_t count;
    do {
        count = ::recv(m_descriptor, m_buffer.data(), kBufferSize, MSG_DONTWAIT);
    } while (count < 0 && errno == EINTR);
    if (count < 0) {
        m_failed = errno != EAGAIN && errno != EWOULDBLOCK;
        return -1;
    }
    return int(count);
}

bool SessionSocket::send(const char* data, int count) {
    const ssize_t sent = ::send(m_descriptor, data, size_t(count), MSG_DONTWAIT | MSG_NOSIGNAL);
    return sent == count;
}
