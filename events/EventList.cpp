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
    const bool opened = m_log.readEvents(
        [&] {
            guard.emplace(m_lock);
            m_model.beginRebuild();
        },
        [&](const EventListModel::RawFields& raw) {
            if (m_filter && !namesClient(raw.fields[EventLine::Name], filterName, *m_filter))
                return;
            m_model.appendOldest(raw);
        });
    if (!opened) {
        m_ui.showMessage(StringTable::text(kMsgEventsLogMissing), UserInterface::Icon::Information);
        return;
    }
    m_model.endRebuild();
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
