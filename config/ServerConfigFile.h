#pragma once

#include "config/ServerSettings.h"

#include <QByteArray>
#include <QString>

class UserInterface;

// Reading and writing "Server.cfg".
namespace ServerConfigFile {

constexpr int kMaxLineLength = 511;
constexpr int kValueScanLength = 80;

// Fills settings from the text of a "Server.cfg" (ports start at 0, every
// other field keeps its value when the file does not name it).
void parse(const QByteArray& content, ServerSettings& settings);

// The 23 lines that "Salvar" writes, CR LF ended.
QByteArray serialize(const ServerSettings& settings);

} // namespace ServerConfigFile

// Start-up reading of "Server.cfg" with its two questions. A file that is
// refused (not a regular file, too large, unreadable) is said in a message and
// then taken as a missing one. Returns false when
// the operator declined to go on: the process then ends with exit code 1.
bool LoadServerConfig(const QString& path, ServerSettings& settings, UserInterface& ui);
