#include "common/FileWriter.h"

#include "common/DataFileReader.h"

#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

void syncDirectory(const QString& directory) {
    const int fd = ::open(QFile::encodeName(directory).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

DataFileForWriting openDataFileForWriting(const QString& path, bool create, unsigned mode) {
    DataFileForWriting opened;
    const int flags = O_RDWR | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | (create ? O_CREAT : 0);
    const int fd = ::open(QFile::encodeName(path).constData(), flags, mode_t(mode));
    if (fd < 0) {
        const int error = errno;
        if (error == ELOOP)
            opened.problem = QStringLiteral("\"%1\" é um link simbólico: nada é gravado através dele").arg(path);
        else if (error == EISDIR)
            opened.problem = QStringLiteral("\"%1\" não é um arquivo comum (é %2): nada é gravado nele")
                                 .arg(path, DataFileReader::kindOf(S_IFDIR));
        else
            opened.problem = QStringLiteral("\"%1\": %2").arg(path, QString::fromLocal8Bit(std::strerror(error)));
        errno = error;
        return opened;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        opened.problem = QStringLiteral("\"%1\" não é um arquivo comum (é %2): nada é gravado nele")
                             .arg(path, DataFileReader::kindOf(info.st_mode));
        ::close(fd);
        errno = EINVAL;
        return opened;
    }
    opened.fd = fd;
    opened.size = qint64(info.st_size);
    return opened;
}

QString moveAside(const QString& path, const QString& suffix) {
    constexpr int kMaxTries = 100;
    const QByteArray from = QFile::encodeName(path);
    for (int attempt = 1; attempt <= kMaxTries; ++attempt) {
        const QString target =
            attempt == 1 ? path + suffix : path + suffix + QLatin1Char('.') + QString::number(attempt);
        const QByteArray to = QFile::encodeName(target);
        int done = ::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE);
        if (done != 0 && errno == EINVAL) {
            // A file system without the no-replace rename: the name is looked at first.
            struct stat taken {};
            if (::lstat(to.constData(), &taken) == 0)
                continue;
            done = ::rename(from.constData(), to.constData());
        }
        if (done == 0) {
            syncDirectory(QFileInfo(path).absolutePath());
            return target;
        }
        if (errno != EEXIST)
            return {};
    }
    return {};
}

bool writeFileWhole(const QString& path, const QByteArray& content, QFileDevice::Permissions permissions) {
    // A data file is a regular file of its directory: a link in its place is
    // replaced by the new file, never written through (the save would otherwise
    // overwrite whatever file the link names, wherever it is).
    QSaveFile file(path);
    file.setDirectWriteFallback(false);
    const QFileInfo info(path);
    if (info.isSymLink() && ::unlink(QFile::encodeName(path).constData()) != 0)
        return false;
    // A new file holds the alarm history or the client register: its owner
    // writes it, its group may read it, nobody else has it.
    if (!permissions && (info.isSymLink() || !info.exists()))
        permissions = kNewDataFilePermissions;
    if (!file.open(QIODevice::WriteOnly))
        return false;
    // Set on the temporary file, so the content is never readable by others, not even for a moment.
    if (permissions && !file.setPermissions(permissions)) {
        file.cancelWriting();
        return false;
    }
    if (file.write(content) != content.size()) {
        file.cancelWriting();
        return false;
    }
    // The content on the disk before the rename. QSaveFile::commit syncs the
    // temporary file as well (Qt 6.4 on Linux), but goes on to the rename when
    // that sync fails; here a failed sync keeps the old file. The second sync
    // in commit finds nothing left to write.
    if (!file.flush() || ::fdatasync(file.handle()) != 0) {
        file.cancelWriting();
        return false;
    }
    if (!file.commit())
        return false;
    syncDirectory(QFileInfo(path).absolutePath());
    return true;
}
