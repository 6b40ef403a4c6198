// "Events.log" of any bytes, reloaded into the events list and archived.
// Reading must hand out the lines a plain split gives (LF ends a line, one CR
// before it is dropped, a line is shown by at most its first 4096 bytes), the
// list must show every one of them, and archiving must move lines without
// losing or doubling a byte: "Archive.log" then "Events.log" hold the old log,
// with a LF added where its last line had none.
//
// The first input byte picks the archive time: the time field of one of the
// lines, or (for 0) a time no line has. The files live in one temporary data
// directory per process, in memory where /dev/shm is there.
#include "common/DataDirectory.h"
#include "common/TextDecoding.h"
#include "events/EventList.h"
#include "events/EventLogFile.h"
#include "fuzz/FuzzInput.h"
#include "tests/support/RecordingUserInterface.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <vector>

namespace {

const QTemporaryDir& dataDirectory() {
    static const QTemporaryDir directory(QDir(QStringLiteral("/dev/shm")).exists()
                                             ? QStringLiteral("/dev/shm/atalaia-fuzz-XXXXXX")
                                             : QDir::tempPath() + QStringLiteral("/atalaia-fuzz-XXXXXX"));
    return directory;
}

QString path(const char* name) {
    return dataDirectory().filePath(QString::fromLatin1(name));
}

void writeFile(const QString& file, const QByteArray& content) {
    QFile out(file);
    require(out.open(QIODevice::WriteOnly | QIODevice::Truncate) && out.write(content) == content.size());
}

QByteArray readFile(const QString& file) {
    QFile in(file);
    return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
}

// The lines as the log's rules cut them, without their line ends.
std::vector<QByteArrayView> shownLines(const QByteArray& content) {
    std::vector<QByteArrayView> lines;
    const QByteArrayView all(content);
    for (qsizetype start = 0; start < all.size();) {
        qsizetype end = all.indexOf('\n', start);
        if (end < 0)
            end = all.size();
        QByteArrayView line = all.sliced(start, end - start);
        start = end + 1;
        if (line.size() > EventLogFile::kMaxShownLineBytes)
            line = line.first(EventLogFile::kMaxShownLineBytes);
        else if (line.endsWith('\r'))
            line.chop(1);
        lines.push_back(line);
    }
    return lines;
}

bool sameFields(const EventListModel::RawFields& a, const EventListModel::RawFields& b) {
    if (a.result != b.result)
        return false;
    for (int field = 0; field < EventLine::FieldCount; ++field)
        if (a.fields[field] != b.fields[field])
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    require(dataDirectory().isValid());
    FuzzInput input(data, size);
    const quint8 choice = input.byte();
    const QByteArray log = bytesOf(input.rest());
    writeFile(path("Events.log"), log);
    QFile::remove(path("Archive.log"));

    // The lines read are the lines of a plain split.
    std::vector<EventListModel::RawFields> expected;
    for (const QByteArrayView line : shownLines(log))
        if (const auto raw = EventLogFile::parseLine(line))
            expected.push_back(*raw);
    const DataDirectory directory(dataDirectory().path());
    EventLogFile file(directory);
    size_t visited = 0;
    bool opened = false;
    require(file.readEvents([&] { opened = true; },
                            [&](const EventListModel::RawFields& raw) {
                                require(visited < expected.size() && sameFields(raw, expected[visited]));
                                ++visited;
                            })
                .read());
    require(opened && visited == expected.size());

    // The list shows every line, newest first, under no filter.
    RecordingUserInterface ui;
    EventList list(directory, ui);
    list.ReloadEvents();
    require(ui.messages.isEmpty());
    const EventListModel& model = list.model();
    require(size_t(model.rowCount()) == expected.size());
    for (int row = 0; row < model.rowCount(); ++row)
        for (int column = 0; column < model.columnCount(); ++column)
            model.cellText(row, column);
    if (!expected.empty()) {
        list.setFilter(TextDecoding::decode(expected.front().fields[EventLine::Name]));
        require(model.rowCount() >= 1 && size_t(model.rowCount()) <= expected.size());
    }

    // Archiving moves bytes, never loses or doubles one.
    QString timeText = QStringLiteral("no line has this time");
    if (choice > 0 && !expected.empty())
        timeText = QString::fromUtf8(expected[choice % expected.size()].fields[EventLine::Time]);
    const EventLogFile::ArchiveOutcome outcome = file.archive(timeText);
    require(outcome.status == EventLogFile::ArchiveOutcome::Archived);
    QByteArray whole = log;
    if (!whole.isEmpty() && !whole.endsWith('\n'))
        whole += '\n';
    require(readFile(path("Archive.log")) + readFile(path("Events.log")) == whole);
    require(!QFile::exists(path("Events.tmp")) && !QFile::exists(path("Archive.jnl")));
    return 0;
}
