#pragma once

#include "common/DataDirectory.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

// A fresh data directory for one test, removed afterwards.
class TempDataDir {
public:
    explicit TempDataDir(bool withBackup = true);

    QString path() const { return m_dir.path(); }
    DataDirectory dataDirectory() const { return DataDirectory(m_dir.path()); }
    QString file(const QString& name) const { return m_dir.path() + QLatin1Char('/') + name; }

    void write(const QString& name, const QByteArray& content) const;
    QByteArray read(const QString& name) const;
    bool exists(const QString& name) const;

private:
    QTemporaryDir m_dir;
};
