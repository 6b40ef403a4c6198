#include "events/EventListModel.h"
#include "events/EventList.h"
#include "tests/events/EventListTestSupport.h"
#include "tests/support/RecordingUserInterface.h"
#include "tests/support/TempDataDir.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <vector>

using eventlist_test::eventLine;
using eventlist_test::logLine;

namespace {

QString time(int i) {
    return QStringLiteral("08/12/2026 14:%1:00").arg(i, 2, 10, QLatin1Char('0'));
}

// The time texts of the shown rows, top to bottom.
QStringList shownTimes(const EventListModel& model) {
    QStringList times;
    for (int row = 0; row < model.rowCount(); ++row)
        times.append(model.cellText(row, EventListModel::TimeColumn));
    return times;
}

QStringList shownNames(const EventListModel& model) {
    QStringList names;
    for (int row = 0; row < model.rowCount(); ++row)
        names.append(model.cellText(row, EventListModel::NameColumn));
    return names;
}

// The times of events first..last-1, newest first: how they must be listed.
QStringList newestFirst(int first, int last) {
    QStringList times;
    for (int i = last - 1; i >= first; --i)
        times.append(time(i));
    return times;
}

struct BatchCase {
    const char* name;
    int earlierRows;          // rows read from the log before the events arrive
    std::vector<int> batches; // events arriving between two batch ends
};

void PrintTo(const BatchCase& c, std::ostream* out) {
    *out << c.name;
}

class EventListBatches : public ::testing::TestWithParam<BatchCase> {};

} // namespace

// Rows arrive between batch ends in every grouping: the views learn of each
// batch in one insertion at the top, nothing shows before its batch ends, and
// after every batch the list is every event so far, newest first, once each.
TEST_P(EventListBatches, EachBatchIsOneInsertionOnTopInArrivalOrder) {
    const BatchCase& c = GetParam();
    EventListModel model;
    // Checks every signal against the model's state (rows counted, indexes valid, data readable).
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    model.beginRebuild();
    for (int i = 0; i < c.earlierRows; ++i) {
        const QByteArray line = logLine(0, time(i), "Antes");
        EventListModel::RawFields raw;
        const QList<QByteArray> fields = line.chopped(1).split('\t');
        raw.result = 0;
        for (int f = 0; f < EventLine::FieldCount; ++f)
            raw.fields[f] = QByteArrayView(fields[f]);
        model.appendOldest(raw);
    }
    model.endRebuild();
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy shown(&model, &EventListModel::rowsShown);

    int raised = c.earlierRows;
    int expectedInsertions = 0;
    for (const int batch : c.batches) {
        const int before = model.rowCount();
        for (int i = 0; i < batch; ++i, ++raised)
            model.prepend(eventLine(0, time(raised), "Novo"));
        EXPECT_EQ(model.rowCount(), before) << "nothing shows before the batch ends";
        EXPECT_EQ(model.waitingRows(), batch);
        EXPECT_EQ(model.eventCount(), raised);
        EXPECT_EQ(inserted.count(), expectedInsertions);

        model.showWaitingRows();
        if (batch > 0) {
            ++expectedInsertions;
            ASSERT_EQ(inserted.count(), expectedInsertions);
            const QList<QVariant> last = inserted.last();
            EXPECT_EQ(last[1].toInt(), 0) << "the batch goes on top";
            EXPECT_EQ(last[2].toInt(), batch - 1);
            EXPECT_EQ(shown.last()[0].toInt(), batch);
        }
        EXPECT_EQ(inserted.count(), expectedInsertions) << "an empty batch tells the views nothing";
        EXPECT_EQ(model.waitingRows(), 0);
        EXPECT_EQ(shownTimes(model), newestFirst(0, raised));
    }
}

INSTANTIATE_TEST_SUITE_P(Groupings, EventListBatches,
                         ::testing::Values(BatchCase{"OneLargeBatch", 0, {1000}},
                                           BatchCase{"OneEventPerBatch", 0, {1, 1, 1, 1}},
                                           BatchCase{"UnevenBatchesWithAnEmptyOne", 0, {3, 0, 5, 2}},
                                           BatchCase{"AfterRowsReadFromTheLog", 4, {1, 7}},
                                           BatchCase{"EmptyBatchesOnly", 2, {0, 0}}),
                         [](const ::testing::TestParamInfo<BatchCase>& info) { return std::string(info.param.name); });

namespace {

struct ReloadCase {
    const char* name;
    std::optional<QString> filter; // set while events wait for their batch
    bool archive;                  // an archive run up to the second event of the log instead
    QStringList expectedNames;     // the list afterwards, top to bottom
};

void PrintTo(const ReloadCase& c, std::ostream* out) {
    *out << c.name;
}

class EventListReloadWhileRowsWait : public ::testing::TestWithParam<ReloadCase> {};

} // namespace

// A rebuild while new rows wait for their batch (a client chosen, the filter
// cleared, an archive run) lists each event of the log once under the filter
// in force: the waiting rows come back from the log, and the batch timer that
// fires afterwards adds nothing.
TEST_P(EventListReloadWhileRowsWait, WaitingRowsAreListedOnceUnderTheFilter) {
    const ReloadCase& c = GetParam();
    TempDataDir dir;
    dir.write("Events.log", logLine(0, time(0), "Ana") + logLine(0, time(1), "Bia") + logLine(0, time(2), "Ana"));
    RecordingUserInterface ui;
    EventList list(dir.dataDirectory(), ui);
    list.ReloadEvents();
    QAbstractItemModelTester tester(&list.model(), QAbstractItemModelTester::FailureReportingMode::Fatal);

    list.addEvent(eventLine(0, time(3), "Bia"));
    list.addEvent(eventLine(2, time(4), "Ana"));
    ASSERT_EQ(list.model().waitingRows(), 2);
    if (c.archive) {
        ui.queueAnswer(true);
        list.ArchiveEvents(time(1));
    } else {
        list.setFilter(c.filter);
    }
    EXPECT_EQ(list.model().waitingRows(), 0);
    EXPECT_EQ(shownNames(list.model()), c.expectedNames);

    list.model().showWaitingRows();
    EXPECT_EQ(shownNames(list.model()), c.expectedNames) << "the batch end adds nothing twice";

    // A new event is shown whatever the filter.
    list.addEvent(eventLine(0, time(5), "Cid"));
    list.model().showWaitingRows();
    EXPECT_EQ(list.model().cellText(0, EventListModel::NameColumn), "Cid");
    EXPECT_EQ(list.model().rowCount(), c.expectedNames.size() + 1);
}

INSTANTIATE_TEST_SUITE_P(
    Rebuilds, EventListReloadWhileRowsWait,
    ::testing::Values(ReloadCase{"AllClients", std::nullopt, false, {"Ana", "Bia", "Ana", "Bia", "Ana"}},
                      ReloadCase{"OneClientChosen", QStringLiteral("Ana"), false, {"Ana", "Ana", "Ana"}},
                      ReloadCase{"ClientWithoutEvents", QStringLiteral("Zeca"), false, {}},
                      ReloadCase{"ArchiveRun", std::nullopt, true, {"Ana", "Bia", "Ana"}}),
    [](const ::testing::TestParamInfo<ReloadCase>& info) { return std::string(info.param.name); });
