#include "device/MulticomListener.h"

#include "common/UserInterface.h"
#include "device/MulticomListeningSocket.h"
#include "device/SessionProtocol.h"

#include <QHostAddress>

#include <unistd.h>

MulticomListener::MulticomListener(UserInterface& ui, SessionProtocol& protocol,
                                   std::chrono::milliseconds sessionTimeout, QObject* parent)
    : QObject(parent), m_ui(ui), m_protocol(protocol), m_sessionTimeout(sessionTimeout) {}

MulticomListener::~MulticomListener() {
    CloseMulticomListener();
    // Sessions waiting for the event loop to delete them are children and go now.
}

bool MulticomListener::OpenMulticomListener(quint16 port) {
    m_listeningSocket.reset();
    auto socket =
        std::make_unique<MulticomListeningSocket>([this](qintptr descriptor) { acceptConnection(descriptor); });
    if (!socket->listen(QHostAddress::AnyIPv4, port)) {
        // The text "Programa será fechado" is not shown after the error: the
        // program goes on running without the listener.
        m_ui.showMessage(socket->errorString(), UserInterface::Icon::Error);
        return false;
    }
    m_listeningSocket = std::move(socket);
    return true;
}

void MulticomListener::CloseMulticomListener() {
    if (m_listeningSocket)
        m_listeningSocket->close();
    while (!m_sessions.empty())
        closeSession(m_sessions.begin()->first);
    m_listeningSocket.reset();
}

bool MulticomListener::isListening() const {
    return m_listeningSocket && m_listeningSocket->isListening();
}

quint16 MulticomListener::listeningPort() const {
    return isListening() ? m_listeningSocket->serverPort() : 0;
}

SessionSocket* MulticomListener::findSession(SessionId id) const {
    const auto it = m_sessions.find(id);
    return it == m_sessions.end() ? nullptr : it->second;
}

void MulticomListener::forEachSession(const std::function<void(SessionSocket&)>& visit) const {
    for (const auto& [id, session] : m_sessions)
        visit(*session);
}

void MulticomListener::acceptConnection(qintptr descriptor) {
    const SessionId id = m_nextId++;
    auto* session = new SessionSocket(id, *this, m_sessionTimeout);
    m_sessions.emplace(id, session);
    if (!session->attach(descriptor)) {
        // The new session is discarded silently.
        m_sessions.erase(id);
        session->end();
        delete session;
        ::close(static_cast<int>(descriptor));
    }
}

void MulticomListener::handFrame(SessionSocket& session, int count) {
    const QByteArray reply = m_protocol.HandleSessionFrame(session.protocolState(), session.buffer(), count);
    if (!reply.isEmpty())
        session.send(reply.constData(), int(reply.size()));
}

void MulticomListener::closeSession(SessionId id) {
    SessionSocket* session = findSession(id);
    if (!session)
        return;
    session->end(); // the close below must not come back as a peer close
    session->abort();
    cleanUp(id);
}

void MulticomListener::peerClosed(SessionId id) {
    if (findSession(id))
        cleanUp(id); // the connection itself is released when the session is destroyed
}

void MulticomListener::postSessionTimeout(SessionId id) {
    // Delivered later on the main thread like a posted window message; it is
    // dropped if the listener is gone by then.
    QMetaObject::invokeMethod(
        this, [this, id] { onSessionTimeout(id); }, Qt::QueuedConnection);
}

void MulticomListener::onSessionTimeout(SessionId id) {
    const bool listed = findSession(id) != nullptr;
    if (listed)
        closeSession(id);
    emit sessionTimeoutHandled(id, listed);
}

void MulticomListener::cleanUp(SessionId id) {
    const auto it = m_sessions.find(id);
    if (it == m_sessions.end())
        return;
    SessionSocket* session = it->second;
    m_sessions.erase(it);
    session->end();
    // It may be inside one of its own notifications: the event loop deletes it.
    session->deleteLater();
}
