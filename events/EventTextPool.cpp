#include "events/EventTextPool.h"

#include "common/TextDecoding.h"

EventTextPool::Id EventTextPool::add(const QString& text) {
    const Id id = static_cast<Id>(m_spans.size());
    m_spans.push_back({static_cast<quint32>(m_chars.size()), static_cast<quint32>(text.size())});
    m_chars += text;
    return id;
}

EventTextPool::Id EventTextPool::intern(QByteArrayView utf8) {
    const std::string_view key(utf8.data(), static_cast<size_t>(utf8.size()));
    const auto found = m_shared.find(key);
    if (found != m_shared.end())
        return found->second;
    const Id id = add(TextDecoding::decode(utf8));
    m_shared.emplace(std::string(key), id);
    return id;
}

EventTextPool::Id EventTextPool::intern(const QString& text) {
    return intern(QByteArrayView(text.toUtf8()));
}

EventTextPool::Id EventTextPool::appendSequential(QByteArrayView utf8) {
    const std::string_view key(utf8.data(), static_cast<size_t>(utf8.size()));
    if (m_hasSequential && key == m_lastSequential)
        return m_lastSequentialId;
    m_lastSequential.assign(key);
    m_lastSequentialId = add(TextDecoding::decode(utf8));
    m_hasSequential = true;
    return m_lastSequentialId;
}

EventTextPool::Id EventTextPool::appendSequential(const QString& text) {
    return appendSequential(QByteArrayView(text.toUtf8()));
}

QString EventTextPool::text(Id id) const {
    if (id >= m_spans.size())
        return {};
    const Span span = m_spans[id];
    return QString(m_chars.constData() + span.offset, span.length);
}

void EventTextPool::clear() {
    m_chars = QString();
    m_spans.clear();
    m_spans.shrink_to_fit();
    m_shared.clear();
    m_lastSequential.clear();
    m_hasSequential = false;
}
