#include "device/MulticomListener.h"

#include "common/ListeningSocket.h"
#include "common/UserInterface.h"
#include "config/ServerSettings.h"
#include "device/MulticomFrames.h"
#include "device/SessionProtocol.h"

#include <span>

MulticomListener::MulticomListener(UserInterface& ui, SessionProtocol& protocol,
                                   std::chrono::milliseconds sessionTimeout, QObject* parent)
    : QObject(parent), m_ui(ui), m_protocol(protocol), m_sessionTimeout(sessionTimeout),
      m_clock([] { return std::chrono::steady_clock::now(); }),
      m_poller([this](SessionId id, bool hangUp) { onReady(id, hangUp); }),
      m_maxSessions(ServerSettings::kDefaultMaxSessions) {
    m_watchdog.setSingleShot(true);
    connect(&m_watchdog, &QTimer::timeout, this, &MulticomListener::expireSilentSessions);
}

MulticomListener::~MulticomListener() {
    CloseMulticomListener();
}

bool MulticomListener::OpenMulticomListener(quint16 port) {
    if (m_listeningSocket)
        m_earlierBackOffs += m_listeningSocket->backOffs();
    m_listeningSocket.reset();
    auto socket = std::make_unique<ListeningSocket>([this](int descriptor) { acceptConnection(descriptor); });
    if (!socket->listen(ListeningSocket::Interface::AnyIPv4, port, kListenBacklog)) {
        // The text "Programa será fechado" is not shown after the error: the
        // program goes on running without the listener.
        m_ui.showMessage(socket->errorString(), UserInterface::Icon::Error);
        return false;
    }
    socket->setProblemHandler([this](bool failing, const QString& text) { acceptProblem(failing, text); });
    m_listeningSocket = std::move(socket);
    m_refusalSaid = false;
    return true;
}

void MulticomListener::CloseMulticomListener() {
    if (m_listeningSocket)
        m_listeningSocket->close();
    while (!m_sessions.empty())
        closeSession(m_sessions.begin()->first);
    if (m_listeningSocket)
        m_earlierBackOffs += m_listeningSocket->backOffs();
    m_listeningSocket.reset();
}

bool MulticomListener::isListening() const {
    return m_listeningSocket && m_listeningSocket->isListening();
}

quint16 MulticomListener::listeningPort() const {
    return isListening() ? m_listeningSocket->port() : 0;
}

quint64 MulticomListener::acceptBackOffs() const {
    return m_earlierBackOffs + (m_listeningSocket ? m_listeningSocket->backOffs() : 0);
}

SessionSocket* MulticomListener::findSession(SessionId id) const {
    const auto it = m_sessions.find(id);
    return it == m_sessions.end() ? nullptr : it->second.get();
}

void MulticomListener::forEachSession(const std::function<void(SessionSocket&)>& visit) const {
    for (const auto& [id, session] : m_sessions)
        visit(*session);
}

void MulticomListener::acceptConnection(int descriptor) {
    if (m_sessions.size() >= m_maxSessions) {
        ListeningSocket::refuse(descriptor);
        ++m_refused;
        if (!m_refusalSaid && m_problem)
            m_problem(QStringLiteral("Limite de %1 sessões Multicom atingido (MaxSessions em Server.cfg): novas "
                                     "conexões são recusadas enquanto nenhuma se fechar")
                          .arg(m_maxSessions));
        m_refusalSaid = true;
        return;
    }
    const SessionId id = m_nextId++;
    auto session = std::make_unique<SessionSocket>(id, descriptor);
    // A connection the set does not take is discarded silently (closed with the session).
    if (!m_poller.add(session->descriptor(), id))
        return;
    SessionSocket& added = *session;
    m_sessions.emplace(id, std::move(session));
    noteActivity(added);
}

void MulticomListener::acceptProblem(bool failing, const QString& text) {
    if (!m_problem)
        return;
    m_problem(failing ? QStringLiteral("Conexões Multicom não podem ser aceitas: %1 (novas tentativas em instantes; "
                                       "as sessões abertas continuam)")
                            .arg(text)
                      : QStringLiteral("Conexões Multicom voltaram a ser aceitas"));
}

void MulticomListener::onReady(SessionId id, bool hangUp) {
    SessionSocket* session = findSession(id);
    if (!session)
        return;
    const int count = session->receive();
    if (count > 0 && count < SessionSocket::kBufferSize) {
        if (Multicom::isCompleteFrame(std::span<const char>(session->buffer().data(), size_t(count))))
            noteActivity(*session);
        const QByteArray reply = m_protocol.HandleSessionFrame(session->protocolState(), session->buffer(), count);
        // The protocol never closes a session, but look it up again all the same.
        if (!reply.isEmpty() && (session = findSession(id)))
            session->send(reply.constData(), int(reply.size()));
        return;
    }
    // A full 64 bytes is dropped without a reply. Nothing to read with the
    // peer gone, or a failed connection: the session ends.
    if (count == 0 || session->failed() || (count < 0 && hangUp))
        closeSession(id);
}

void MulticomListener::noteActivity(SessionSocket& session) {
    session.lastActivity = m_clock();
    const bool wasFirst = session.watched && session.watchPosition == m_watchOrder.begin();
    if (session.watched)
        m_watchOrder.splice(m_watchOrder.end(), m_watchOrder, session.watchPosition);
    else
        session.watchPosition = m_watchOrder.insert(m_watchOrder.end(), session.id());
    session.watched = true;
    if (wasFirst || m_watchOrder.size() == 1)
        rearmWatchdog();
}

void MulticomListener::unwatch(SessionSocket& session) {
    if (!session.watched)
        return;
    const bool wasFirst = session.watchPosition == m_watchOrder.begin();
    m_watchOrder.erase(session.watchPosition);
    session.watched = false;
    if (wasFirst)
        rearmWatchdog();
}

void MulticomListener::rearmWatchdog() {
    if (m_watchOrder.empty()) {
        m_watchdog.stop();
        return;
    }
    using namespace std::chrono;
    const SessionSocket* first = findSession(m_watchOrder.front());
    const auto due = first->lastActivity + m_sessionTimeout - m_clock();
    m_watchdog.start(int(std::max<qint64>(0, duration_cast<milliseconds>(due).count() + 1)));
}

void MulticomListener::expireSilentSessions() {
    // Every session silent for the whole time-out is named in a time-out message.
    const auto now = m_clock();
    while (!m_watchOrder.empty()) {
        SessionSocket* first = findSession(m_watchOrder.front());
        if (now - first->lastActivity < m_sessionTimeout)
            break;
        m_watchOrder.pop_front();
        first->watched = false;
        postSessionTimeout(first->id());
    }
    rearmWatchdog();
}

void MulticomListener::closeSession(SessionId id) {
    const auto it = m_sessions.find(id);
    if (it == m_sessions.end())
        return;
    SessionSocket& session = *it->second;
    unwatch(session);
    m_poller.remove(session.descriptor());
    m_sessions.erase(it); // closes the connection
}

void MulticomListener::postSessionTimeout(SessionId id) {
    // Delivered later on the main thread like a posted window message; it is
    // dropped if the listener is gone by then.
    QMetaObject::invokeMethod(
        this, [this, id] { onSessionTimeout(id); }, Qt::QueuedConnection);
}

void MulticomListener::onSessionTimeout(SessionId id) {
    const bool listed = findSession(id) != nullptr;
    if (listed) {
        closeSession(id);
        ++m_expired;
    }
    emit sessionTimeoutHandled(id, listed);
}
