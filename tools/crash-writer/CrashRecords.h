#pragma once

#include <QDateTime>
#include <QString>
#include <QTimeZone>

// What crash-writer writes, so that whoever reads its files back knows what
// each line must hold. Client n (1, 2, ...) has account n, device identifier n
// and the name "Cliente n"; event n (1, 2, ...) has the time text timeText(n)
// and the event text "Evento n", with the fixed fields below; its name is
// that of the newest client saved so far.
namespace CrashRecords {

constexpr const char* kClientPanel = "Korvo 12IP";
constexpr int kClientPeriod = 120;
// The name of an event logged before the first client was saved.
constexpr const char* kNoClientName = "Servidor";
constexpr const char* kEventAccount = "0123";
constexpr const char* kEventQualifier = "E";
constexpr const char* kEventCode = "130";
constexpr const char* kEventPartition = "01";
constexpr const char* kEventZone = "005";
constexpr const char* kEventProtocol = "TaviCom";
constexpr const char* kEventPanel = "Korvo 12IP";
// Progress lines on standard output, each written once its step is done:
// "R" ready (files read, the loop begins), "C n" client n saved, "E n" event
// n logged, "A n" archive run done up to the time of event n.
constexpr char kReady = 'R';
constexpr char kClientSaved = 'C';
constexpr char kEventLogged = 'E';
constexpr char kArchived = 'A';

inline QString clientName(qint64 n) {
    return QStringLiteral("Cliente %1").arg(n);
}

inline QString eventText(qint64 n) {
    return QStringLiteral("Evento %1").arg(n);
}

// One second per event from 01/01/2026 00:00:00 UTC: every event has a time text of its own.
inline QString timeText(qint64 n) {
    static const qint64 base = QDateTime(QDate(2026, 1, 1), QTime(0, 0), QTimeZone::utc()).toSecsSinceEpoch();
    return QDateTime::fromSecsSinceEpoch(base + n, QTimeZone::utc()).toString(QStringLiteral("dd/MM/yyyy HH:mm:ss"));
}

} // namespace CrashRecords
