#include "common/DataFileReader.h"
#include "common/FileWriter.h"
#include "tests/support/HostileFile.h"
#include "tests/support/TempDataDir.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <functional>

namespace {

const QString kName = QStringLiteral("Clients.lst");
const QByteArray kContent = "0001\tPadaria\r\n";

// Runs body with the process's umask set to mask, then puts the old one back.
void withUmask(mode_t mask, const std::function<void()>& body) {
    const mode_t old = ::umask(mask);
    body();
    ::umask(old);
}

mode_t modeOf(const QString& path) {
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? (info.st_mode & 07777) : 0;
}

} // namespace

TEST(DataFileReaderTest, TakesOnlyARegularFileWithinItsLimitAndSaysWhyNot) {
    struct Case {
        const char* name;
        std::function<void(const TempDataDir&, HostileFiles&)> place;
        qint64 maxBytes;
        DataFileStatus status;
        QByteArray content;  // what is read
        const char* because; // part of the text that says why (none when read or missing)
    };
    const auto hostile = [](HostileKind kind) {
        return [kind](const TempDataDir& dir, HostileFiles& files) { files.place(dir, kName, kind, kContent); };
    };
    const Case cases[] = {
        {"a regular file", [](const TempDataDir& dir, HostileFiles&) { dir.write(kName, kContent); },
         DataFileReader::kMaxBytes, DataFileStatus::Read, kContent, nullptr},
        {"an empty file", [](const TempDataDir& dir, HostileFiles&) { dir.write(kName, ""); },
         DataFileReader::kMaxBytes, DataFileStatus::Read, "", nullptr},
        {"no file", [](const TempDataDir&, HostileFiles&) {}, DataFileReader::kMaxBytes, DataFileStatus::Missing, "",
         nullptr},
        {"exactly the limit", [](const TempDataDir& dir, HostileFiles&) { dir.write(kName, kContent); },
         kContent.size(), DataFileStatus::Read, kContent, nullptr},
        {"one byte over the limit", [](const TempDataDir& dir, HostileFiles&) { dir.write(kName, kContent); },
         kContent.size() - 1, DataFileStatus::TooLarge, "", "14 bytes"},
        {"a FIFO", hostile(HostileKind::Fifo), DataFileReader::kMaxBytes, DataFileStatus::NotRegular, "", "FIFO"},
        {"a directory", hostile(HostileKind::Directory), DataFileReader::kMaxBytes, DataFileStatus::NotRegular, "",
         "diretório"},
        {"a link to a file outside", hostile(HostileKind::LinkOutside), DataFileReader::kMaxBytes,
         DataFileStatus::SymbolicLink, "", "link simbólico"},
        {"a link to nothing",
         [](const TempDataDir& dir, HostileFiles&) { QFile::link(dir.file("nowhere"), dir.file(kName)); },
         DataFileReader::kMaxBytes, DataFileStatus::SymbolicLink, "", "link simbólico"},
        {"a sparse file of 1 GiB", hostile(HostileKind::HugeSparse), DataFileReader::kMaxBytes,
         DataFileStatus::TooLarge, "", "1073741824 bytes"},
        {"a socket",
         [](const TempDataDir& dir, HostileFiles&) {
             // A bound socket leaves its file behind when it is closed.
             const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
             sockaddr_un address{};
             address.sun_family = AF_UNIX;
             const QByteArray path = QFile::encodeName(dir.file(kName));
             std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
             ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
             ::close(fd);
         },
         DataFileReader::kMaxBytes, DataFileStatus::NotRegular, "", "socket"},
    };
    for (const Case& c : cases) {
        TempDataDir dir;
        HostileFiles files;
        c.place(dir, files);
        DataFileReader reader(dir.file(kName), c.maxBytes);
        EXPECT_EQ(reader.status(), c.status) << c.name;
        EXPECT_EQ(reader.readAll(), c.content) << c.name;
        if (c.because) {
            EXPECT_TRUE(reader.refused()) << c.name;
            EXPECT_TRUE(reader.problem().contains(dir.file(kName))) << c.name << ": " << qPrintable(reader.problem());
            EXPECT_TRUE(reader.problem().contains(QString::fromUtf8(c.because)))
                << c.name << ": " << qPrintable(reader.problem());
        } else {
            EXPECT_FALSE(reader.refused()) << c.name;
            EXPECT_TRUE(reader.problem().isEmpty()) << c.name;
        }
        if (c.status == DataFileStatus::SymbolicLink && files.outsideContent(kName) == kContent) {
            EXPECT_TRUE(QFileInfo(dir.file(kName)).isSymLink()) << c.name << ": the link is left where it is";
        }
    }
}

TEST(DataFileReaderTest, DevicesAndUnusableNamesAreRefusedAndALogHasNoLimit) {
    EXPECT_EQ(DataFileReader(QStringLiteral("/dev/null")).status(), DataFileStatus::NotRegular);
    EXPECT_TRUE(DataFileReader(QStringLiteral("/dev/null")).problem().contains(QStringLiteral("dispositivo")));

    TempDataDir dir;
    const DataFileReader tooLong(dir.file(QString(300, QLatin1Char('x'))));
    EXPECT_EQ(tooLong.status(), DataFileStatus::Unreadable);
    EXPECT_FALSE(tooLong.problem().isEmpty());
    dir.write("file", "x");
    EXPECT_EQ(DataFileReader(dir.file("file/below")).status(), DataFileStatus::Missing)
        << "a path through a file names nothing";

    // Without a limit a large regular file opens (and is read in blocks by its reader).
    ASSERT_TRUE(HostileFiles::makeSparse(dir.file("Events.log"), HostileFiles::kHugeBytes));
    DataFileReader log(dir.file("Events.log"), DataFileReader::kNoLimit);
    EXPECT_EQ(log.status(), DataFileStatus::Read);
    EXPECT_EQ(log.size(), HostileFiles::kHugeBytes);

    // readWhole gives the same answers in one value.
    const DataFileReader::Content missing = DataFileReader::readWhole(dir.file("none"));
    EXPECT_EQ(missing.status, DataFileStatus::Missing);
    EXPECT_TRUE(missing.problem.isEmpty());
    const DataFileReader::Content huge = DataFileReader::readWhole(dir.file("Events.log"));
    EXPECT_EQ(huge.status, DataFileStatus::TooLarge);
    EXPECT_TRUE(huge.bytes.isEmpty());
}

