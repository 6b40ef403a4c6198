#include "shell/SignalHandling.h"

#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The write end of the self-pipe. A signal handler can reach nothing else; it
// is set once before the handlers are installed and never changed afterwards.
int g_signalWriteFd = -1;

void onTerminationSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_signalWriteFd, &byte, 1);
}

} // namespace

void installTerminationHandler(QObject* parent, std::function<void()> onTerminate) {
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0)
        return;
    g_signalWriteFd = fds[0];
    auto* notifier = new QSocketNotifier(fds[1], QSocketNotifier::Read, parent);
    QObject::connect(notifier, &QSocketNotifier::activated, notifier,
                     [notifier, fd = fds[1], onTerminate = std::move(onTerminate)] {
                         char byte;
                         [[maybe_unused]] const ssize_t got = ::read(fd, &byte, 1);
                         // Every signal is answered: a second one may end what the first began.
                         onTerminate();
                     });

    struct sigaction action {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}
