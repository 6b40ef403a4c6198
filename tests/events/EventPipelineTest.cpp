#include "events/EventPipeline.h"
#include "clients/ClientRecord.h"
#include "config/ServerSettings.h"
#include "events/AlarmTextTable.h"
#include "events/EventJournal.h"
#include "events/EventLine.h"
#include "events/EventList.h"
#include "events/InternalEventTable.h"
#include "tests/events/EventListTestSupport.h"
#include "tests/support/RecordingUserInterface.h"
#include "tests/support/TempDataDir.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <memory>

namespace {

struct PipelineFixture {
    PipelineFixture() {
        alarms.newText[130] = QStringLiteral("Disparo de alarme de roubo");
        internal.settings.partition = 7;
        internal.settings.zone = 42;
        internal.row(3).code = 401;
        internal.row(3).eventText = QStringLiteral("Operador entrou");
        internal.row(6).code = 308;
        internal.row(6).eventText = QStringLiteral("Cliente offline");
        client.account = 0x0A1B;
        client.name = QStringLiteral("Padaria");
        client.panel = QStringLiteral("Korvo 16IP");
        client.status = ClientStatus::Online;
        pipeline->setClock([this] { return QStringLiteral("08/12/2026 14:05:%1").arg(++tick, 2, 10, QChar('0')); });
    }

    QString logText() const { return QString::fromUtf8(dir.read("Events.log")); }
    // The list once its waiting rows are shown (as the next batch would show them).
    const EventListModel& listed() {
        list.model().showWaitingRows();
        return list.model();
    }

    TempDataDir dir;
    RecordingUserInterface ui;
    FakeReporter reporter;
    AlarmTextTable alarms;
    InternalEventTable internal;
    ServerSettings settings;
    EventList list{dir.dataDirectory(), ui};
    std::unique_ptr<EventPipeline> pipeline =
        std::make_unique<EventPipeline>(list, reporter, alarms, internal, settings, ui, dir.dataDirectory());
    PrimaryClient client;
    int tick = 0;
};

} // namespace

TEST(EventPipelineTest, ClientEventIsForwardedThenListedLoggedAndSounded) {
    PipelineFixture f;
    f.pipeline->RaiseClientEvent(&f.client, 1130, 1, 5, EventProtocol::TaviCom);
    ASSERT_EQ(f.reporter.requests.size(), 1);
    const ReportRequest request = f.reporter.requests[0];
    EXPECT_EQ(request.account, 0x0A1B);
    EXPECT_EQ(request.reportAccount, 0x0A1B);
    EXPECT_EQ(request.code, 1130);
    EXPECT_EQ(request.partition, 1);
    EXPECT_EQ(request.zone, 5);
    // Nothing is shown before the result is known.
    EXPECT_EQ(f.listed().rowCount(), 0);
    EXPECT_TRUE(f.ui.sounds.isEmpty());

    f.reporter.complete(ReportResult::Sent);
    ASSERT_EQ(f.listed().rowCount(), 1);
    const EventListModel& model = f.listed();
    EXPECT_EQ(model.resultAt(0), 0);
    EXPECT_EQ(model.cellText(0, EventListModel::TimeColumn), "08/12/2026 14:05:01");
    EXPECT_EQ(model.cellText(0, EventListModel::NameColumn), "Padaria");
    EXPECT_EQ(model.cellText(0, EventListModel::AccountColumn), "0A1B");
    EXPECT_EQ(model.cellText(0, EventListModel::TextColumn), "Disparo de alarme de roubo");
    EXPECT_EQ(model.cellText(0, EventListModel::CodeColumn), "E 130");
    EXPECT_EQ(model.cellText(0, EventListModel::PartitionColumn), "01");
    EXPECT_EQ(model.cellText(0, EventListModel::ZoneColumn), "005");
    EXPECT_EQ(model.cellText(0, EventListModel::PanelColumn), "Korvo 16IP");
    EXPECT_EQ(model.cellText(0, EventListModel::ProtocolColumn), "TaviCom");
    EXPECT_EQ(f.logText(), "0\t08/12/2026 14:05:01\tPadaria\t0A1B\tDisparo de alarme de roubo\tE\t130\t01\t005\t"
                           "TaviCom\tKorvo 16IP\n");
    EXPECT_EQ(f.ui.sounds, QStringList{f.dir.file("Event.wav")});
    EXPECT_TRUE(f.list.lock().tryAcquire()) << "the lock was released";
    f.list.lock().release();

    // The log line reads back as the same row.
    QStringList shown;
    for (int column = 1; column < EventListModel::ColumnCount; ++column)
        shown.append(model.cellText(0, column));
    f.list.ReloadEvents();
    ASSERT_EQ(f.listed().rowCount(), 1);
    for (int column = 1; column < EventListModel::ColumnCount; ++column)
        EXPECT_EQ(model.cellText(0, column), shown[column - 1]) << column;
    EXPECT_EQ(model.resultAt(0), 0);
}

