#include "reporting/ReportStartup.h"

#include "reporting/ReportSection.h"

#include <QSerialPortInfo>

QStringList ListSystemSerialPorts() {
    QStringList ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        ports.append(info.systemLocation());
    ports.sort();
    return ports;
}

void StartStoredReporting(const DataDirectory& dir, ReportSettings& settings, bool& logAll, ReportSender& sender,
                          UserInterface& ui, const std::function<QStringList()>& listSerialPorts) {
    ReportSection section(settings, logAll, sender, ui, dir, listSerialPorts);
    section.startUp();
}
