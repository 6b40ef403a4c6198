#pragma once

#include "reporting/SerialLineSettings.h"

#include <QByteArray>
#include <QObject>
#include <QSerialPort>
#include <QTimer>

#include <functional>

// Time the receiver has to acknowledge one write: the message's own
// transmission time at the line's rate, then perByteMs for the one byte read
// plus afterWriteMs.
struct SerialTiming {
    int perByteMs = 2;
    int afterWriteMs = 6;
};

// The serial line to a central-station receiver. Sends one message at a time:
// up to the given number of attempts, each a whole write followed by a short
// wait for a single 0x06. Never blocks; the result comes through a callback.
// A port that fails while open (for example a USB adapter pulled out) is
// closed and reported through lost().
class SerialLink : public QObject {
    Q_OBJECT
public:
    enum class OpenResult { Ok, OpenFailed, SettingsUnreadable };
    using Done = std::function<void(bool acknowledged)>;

    explicit SerialLink(QObject* parent = nullptr);
    ~SerialLink() override;

    // Opens the named port (a device name such as "ttyS0", or a full path)
    // for reading and writing, not shared, and applies the line settings.
    OpenResult open(const QString& name, const SerialLineSettings& line);
    bool isOpen() const { return m_port.isOpen(); }
    QString portName() const { return m_name; }

    // New line settings: applied now, or after the message being sent.
    void setLineSettings(const SerialLineSettings& line);

    // done is called exactly once (possibly before send returns), unless the
    // send is cancelled.
    void send(const QByteArray& message, int attempts, SerialTiming timing, Done done);
    void cancel();

    int writesOfLastSend() const { return m_attempt; }

signals:
    void lost();

private:
    void applyLineSettings();
    void startAttempt();
    void nextAttemptOrFail();
    void onReadyRead();
    void onAttemptTimeout();
    void onError(QSerialPort::SerialPortError error);
    void finish(bool acknowledged);

    QSerialPort m_port;
    QString m_name;
    SerialLineSettings m_line;
    bool m_lineChanged = false;
    QTimer m_attemptTimer;

    bool m_active = false;
    QByteArray m_message;
    int m_attempts = 0;
    int m_attempt = 0;
    SerialTiming m_timing;
    Done m_done;
};
