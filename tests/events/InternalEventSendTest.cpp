// The manual test and the reporting ON event through the real report sender,
// against a DC-09 station on loopback that never acknowledges.
#include "events/InternalEventEditor.h"
#include "events/InternalEventForwarder.h"
#include "events/InternalEventTable.h"
#include "reporting/ReportSender.h"
#include "tests/events/InternalEventFakes.h"
#include "tests/support/RecordingUserInterface.h"
#include "tests/support/TempDataDir.h"

#include <QNetworkDatagram>
#include <QTest>
#include <QUdpSocket>

#include <gtest/gtest.h>

using namespace internal_event_test;

namespace {

// Receives DC-09 frames and never answers.
class SilentStation {
public:
    SilentStation() {
        m_socket.bind(QHostAddress::LocalHost, 0);
        QObject::connect(&m_socket, &QUdpSocket::readyRead, [this] {
            while (m_socket.hasPendingDatagrams())
                frames.append(m_socket.receiveDatagram().data());
        });
    }
    quint16 port() const { return m_socket.localPort(); }

    QList<QByteArray> frames;

private:
    QUdpSocket m_socket;
};

} // namespace

TEST(InternalEventSendTest, ManualTestOverASilentDc09StationShowsNoAckAndReportingOnIsListed) {
    TempDataDir dir;
    SilentStation station;
    ReportSettings reportSettings;
    reportSettings.stationHost = QStringLiteral("127.0.0.1");
    reportSettings.stationPort = station.port();
    InternalEventTable table;
    table.settings = InternalEventSettings{0x1A2B, 0x00FF, 12, 3};
    table.row(InternalEvent::ManualTest).code = 602;
    table.row(InternalEvent::IpReport).code = 350;
    RecordingUserInterface ui;
    ReportLimits limits;
    limits.replyMs = 100;
    ReportSender sender(reportSettings, ui, limits);
    CopyingEventRaiser events;
    InternalEventForwarder forwarder(table, sender, events);
    sender.setReportingEvents(&forwarder);
    InternalEventEditor editor(table, dir.dataDirectory(), forwarder, ui);
    QObject::connect(&sender, &ReportSender::appliedModeChanged, &editor, &InternalEventEditor::setAppliedReportMode);

    EXPECT_FALSE(editor.sendEnabled());
    sender.markStartupFinished();
    ASSERT_TRUE(sender.StartReporting(ReportMode::Dc09));
    EXPECT_TRUE(editor.sendEnabled());

    // Reporting switched on after start-up raises "IP Reporte ON", forwarded always.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !events.lines.isEmpty(); }, 3000));
    EXPECT_EQ(events.lines[0].code, 1005);
    EXPECT_EQ(events.lines[0].result, ReportResult::Failed);
    ASSERT_FALSE(station.frames.isEmpty());
    EXPECT_TRUE(station.frames[0].contains("#00FF[#1A2B|1350 03 012]")) << station.frames[0].constData();

    editor.sendManualTest();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !editor.statusText().isEmpty(); }, 3000));
    EXPECT_EQ(editor.statusText(), QStringLiteral("No ACK"));
    EXPECT_TRUE(station.frames.last().contains("[#1A2B|1602 03 012]")) << station.frames.last().constData();
    EXPECT_EQ(events.lines.size(), 1) << "the manual test adds no list row";
    EXPECT_TRUE(ui.sounds.isEmpty());

    sender.StopReporting();
    EXPECT_FALSE(editor.sendEnabled()) << "Enviar is disabled once reporting is off";
}
