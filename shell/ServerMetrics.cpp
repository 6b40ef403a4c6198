#include "shell/ServerMetrics.h"

#include "events/EventList.h"
#include "events/EventListModel.h"
#include "shell/MetricsServer.h"
#include "shell/ServerCore.h"

#include <QFile>

#include <unistd.h>

namespace {

class MetricsWriter {
public:
    void family(const char* name, const char* type, const char* help) {
        m_text += QByteArray("# HELP ") + name + ' ' + help + "\n# TYPE " + name + ' ' + type + '\n';
    }
    void sample(const char* name, quint64 value, const QByteArray& labels = {}) {
        m_text += name;
        if (!labels.isEmpty())
            m_text += '{' + labels + '}';
        m_text += ' ' + QByteArray::number(value) + '\n';
    }
    QByteArray text() const { return m_text; }

private:
    QByteArray m_text;
};

quint64 residentBytes() {
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toULongLong() * quint64(::sysconf(_SC_PAGESIZE)) : 0;
}

const char* modeName(ReportMode mode) {
    switch (mode) {
    case ReportMode::Off:
        return "off";
    case ReportMode::Serial:
        return "serial";
    case ReportMode::Dc09:
        return "dc09";
    case ReportMode::Dispatcher:
        return "dispatcher";
    }
    return "unknown";
}

} // namespace

