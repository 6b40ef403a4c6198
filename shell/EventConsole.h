#pragma once

#include "events/EventLine.h"

#include <QByteArray>

#include <cstdio>

// The service's events on standard error, one line each, so that the journal
// shows the alarms as they come:
//
//   atalaia: event | 11/12/2026 17:02:03 | account 1001 | client Padaria Central | E130 Roubo | partition 01 |
//   zone 005 | TaviCom | sent
//
// (one line). A line is written when the event is listed, that is once its
// forwarding has a result. Each line is one write of its own, so lines of
// other writers never cut into it.
class EventConsole {
public:
    explicit EventConsole(std::FILE* out = stderr) : m_out(out) {}

    void write(const EventLine& line);
    // The line of one event, ended by a line feed; line ends inside a text are blanks.
    static QByteArray format(const EventLine& line);

private:
    std::FILE* m_out;
};
