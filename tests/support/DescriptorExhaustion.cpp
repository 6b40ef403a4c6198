#include "tests/support/DescriptorExhaustion.h"

#include <QDir>

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

namespace {

// Room below the new limit: enough that filling it proves something, small
// enough that filling it takes no time.
constexpr rlim_t kHeadroom = 32;

rlim_t highestOpenDescriptor() {
    rlim_t highest = 2;
    const QStringList entries = QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System);
    for (const QString& entry : entries)
        highest = std::max<rlim_t>(highest, entry.toULong());
    return highest;
}

} // namespace

DescriptorExhaustion::DescriptorExhaustion() {
    if (::getrlimit(RLIMIT_NOFILE, &m_saved) == 0) {
        rlimit lowered = m_saved;
        lowered.rlim_cur = std::min(m_saved.rlim_cur, highestOpenDescriptor() + 1 + kHeadroom);
        m_lowered = ::setrlimit(RLIMIT_NOFILE, &lowered) == 0;
    }
    const int source = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (source < 0)
        return;
    m_held.push_back(source);
    for (;;) {
        const int copy = ::fcntl(source, F_DUPFD_CLOEXEC, 0);
        if (copy < 0)
            break;
        m_held.push_back(copy);
    }
}

DescriptorExhaustion::~DescriptorExhaustion() {
    releaseAll();
    if (m_lowered)
        ::setrlimit(RLIMIT_NOFILE, &m_saved);
}

bool DescriptorExhaustion::exhausted() const {
    const int probe = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (probe >= 0) {
        ::close(probe);
        return false;
    }
    return errno == EMFILE;
}

void DescriptorExhaustion::releaseAll() {
    for (int descriptor : m_held)
        ::close(descriptor);
    m_held.clear();
}
