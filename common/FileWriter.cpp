#include "common/FileWriter.h"

#include <QFileInfo>
#include <QSaveFile>

#include <fcntl.h>
#include <unistd.h>

void syncDirectory(const QString& directory) {
    const int fd = ::open(QFile::encodeName(directory).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

bool writeFileWhole(const QString& path, const QByteArray& content, QFileDevice::Permissions permissions) {
    // A data file is a regular file of its directory: a link in its place is
    // replaced by the new file, never written through (the save would otherwise
    // overwrite whatever file the link names, wherever it is).
    QSaveFile file(path);
    file.setDirectWriteFallback(false);
    if (QFileInfo(path).isSymLink() && ::unlink(QFile::encodeName(path).constData()) != 0)
        return false;
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
