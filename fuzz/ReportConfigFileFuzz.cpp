// "Report.cfg" read from any bytes, written and read again: the settings read
// back must be the ones written, and writing them again gives the same file.
#include "fuzz/FuzzInput.h"
#include "reporting/ReportConfigFile.h"

namespace {

bool same(const ReportSettings& a, const ReportSettings& b) {
    return a.mode == b.mode && a.transparent == b.transparent && a.reportHeartbeat == b.reportHeartbeat &&
           a.ownHeartbeat == b.ownHeartbeat && a.heartbeatPeriod == b.heartbeatPeriod &&
           a.attemptsIndex == b.attemptsIndex && a.serialPort == b.serialPort && a.receiver == b.receiver &&
           a.line == b.line && a.baudIndex == b.baudIndex && a.parityIndex == b.parityIndex &&
           a.dataBitsIndex == b.dataBitsIndex && a.stopBitsIndex == b.stopBitsIndex && a.stationHost == b.stationHost &&
           a.stationPort == b.stationPort;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray content(reinterpret_cast<const char*>(data), qsizetype(size));
    ReportSettings loaded;
    bool logAll = false;
    ReportConfigFile::parse(content, loaded, logAll);
    const QByteArray saved = ReportConfigFile::serialize(loaded, logAll);

    ReportSettings reloaded;
    bool logAllReloaded = !logAll;
    ReportConfigFile::parse(saved, reloaded, logAllReloaded);
    require(same(loaded, reloaded));
    require(logAllReloaded == logAll);
    require(ReportConfigFile::serialize(reloaded, logAllReloaded) == saved);
    return 0;
}
