#include "tests/support/TempDataDir.h"

#include <QDir>
#include <QFile>

TempDataDir::TempDataDir(bool withBackup) {
    if (withBackup)
        QDir(m_dir.path()).mkdir(QStringLiteral("Backup"));
}

void TempDataDir::write(const QString& name, const QByteArray& content) const {
    QFile file(this->file(name));
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(content);
}

QByteArray TempDataDir::read(const QString& name) const {
    QFile file(this->file(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool TempDataDir::exists(const QString& name) const {
    return QFile::exists(file(name));
}
