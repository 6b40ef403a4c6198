#pragma once

#include <QStringList>

#include <functional>

class DataDirectory;
class ReportSender;
class UserInterface;
struct ReportSettings;

// The serial ports the system lists, by the names that open them (such as
// "/dev/ttyS0"), sorted.
QStringList ListSystemSerialPorts();

// Brings reporting up at program start through the "Reportar" section's
// start-up (ReportSection::startUp): reads "Report.cfg" (message 203 and the
// defaults when it is missing), then handles the stored mode as if the
// operator had selected it: a stored serial mode on a machine that lists no
// serial port shows message 162 and falls back to the mode in use, which at
// start-up is off. The resulting mode is started without raising the internal
// ON events, and from then on start-up counts as finished. When the start
// fails the operator has seen why and reporting stays closed.
// logAll: the server's "LogAll" flag, which "Report.cfg" sets as well.
void StartStoredReporting(const DataDirectory& dir, ReportSettings& settings, bool& logAll, ReportSender& sender,
                          UserInterface& ui,
                          const std::function<QStringList()>& listSerialPorts = ListSystemSerialPorts);
