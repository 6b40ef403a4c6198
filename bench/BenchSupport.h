#pragma once

#include "common/UserInterface.h"
#include "device/TaviComCodec.h"

#include <QByteArray>
#include <QFile>

#include <benchmark/benchmark.h>

// Helpers shared by the benchmark programs.
namespace BenchSupport {

// A user interface that shows nothing and answers every question Yes.
class QuietUserInterface : public UserInterface {
public:
    void showMessage(const QString&, Icon) override {}
    bool askYesNo(const QString&, Icon, bool) override { return true; }
    void setStatusField(int, const QString&) override {}
    void playSound(const QString&) override { ++sounds; }
    int sounds = 0;
};

// Resident memory of the process in KiB.
inline long residentKb() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return 0;
}

// Runs the registered benchmarks; the caller has created the Qt application object.
inline int runBenchmarks(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

// A device's report as it goes on the wire: an event or a keep-alive of a
// device whose identifier is its account, partition 1.
inline QByteArray reportDatagram(quint8 type, quint16 account, quint16 sequence, quint16 code, quint16 zone,
                                 quint16 period) {
    using namespace TaviCom;
    DatagramBuffer buffer{};
    buffer[kOffType] = type;
    writeU32(buffer, kOffDeviceId, account);
    writeU16(buffer, kOffSequence, sequence);
    buffer[kOffAnswerKind] = kKindAnswer;
    buffer[kOffKind] = kKindReport;
    DeviceReport fields;
    fields.account = account;
    fields.code = code;
    fields.partition = 1;
    fields.zone = zone;
    fields.period = period;
    writeDeviceReport(buffer, fields);
    const int padded = SealDatagram(buffer, kReportPayloadLength);
    return QByteArray(reinterpret_cast<const char*>(buffer.data()), kFrameOverhead + padded);
}

} // namespace BenchSupport
