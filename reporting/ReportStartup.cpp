#include "reporting/ReportStartup.h"

#include "common/StringTable.h"
#include "common/UserInterface.h"
#include "reporting/ReportConfigFile.h"
#include "reporting/ReportSender.h"

#include <QSerialPortInfo>

namespace {

constexpr int kMsgNoSerialPorts = 162;

} // namespace

QStringList ListSystemSerialPorts() {
    QStringList ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        ports.append(info.systemLocation());
    ports.sort();
    return ports;
}

void StartStoredReporting(const DataDirectory& dir, ReportSettings& settings, bool& logAll, ReportSender& sender,
                          UserInterface& ui,
                          const std::function<QStringList()>& listSerialPorts) {
    LoadReportConfig(dir, settings, logAll, ui);
    // The mode in use is off until the stored one is selected.
    ReportMode selected = settings.mode;
    if (selected == ReportMode::Serial && listSerialPorts().isEmpty()) {
        ui.showMessage(StringTable::text(kMsgNoSerialPorts), UserInterface::Icon::Error);
        selected = ReportMode::Off;
    }
    sender.StartReporting(selected);
    sender.markStartupFinished();
}
