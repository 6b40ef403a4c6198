#pragma once

#include "reporting/ReportSettings.h"

#include <QByteArray>

class DataDirectory;
class UserInterface;

// Reading and writing "Report.cfg" (and its copy "Backup/Report.cfg"): sixteen
// lines ended by a line feed, integers in decimal, booleans as 0 or 1. Line 2
// carries "LogAll", which belongs to the server settings: it is read into and
// written from the one flag the caller gives, so no second copy of it exists.
namespace ReportConfigFile {

inline constexpr char kFileName[] = "Report.cfg";
constexpr int kMessageMissing = 203;
constexpr int kMaxTextLength = 63;

// Fills settings from the file's text. Numbers are whitespace-separated; the
// serial port name (line 8) and the station host (line 15) are read whole.
// A value the text does not supply keeps the value settings already had.
void parse(const QByteArray& content, ReportSettings& settings, bool& logAll);

QByteArray serialize(const ReportSettings& settings, bool logAll);

} // namespace ReportConfigFile

// Start-up reading of "Report.cfg": when the file cannot be read, message 203
// is shown and settings keep their defaults. Something in the file's place
// that is refused (not a regular file, too large, unreadable) is said first,
// then taken as a missing file. Returns whether the file was read.
bool LoadReportConfig(const DataDirectory& dir, ReportSettings& settings, bool& logAll, UserInterface& ui);

// "Salvar": writes "Report.cfg" and then "Backup/Report.cfg" whole. Returns
// false when the main file could not be written (nothing is reported).
bool SaveReportConfig(const DataDirectory& dir, const ReportSettings& settings, bool logAll);
