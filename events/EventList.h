#pragma once

#include "common/DataDirectory.h"
#include "common/TimedLock.h"
#include "events/EventListModel.h"
#include "events/EventLogFile.h"

#include <QString>

#include <functional>
#include <optional>

class UserInterface;

// The events list of the "Eventos" tab with its log: every event shown is
// appended to "Events.log" and becomes the top row; the list is rebuilt from
// the log under the client filter, and its older part can be archived.
//
// Everything runs on the main thread. The lock (EventsListLock) serialises
// additions and rebuilds; it is taken by the raising operations and by
// ReloadEvents, never twice by one holder, and a holder that cannot have it
// within its time-out goes on without it.
class EventList {
public:
    EventList(const DataDirectory& directory, UserInterface& ui, int lockTimeoutMs = TimedLock::kDefaultTimeoutMs);

    EventListModel& model() { return m_model; }
    const EventListModel& model() const { return m_model; }
    EventLogFile& logFile() { return m_log; }
    TimedLock& lock() { return m_lock; }

    // Appends the event's log line and shows it as the new top row; false
    // when "Events.log" did not take the line (the list still shows it). New
    // events are shown whatever the filter, so no incoming alarm is hidden
    // from the operator.
    bool addEvent(const EventLine& line);
    // Shows the event as the new top row without logging it (a line that waits for the log).
    void showEvent(const EventLine& line);

    // Rebuilds the list from "Events.log" under the current filter, newest
    // first, once an archive run that a crash cut short is settled. When the
    // log cannot be opened: message 131, list unchanged. Something in the
    // log's place that is refused (a FIFO, a directory, a link) is said in a
    // message first, once for as long as the same problem lasts. Of a log
    // larger than EventLogFile::kMaxListedBytes only its end is listed, which
    // the notice handler says once in the run; the log itself is left as it is.
    void ReloadEvents();

    // Where notices go that need no answer (the status bar and standard
    // error); without a handler, the status bar's notice field.
    void setNoticeHandler(std::function<void(const QString&)> handler) { m_notice = std::move(handler); }

    // The client filter: the name whose lines the list shows, or none for all.
    void setFilter(const std::optional<QString>& clientName);
    const std::optional<QString>& filter() const { return m_filter; }

    // Archives the log up to the row with this time text (asks first), then
    // reloads. A failed step shows the system's error text and skips the rest.
    void ArchiveEvents(const QString& timeText);

private:
    EventLogFile m_log;
    EventListModel m_model;
    UserInterface& m_ui;
    TimedLock m_lock;
    std::optional<QString> m_filter;
    std::function<void(const QString&)> m_notice;
    QString m_refusalSaid;   // the log's refusal last said
    bool m_tailSaid = false; // the listing of only the log's end was said
};