TEST(EventPipelineTest, BlockedNewAndMissingClientsRaiseNothing) {
    PipelineFixture f;
    f.pipeline->RaiseClientEvent(nullptr, 1130, 1, 5, 1);
    f.client.status = ClientStatus::Blocked;
    f.pipeline->RaiseClientEvent(&f.client, 1130, 1, 5, 1);
    f.client.status = ClientStatus::New;
    f.pipeline->RaiseClientEvent(&f.client, 1130, 1, 5, 1);
    EXPECT_TRUE(f.reporter.requests.isEmpty());
    EXPECT_EQ(f.listed().rowCount(), 0);
    EXPECT_FALSE(f.dir.exists("Events.log"));
    EXPECT_TRUE(f.ui.sounds.isEmpty());
}

TEST(EventPipelineTest, ResultsArriveInOrderWithTheirIconsAndSounds) {
    PipelineFixture f;
    DependentAccount dependent;
    dependent.account = 0x0A1C;
    dependent.name = QStringLiteral("Filial");
    dependent.status = ClientStatus::Online;
    dependent.primary = &f.client;
    f.pipeline->RaiseClientEvent(&f.client, 1130, 1, 5, 1);
    f.pipeline->RaiseClientEvent(&dependent, 3130, 2, 6, EventProtocol::Dc09);
    f.pipeline->RaiseClientEvent(&f.client, 1131, 1, 5, 1);
    EXPECT_EQ(f.reporter.requests[1].account, 0x0A1C);
    EXPECT_EQ(f.reporter.requests[1].reportAccount, 0x0A1B) << "a dependent reports under its primary";

    // The client changes before the results arrive: the row shows it as raised.
    f.client.name = QStringLiteral("Renamed");
    f.reporter.complete(ReportResult::Sent);
    f.reporter.complete(ReportResult::Failed);
    f.settings.SoundNewEvent = 0;
    f.reporter.complete(ReportResult::NotSent);

    const EventListModel& model = f.listed();
    ASSERT_EQ(f.listed().rowCount(), 3);
    EXPECT_EQ(model.resultAt(0), 3);
    EXPECT_EQ(model.resultAt(1), 2);
    EXPECT_EQ(model.resultAt(2), 0);
    EXPECT_EQ(model.cellText(2, EventListModel::NameColumn), "Padaria");
    EXPECT_EQ(model.cellText(1, EventListModel::NameColumn), "Filial");
    EXPECT_EQ(model.cellText(1, EventListModel::CodeColumn), "R 130");
    EXPECT_EQ(f.ui.sounds, (QStringList{f.dir.file("Event.wav"), f.dir.file("Offline.wav")}));

    // ACK-failure sound switched off.
    f.settings.SoundAckFail = 0;
    f.pipeline->RaiseClientEvent(&f.client, 1130, 1, 5, 1);
    f.reporter.complete(ReportResult::Failed);
    EXPECT_EQ(f.ui.sounds.size(), 2);
    EXPECT_EQ(f.listed().rowCount(), 4);

    // A result that arrives after the pipeline is gone is dropped.
    f.pipeline->RaiseClientEvent(&f.client, 1130, 1, 5, 1);
    f.pipeline.reset();
    f.reporter.complete(ReportResult::Sent);
    EXPECT_EQ(f.listed().rowCount(), 4);
}

