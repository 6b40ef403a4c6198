#include "tests/support/HostileFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void removeWhatIsThere(const QString& path) {
    const QFileInfo info(path);
    if (info.isDir() && !info.isSymLink())
        QDir(path).removeRecursively();
    else
        QFile::remove(path);
}

} // namespace

QByteArray HostileFiles::junk(qsizetype size, quint32 seed) {
    QRandomGenerator random(seed);
    QByteArray bytes(size, '\0');
    for (char& byte : bytes)
        byte = static_cast<char>(random.bounded(256u));
    return bytes;
}

bool HostileFiles::makeSparse(const QString& path, qint64 size) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const bool sized = ::ftruncate(fd, off_t(size)) == 0;
    ::close(fd);
    return sized;
}

QString HostileFiles::outsidePath(const QString& name) const {
    return m_outside.filePath(name);
}

QByteArray HostileFiles::outsideContent(const QString& name) const {
    QFile file(outsidePath(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void HostileFiles::place(const TempDataDir& dir, const QString& name, HostileKind kind,
                         const QByteArray& outsideContent) {
    const QString path = dir.file(name);
    removeWhatIsThere(path);
    switch (kind) {
    case HostileKind::Fifo:
        ::mkfifo(QFile::encodeName(path).constData(), 0644);
        break;
    case HostileKind::Directory:
        QDir().mkpath(path + QStringLiteral("/inside"));
        break;
    case HostileKind::LinkOutside: {
        QFile target(outsidePath(name));
        if (target.open(QIODevice::WriteOnly | QIODevice::Truncate))
            target.write(outsideContent);
        target.close();
        QFile::link(outsidePath(name), path);
        break;
    }
    case HostileKind::HugeSparse:
        makeSparse(path, kHugeBytes);
        break;
    case HostileKind::BinaryJunk:
        dir.write(name, junk(kJunkBytes));
        break;
    }
}
