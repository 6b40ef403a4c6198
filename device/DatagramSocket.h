#pragma once

#include "device/UdpBatchReceive.h"

#include "device/DatagramSender.h"
#include "device/TaviComCodec.h"

#include <QObject>
#include <QString>

#include <memory>
#include <span>

class QSocketNotifier;

// One datagram taken from the socket: at most 292 bytes (a longer one is cut
// there) and its IPv4 sender.
struct ReceivedDatagram {
    TaviCom::DatagramBuffer bytes{};
    int length = 0;
    quint32 address = 0; // host byte order
    quint16 port = 0;
};

// The server's UDP endpoint as a plain non-blocking IPv4 socket whose
// readiness this class owns: one read notifier, always enabled while the
// socket is open. readyRead() is emitted whenever the kernel holds datagrams;
// the reader takes as many as it likes with receiveBatch() and returns to the
// event loop, and the notifier (level-triggered) fires again while any remain.
// Nothing here keeps a notion of "already announced" data, so a read made
// outside readyRead() can never leave the socket unwatched.
//
// The receive buffer is asked for kRequestedReceiveBuffer bytes, so a burst
// of devices reporting together after an outage fits; the kernel caps the
// request at net.core.rmem_max unless the process may raise it. The kernel's
// drops on a full buffer are counted (SO_RXQ_OVFL).
//
// Threads: one thread (the main thread) uses the object.
class DatagramSocket : public QObject, public DatagramSender {
    Q_OBJECT
public:
    static constexpr int kRequestedReceiveBuffer = 8 * 1024 * 1024;
    // Datagrams taken or sent in one system call.
    static constexpr int kBatchSize = 16;

    explicit DatagramSocket(QObject* parent = nullptr);
    ~DatagramSocket() override;

    // Binds port on every local IPv4 address; false with errorString() set.
    bool open(quint16 port);
    void close();
    bool isOpen() const { return m_fd >= 0; }
    quint16 localPort() const { return m_localPort; }
    QString errorString() const { return m_error; }
    // The receive buffer the kernel granted (as it reports it).
    int receiveBufferSize() const;

    // Reads the datagrams already queued, at most batch.size() (and at most
    // kBatchSize), without waiting. Returns how many were read: 0 when none
    // was queued, -1 on an error of the socket.
    int receiveBatch(std::span<ReceivedDatagram> batch);
    int sendBatch(std::span<const OutgoingDatagram> batch) override;

    // True when at least one datagram waits in the kernel's queue.
    bool hasQueuedDatagrams() const;
    // Datagrams the kernel dropped on a full receive buffer since open(), as
    // far as the datagrams read so far tell (each carries the running count).
    quint64 kernelDrops() const { return m_dropped.drops; }

    // The read notifier, for supervision (and for tests that wedge it).
    QSocketNotifier* readNotifier() const { return m_notifier.get(); }
    // Replaces the read notifier by a new, enabled one.
    void rearm();

signals:
    void readyRead();

private:
    int m_fd = -1;
    quint16 m_localPort = 0;
    QString m_error;
    std::unique_ptr<QSocketNotifier> m_notifier;
    KernelDropCount m_dropped;
};
