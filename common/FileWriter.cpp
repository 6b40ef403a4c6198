#include "common/FileWriter.h"

#include <QSaveFile>

bool writeFileWhole(const QString& path, const QByteArray& content, QFileDevice::Permissions permissions) {
    QSaveFile file(path);
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
    return file.commit();
}
