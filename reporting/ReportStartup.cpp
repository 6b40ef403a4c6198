#include "reporting/ReportStartup.h"

#include "reporting/ReportConfigFile.h"
#include "reporting/ReportSender.h"

void StartStoredReporting(const DataDirectory& dir, ReportSettings& settings, ReportSender& sender, UserInterface& ui) {
    LoadReportConfig(dir, settings, ui);
    sender.StartReporting(settings.mode);
    sender.markStartupFinished();
}
