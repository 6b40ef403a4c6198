#pragma once

#include <QByteArray>

class ServerCore;

// The receiver's health figures in the Prometheus text format: datagrams
// received, answered and dropped by reason, reports per protocol, events
// listed, forwardings by mode and result, the forwarding queue, clients per
// page, Multicom sessions, socket recoveries and resident memory.
namespace ServerMetrics {

QByteArray text(ServerCore& core);

} // namespace ServerMetrics
