#include "events/EventPipeline.h"

#include "clients/ClientRecord.h"
#include "common/TimeText.h"
#include "common/UserInterface.h"
#include "config/ServerSettings.h"
#include "events/EventList.h"
#include "events/InternalEventTable.h"
#include "reporting/Reporter.h"

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

    const ReportRequest request{event.account, event.reportAccount, event.code, event.partition, event.zone};
    std::weak_ptr<int> alive = m_alive;
    m_reporter.ReportEvent(request, [this, alive, event](ReportResult result) mutable {
        if (alive.expired())
            return;
        event.result = result;
        listForwarded(event);
    });
}

void EventPipeline::listForwarded(const EventRecord& event) {
    listLocked(event);
    if (event.result != ReportResult::Failed) {
        if (m_settings.SoundNewEvent)
            m_ui.playSound(m_eventSound);
    } else if (m_settings.SoundAckFail) {
        m_ui.playSound(m_failureSound);
    }
}

void EventPipeline::listLocked(const EventRecord& event) {
    TimedLockGuard guard(m_list.lock());
    AddEventLine(event.result, event.name, event.account, event.code, event.partition, event.zone, event.protocol,
                 event.panel);
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
    m_list.addEvent(m_formatter.format(event, m_clock()));
}

ClientEventSubject ClientEventSubject::of(const ClientRecord& client) {
    return {client.account, client.name, client.panelText()};
}
