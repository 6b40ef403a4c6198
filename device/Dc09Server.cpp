#include "device/Dc09Server.h"

#include "clients/ClientContact.h"
#include "clients/ClientRecord.h"
#include "clients/ClientRegistry.h"
#include "common/ListeningSocket.h"
#include "common/UserInterface.h"
#include "config/Dc09Settings.h"
#include "config/ServerSettings.h"
#include "device/DeviceReportIntake.h"
#include "events/EventJournal.h"
#include "events/EventRaiser.h"

#include <QHostAddress>
#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Room for the SO_RXQ_OVFL control message of one datagram.
// Sender address texts kept formatted; the cache starts over beyond this.
constexpr int kMaxAddressTexts = 4096;
// Tries for a free number that both UDP and TCP take, when any number will do.
constexpr int kFreePortTries = 16;

sockaddr_in ipv4(quint32 address, quint16 port) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(address);
    return to;
}

int openUdp(quint16 port, quint16& bound, QString& error) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = qt_error_string(errno);
        return -1;
    }
    const sockaddr_in local = ipv4(INADDR_ANY, port);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        error = qt_error_string(errno);
        ::close(fd);
        return -1;
    }
    const int requested = Dc09Server::kRequestedReceiveBuffer;
    if (::setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &requested, sizeof requested) != 0)
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &requested, sizeof requested);
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_RXQ_OVFL, &on, sizeof on);
    sockaddr_in local2{};
    socklen_t length = sizeof local2;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&local2), &length);
    bound = ntohs(local2.sin_port);
    return fd;
}

std::size_t answerIndex(Dc09Outcome::Answer answer) {
    return std::size_t(answer);
}

} // namespace

Dc09Server::Dc09Server(const Dc09Settings& settings, const SiaCodeTable& siaCodes, ClientRegistry& registry,
                       DeviceReportIntake& intake, UserInterface& ui, QObject* parent)
    : QObject(parent), m_settings(settings), m_registry(registry), m_intake(intake), m_ui(ui),
      m_receiver(settings, siaCodes), m_clock([] { return std::chrono::steady_clock::now(); }),
      m_utc([] { return QDateTime::currentDateTimeUtc(); }),
      m_poller([this](SessionId id, bool hangUp) { onReady(id, hangUp); }),
      m_maxSessions(ServerSettings::kDefaultMaxSessions) {
    m_watchdog.setSingleShot(true);
    connect(&m_watchdog, &QTimer::timeout, this, &Dc09Server::expireSilentSessions);
    m_round.reserve(kBatchSize);
}

Dc09Server::~Dc09Server() {
    stop();
}

bool Dc09Server::start(quint16 port) {
    stop();
    QString error;
    // Any number will do: one that UDP takes, tried on TCP until both have the same.
    for (int attempt = 0; attempt < (port == 0 ? kFreePortTries : 1); ++attempt) {
        quint16 bound = 0;
        const int fd = openUdp(port, bound, error);
        if (fd < 0)
            break;
        auto listener = std::make_unique<ListeningSocket>([this](int descriptor) { acceptConnection(descriptor); });
        if (!listener->listen(ListeningSocket::Interface::AnyIPv4, bound, kListenBacklog)) {
            error = listener->errorString();
            ::close(fd);
            continue;
        }
        listener->setProblemHandler([this](bool failing, const QString& text) { acceptProblem(failing, text); });
        m_listener = std::move(listener);
        m_fd = fd;
        m_port = bound;
        m_dropped.lastCounter = 0;
        m_refusalSaid = false;
        m_notifier = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Read);
        connect(m_notifier.get(), &QSocketNotifier::activated, this, &Dc09Server::readDatagrams);
        return true;
    }
    m_ui.showMessage(QStringLiteral("Recepção DC-09 na porta %1 não pôde ser aberta: %2").arg(port).arg(error),
                     UserInterface::Icon::Error);
    return false;
}

void Dc09Server::stop() {
    if (m_listener) {
        m_earlierBackOffs += m_listener->backOffs();
        m_listener->close();
        m_listener.reset();
    }
    while (!m_sessions.empty())
        closeSession(m_sessions.begin()->first);
    m_notifier.reset();
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_port = 0;
}

quint64 Dc09Server::acceptBackOffs() const {
    return m_earlierBackOffs + (m_listener ? m_listener->backOffs() : 0);
}

const QString& Dc09Server::addressText(quint32 address) {
    auto found = m_addressTexts.constFind(address);
    if (found != m_addressTexts.constEnd())
        return *found;
    if (m_addressTexts.size() >= kMaxAddressTexts)
        m_addressTexts.clear();
    return *m_addressTexts.insert(address, QHostAddress(address).toString());
}

// ---- Messages ----

Dc09Server::Taken Dc09Server::take(QByteArrayView frame, const QString& address, quint16 port,
                                   const QDateTime& nowUtc) {
    Taken taken{m_receiver.take(frame, address, port, nowUtc), {}};
    ++m_answers[answerIndex(taken.outcome.answer)];
    if (m_journal && taken.outcome.reason == Dc09Outcome::Reason::Taken)
        taken.custody = holdEvents(taken.outcome);
    return taken;
}