TEST(EventPipelineTest, InternalEventsUseTheInternalSettingsAndAlwaysSound) {
    PipelineFixture f;
    f.settings.SoundNewEvent = 0;
    f.pipeline->RaiseInternalEvent(ReportResult::NotSent, 1003, QStringLiteral("Admin"));
    f.client.status = ClientStatus::Blocked; // internal events of a client are listed whatever its state
    f.pipeline->RaiseClientInternalEvent(ReportResult::Sent, 1006, ClientEventSubject::of(f.client));
    EXPECT_TRUE(f.reporter.requests.isEmpty()) << "the caller forwards internal events";

    const EventListModel& model = f.listed();
    ASSERT_EQ(f.listed().rowCount(), 2);
    EXPECT_EQ(model.cellText(1, EventListModel::NameColumn), "Admin");
    EXPECT_EQ(model.cellText(1, EventListModel::AccountColumn), "---");
    EXPECT_EQ(model.cellText(1, EventListModel::TextColumn), "Operador entrou");
    EXPECT_EQ(model.cellText(1, EventListModel::CodeColumn), "E 401");
    EXPECT_EQ(model.cellText(1, EventListModel::PartitionColumn), "---");
    EXPECT_EQ(model.cellText(1, EventListModel::PanelColumn), "---");
    EXPECT_EQ(model.cellText(1, EventListModel::ProtocolColumn), "---");
    EXPECT_EQ(model.resultAt(1), 3);
    EXPECT_EQ(model.cellText(0, EventListModel::AccountColumn), "0A1B");
    EXPECT_EQ(model.cellText(0, EventListModel::TextColumn), "Cliente offline");
    EXPECT_EQ(model.cellText(0, EventListModel::PanelColumn), "Korvo 16IP");
    EXPECT_EQ(f.ui.sounds, (QStringList{f.dir.file("Event.wav"), f.dir.file("Event.wav")}));
    EXPECT_EQ(f.logText().count('\n'), 2);
    EXPECT_TRUE(
        f.logText().startsWith("3\t08/12/2026 14:05:01\tAdmin\t---\tOperador entrou\tE\t401\t---\t---\t---\t---\n"));
}

TEST(EventPipelineTest, LinesTheLogRefusesAreSaidKeptInCustodyAndWrittenWhenItTakesLinesAgain) {
    PipelineFixture f;
    EventJournal journal(f.dir.dataDirectory());
    f.pipeline->setJournal(&journal);
    QStringList said;
    f.pipeline->setLogProblemHandler([&](const QString& text) { said << text; });
    f.reporter.immediateResult = ReportResult::Sent;
    // A log that cannot be written, as on a full disk.
    QFile::remove(f.dir.file("Events.log"));
    ASSERT_TRUE(QDir().mkdir(f.dir.file("Events.log")));
    for (quint16 zone = 1; zone <= 3; ++zone)
        f.pipeline->RaiseClientEvent(&f.client, 1130, 1, zone, EventProtocol::TaviCom);
    EXPECT_EQ(f.listed().rowCount(), 3) << "the operator still sees them";
    EXPECT_EQ(journal.heldCount(), 3u) << "kept where a crash cannot take them";
    EXPECT_EQ(f.pipeline->logWriteFailures(), 3u);
    ASSERT_EQ(said.size(), 1) << "said once, not per event";
    EXPECT_TRUE(said[0].contains(QStringLiteral("não pôde ser gravado")));

    // Room again: the waiting lines go in first, in their order, then the new one.
    ASSERT_TRUE(QDir().rmdir(f.dir.file("Events.log")));
    f.pipeline->RaiseClientEvent(&f.client, 1130, 1, 4, EventProtocol::TaviCom);
    const QStringList lines = f.logText().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 4);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(lines[i].split(QLatin1Char('\t')).value(EventLine::Zone).toInt(), i + 1);
    EXPECT_EQ(journal.heldCount(), 0u);
    EXPECT_EQ(said.size(), 2);
    EXPECT_EQ(f.listed().rowCount(), 4) << "no row shown twice";
}
