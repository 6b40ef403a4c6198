#pragma once

#include <QByteArray>
#include <QString>

// The texts of one event as the events list shows them and "Events.log" keeps
// them. A log line holds eleven fields separated by single tabs and ended by a
// line feed, in this order: result, time, name, account, event text,
// qualifier, code, partition, zone, protocol, panel (the list shows the panel
// before the protocol).
struct EventLine {
    enum Field { Result = 0, Time, Name, Account, Text, Qualifier, Code, Partition, Zone, Protocol, Panel, FieldCount };

    int result = 0; // ReportResult value; also the row icon
    QString time;
    QString name;
    QString account;
    QString text;
    QString qualifier; // one character: "E", "R", "P" or a blank
    QString code;      // right-aligned in three characters
    QString partition;
    QString zone;
    QString protocol;
    QString panel;

    // The log line, UTF-8, ended by a line feed. Tabs and line ends inside a
    // text are written as blanks, so a line always has its eleven fields.
    QByteArray toLogLine() const;
};
