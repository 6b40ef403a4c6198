#include "events/EventPipeline.h"

#include "clients/ClientRecord.h"
#include "common/TimeText.h"
#include "common/UserInterface.h"
#include "config/ServerSettings.h"
#include "events/EventList.h"
#include "events/InternalEventTable.h"
#include "reporting/Reporter.h"

#include <QByteArrayList>
#include <QDateTime>

EventPipeline::EventPipeline(EventList& list, Reporter& reporter, const AlarmTextTable& alarmTexts,
                             const InternalEventTable& internalEvents, const ServerSettings& settings,
                             UserInterface& ui, const DataDirectory& directory)
    : m_list(list), m_reporter(reporter), m_internalEvents(internalEvents), m_settings(settings), m_ui(ui),
      m_formatter(alarmTexts, internalEvents), m_eventSound(directory.file(QStringLiteral("Event.wav"))),
      m_failureSound(directory.file(QStringLiteral("Offline.wav"))), m_clock([this] { return m_timeText.now(); }) {}

EventPipeline::~EventPipeline() = default;

void EventPipeline::RaiseClientEvent(ClientRecord* client, quint16 code, quint8 partition, quint16 zone, int protocol) {
    if (!client || client->status == ClientStatus::Blocked || client->status == ClientStatus::New)
        return;
    EventRecord event;
    event.account = client->account;
    event.reportAccount = client->primaryAccount();
    event.code = code;
    event.partition = partition;
    event.zone = zone;
    event.protocol = protocol;
    event.name = client->name;
    event.panel = client->panelText();

    // The socket's reading round held it before its acknowledgement left; a
    // protocol that did not is held here.
    quint64 custody = 0;
    if (m_journal) {
        custody = m_journal->claim();
        if (!custody) {
            custody = m_journal->hold(event, QDateTime::currentMSecsSinceEpoch());
            m_journal->commit();
            m_journal->sync();
        }
    }
    forward(event, custody);
}

void EventPipeline::forward(const EventRecord& event, quint64 custody) {
    const ReportRequest request{event.account, event.reportAccount, event.code, event.partition, event.zone};
    std::weak_ptr<int> alive = m_alive;
    m_reporter.ReportEvent(request, [this, alive, record = event, custody](ReportResult result) mutable {
        if (alive.expired())
            return;
        record.result = result;
        listForwarded(record, custody);
    });
}

void EventPipeline::RaiseRecovered(const EventJournal::Entry& entry, bool forwardAgain) {
    if (forwardAgain) {
        forward(entry.event, entry.id);
        return;
    }
    EventRecord event = entry.event;
    event.result = ReportResult::Failed;
    listForwarded(event, entry.id);
}

bool EventPipeline::isLogLineOf(const EventRecord& event, const QByteArray& lastLine) const {
    const QByteArrayList logged = lastLine.split('\t');
    const QByteArrayList expected = m_formatter.format(event, QString()).toLogLine().chopped(1).split('\t');
    if (logged.size() != expected.size())
        return false;
    for (qsizetype field = EventLine::Name; field < expected.size(); ++field)
        if (logged[field] != expected[field])
            return false;
    return true;
}

void EventPipeline::listForwarded(const EventRecord& event, quint64 custody) {
    // Kept in custody while "Events.log" cannot take it.
    if (listLocked(event, custody) && custody && m_journal)
        m_journal->release(custody);
    if (event.result != ReportResult::Failed) {
        if (m_settings.SoundNewEvent)
            m_ui.playSound(m_eventSound);
    } else if (m_settings.SoundAckFail) {
        m_ui.playSound(m_failureSound);
    }
}

bool EventPipeline::listLocked(const EventRecord& event, quint64 custody) {
    TimedLockGuard guard(m_list.lock());
    return addLine(event, custody);
}

void EventPipeline::RaiseClientInternalEvent(ReportResult result, quint16 internalCode,
                                             const ClientEventSubject& subject) {
    EventRecord event;
    event.result = result;
    event.account = subject.account;
    event.code = internalCode;
    event.partition = m_internalEvents.settings.partition;
    event.zone = m_internalEvents.settings.zone;
    event.protocol = EventProtocol::Internal;
    event.name = subject.name;
    event.panel = subject.panel;
    listLocked(event);
    m_ui.playSound(m_eventSound);
}

void EventPipeline::RaiseInternalEvent(ReportResult result, quint16 internalCode, const QString& name) {
    EventRecord event;
    event.result = result;
    event.account = 0;
    event.code = internalCode;
    event.partition = m_internalEvents.settings.partition;
    event.zone = m_internalEvents.settings.zone;
    event.protocol = EventProtocol::Internal;
    event.name = name;
    listLocked(event);
    m_ui.playSound(m_eventSound);
}

void EventPipeline::AddEventLine(ReportResult result, const QString& name, quint16 account, quint16 code,
                                 quint8 partition, quint16 zone, int protocol, const std::optional<QString>& panel) {
    EventRecord event;
    event.result = result;
    event.name = name;
    event.account = account;
    event.code = code;
    event.partition = partition;
    event.zone = zone;
    event.protocol = protocol;
    event.panel = panel;
    addLine(event);
}

bool EventPipeline::writeRefusedLines() {
    while (!m_refused.empty()) {
        if (!m_list.logFile().AppendEventLine(m_refused.front().line))
            return false;
        if (m_refused.front().custody && m_journal)
            m_journal->release(m_refused.front().custody);
        m_refused.pop_front();
    }
    return true;
}

bool EventPipeline::addLine(const EventRecord& event, quint64 custody) {
    const EventLine line = m_formatter.format(event, m_clock());
    // Lines the log refused go in first, in their order, once it takes lines again.
    bool logged = false;
    if (writeRefusedLines())
        logged = m_list.addEvent(line);
    else
        m_list.showEvent(line);
    if (!logged) {
        ++m_logWriteFailures;
        m_refused.push_back({line, custody});
    }
    setLogFailing(!logged);
    if (m_listed)
        m_listed(line);
    return logged;
}

bool EventPipeline::retryRefusedLines() {
    if (m_refused.empty())
        return true;
    const bool written = writeRefusedLines();
    setLogFailing(!written);
    return written;
}

void EventPipeline::setLogFailing(bool failing) {
    if (failing == m_logFailing)
        return;
    // A full disk or a log that cannot be written is said, not kept silent; the
    // lines wait (their client events in custody) until it takes lines again.
    m_logFailing = failing;
    if (!m_logProblem)
        return;
    // Why, when the log said it (a link or a FIFO in its place, a full disk).
    QString why = m_list.logFile().appendProblem();
    if (why.isEmpty())
        why = QStringLiteral("disco cheio?");
    m_logProblem(!failing ? QStringLiteral("Events.log voltou a ser gravado")
                          : QStringLiteral("Events.log não pôde ser gravado (%1): os eventos continuam na lista e "
                                           "guardados em %2 até que possam ser gravados")
                                .arg(why, QString::fromLatin1(EventJournal::kFileName)));
}

ClientEventSubject ClientEventSubject::of(const ClientRecord& client) {
    return {client.account, client.name, client.panelText()};
}
