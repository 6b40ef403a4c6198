#include "tools/station-sim/StationSim.h"

#include "reporting/Dc09Frame.h"
#include "reporting/ReportFormats.h"

#include <QDateTime>
#include <QNetworkDatagram>
#include <QTimer>

namespace {

constexpr qint64 kMaxDatagram = 2048;

QString printable(const QByteArray& bytes) {
    QString out;
    for (const char c : bytes) {
        if (c >= 0x20 && c < 0x7F)
            out += QLatin1Char(c);
        else
            out += QStringLiteral("<%1>").arg(quint8(c), 2, 16, QLatin1Char('0'));
    }
    return out;
}

QString stamp() {
    return QDateTime::currentDateTime().toString(QStringLiteral("HH:mm:ss.zzz"));
}

// "#AAAA|CCCC GG ZZZ" of an ADM-CID frame, spelled out.
QString describeContactId(const QByteArray& data) {
    const qsizetype bar = data.indexOf('|');
    if (!data.startsWith('#') || bar < 0)
        return QStringLiteral("data [%1]").arg(printable(data));
    const QByteArray account = data.mid(1, bar - 1);
    const QList<QByteArray> fields = data.mid(bar + 1).split(' ');
    if (fields.size() != 3)
        return QStringLiteral("account %1, data [%2]").arg(QString::fromLatin1(account), printable(data));
    const quint16 code = quint16(fields[0].toUInt());
    return QStringLiteral("account %1, event %2%3, partition %4, zone %5")
        .arg(QString::fromLatin1(account))
        .arg(QLatin1Char(QualifierLetter(code)))
        .arg(EventNumber(code), 3, 10, QLatin1Char('0'))
        .arg(QString::fromLatin1(fields[1]), QString::fromLatin1(fields[2]));
}

} // namespace

StationSim::StationSim(Options options, QObject* parent) : QObject(parent), m_options(options), m_out(stdout) {
    connect(&m_udp, &QUdpSocket::readyRead, this, &StationSim::onDatagrams);
    connect(&m_serial, &QSerialPort::readyRead, this, &StationSim::onSerialData);
    if (m_options.quiet) {
        connect(&m_totalsTimer, &QTimer::timeout, this, &StationSim::printTotals);
        m_totalsTimer.start(1000);
    }
}

void StationSim::printTotals() {
    m_out << "totals: frames " << m_frames << ", ACK " << m_acks << ", NAK " << m_naks << Qt::endl;
}

quint16 StationSim::listenUdp(quint16 port) {
    if (!m_udp.bind(QHostAddress::Any, port))
        return 0;
    return m_udp.localPort();
}

bool StationSim::openSerial(const QString& path) {
    m_serial.setPortName(path);
    return m_serial.open(QIODevice::ReadWrite);
}

void StationSim::onDatagrams() {
    while (m_udp.hasPendingDatagrams()) {
        const QNetworkDatagram datagram = m_udp.receiveDatagram(kMaxDatagram);
        const QByteArray frame = datagram.data();
        Dc09Frame::Parsed parsed;
        const Dc09Frame::Check check = Dc09Frame::check(frame, parsed);
        ++m_frames;
        if (m_options.quiet) {
            if (m_options.udpAnswer == UdpAnswer::None)
                continue;
            const bool ack = check == Dc09Frame::Check::Ok && m_options.udpAnswer != UdpAnswer::Nak;
            const QByteArray sequence = parsed.sequence.isEmpty() ? QByteArray("0000") : parsed.sequence;
            const QByteArray reply = Dc09Frame::reply(ack ? "ACK" : "NAK", sequence, parsed.account);
            if (m_options.udpAnswer == UdpAnswer::Late) {
                QTimer::singleShot(m_options.lateMs, this,
                                   [this, reply, to = datagram.senderAddress(), port = quint16(datagram.senderPort())] {
                                       m_udp.writeDatagram(reply, to, port);
                                   });
            } else {
                m_udp.writeDatagram(reply, datagram.senderAddress(), quint16(datagram.senderPort()));
            }
            ++(ack ? m_acks : m_naks);
            continue;
        }
        m_out << stamp() << " UDP from " << datagram.senderAddress().toString() << ':' << datagram.senderPort() << " ("
              << frame.size() << " bytes): " << printable(frame) << '\n';
        if (check == Dc09Frame::Check::Ok) {
            m_out << "  \"" << QString::fromLatin1(parsed.identifier) << "\" sequence "
                  << QString::fromLatin1(parsed.sequence) << ", header account " << QString::fromLatin1(parsed.account)
                  << ", " << (parsed.data.isEmpty() ? QStringLiteral("no data") : describeContactId(parsed.data))
                  << '\n';
        } else {
            m_out << "  bad frame: " << Dc09Frame::checkText(check) << '\n';
        }

        const bool good = check == Dc09Frame::Check::Ok;
        QByteArray identifier;
        int delayMs = 0;
        switch (m_options.udpAnswer) {
        case UdpAnswer::None:
            m_out << "  no answer\n";
            m_out.flush();
            continue;
        case UdpAnswer::Nak:
            identifier = "NAK";
            break;
        case UdpAnswer::Ack:
            identifier = good ? "ACK" : "NAK";
            break;
        case UdpAnswer::Late:
            identifier = good ? "ACK" : "NAK";
            delayMs = m_options.lateMs;
            break;
        }
        const QByteArray sequence = parsed.sequence.isEmpty() ? QByteArray("0000") : parsed.sequence;
        const QByteArray reply = Dc09Frame::reply(identifier, sequence, parsed.account);
        const QHostAddress to = datagram.senderAddress();
        const quint16 toPort = quint16(datagram.senderPort());
        const auto sendReply = [this, reply, to, toPort, identifier] {
            m_udp.writeDatagram(reply, to, toPort);
            ++(identifier == "ACK" ? m_acks : m_naks);
            m_out << stamp() << "  answered " << QString::fromLatin1(identifier) << ": " << printable(reply) << '\n';
            m_out.flush();
        };
        if (delayMs > 0)
            QTimer::singleShot(delayMs, this, sendReply);
        else
            sendReply();
        m_out.flush();
    }
}

void StationSim::onSerialData() {
    m_serialBuffer += m_serial.readAll();
    qsizetype end;
    while ((end = m_serialBuffer.indexOf(ReportFormat::kSerialTerminator)) >= 0) {
        const QByteArray message = m_serialBuffer.left(end + 1);
        m_serialBuffer.remove(0, end + 1);
        handleSerialMessage(message);
    }
}

void StationSim::handleSerialMessage(const QByteArray& message) {
    m_repeats = message == m_lastSerialMessage ? m_repeats + 1 : 1;
    m_lastSerialMessage = message;
    m_out << stamp() << " serial (" << message.size() << " bytes, attempt " << m_repeats << "): " << printable(message)
          << '\n';
    bool answer = false;
    switch (m_options.serialAnswer) {
    case SerialAnswer::Ack:
        answer = true;
        break;
    case SerialAnswer::None:
        break;
    case SerialAnswer::Nth:
        answer = m_repeats >= m_options.nth;
        break;
    }
    if (answer) {
        m_serial.write(QByteArray(1, ReportFormat::kSerialAck));
        m_out << "  answered ACK\n";
    } else {
        m_out << "  no answer\n";
    }
    m_out.flush();
}
