#pragma once

#include <QDir>
#include <QString>

// The directory that holds every data file of the receiver (and its "Backup"
// subdirectory). The program never creates "Backup"; where it is missing the
// backup copies are simply not written.
class DataDirectory {
public:
    explicit DataDirectory(const QString& path) : m_dir(QDir(path).absolutePath()) {}

    QString path() const { return m_dir; }
    QString file(const QString& name) const { return m_dir + QLatin1Char('/') + name; }
    QString backupFile(const QString& name) const { return m_dir + QStringLiteral("/Backup/") + name; }

private:
    QString m_dir;
};
