#pragma once

#include "events/EventLine.h"
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

// The event of logLine with the same fields, as the list takes a new one.
inline EventLine eventLine(int result, const QString& time, const QString& name, const QString& text = "Disparo") {
    EventLine line;
    line.result = result;
    line.time = time;
    line.name = name;
    line.account = QStringLiteral("0123");
    line.text = text;
    line.qualifier = QStringLiteral("E");
    line.code = QStringLiteral("130");
    line.partition = QStringLiteral("01");
    line.zone = QStringLiteral("005");
    line.protocol = QStringLiteral("TaviCom");
    line.panel = QStringLiteral("Korvo 12IP");
    return line;
}

} // namespace eventlist_test
