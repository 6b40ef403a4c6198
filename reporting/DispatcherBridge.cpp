#include "reporting/DispatcherBridge.h"

#include <QtEndian>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

constexpr mode_t kRingMode = 0666;
constexpr mode_t kDirectoryMode = 01777;

void report(const char* what, const QByteArray& name) {
    std::fprintf(stderr, "atalaia: dispatcher ring %s: %s: %s\n", name.constData(), what, std::strerror(errno));
}

// The file name of a process's executable, or nothing when it cannot be read
// (a process of another user, or one gone).
QByteArray executableName(const char* pid) {
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%s/exe", pid);
    char target[4096];
    const ssize_t length = ::readlink(path, target, sizeof target - 1);
    if (length <= 0)
        return {};
    const QByteArray link(target, length);
    return link.mid(link.lastIndexOf('/') + 1);
}

} // namespace

DispatcherBridge::DispatcherBridge(DispatcherNames names, int watchIntervalMs, QObject* parent)
    : QObject(parent), m_names(std::move(names)) {
    m_watcher.setInterval(watchIntervalMs);
    connect(&m_watcher, &QTimer::timeout, this, &DispatcherBridge::watch);
}

DispatcherBridge::~DispatcherBridge() {
    StopDispatcherBridge();
}

bool DispatcherBridge::StartDispatcherBridge() {
    StopDispatcherBridge();
    const int fd = ::shm_open(m_names.ring.constData(), O_CREAT | O_RDWR | O_CLOEXEC, kRingMode);
    if (fd < 0) {
        report("cannot be opened", m_names.ring);
        return false;
    }
    // Open to every user whatever the umask; a ring of another owner keeps its mode.
    ::fchmod(fd, kRingMode);
    struct stat info {};
    if (::fstat(fd, &info) != 0 || (info.st_size < kRingSize && ::ftruncate(fd, kRingSize) != 0)) {
        report("cannot be given its 12800 bytes", m_names.ring);
        ::close(fd);
        return false;
    }
    void* mapped = ::mmap(nullptr, kRingSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    ::close(fd);
    if (mapped == MAP_FAILED) {
        report("cannot be mapped", m_names.ring);
        return false;
    }
    m_ring = static_cast<char*>(mapped);
    m_nextSlot = 0;
    m_pid = 0;
    // The listeners' directory, open to every user like /tmp.
    const QByteArray directory = m_names.notificationDirectory.toLocal8Bit();
    if (::mkdir(directory.constData(), kDirectoryMode) == 0)
        ::chmod(directory.constData(), kDirectoryMode);
    m_watcher.start();
    QMetaObject::invokeMethod(this, &DispatcherBridge::watch, Qt::QueuedConnection);
    return true;
}

void DispatcherBridge::StopDispatcherBridge() {
    m_watcher.stop();
    if (m_ring)
        ::munmap(m_ring, kRingSize);
    m_ring = nullptr;
    m_pid = 0;
}

bool DispatcherBridge::WriteDispatcherRecord(const QByteArray& record) {
    if (!m_ring || m_pid == 0)
        return false;
    char* slot = m_ring + m_nextSlot * kSlotSize;
    const auto length = std::min<qsizetype>(record.size(), kRecordBytes);
    std::memcpy(slot, record.constData(), size_t(length));
    std::memset(slot + length, 0, size_t(kRecordBytes + 1 - length)); // the NUL, and byte 47
    notify(m_nextSlot);
    m_nextSlot = (m_nextSlot + 1) % kSlotCount;
    return true;
}

void DispatcherBridge::notify(int slot) const {
    const int sender = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (sender < 0)
        return;
    char message[8];
    qToLittleEndian<quint32>(quint32(slot), message);
    qToLittleEndian<quint32>(0, message + 4);
    const QByteArray directory = m_names.notificationDirectory.toLocal8Bit();
    if (DIR* listeners = ::opendir(directory.constData())) {
        while (const dirent* entry = ::readdir(listeners)) {
            if (entry->d_name[0] == '.')
                continue;
            sockaddr_un to{};
            to.sun_family = AF_UNIX;
            const int written =
                std::snprintf(to.sun_path, sizeof to.sun_path, "%s/%s", directory.constData(), entry->d_name);
            if (written <= 0 || size_t(written) >= sizeof to.sun_path)
                continue;
            // A listener that is gone or busy misses this one; nobody is waited for.
            ::sendto(sender, message, sizeof message, MSG_DONTWAIT, reinterpret_cast<const sockaddr*>(&to), sizeof to);
        }
        ::closedir(listeners);
    }
    ::close(sender);
}

bool DispatcherBridge::dispatcherAlive() const {
    char pid[32];
    std::snprintf(pid, sizeof pid, "%d", int(m_pid));
    // Gone, or its number already taken by another program: forgotten.
    return ::kill(m_pid, 0) == 0 && executableName(pid) == m_names.executable;
}

pid_t DispatcherBridge::findDispatcher() const {
    DIR* processes = ::opendir("/proc");
    if (!processes)
        return 0;
    pid_t found = 0;
    while (const dirent* entry = ::readdir(processes)) {
        if (entry->d_name[0] < '1' || entry->d_name[0] > '9')
            continue;
        if (executableName(entry->d_name) == m_names.executable) {
            found = pid_t(std::atoi(entry->d_name));
            break;
        }
    }
    ::closedir(processes);
    return found;
}

void DispatcherBridge::watch() {
    if (!m_ring)
        return;
    if (m_pid != 0 && dispatcherAlive())
        return; // still running: nothing to say
    m_pid = findDispatcher();
    emit dispatcherStatus(m_pid != 0);
}
