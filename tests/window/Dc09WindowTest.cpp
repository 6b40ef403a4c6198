#include "tests/support/Dc09Peer.h"
#include "tests/window/WindowFixture.h"

// A DC-09 device's alarm on the real window: its row on the events page.

TEST_F(WindowFixture, Dc09EventShowsOnTheEventsPage) {
    const quint16 port = Dc09Peer::freePort();
    ASSERT_NE(port, 0);
    dir.write("Dc09.cfg", "Port " + QByteArray::number(port) + "\r\n");
    dir.write("Clients.lst", dir.read("Clients.lst") + "1234\tLoja Norte\tCentral X\t\t\t1\t3\t1\t60\t00000000\r\n");
    start();

    Dc09Peer::Device device(Dc09Peer::Transport::Tcp, port);
    device.send(Dc09Peer::message(Dc09::kAdmCid, 1, "1234", "#1234|1130 01 005"));
    EXPECT_EQ(Dc09Peer::readAnswer(device.answer(kWaitMs)).id, QByteArray(Dc09::kAck));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return rowTexts(CMainFrame::kEventsTab, EventListModel::NameColumn).contains(QStringLiteral("Loja Norte"));
        },
        kWaitMs));
    page(CMainFrame::kEventsTab);
    EXPECT_EQ(rowTexts(CMainFrame::kEventsTab, EventListModel::NameColumn).first(), QStringLiteral("Loja Norte"));
    EXPECT_EQ(rowTexts(CMainFrame::kEventsTab, EventListModel::ProtocolColumn).first(), QStringLiteral("DC-09"));
    EXPECT_EQ(eventTexts().first(), QStringLiteral("Disparo de alarme de roubo"));
}
