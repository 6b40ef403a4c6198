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
// (one line). An event is added when it is listed, that is once its
// forwarding has a result. The lines added in one round of the event loop are
// written together by flush(), in one write, before the loop waits again; so
// a burst of alarms costs one system call per round, not one per event, and a
// line is never cut by another writer.
class EventConsole {
public:
    explicit EventConsole(std::FILE* out = stderr) : m_out(out) {}
    ~EventConsole() { flush(); }
    EventConsole(const EventConsole&) = delete;
    EventConsole& operator=(const EventConsole&) = delete;

    void add(const EventLine& line) { m_pending += format(line); }
    void flush();
    // The line of one event, ended by a line feed; line ends and other control
    // characters inside a text are blanks.
    static QByteArray format(const EventLine& line);

private:
    std::FILE* m_out;
    QByteArray m_pending;
};
