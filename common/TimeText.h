#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

// The date and time text shown for contacts and events: the local date in the
// user's short date format, one blank, the local time in the user's time format
// (with seconds). The same text goes to the lists and the log files.
namespace TimeText {

QString format(const QDateTime& when);
QString now();

// The locale the texts are written in: the system's, or Brazilian Portuguese
// (dd/MM/yyyy HH:mm:ss) when the system names none ("C" or "POSIX").
QLocale displayLocale(const QLocale& system);
// The locale's long time format without its time-zone part (the token with
// the brackets and blanks around it): "H:mm:ss (t)" gives "H:mm:ss".
QString timeFormatWithSeconds(const QLocale& locale);

} // namespace TimeText

// The current time text, formatted again only when the second changes: the
// datagram path asks for it on every contact, and formatting with the
// user's locale costs more than the rest of a keep-alive's bookkeeping.
class TimeTextClock {
public:
    QString now();

private:
    qint64 m_second = -1;
    QString m_text;
};
