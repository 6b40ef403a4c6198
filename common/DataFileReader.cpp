#include "common/DataFileReader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

QString systemText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

bool isMissing(int error) {
    return error == ENOENT || error == ENOTDIR;
}

} // namespace

QString DataFileReader::kindOf(unsigned mode) {
    if (S_ISFIFO(mode))
        return QStringLiteral("um FIFO (pipe nomeado)");
    if (S_ISDIR(mode))
        return QStringLiteral("um diretório");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return QStringLiteral("um dispositivo");
    if (S_ISSOCK(mode))
        return QStringLiteral("um socket");
    return QStringLiteral("um arquivo especial");
}

QString DataFileReader::problemText(const QString& path, DataFileStatus status, qint64 size, qint64 maxBytes,
                                    const QString& detail) {
    switch (status) {
    case DataFileStatus::Read:
    case DataFileStatus::Missing:
        return {};
    case DataFileStatus::NotRegular:
        return QStringLiteral("\"%1\" não é um arquivo comum (é %2): não foi lido").arg(path, detail);
    case DataFileStatus::SymbolicLink:
        return QStringLiteral("\"%1\" é um link simbólico: não foi seguido nem lido").arg(path);
    case DataFileStatus::TooLarge:
        return QStringLiteral("\"%1\" tem %2 bytes, mais que os %3 que este arquivo pode ter: não foi lido")
            .arg(path, QString::number(size), QString::number(maxBytes));
    case DataFileStatus::Unreadable:
        return QStringLiteral("\"%1\" não pôde ser lido: %2").arg(path, detail);
    }
    return {};
}

void DataFileReader::refuse(DataFileStatus status, const QString& detail) {
    m_status = status;
    m_problem = problemText(m_path, status, m_size, m_maxBytes, detail);
    if (m_file.isOpen())
        m_file.close();
}

DataFileReader::DataFileReader(const QString& path, qint64 maxBytes) : m_path(path), m_maxBytes(maxBytes) {
    open();
}

void DataFileReader::open() {
    const QByteArray name = QFile::encodeName(m_path);
    // The name is looked at first, so that a device is never even opened (an
    // open may already do something to it); the descriptor is looked at
    // again below, in case the name changed in between.
    struct stat named {};
    if (::lstat(name.constData(), &named) != 0) {
        const int error = errno;
        if (isMissing(error))
            m_status = DataFileStatus::Missing;
        else
            refuse(DataFileStatus::Unreadable, systemText(error));
        return;
    }
    if (S_ISLNK(named.st_mode))
        return refuse(DataFileStatus::SymbolicLink);
    if (!S_ISREG(named.st_mode))
        return refuse(DataFileStatus::NotRegular, kindOf(named.st_mode));

    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error == ELOOP)
            refuse(DataFileStatus::SymbolicLink);
        else if (isMissing(error))
            m_status = DataFileStatus::Missing;
        else
            refuse(DataFileStatus::Unreadable, systemText(error));
        return;
    }
    struct stat opened {};
    if (::fstat(fd, &opened) != 0) {
        const int error = errno;
        ::close(fd);
        return refuse(DataFileStatus::Unreadable, systemText(error));
    }
    if (!S_ISREG(opened.st_mode)) {
        ::close(fd);
        return refuse(DataFileStatus::NotRegular, kindOf(opened.st_mode));
    }
    m_size = qint64(opened.st_size);
    if (m_maxBytes >= 0 && m_size > m_maxBytes) {
        ::close(fd);
        return refuse(DataFileStatus::TooLarge);
    }
    if (!m_file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return refuse(DataFileStatus::Unreadable, m_file.errorString());
    }
    m_status = DataFileStatus::Read;
}

QByteArray DataFileReader::readAll() {
    if (!isOpen())
        return {};
    // As much as the file had when it was opened: one that grows meanwhile
    // never takes more memory than its size (and limit) allowed.
    const qint64 left = m_size - m_file.pos();
    if (left <= 0)
        return {};
    QByteArray content;
    content.resize(qsizetype(left));
    qint64 done = 0;
    while (done < left) {
        const qint64 got = m_file.read(content.data() + done, left - done);
        if (got < 0) {
            refuse(DataFileStatus::Unreadable, m_file.errorString());
            return {};
        }
        if (got == 0)
            break; // the file shrank meanwhile
        done += got;
    }
    content.truncate(qsizetype(done));
    return content;
}

DataFileReader::Content DataFileReader::readWhole(const QString& path, qint64 maxBytes) {
    DataFileReader reader(path, maxBytes);
    Content content;
    content.bytes = reader.readAll();
    content.status = reader.status();
    content.problem = reader.problem();
    return content;
}