namespace {

DeviceReportIn reportOf(const Dc09Outcome& outcome, PrimaryClient* client) {
    DeviceReportIn in;
    in.type = DeviceReportIn::Type::Other; // the contact alone, unless an event is given
    in.target = DeviceReportIn::Target::AccountOrClient;
    in.protocol = EventProtocol::Dc09;
    in.account = outcome.reportAccount;
    in.channel = Channel::Ethernet;
    in.period = kNoPeriodAnnounced;
    in.address = outcome.address;
    in.port = outcome.port;
    in.reportAccount = outcome.reportAccount;
    in.client = client;
    return in;
}

void setEvent(DeviceReportIn& in, const Dc09Content::Event& event) {
    in.type = DeviceReportIn::Type::Event;
    in.account = event.account;
    in.code = event.code;
    in.partition = event.partition;
    in.zone = event.zone;
}

} // namespace

QList<quint64> Dc09Server::holdEvents(const Dc09Outcome& outcome) {
    QList<quint64> custody;
    PrimaryClient* client = m_registry.FindPrimary(outcome.reportAccount);
    DeviceReportIn in = reportOf(outcome, client);
    const qint64 nowMs = QDateTime::currentMSecsSinceEpoch();
    for (const Dc09Content::Event& event : outcome.events) {
        setEvent(in, event);
        const ClientRecord* target = DeviceReportIntake::eventTarget(in);
        if (!target || target->status == ClientStatus::Blocked || target->status == ClientStatus::New) {
            custody.append(0);
            continue;
        }
        EventRecord record;
        record.account = target->account;
        record.reportAccount = target->primaryAccount();
        record.code = event.code;
        record.partition = event.partition;
        record.zone = event.zone;
        record.protocol = EventProtocol::Dc09;
        record.name = target->name;
        record.panel = target->panelText();
        custody.append(m_journal->hold(record, nowMs));
    }
    return custody;
}

void Dc09Server::handOn(const Taken& taken) {
    const Dc09Outcome& outcome = taken.outcome;
    if (!outcome.contact())
        return;
    // Looked up now: what an earlier message of the round set off may have changed the registry.
    DeviceReportIn in = reportOf(outcome, m_registry.FindPrimary(outcome.reportAccount));
    if (outcome.events.isEmpty()) {
        m_intake.takeReport(in);
        return;
    }
    for (qsizetype i = 0; i < outcome.events.size(); ++i) {
        setEvent(in, outcome.events[i]);
        if (m_journal && i < taken.custody.size())
            m_journal->offer(taken.custody[i]);
        m_intake.takeReport(in);
        if (m_journal)
            m_journal->withdraw(); // not raised after all: nothing to keep
    }
}

// ---- UDP ----

int Dc09Server::receiveBatch(std::span<Dc09Datagram> batch) {
    return std::max(0, receiveUdpBatch<kBatchSize>(m_fd, batch, m_dropped));
}

void Dc09Server::readDatagrams() {
    for (int handled = 0; m_fd >= 0 && handled < kMaxDatagramsPerRound;) {
        const int read = receiveBatch(std::span<Dc09Datagram>(m_batch.data(), m_batch.size()));
        if (read <= 0)
            return;
        handled += read;
        m_framesReceived[std::size_t(Transport::Udp)] += quint64(read);
        const QDateTime now = m_utc();
        m_round.clear();
        for (int i = 0; i < read; ++i) {
            const Dc09Datagram& datagram = m_batch[size_t(i)];
            m_round.push_back(take(QByteArrayView(datagram.bytes.data(), datagram.length),
                                   addressText(datagram.address), datagram.port, now));
        }
        // The round's events are written down before their answers leave, and reach the disk right after.
        if (m_journal)
            m_journal->commit();
        std::array<mmsghdr, kBatchSize> messages{};
        std::array<iovec, kBatchSize> vectors{};
        std::array<sockaddr_in, kBatchSize> receivers{};
        unsigned outgoing = 0;
        for (int i = 0; i < read; ++i) {
            const QByteArray& reply = m_round[size_t(i)].outcome.reply;
            if (reply.isEmpty())
                continue;
            receivers[outgoing] = ipv4(m_batch[size_t(i)].address, m_batch[size_t(i)].port);
            vectors[outgoing] = {const_cast<char*>(reply.constData()), size_t(reply.size())};
            msghdr& header = messages[outgoing].msg_hdr;
            header.msg_name = &receivers[outgoing];
            header.msg_namelen = sizeof receivers[outgoing];
            header.msg_iov = &vectors[outgoing];
            header.msg_iovlen = 1;
            ++outgoing;
        }
        for (unsigned from = 0; from < outgoing;) {
            int sent;
            do {
                sent = ::sendmmsg(m_fd, messages.data() + from, outgoing - from, MSG_DONTWAIT);
            } while (sent < 0 && errno == EINTR);
            from += sent > 0 ? unsigned(sent) : 1; // one the kernel refuses does not hold back the rest
        }
        if (m_journal)
            m_journal->sync();
        std::vector<Taken> round;
        round.swap(m_round); // what a handing on sets off may read the socket again
        for (const Taken& taken : round)
            handOn(taken);
        round.clear();
        if (m_round.empty())
            m_round.swap(round); // its room serves the next round
    }
}

