#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <sys/types.h>

// Where the server and the dispatcher "disp.exe" meet on this machine: the
// shared ring, the directory in which listeners of the notification put their
// sockets, and the executable name by which the dispatcher is recognised.
struct DispatcherNames {
    // A POSIX shared-memory object of 12800 bytes, mode 0666.
    QByteArray ring = QByteArrayLiteral("/DISPFileMapping");
    // "DISP_NEW_GSM_EVENT": every Unix datagram socket in this directory (mode
    // 1777, like /tmp) gets 8 bytes per record written: the slot index and 0,
    // each a 32-bit little-endian number. Any local program listens by binding
    // a socket there; the server never waits for it.
    QString notificationDirectory = QStringLiteral("/tmp/DISP_NEW_GSM_EVENT");
    // The file name of the dispatcher's executable, compared byte for byte.
    QByteArray executable = QByteArrayLiteral("disp.exe");
};

// The dispatcher bridge of reporting mode 3: a ring of 100 slots of 128 bytes
// in shared memory, a notification after each record, and a watcher that
// looks for the dispatcher's process every 2000 ms (from /proc). The watcher
// announces "found" once, and "absent" at every look while there is none.
//
// Threads: the main thread (the watcher is a main-thread timer).
class DispatcherBridge : public QObject {
    Q_OBJECT
public:
    static constexpr int kSlotCount = 100;
    static constexpr int kSlotSize = 128;
    static constexpr int kRingSize = kSlotCount * kSlotSize;
    static constexpr int kRecordBytes = 47; // 46 characters and a NUL
    // The main window's message for the watcher's finding.
    static constexpr int kDispatcherStatusMessage = 0x46E;
    static constexpr int kWatchIntervalMs = 2000;

    explicit DispatcherBridge(DispatcherNames names = {}, int watchIntervalMs = kWatchIntervalMs,
                              QObject* parent = nullptr);
    ~DispatcherBridge() override;

    // Creates (or opens) the ring, maps it and starts the watcher, whose first
    // look comes at once. False, with nothing started, when the ring cannot be
    // had: the reason goes to standard error.
    bool StartDispatcherBridge();
    void StopDispatcherBridge();
    bool isStarted() const { return m_ring != nullptr; }
    bool dispatcherRunning() const { return m_pid != 0; }
    int nextSlot() const { return m_nextSlot; }

    // Copies the record (47 bytes with its NUL) into the next slot, sets the
    // slot's byte 47 to NUL, notifies, and moves on to the next slot modulo
    // 100. False, with nothing written, while no dispatcher runs.
    bool WriteDispatcherRecord(const QByteArray& record);

    // One look of the watcher (the timer's step).
    void watch();

signals:
    // `DispatcherStatus` (0x46E): whether a dispatcher runs.
    void dispatcherStatus(bool running);

private:
    bool dispatcherAlive() const;
    pid_t findDispatcher() const;
    void notify(int slot) const;

    DispatcherNames m_names;
    QTimer m_watcher;
    char* m_ring = nullptr;
    int m_nextSlot = 0;
    pid_t m_pid = 0;
};
