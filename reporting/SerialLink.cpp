#include "reporting/SerialLink.h"

#include "reporting/ReportFormats.h"

#include <termios.h>

SerialLink::SerialLink(QObject* parent) : QObject(parent) {
    m_attemptTimer.setSingleShot(true);
    m_attemptTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_attemptTimer, &QTimer::timeout, this, &SerialLink::onAttemptTimeout);
    connect(&m_port, &QSerialPort::readyRead, this, &SerialLink::onReadyRead);
}

SerialLink::~SerialLink() {
    m_done = nullptr;
    m_port.close();
}

SerialLink::OpenResult SerialLink::open(const QString& name, const SerialLineSettings& line) {
    m_name = name;
    m_line = line;
    m_port.setPortName(name);
    if (!m_port.open(QIODevice::ReadWrite))
        return OpenResult::OpenFailed;
    termios current{};
    if (::tcgetattr(int(m_port.handle()), &current) != 0) {
        m_port.close();
        return OpenResult::SettingsUnreadable;
    }
    applyLineSettings();
    // Only now: some settings (parity on a pseudo-terminal, DTR on a line
    // without modem control) are refused by the driver and only reported.
    connect(&m_port, &QSerialPort::errorOccurred, this, &SerialLink::onError, Qt::UniqueConnection);
    return OpenResult::Ok;
}

void SerialLink::setLineSettings(const SerialLineSettings& line) {
    m_line = line;
    if (m_active)
        m_lineChanged = true;
    else
        applyLineSettings();
}

void SerialLink::applyLineSettings() {
    m_lineChanged = false;
    if (!m_port.isOpen())
        return;
    // A setting the driver refuses is left as the driver has it; the port
    // stays usable.
    m_port.setBaudRate(m_line.baudRate);
    m_port.setDataBits(m_line.dataBits);
    m_port.setParity(m_line.parity);
    m_port.setStopBits(m_line.stopBits);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    m_port.setDataTerminalReady(false);
    m_port.setRequestToSend(false);
    m_port.clearError();
}

void SerialLink::send(const QByteArray& message, int attempts, SerialTiming timing, Done done) {
    m_message = message;
    m_attempts = qMax(1, attempts);
    m_attempt = 0;
    m_timing = timing;
    m_done = std::move(done);
    m_active = true;
    startAttempt();
}

void SerialLink::cancel() {
    m_attemptTimer.stop();
    m_active = false;
    m_done = nullptr;
}

void SerialLink::startAttempt() {
    if (!m_port.isOpen()) {
        finish(false);
        return;
    }
    ++m_attempt;
    // Whatever came in before this write cannot be its acknowledgement.
    m_port.readAll();
    m_port.clear(QSerialPort::Input);
    if (m_port.write(m_message) != m_message.size()) {
        nextAttemptOrFail();
        return;
    }
    const int window = m_line.transmitMs(m_message.size()) + m_timing.perByteMs + m_timing.afterWriteMs;
    m_attemptTimer.start(window);
}

void SerialLink::nextAttemptOrFail() {
    m_attemptTimer.stop();
    if (m_attempt < m_attempts && m_port.isOpen())
        startAttempt();
    else
        finish(false);
}

void SerialLink::onReadyRead() {
    if (!m_active) {
        m_port.readAll();
        return;
    }
    char byte = 0;
    if (m_port.read(&byte, 1) != 1)
        return;
    if (IsSerialAck(byte))
        finish(true);
    else
        nextAttemptOrFail();
}

void SerialLink::onAttemptTimeout() {
    if (!m_active)
        return;
    // The byte may have arrived while the main thread was busy elsewhere:
    // look at the line once more before giving the attempt up.
    const int attempt = m_attempt;
    if (m_port.isOpen() && m_port.bytesAvailable() == 0)
        m_port.waitForReadyRead(0);
    if (!m_active || m_attempt != attempt || m_attemptTimer.isActive())
        return;
    if (m_port.bytesAvailable() > 0)
        onReadyRead();
    else
        nextAttemptOrFail();
}

void SerialLink::onError(QSerialPort::SerialPortError error) {
    if (error != QSerialPort::ReadError && error != QSerialPort::WriteError && error != QSerialPort::ResourceError)
        return;
    if (!m_port.isOpen())
        return;
    m_port.close();
    emit lost();
    if (m_active) {
        m_attemptTimer.stop();
        finish(false);
    }
}

void SerialLink::finish(bool acknowledged) {
    m_attemptTimer.stop();
    m_active = false;
    if (m_lineChanged)
        applyLineSettings();
    Done done = std::move(m_done);
    m_done = nullptr;
    if (done)
        done(acknowledged);
}
