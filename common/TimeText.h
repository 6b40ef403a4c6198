#pragma once

#include <QDateTime>
#include <QString>

// The date and time text shown for contacts and events: the local date in the
// user's short date format, one blank, the local time in the user's time format
// (with seconds). The same text goes to the lists and the log files.
namespace TimeText {

QString format(const QDateTime& when);
QString now();

} // namespace TimeText
