#pragma once

#include "events/InternalEventTable.h"

#include <QByteArray>
#include <QString>

class DataDirectory;
class UserInterface;

// "LocalEvents.lst": the internal events table and its settings. A header line
// "%04X %04X %03d %02d" (CID account, DC-09 account, zone, partition), then two
// lines per row: "<code> <0|1> <event text>" and the restore text.
namespace LocalEventsFile {

constexpr const char* kFileName = "LocalEvents.lst";
// "Arquivo \"LocalEvents.lst\" faltando ou corrompido\nTudo será zerado\n..."
constexpr int kMsgMissing = 207;
constexpr int kTextMax = 63;

// Fills table from the file's content. Rows the content does not supply are
// cleared; a row whose code or flag is not a number is cleared too and the
// rows after it are still read. Returns false (table untouched) when the
// header cannot be read.
bool parse(const QByteArray& content, InternalEventTable& table);
QByteArray serialize(const InternalEventTable& table);

// `LoadInternalEvents`: reads the file at start-up. A missing or unreadable
// file shows message 207, clears every row and keeps the default settings;
// one refused (not a regular file, too large) says why first.
void LoadInternalEvents(const DataDirectory& dir, InternalEventTable& table, UserInterface& ui);
// `SaveInternalEvents`: rewrites the file whole. Failures are not reported.
bool SaveInternalEvents(const DataDirectory& dir, const InternalEventTable& table);

} // namespace LocalEventsFile
