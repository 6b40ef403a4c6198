#pragma once

#include "tests/support/TempDataDir.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QTemporaryDir>

// What someone with write access to the data directory can put in a data
// file's place, for the tests of every reader.
enum class HostileKind {
    Fifo,        // a named pipe nobody writes to: a plain open would wait for ever
    Directory,   // a directory with something in it
    LinkOutside, // a symbolic link to a file outside the data directory
    HugeSparse,  // a regular file of 1 GiB, a hole on the disk (nothing written)
    BinaryJunk,  // 64 KiB of random bytes with NULs and control bytes
};

struct HostileCase {
    const char* name;
    HostileKind kind;
};

// Every kind, named for table-driven tests.
inline const QList<HostileCase>& hostileCases() {
    static const QList<HostileCase> cases{{"a FIFO", HostileKind::Fifo},
                                          {"a directory", HostileKind::Directory},
                                          {"a link to a file outside", HostileKind::LinkOutside},
                                          {"a sparse file of 1 GiB", HostileKind::HugeSparse},
                                          {"binary junk", HostileKind::BinaryJunk}};
    return cases;
}

// The kinds every reader refuses (binary junk is a regular file of a
// reasonable size: it is read, and its reader makes of it what it can).
inline const QList<HostileCase>& refusedHostileCases() {
    static const QList<HostileCase> cases = [] {
        QList<HostileCase> refused = hostileCases();
        refused.removeIf([](const HostileCase& c) { return c.kind == HostileKind::BinaryJunk; });
        return refused;
    }();
    return cases;
}

// Places hostile things in a data directory. The file a link names lives in a
// directory of its own outside the data directory, for as long as this object.
class HostileFiles {
public:
    static constexpr qint64 kHugeBytes = qint64(1) << 30;
    static constexpr qsizetype kJunkBytes = 64 * 1024;

    // Puts kind in the place of name (whatever was there goes). A link's
    // target holds outsideContent, so a reader that followed it would read it.
    void place(const TempDataDir& dir, const QString& name, HostileKind kind, const QByteArray& outsideContent = {});

    // The file a link placed for name points at, and what it holds now.
    QString outsidePath(const QString& name) const;
    QByteArray outsideContent(const QString& name) const;

    // Deterministic random bytes (NULs and control bytes among them).
    static QByteArray junk(qsizetype size, quint32 seed = 20261211);
    // A sparse regular file of size bytes (ftruncate: nothing is written).
    static bool makeSparse(const QString& path, qint64 size);

private:
    QTemporaryDir m_outside;
};
