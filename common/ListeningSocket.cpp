#include "common/ListeningSocket.h"

#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Errors of a connection that came and went before it was taken: accept
// passes them on, the connection is gone, and the next one may be fine.
bool connectionLost(int error) {
    switch (error) {
    case ECONNABORTED:
    case EPROTO:
    case EPERM:
    case ENETDOWN:
    case ENETUNREACH:
    case ENOPROTOOPT:
    case EHOSTDOWN:
    case EHOSTUNREACH:
    case ENONET:
    case EOPNOTSUPP:
        return true;
    default:
        return false;
    }
}

} // namespace

ListeningSocket::ListeningSocket(Accepted accepted, QObject* parent)
    : QObject(parent), m_accepted(std::move(accepted)) {
    m_backOff.setSingleShot(true);
    connect(&m_backOff, &QTimer::timeout, this, &ListeningSocket::resume);
}

ListeningSocket::~ListeningSocket() {
    close();
}

bool ListeningSocket::listen(Interface interface, quint16 port, int backlog) {
    close();
    const int descriptor = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (descriptor < 0) {
        m_error = qt_error_string(errno);
        return false;
    }
    const int on = 1;
    ::setsockopt(descriptor, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(interface == Interface::Loopback ? INADDR_LOOPBACK : INADDR_ANY);
    socklen_t length = sizeof address;
    if (::bind(descriptor, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(descriptor, backlog) != 0 ||
        ::getsockname(descriptor, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        m_error = qt_error_string(errno);
        ::close(descriptor);
        return false;
    }
    m_descriptor = descriptor;
    m_port = ntohs(address.sin_port);
    m_error.clear();
    m_notifier = std::make_unique<QSocketNotifier>(descriptor, QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &ListeningSocket::acceptPending);
    return true;
}

void ListeningSocket::close() {
    m_backOff.stop();
    m_nextBackOff = kFirstBackOff;
    m_failing = false;
    m_notifier.reset();
    if (m_descriptor >= 0)
        ::close(m_descriptor);
    m_descriptor = -1;
    m_port = 0;
}

void ListeningSocket::acceptPending() {
    for (int taken = 0; taken < kAcceptsPerRound && m_descriptor >= 0; ++taken) {
        const int descriptor = ::accept4(m_descriptor, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (descriptor < 0) {
            const int error = errno;
            if (error == EAGAIN || error == EWOULDBLOCK)
                return;
            if (error == EINTR || connectionLost(error))
                continue;
            backOff(error);
            return;
        }
        m_nextBackOff = kFirstBackOff;
        if (m_failing) {
            m_failing = false;
            if (m_problem)
                m_problem(false, {});
        }
        m_accepted(descriptor);
    }
}

void ListeningSocket::backOff(int error) {
    ++m_backOffs;
    m_notifier->setEnabled(false);
    m_backOff.start(m_nextBackOff);
    m_nextBackOff = std::min(m_nextBackOff * 2, kLongestBackOff);
    if (!m_failing) {
        m_failing = true;
        if (m_problem)
            m_problem(true, qt_error_string(error));
    }
}

void ListeningSocket::resume() {
    // Level-triggered: the connections that waited meanwhile fire it at once.
    if (m_notifier)
        m_notifier->setEnabled(true);
}

void ListeningSocket::refuse(int descriptor) {
    const linger reset{1, 0};
    ::setsockopt(descriptor, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    ::close(descriptor);
}
