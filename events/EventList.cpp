#include "events/EventList.h"

#include "common/StringTable.h"
#include "common/TextDecoding.h"
#include "common/UserInterface.h"

#include <optional>

namespace {
constexpr int kMsgEventsLogMissing = 131;
constexpr int kMsgArchiveBefore = 133;
constexpr int kMsgArchiveAfter = 134;

// Whether a log line's name field names the filtered client. The bytes are
// compared first (a line this receiver wrote holds the name in UTF-8); a line
// of an older 8-bit log is compared as the text it decodes to.
bool namesClient(QByteArrayView field, QByteArrayView utf8Name, const QString& name) {
    if (field == utf8Name)
        return true;
    return !field.isValidUtf8() && TextDecoding::decode(field) == name;
}
} // namespace

EventList::EventList(const DataDirectory& directory, UserInterface& ui, int lockTimeoutMs)
    : m_log(directory), m_ui(ui), m_lock(lockTimeoutMs) {}

void EventList::showEvent(const EventLine& line) {
    m_model.prepend(line);
}

bool EventList::addEvent(const EventLine& line) {
    const bool logged = m_log.AppendEventLine(line);
    m_model.prepend(line);
    return logged;
}

void EventList::ReloadEvents() {
    // An archive run that a crash cut short is settled before the log is read.
    if (const QString error = m_log.finishInterruptedArchive(); !error.isEmpty())
        m_ui.showMessage(error, UserInterface::Icon::Error);
    QByteArray filterName;
    if (m_filter)
        filterName = m_filter->toUtf8();
    std::optional<TimedLockGuard> guard;
    const EventLogFile::ReadOutcome outcome = m_log.readEvents(
        [&] {
            guard.emplace(m_lock);
            m_model.beginRebuild();
        },
        [&](const EventListModel::RawFields& raw) {
            if (m_filter && !namesClient(raw.fields[EventLine::Name], filterName, *m_filter))
                return;
            m_model.appendOldest(raw);
        });
    if (!outcome.read()) {
        if (!outcome.problem.isEmpty() && outcome.problem != m_refusalSaid)
            m_ui.showMessage(outcome.problem, UserInterface::Icon::Exclamation);
        m_refusalSaid = outcome.problem;
        m_ui.showMessage(StringTable::text(kMsgEventsLogMissing), UserInterface::Icon::Information);
        return;
    }
    m_refusalSaid.clear();
    m_model.endRebuild();
    if (outcome.skipped > 0 && !m_tailSaid) {
        m_tailSaid = true;
        constexpr qint64 kMiB = 1 << 20;
        const QString text = QStringLiteral("\"%1\" tem %2 MiB: a lista mostra só os eventos dos últimos %3 MiB "
                                            "(o arquivo fica como está)")
                                 .arg(m_log.logPath())
                                 .arg(outcome.size / kMiB)
                                 .arg(EventLogFile::kMaxListedBytes / kMiB);
        if (m_notice)
            m_notice(text);
        else
            m_ui.setStatusField(StatusField::Notice, text);
    }
}

void EventList::setFilter(const std::optional<QString>& clientName) {
    m_filter = clientName;
    ReloadEvents();
}

void EventList::ArchiveEvents(const QString& timeText) {
    if (timeText.isEmpty())
        return;
    const QString question = StringTable::text(kMsgArchiveBefore) + timeText + StringTable::text(kMsgArchiveAfter);
    if (!m_ui.askYesNo(question, UserInterface::Icon::Question, false))
        return;
    const EventLogFile::ArchiveOutcome outcome = m_log.archive(timeText);
    if (outcome.status != EventLogFile::ArchiveOutcome::Archived) {
        m_ui.showMessage(outcome.error, UserInterface::Icon::Error);
        return;
    }
    ReloadEvents();
}
