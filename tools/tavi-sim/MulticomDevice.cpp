#include "tools/tavi-sim/MulticomDevice.h"

#include "device/MulticomKeyTable.h"

#include <QTcpSocket>
#include <QThread>

using namespace Multicom;

namespace {

// Frames as printable text: STX and ETX shown as <STX> and <ETX>.
QString shown(const QByteArray& frame) {
    QString text;
    for (char c : frame) {
        if (c == kStx)
            text += QStringLiteral("<STX>");
        else if (c == kEtx)
            text += QStringLiteral("<ETX>");
        else
            text += QLatin1Char(c);
    }
    return text;
}

class Connection {
public:
    Connection(QTcpSocket& socket, int timeoutMs, QTextStream& out)
        : m_socket(socket), m_timeoutMs(timeoutMs), m_out(out) {}

    // Sends a frame; with expectReply, returns what comes back within the time-out (empty: nothing).
    QByteArray exchange(const QByteArray& frame, bool expectReply = true) {
        m_out << "sent     " << shown(frame) << "\n";
        m_socket.write(frame);
        m_socket.flush();
        if (!expectReply)
            return {};
        if (!m_socket.waitForReadyRead(m_timeoutMs)) {
            m_out << "no reply within " << m_timeoutMs << " ms\n";
            return {};
        }
        const QByteArray reply = m_socket.read(kBufferSize);
        m_out << "received " << shown(reply) << "\n";
        m_out.flush();
        return reply;
    }

private:
    QTcpSocket& m_socket;
    int m_timeoutMs;
    QTextStream& m_out;
};

// Fetches the announced command, prints it decoded, confirms it and closes the exchange.
bool fetchCommand(Connection& connection, quint32 key, QTextStream& out) {
    QByteArray command = connection.exchange(fetchFrame());
    if (command.size() == kCallbackCommandLength && command[1] == 'C') {
        QByteArray fields = command.mid(6, 12);
        scramble(fields.data(), 6, key);
        out << "callback to " << hexPair(fields.constData()) << "." << hexPair(fields.constData() + 2) << "."
            << hexPair(fields.constData() + 4) << "." << hexPair(fields.constData() + 6) << ":"
            << ((hexPair(fields.constData() + 8) << 8) | hexPair(fields.constData() + 10)) << "\n";
    } else if (command.size() == kLineSwitchLength && command[1] == 'P') {
        out << "line switch for " << hexPair(command.constData() + 2) << " minutes\n";
    } else {
        out << "unexpected command frame\n";
        return false;
    }
    if (connection.exchange(confirmFrame()) != endFrame())
        return false;
    connection.exchange(deviceAcknowledgeFrame(), false);
    // Each read is one frame at the server: the next frame must not join this one.
    constexpr unsigned long kFrameGapMs = 500;
    QThread::msleep(kFrameGapMs);
    return true;
}

} // namespace

int runMulticomDevice(const MulticomDeviceOptions& options, QTextStream& out) {
    QTcpSocket socket;
    socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    socket.connectToHost(options.host, options.port);
    if (!socket.waitForConnected(options.timeoutMs)) {
        out << "cannot connect to " << options.host.toString() << ":" << options.port << ": " << socket.errorString()
            << "\n";
        return 1;
    }
    Connection connection(socket, options.timeoutMs, out);
    const QByteArray challenge = connection.exchange(registerFrame());
    if (challenge.size() != kChallengeLength || challenge[1] != 'X' || challenge[2] != 'R') {
        out << "no challenge\n";
        return 1;
    }
    const quint32 key = sessionKey(hexPair(challenge.constData() + 3), hexPair(challenge.constData() + 5));
    out << "session key " << QStringLiteral("%1").arg(key, 8, 16, QLatin1Char('0')).toUpper() << ", seen as "
        << QString::fromLatin1(challenge.mid(7, 8)) << "\n";

    bool allAcknowledged = true;
    for (int i = 0; i < options.count; ++i) {
        if (i > 0 && options.intervalMs > 0)
            QThread::msleep(static_cast<unsigned long>(options.intervalMs));
        Multicom::EventToSend event = options.event;
        event.macKey = options.macKey;
        const QByteArray frame =
            options.heartbeat ? heartbeatFrame(options.macKey, options.intervalMinutes, key) : eventFrame(event, key);
        const QByteArray reply = connection.exchange(frame);
        if (reply == commandWaitingFrame()) {
            if (!fetchCommand(connection, key, out))
                allAcknowledged = false;
        } else if (reply != acknowledgeFrame()) {
            allAcknowledged = false;
        }
        out.flush();
    }
    socket.disconnectFromHost();
    return allAcknowledged ? 0 : 1;
}