// ---- TCP ----

void Dc09Server::acceptConnection(int descriptor) {
    if (m_sessions.size() >= m_maxSessions) {
        ListeningSocket::refuse(descriptor);
        ++m_refused;
        if (!m_refusalSaid && m_problem)
            m_problem(QStringLiteral("Limite de %1 conexões DC-09 atingido (MaxSessions em Server.cfg): novas "
                                     "conexões são recusadas enquanto nenhuma se fechar")
                          .arg(m_maxSessions));
        m_refusalSaid = true;
        return;
    }
    const SessionId id = m_nextId++;
    auto socket = std::make_unique<SessionSocket>(id, descriptor);
    if (!m_poller.add(socket->descriptor(), id))
        return; // closed with the socket
    Session& session = m_sessions[id];
    session.socket = std::move(socket);
    noteActivity(*session.socket);
}

void Dc09Server::acceptProblem(bool failing, const QString& text) {
    if (!m_problem)
        return;
    m_problem(failing ? QStringLiteral("Conexões DC-09 não podem ser aceitas: %1 (novas tentativas em instantes; "
                                       "as conexões abertas continuam)")
                            .arg(text)
                      : QStringLiteral("Conexões DC-09 voltaram a ser aceitas"));
}

void Dc09Server::onReady(SessionId id, bool /*hangUp*/) {
    auto found = m_sessions.find(id);
    if (found == m_sessions.end())
        return;
    Session& session = found->second;
    const int descriptor = session.socket->descriptor();
    std::array<char, 4096> buffer;
    QList<QByteArray> frames;
    bool ended = false;
    bool overrun = false;
    for (int taken = 0; taken < kMaxBytesPerTurn;) {
        ssize_t count;
        do {
            count = ::recv(descriptor, buffer.data(), buffer.size(), MSG_DONTWAIT);
        } while (count < 0 && errno == EINTR);
        if (count == 0 || (count < 0 && errno != EAGAIN && errno != EWOULDBLOCK)) {
            ended = true;
            break;
        }
        if (count < 0)
            break; // all read; a peer that closed reads as 0 bytes

        taken += int(count);
        if (!session.splitter.append(QByteArrayView(buffer.data(), count), frames)) {
            overrun = true;
            break;
        }
    }
    if (!frames.isEmpty()) {
        noteActivity(*session.socket);
        m_framesReceived[std::size_t(Transport::Tcp)] += quint64(frames.size());
        const QDateTime now = m_utc();
        const QString& address = session.socket->peerAddressText();
        const quint16 port = session.socket->peerPortNumber();
        m_round.clear();
        QByteArray replies;
        for (const QByteArray& frame : frames) {
            m_round.push_back(take(frame, address, port, now));
            replies += m_round.back().outcome.reply;
        }
        if (m_journal)
            m_journal->commit();
        // Answers in the order of their frames, in one write; a device that does not take them is let go.
        if (!replies.isEmpty() && !session.socket->send(replies.constData(), int(replies.size())))
            ended = true;
        if (m_journal)
            m_journal->sync();
        std::vector<Taken> round;
        round.swap(m_round); // what a handing on sets off may read the sockets again
        for (const Taken& taken : round)
            handOn(taken);
        round.clear();
        if (m_round.empty())
            m_round.swap(round);
    }
    if (overrun)
        ++m_overrun;
    if (ended || overrun)
        closeSession(id);
}

void Dc09Server::closeSession(SessionId id) {
    const auto it = m_sessions.find(id);
    if (it == m_sessions.end())
        return;
    SessionSocket& socket = *it->second.socket;
    if (socket.watched) {
        const bool wasFirst = socket.watchPosition == m_watchOrder.begin();
        m_watchOrder.erase(socket.watchPosition);
        socket.watched = false;
        if (wasFirst)
            rearmWatchdog();
    }
    m_poller.remove(socket.descriptor());
    m_sessions.erase(it); // closes the connection
}

void Dc09Server::noteActivity(SessionSocket& session) {
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

void Dc09Server::rearmWatchdog() {
    if (m_watchOrder.empty()) {
        m_watchdog.stop();
        return;
    }
    using namespace std::chrono;
    const SessionSocket& first = *m_sessions.at(m_watchOrder.front()).socket;
    const auto due = first.lastActivity + m_sessionTimeout - m_clock();
    m_watchdog.start(int(std::max<qint64>(0, duration_cast<milliseconds>(due).count() + 1)));
}

void Dc09Server::expireSilentSessions() {
    const auto now = m_clock();
    while (!m_watchOrder.empty()) {
        const SessionId id = m_watchOrder.front();
        if (now - m_sessions.at(id).socket->lastActivity < m_sessionTimeout)
            break;
        closeSession(id);
        ++m_expired;
    }
    rearmWatchdog();
}
