#pragma once

#include "common/TimeText.h"

#include "common/DataDirectory.h"
#include "events/EventFormatter.h"
#include "events/EventJournal.h"
#include "events/EventLine.h"
#include "events/EventRaiser.h"

#include <QString>

#include <deque>
#include <functional>
#include <memory>

class EventList;
class Reporter;
class UserInterface;
struct AlarmTextTable;
struct InternalEventTable;
struct ServerSettings;

// The raising operations as the rest of the server calls them: a client event
// is forwarded first; when the report sender gives its result the event
// becomes the top row of the events list with the result as its icon, a line
// of "Events.log", and a sound ("Event.wav", or "Offline.wav" when the
// forwarding failed; each behind its setting). Internal events come already
// forwarded and always sound "Event.wav".
//
// Forwarding is asynchronous; the values of a client are copied when the
// event is raised, so a client removed before the result arrives is still
// listed as it was. Results that arrive after this object is gone are dropped.
class EventPipeline : public EventRaiser {
public:
    using Clock = std::function<QString()>;

    EventPipeline(EventList& list, Reporter& reporter, const AlarmTextTable& alarmTexts,
                  const InternalEventTable& internalEvents, const ServerSettings& settings, UserInterface& ui,
                  const DataDirectory& directory);
    ~EventPipeline() override;

    // Replaces the clock that gives the time text (tests).
    void setClock(Clock clock) { m_clock = std::move(clock); }
    // The custody of client events from their acknowledgement until "Events.log" has them.
    void setJournal(EventJournal* journal) { m_journal = journal; }

    // An event that an earlier run acknowledged and never logged: forwarded
    // again when forward says so, else listed and logged as Failed.
    void RaiseRecovered(const EventJournal::Entry& entry, bool forward);
    // Whether lastLine (of "Events.log") is this event's line, whatever its result and time.
    bool isLogLineOf(const EventRecord& event, const QByteArray& lastLine) const;

    void RaiseClientEvent(ClientRecord* client, quint16 code, quint8 partition, quint16 zone, int protocol) override;
    void RaiseClientInternalEvent(ReportResult result, quint16 internalCode,
                                  const ClientEventSubject& subject) override;
    void RaiseInternalEvent(ReportResult result, quint16 internalCode, const QString& name) override;
    void AddEventLine(ReportResult result, const QString& name, quint16 account, quint16 code, quint8 partition,
                      quint16 zone, int protocol, const std::optional<QString>& panel) override;

    // Told of every event as it becomes a row, its result known (the service's line on standard error).
    void setListedHandler(std::function<void(const EventLine&)> handler) { m_listed = std::move(handler); }

    // Told once when "Events.log" refuses a line, and once when it takes one again.
    void setLogProblemHandler(std::function<void(const QString&)> handler) { m_logProblem = std::move(handler); }
    quint64 logWriteFailures() const { return m_logWriteFailures; }
    // Writes the lines "Events.log" refused, when it takes them again without
    // waiting for a new event (space freed on a full disk); true when none wait.
    bool retryRefusedLines();
    int refusedLineCount() const { return int(m_refused.size()); }

    QString eventSoundPath() const { return m_eventSound; }
    QString failureSoundPath() const { return m_failureSound; }

private:
    bool listLocked(const EventRecord& event, quint64 custody = 0);
    void listForwarded(const EventRecord& event, quint64 custody);
    void forward(const EventRecord& event, quint64 custody);
    bool addLine(const EventRecord& event, quint64 custody = 0);
    bool writeRefusedLines();
    void setLogFailing(bool failing);

    EventList& m_list;
    Reporter& m_reporter;
    const InternalEventTable& m_internalEvents;
    const ServerSettings& m_settings;
    UserInterface& m_ui;
    EventFormatter m_formatter;
    QString m_eventSound;
    QString m_failureSound;
    TimeTextClock m_timeText;
    Clock m_clock;
    EventJournal* m_journal = nullptr;
    std::function<void(const QString&)> m_logProblem;
    std::function<void(const EventLine&)> m_listed;
    quint64 m_logWriteFailures = 0;
    bool m_logFailing = false;
    struct RefusedLine {
        EventLine line;
        quint64 custody = 0;
    };
    std::deque<RefusedLine> m_refused; // shown, waiting for "Events.log" to take them
    std::shared_ptr<int> m_alive = std::make_shared<int>(0);
};
