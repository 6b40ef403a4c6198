#pragma once

#include <QByteArray>

class MetricsServer;
class ServerCore;

// The receiver's health figures in the Prometheus text format: datagrams
// received, answered and dropped by reason, reports per protocol, events
// listed, forwardings by mode and result, the forwarding queue, clients per
// page, Multicom sessions (open, refused at the cap, expired), SIA DC-09 frames
// (by transport and answer) and connections, the listeners' accept back-offs, socket recoveries and resident memory.
// The endpoint that serves them, when given, adds its own refusals and back-offs.
namespace ServerMetrics {

QByteArray text(ServerCore& core, const MetricsServer* endpoint = nullptr);

} // namespace ServerMetrics
