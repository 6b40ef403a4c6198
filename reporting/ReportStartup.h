#pragma once

class DataDirectory;
class ReportSender;
class UserInterface;
struct ReportSettings;

// Brings reporting up at program start: reads "Report.cfg" (message 203 and
// the defaults when it is missing), starts the stored mode without raising the
// internal ON events, and from then on counts start-up as finished. When the
// start fails the operator has seen why and reporting stays closed.
void StartStoredReporting(const DataDirectory& dir, ReportSettings& settings, ReportSender& sender, UserInterface& ui);
