#pragma once

#include "tests/support/FakeReporter.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <utility>

namespace eventlist_test {

// A log line of the eleven fields, with a LF.
inline QByteArray logLine(int result, const QString& time, const QString& name, const QString& text = "Disparo") {
    return QStringLiteral("%1\t%2\t%3\t0123\t%4\tE\t130\t01\t005\tTaviCom\tKorvo 12IP\n")
        .arg(result)
        .arg(time, name, text)
        .toUtf8();
}

} // namespace eventlist_test