namespace ServerMetrics {

QByteArray text(ServerCore& core, const MetricsServer* endpoint) {
    MetricsWriter m;
    DatagramServer& datagrams = core.datagramServer();
    m.family("atalaia_datagrams_received_total", "counter", "UDP datagrams read from the device socket.");
    m.sample("atalaia_datagrams_received_total", datagrams.datagramsRead());
    m.family("atalaia_reports_answered_total", "counter",
             "Answers sent to device reports (acknowledgements and refusals).");
    m.sample("atalaia_reports_answered_total", datagrams.reportsAnswered());
    m.family("atalaia_datagrams_dropped_total", "counter", "Datagrams lost or dropped, by reason.");
    m.sample("atalaia_datagrams_dropped_total", datagrams.kernelDrops(), "reason=\"receive_buffer_full\"");
    m.sample("atalaia_datagrams_dropped_total", datagrams.invalidDatagrams(), "reason=\"invalid\"");
    m.family("atalaia_reports_total", "counter", "Device reports taken, by protocol.");
    m.sample("atalaia_reports_total", core.reportIntake().reportsTaken(EventProtocol::TaviCom), "protocol=\"tavicom\"");
    m.sample("atalaia_reports_total", core.reportIntake().reportsTaken(EventProtocol::Multicom),
             "protocol=\"multicom\"");
    m.sample("atalaia_reports_total", core.reportIntake().reportsTaken(EventProtocol::Dc09), "protocol=\"dc09\"");
    const Dc09Server& dc09 = core.dc09Server();
    m.family("atalaia_dc09_frames_received_total", "counter", "SIA DC-09 frames received, by transport.");
    m.sample("atalaia_dc09_frames_received_total", dc09.framesReceived(Dc09Server::Transport::Udp),
             "transport=\"udp\"");
    m.sample("atalaia_dc09_frames_received_total", dc09.framesReceived(Dc09Server::Transport::Tcp),
             "transport=\"tcp\"");
    m.family("atalaia_dc09_answers_total", "counter",
             "SIA DC-09 frames by answer: ack, nak (time outside the window), duh (not taken), none (unreadable).");
    for (auto [answer, name] :
         {std::pair{Dc09Outcome::Answer::Ack, "ack"}, std::pair{Dc09Outcome::Answer::Nak, "nak"},
          std::pair{Dc09Outcome::Answer::Duh, "duh"}, std::pair{Dc09Outcome::Answer::None, "none"}})
        m.sample("atalaia_dc09_answers_total", dc09.answersSent(answer), QByteArray("answer=\"") + name + '"');
    m.family("atalaia_dc09_dropped_total", "counter",
             "SIA DC-09 datagrams the kernel dropped on a full receive buffer.");
    m.sample("atalaia_dc09_dropped_total", dc09.kernelDrops());
    m.family("atalaia_dc09_connections", "gauge", "SIA DC-09 TCP connections open.");
    m.sample("atalaia_dc09_connections", quint64(dc09.sessionCount()));
    m.family("atalaia_dc09_connections_closed_total", "counter",
             "SIA DC-09 TCP connections closed by the receiver, by reason.");
    m.sample("atalaia_dc09_connections_closed_total", dc09.sessionsRefused(), "reason=\"max_sessions\"");
    m.sample("atalaia_dc09_connections_closed_total", dc09.sessionsExpired(), "reason=\"silent\"");
    m.sample("atalaia_dc09_connections_closed_total", dc09.sessionsOverrun(), "reason=\"no_frame\"");
    m.family("atalaia_events_listed", "gauge", "Rows of the events list.");
    m.sample("atalaia_events_listed", quint64(core.eventList().model().eventCount()));

    m.family("atalaia_forwardings_total", "counter", "Forwardings to the central station, by mode and result.");
    const ReportSender& sender = core.reportSender();
    for (ReportMode mode : {ReportMode::Off, ReportMode::Serial, ReportMode::Dc09, ReportMode::Dispatcher}) {
        for (auto [result, name] : {std::pair{ReportResult::Sent, "sent"}, std::pair{ReportResult::Failed, "failed"},
                                    std::pair{ReportResult::NotSent, "not_sent"}}) {
            m.sample("atalaia_forwardings_total", sender.forwardings(mode, result),
                     QByteArray("mode=\"") + modeName(mode) + "\",result=\"" + name + '"');
        }
    }
    m.family("atalaia_forwarding_queue_length", "gauge", "Forwardings waiting for their turn or on the line.");
    m.sample("atalaia_forwarding_queue_length", quint64(sender.queueLength()));
    m.family("atalaia_station_acknowledgements_total", "counter",
             "DC-09 frames acknowledged by the central station, by station (primary or backup).");
    m.sample("atalaia_station_acknowledgements_total", sender.stationAcknowledgements(ReportSender::Station::Primary),
             "station=\"primary\"");
    m.sample("atalaia_station_acknowledgements_total", sender.stationAcknowledgements(ReportSender::Station::Backup),
             "station=\"backup\"");

    m.family("atalaia_clients", "gauge", "Clients listed, by page.");
    const char* pages[] = {"online", "offline", "blocked", "new"};
    for (int status = ClientStatus::Online; status <= ClientStatus::New; ++status)
        m.sample("atalaia_clients", quint64(core.pages().PageForStatus(status)->rowCount()),
                 QByteArray("page=\"") + pages[status - 1] + '"');
    m.family("atalaia_multicom_sessions", "gauge", "Multicom sessions open.");
    const MulticomListener& multicom = core.multicomListener();
    m.sample("atalaia_multicom_sessions", quint64(multicom.sessionCount()));
    m.family("atalaia_multicom_sessions_refused_total", "counter",
             "Multicom connections closed at once because MaxSessions sessions were open.");
    m.sample("atalaia_multicom_sessions_refused_total", multicom.sessionsRefused());
    m.family("atalaia_multicom_sessions_expired_total", "counter",
             "Multicom sessions closed after the time-out without a complete frame.");
    m.sample("atalaia_multicom_sessions_expired_total", multicom.sessionsExpired());
    m.family("atalaia_accept_backoffs_total", "counter",
             "Times a listening socket stopped accepting for a while because accept failed (no descriptor left).");
    m.sample("atalaia_accept_backoffs_total", multicom.acceptBackOffs(), "listener=\"multicom\"");
    if (endpoint) {
        m.sample("atalaia_accept_backoffs_total", endpoint->acceptBackOffs(), "listener=\"metrics\"");
        m.family("atalaia_metrics_connections_refused_total", "counter",
                 "Connections to this endpoint closed at once because it was serving its most at once.");
        m.sample("atalaia_metrics_connections_refused_total", endpoint->connectionsRefused());
    }
    m.sample("atalaia_accept_backoffs_total", dc09.acceptBackOffs(), "listener=\"dc09\"");
    m.family("atalaia_socket_recoveries_total", "counter", "Times the device socket was found unread and re-armed.");
    m.sample("atalaia_socket_recoveries_total", quint64(datagrams.receptionRecoveries()));
    m.family("atalaia_events_in_custody", "gauge", "Acknowledged events not yet in Events.log.");
    m.sample("atalaia_events_in_custody", quint64(core.journal().heldCount()));
    m.family("atalaia_journal_write_failures_total", "counter", "Reading rounds whose events Events.jnl refused.");
    m.sample("atalaia_journal_write_failures_total", core.journal().writeFailures());
    m.family("atalaia_log_write_failures_total", "counter", "Event lines that Events.log refused.");
    m.sample("atalaia_log_write_failures_total", core.eventPipeline().logWriteFailures());
    m.family("atalaia_resident_memory_bytes", "gauge", "Resident memory of the process.");
    m.sample("atalaia_resident_memory_bytes", residentBytes());
    return m.text();
}

} // namespace ServerMetrics
