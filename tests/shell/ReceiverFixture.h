#pragma once

#include "device/TaviComCodec.h"
#include "shell/ServerCore.h"
#include "shell/ui/ServerWindow.h"
#include "tests/support/ScriptedLogin.h"
#include "tests/support/TempDataDir.h"

#include <QNetworkDatagram>
#include <QTest>
#include <QUdpSocket>

#include <gtest/gtest.h>

// A whole receiver for the shell's tests: its data files, a loopback device
// and the core with its window.
namespace ReceiverFixture {

// A data directory that starts the receiver in anonymous mode without questions, except
// that its UDP port is 0 so the socket takes a free port ("Portas não definidas" is answered Yes).
inline void writeDataFiles(const TempDataDir& dir, bool anonymous = true) {
    dir.write("Server.cfg", QByteArray("[Ports]\r\nUDP 0\r\n[Run]\r\nLogAll\t\t\t0\r\nAnonymEntry\t") +
                                (anonymous ? "1" : "0") + "\r\n");
    dir.write("Alarms.lst", "[Roubo]\n130 = Disparo de alarme de roubo\nRestauracao de roubo\n");
    dir.write("LocalEvents.lst", "FFFF FFFF 000 00\n");
    dir.write("Report.cfg", "0\n0\n0\n0\n0\n60\n0\n\n1\n1\n7\n0\n1\n0\n127.0.0.1\n9999\n");
    dir.write("Events.log", "");
    dir.write("Clients.lst", "1001\tPadaria Central\tKorvo 16IP\t\t\t1\t3\t1\t60\t00001001\r\n");
}

// An event report of a device; the account is the device's own unless another (a dependent's) is given.
inline QByteArray eventReport(quint32 deviceId, quint16 sequence, quint16 code, quint8 partition, quint16 zone,
                              int account = -1) {
    TaviCom::DatagramBuffer buffer{};
    buffer[TaviCom::kOffType] = TaviCom::kTypeEvent;
    TaviCom::writeU32(buffer, TaviCom::kOffDeviceId, deviceId);
    TaviCom::writeU16(buffer, TaviCom::kOffSequence, sequence);
    buffer[TaviCom::kOffAnswerKind] = TaviCom::kKindAnswer;
    buffer[TaviCom::kOffKind] = TaviCom::kKindReport;
    TaviCom::DeviceReport report;
    report.account = static_cast<quint16>(account < 0 ? deviceId & 0xFFFF : account);
    report.code = code;
    report.partition = partition;
    report.zone = zone;
    report.period = 60;
    TaviCom::writeDeviceReport(buffer, report);
    const int padded = TaviCom::SealDatagram(buffer, TaviCom::kReportPayloadLength);
    return QByteArray(reinterpret_cast<const char*>(buffer.data()), TaviCom::kFrameOverhead + padded);
}

// Sends one report from a loopback device and returns the server's answer.
inline QByteArray exchange(quint16 serverPort, const QByteArray& datagram) {
    QUdpSocket device;
    EXPECT_TRUE(device.bind(QHostAddress::LocalHost, 0));
    device.writeDatagram(datagram, QHostAddress::LocalHost, serverPort);
    if (!QTest::qWaitFor([&device] { return device.hasPendingDatagrams(); }, 3000))
        return {};
    return device.receiveDatagram().data();
}

// A whole receiver: the core and its window (offscreen), destroyed window
// first; the Login dialog answers with what the test typed.
struct Receiver {
    Receiver(const QString& dir, UserInterface& ui)
        : core(dir, ui), window(core), login(core.operators(), core.currentOperator(), ui) {
        core.setLoginPrompt([this](bool anonymousMode) { return login.show(anonymousMode); });
    }
    bool start() {
        return core.start([this] { window.build(); });
    }
    ServerCore core;
    ServerWindow window;
    ScriptedLogin login;
};

} // namespace ReceiverFixture