TEST(FileWriterTest, NewDataFilesAreNeverWorldWritableAndOldOnesKeepTheirMode) {
    TempDataDir dir(false);
    withUmask(0, [&] {
        ASSERT_TRUE(writeFileWhole(dir.file("new.txt"), "x"));
        EXPECT_EQ(modeOf(dir.file("new.txt")), mode_t(0640)) << "even with an umask that lets everything through";

        dir.write("old.txt", "x");
        ASSERT_TRUE(QFile::setPermissions(dir.file("old.txt"),
                                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther));
        ASSERT_TRUE(writeFileWhole(dir.file("old.txt"), "y"));
        EXPECT_EQ(modeOf(dir.file("old.txt")), mode_t(0604)) << "an existing file keeps its own";

        // A link in the file's place is replaced by a new file, with the new file's mode.
        HostileFiles files;
        files.place(dir, "linked.txt", HostileKind::LinkOutside, "outside");
        ASSERT_TRUE(writeFileWhole(dir.file("linked.txt"), "z"));
        EXPECT_EQ(modeOf(dir.file("linked.txt")), mode_t(0640));
        EXPECT_EQ(files.outsideContent("linked.txt"), QByteArray("outside"));
    });
}

TEST(FileWriterTest, AppendingOpensOnlyARegularFileOfItsOwnName) {
    struct Case {
        const char* name;
        std::function<void(const TempDataDir&, HostileFiles&)> place;
        bool opens;
        const char* because;
    };
    const auto hostile = [](HostileKind kind) {
        return [kind](const TempDataDir& dir, HostileFiles& files) { files.place(dir, "Events.log", kind, "kept\n"); };
    };
    const Case cases[] = {
        {"no file: created", [](const TempDataDir&, HostileFiles&) {}, true, nullptr},
        {"a regular file", [](const TempDataDir& dir, HostileFiles&) { dir.write("Events.log", "0\tA\n"); }, true,
         nullptr},
        {"a link to a file outside", hostile(HostileKind::LinkOutside), false, "link simbólico"},
        {"a FIFO", hostile(HostileKind::Fifo), false, "FIFO"},
        {"a directory", hostile(HostileKind::Directory), false, "diretório"},
    };
    for (const Case& c : cases) {
        TempDataDir dir;
        HostileFiles files;
        c.place(dir, files);
        const QFileInfo placed(dir.file("Events.log"));
        const QByteArray before = placed.isFile() && !placed.isSymLink() ? dir.read("Events.log") : QByteArray();
        DataFileForWriting opened;
        withUmask(0, [&] { opened = openDataFileForWriting(dir.file("Events.log"), true); });
        EXPECT_EQ(opened.fd >= 0, c.opens) << c.name;
        if (opened.fd >= 0) {
            EXPECT_EQ(opened.size, before.size()) << c.name;
            ASSERT_EQ(::write(opened.fd, "1\tB\n", 4), 4) << c.name;
            ::close(opened.fd);
            EXPECT_EQ(dir.read("Events.log"), before + "1\tB\n") << c.name << ": appended";
            if (before.isEmpty()) {
                EXPECT_EQ(modeOf(dir.file("Events.log")), mode_t(0640)) << c.name;
            }
        } else {
            EXPECT_TRUE(opened.problem.contains(dir.file("Events.log"))) << c.name;
            EXPECT_TRUE(opened.problem.contains(QString::fromUtf8(c.because)))
                << c.name << ": " << qPrintable(opened.problem);
        }
        if (files.outsideContent("Events.log").size() > 0) {
            EXPECT_EQ(files.outsideContent("Events.log"), QByteArray("kept\n")) << c.name << ": never written through";
        }
    }

    // Without create, a missing file stays missing.
    TempDataDir dir;
    EXPECT_LT(openDataFileForWriting(dir.file("Archive.log"), false).fd, 0);
    EXPECT_FALSE(dir.exists("Archive.log"));
}

TEST(FileWriterTest, MovingAsideNeverReplacesWhatWasPutAsideBefore) {
    TempDataDir dir;
    for (const char* content : {"first", "second", "third"}) {
        dir.write("Clients.lst", content);
        EXPECT_FALSE(moveAside(dir.file("Clients.lst"), ".bad").isEmpty()) << content;
        EXPECT_FALSE(dir.exists("Clients.lst")) << content;
    }
    EXPECT_EQ(dir.read("Clients.lst.bad"), QByteArray("first"));
    EXPECT_EQ(dir.read("Clients.lst.bad.2"), QByteArray("second"));
    EXPECT_EQ(dir.read("Clients.lst.bad.3"), QByteArray("third"));

    // Whatever holds the name moves, a FIFO or a link as well; nothing there: nothing moves.
    HostileFiles files;
    files.place(dir, "Users.lst", HostileKind::Fifo);
    EXPECT_EQ(moveAside(dir.file("Users.lst"), ".bad"), dir.file("Users.lst.bad"));
    EXPECT_TRUE(moveAside(dir.file("Users.lst"), ".bad").isEmpty());
}
