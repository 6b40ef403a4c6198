#include "reporting/ReportSection.h"

#include "common/StringTable.h"
#include "reporting/ReportConfigFile.h"
#include "reporting/ReportSender.h"
#include "tests/reporting/ReportTestPeers.h"
#include "tests/support/RecordingUserInterface.h"
#include "tests/support/TempDataDir.h"

#include <QTest>

#include <gtest/gtest.h>

namespace {

struct SectionFixture {
    explicit SectionFixture(QStringList ports = {QStringLiteral("/dev/ttyS0")}) : m_ports(std::move(ports)) {}

    ReportSection& section() {
        if (!m_section)
            m_section = std::make_unique<ReportSection>(settings, logAll, sender, ui, dir.dataDirectory(),
                                                        [this] { return m_ports; });
        return *m_section;
    }

    TempDataDir dir;
    ReportSettings settings;
    bool logAll = false;
    RecordingUserInterface ui;
    ReportSender sender{settings, ui};
    QStringList m_ports;
    std::unique_ptr<ReportSection> m_section;
};

} // namespace

TEST(ReportSectionTest, ATypedReceiverIsSavedInBothFilesAndShownAfterARestart) {
    SectionFixture f;
    f.section().startUp();
    ReportForm form = f.section().form();
    form.receiver = QStringLiteral("20"); // not one of the list's entries
    form.line = QStringLiteral("4");
    f.section().setEditing(true);
    ASSERT_TRUE(f.section().save(form));
    EXPECT_FALSE(f.section().editing()) << "Salvar locks the section";
    EXPECT_FALSE(f.section().look().saveEnabled);
    EXPECT_EQ(f.dir.read("Report.cfg"), f.dir.read("Backup/Report.cfg"));
    EXPECT_EQ(f.settings.receiver, 20) << "in force at once";

    SectionFixture restarted;
    QFile::copy(f.dir.path() + "/Report.cfg", restarted.dir.path() + "/Report.cfg");
    restarted.section().startUp();
    EXPECT_EQ(restarted.section().form().receiver, QStringLiteral("20"));
    EXPECT_EQ(restarted.section().form().line, QStringLiteral("4"));
}

TEST(ReportSectionTest, OutOfRangeFieldsAreRefusedAndKeepTheirValues) {
    SectionFixture f;
    ReportSettings stored;
    stored.mode = ReportMode::Dc09;
    stored.heartbeatPeriod = -5; // no own heartbeat: a value the file may hold
    ASSERT_TRUE(SaveReportConfig(f.dir.dataDirectory(), stored, false));
    f.section().startUp();
    EXPECT_TRUE(f.ui.messages.isEmpty()) << "the stored values start without a message";
    EXPECT_EQ(f.sender.appliedMode(), ReportMode::Dc09);
    EXPECT_EQ(f.settings.heartbeatPeriod, -5);
    const struct {
        const char* receiver;
        const char* line;
        const char* port;
    } cases[] = {{"100", "1", "9999"}, {"0", "1", "9999"}, {"5", "10", "9999"},
                 {"5", "2", "65535"},  {"x", "2", "1"},    {"5", "2", "9999x"}};
    for (const auto& c : cases) {
        ReportForm form = f.section().form();
        form.receiver = QString::fromLatin1(c.receiver);
        form.line = QString::fromLatin1(c.line);
        form.stationPort = QString::fromLatin1(c.port);
        const qsizetype messages = f.ui.messages.size();
        EXPECT_FALSE(f.section().save(form)) << c.receiver << " " << c.line << " " << c.port;
        EXPECT_EQ(f.ui.messages.size(), messages + 1) << "a message says why";
        EXPECT_EQ(f.settings.receiver, 1);
        EXPECT_EQ(f.settings.line, 1);
        EXPECT_EQ(f.settings.stationPort, 9999);
    }
}

TEST(ReportSectionTest, SelectingDc09WithoutAplicarGivesNotSentAndOff) {
    SectionFixture f;
    f.section().startUp();
    LoopbackStation station;
    ReportForm form = f.section().form();
    form.host = QStringLiteral("127.0.0.1");
    form.stationPort = QString::number(station.port());
    ASSERT_TRUE(f.section().selectMode(ReportMode::Serial));
    ASSERT_TRUE(f.section().selectMode(ReportMode::Dc09));
    QList<ReportResult> results;
    f.sender.ReportEvent(event(0x0101), [&](ReportResult r) { results.append(r); });
    ASSERT_TRUE(QTest::qWaitFor([&] { return !results.isEmpty(); }, 2000));
    EXPECT_EQ(results[0], ReportResult::NotSent) << "no socket before Aplicar";
    EXPECT_EQ(f.ui.statusFields.value(StatusField::ReportStatus), QStringLiteral("OFF"));

    ASSERT_TRUE(f.section().apply(form));
    EXPECT_FALSE(f.section().look().applyEnabled);
    f.sender.ReportEvent(event(0x0101), [&](ReportResult r) { results.append(r); });
    ASSERT_TRUE(QTest::qWaitFor([&] { return results.size() == 2; }, 3000));
    EXPECT_EQ(results[1], ReportResult::Sent);

    // "Desligado" stops at once, and the bar says so without "Status:".
    ASSERT_TRUE(f.section().selectMode(ReportMode::Off));
    EXPECT_EQ(f.sender.appliedMode(), ReportMode::Off);
    EXPECT_EQ(f.ui.statusFields.value(StatusField::ReportMode), QStringLiteral("Desligado"));
    EXPECT_TRUE(f.ui.statusFields.value(StatusField::ReportStatus).isEmpty());
}

TEST(ReportSectionTest, SerialWithoutPortsShowsMessage162AndKeepsTheModeInUse) {
    SectionFixture f(QStringList{});
    f.section().startUp();
    EXPECT_FALSE(f.section().selectMode(ReportMode::Serial));
    ASSERT_FALSE(f.ui.messages.isEmpty());
    EXPECT_EQ(f.ui.messages.last().text, StringTable::text(ReportSection::kMsgNoSerialPorts));
    EXPECT_EQ(f.section().selectedMode(), ReportMode::Off);
    EXPECT_FALSE(f.section().changed()) << "not marked changed";
}
