#include "tools/dc09-sim/Dc09Sender.h"

#include <QNetworkDatagram>
#include <QTcpSocket>
#include <QUdpSocket>

namespace {

constexpr int kPumpMs = 5;
constexpr int kMaxSequence = 9999;
constexpr int kPartitionDigits = 2;
constexpr int kEventDigits = 3;
constexpr int kZoneDigits = 3;
constexpr int kQualifierDivisor = 1000;
constexpr char kDataAccountEnd = '|';
constexpr char kSiaBlockMark = 'N';
constexpr char kSiaPartitionMark[] = "ri";

QByteArray decimal(int value, int digits) {
    return QByteArray::number(value).rightJustified(digits, '0');
}

// The account of device index, counted up from the first one in hexadecimal, as many digits.
QByteArray deviceAccount(const QByteArray& first, int index) {
    const qulonglong value = first.toULongLong(nullptr, 16) + static_cast<qulonglong>(index);
    return QByteArray::number(value, 16).toUpper().rightJustified(first.size(), '0');
}

QString timeText(const QDateTime& utc) {
    return utc.toString(Qt::ISODate);
}

const char* messageId(Dc09SenderOptions::Message message) {
    switch (message) {
    case Dc09SenderOptions::Message::AdmCid:
        return Dc09::kAdmCid;
    case Dc09SenderOptions::Message::SiaDcs:
        return Dc09::kSiaDcs;
    case Dc09SenderOptions::Message::Null:
        return Dc09::kNull;
    }
    return Dc09::kNull;
}

} // namespace

Dc09Sender::Dc09Sender(Dc09SenderOptions options, QTextStream& out, QObject* parent)
    : QObject(parent), m_options(std::move(options)), m_out(out) {
    m_pump.setInterval(kPumpMs);
    connect(&m_pump, &QTimer::timeout, this, &Dc09Sender::pump);
}

Dc09Sender::~Dc09Sender() = default;

void Dc09Sender::start() {
    m_clock.start();
    for (int index = 0; index < m_options.devices; ++index) {
        auto device = std::make_unique<Device>();
        device->account = deviceAccount(m_options.account, index);
        device->nextSequence = m_options.firstSequence;
        Device* raw = device.get();
        if (m_options.transport == Dc09SenderOptions::Transport::Udp) {
            auto socket = std::make_unique<QUdpSocket>();
            socket->bind(QHostAddress(m_options.host.protocol() == QAbstractSocket::IPv6Protocol
                                          ? QHostAddress::AnyIPv6
                                          : QHostAddress::AnyIPv4),
                         0);
            connect(socket.get(), &QUdpSocket::readyRead, this, [this, raw] { readAnswers(*raw); });
            device->socket = std::move(socket);
            device->connected = true;
        } else {
            auto socket = std::make_unique<QTcpSocket>();
            connect(socket.get(), &QTcpSocket::connected, this, [this, raw] {
                raw->connected = true;
                for (const QByteArray& frame : std::as_const(raw->waiting))
                    raw->socket->write(frame);
                raw->waiting.clear();
            });
            connect(socket.get(), &QTcpSocket::readyRead, this, [this, raw] { readAnswers(*raw); });
            connect(socket.get(), &QTcpSocket::errorOccurred, this, [this, raw] {
                if (!m_options.quiet || !raw->connected)
                    m_out << "#" << raw->account << ": TCP " << raw->socket->errorString() << "\n";
            });
            socket->connectToHost(m_options.host, m_options.port);
            device->socket = std::move(socket);
        }
        m_devices.push_back(std::move(device));
    }
    m_pump.start();
    pump();
}

int Dc09Sender::inFlight() const {
    int count = 0;
    for (const auto& device : m_devices)
        count += static_cast<int>(device->pending.size());
    return count;
}

void Dc09Sender::pump() {
    if (m_finished)
        return;
    expire();
    while (m_totals.sent < m_options.count && inFlight() < m_options.inFlight) {
        const qint64 now = m_clock.elapsed();
        if (m_options.intervalMs > 0 && m_lastSendMs >= 0 && now - m_lastSendMs < m_options.intervalMs)
            break;
        sendNext();
        if (m_options.intervalMs > 0)
            break; // one at a time, each after its pause
    }
    finishIfDone();
    m_out.flush();
}

QByteArray Dc09Sender::buildFrame(const Device& device, const QByteArray& sequence, const QDateTime& stamped) {
    Dc09::Header header;
    header.id = messageId(m_options.message);
    header.sequence = sequence;
    header.receiver = m_options.receiver;
    header.line = m_options.line;
    header.account = device.account;

    Dc09::Content content;
    const QByteArray dataAccount = m_options.dataAccount.isEmpty() ? device.account : m_options.dataAccount;
    switch (m_options.message) {
    case Dc09SenderOptions::Message::AdmCid:
        // "#ACCT|QEEE GG ZZZ"
        content.data = Dc09::kAccountMark + dataAccount + kDataAccountEnd +
                       QByteArray::number(m_options.code / kQualifierDivisor) +
                       decimal(m_options.code % kQualifierDivisor, kEventDigits) + ' ' +
                       decimal(m_options.partition, kPartitionDigits) + ' ' + decimal(m_options.zone, kZoneDigits);
        break;
    case Dc09SenderOptions::Message::SiaDcs:
        // "#ACCT|Nri1/BA005"; no partition: "#ACCT|NBA005"
        content.data = Dc09::kAccountMark + dataAccount + kDataAccountEnd + kSiaBlockMark;
        if (m_options.partition > 0)
            content.data += kSiaPartitionMark + QByteArray::number(m_options.partition) + '/';
        content.data += m_options.siaCode + decimal(m_options.zone, kZoneDigits);
        break;
    case Dc09SenderOptions::Message::Null:
        break; // "[]"
    }
    const bool encrypted = !m_options.key.isEmpty();
    if (encrypted || m_options.timestamp)
        content.timestamp = stamped;

    QByteArray frame =
        encrypted ? Dc09::encryptedFrame(header, content, m_options.key, m_random) : Dc09::frame(header, content);
    if (m_options.badCrc) {
        char& digit = frame[Dc09Envelope::kCrcOffset];
        digit = digit == '0' ? '1' : '0';
    }
    return frame;
}

void Dc09Sender::sendNext() {
    Device& device = *m_devices[static_cast<size_t>(m_nextDevice)];
    m_nextDevice = (m_nextDevice + 1) % static_cast<int>(m_devices.size());

    const QByteArray sequence = decimal(device.nextSequence, Dc09::kSequenceLength);
    device.nextSequence = device.nextSequence >= kMaxSequence ? 1 : device.nextSequence + 1;
    QDateTime stamped = QDateTime::currentDateTimeUtc().addSecs(m_options.clockOffsetSeconds);
    stamped.setTime(QTime(stamped.time().hour(), stamped.time().minute(), stamped.time().second()));
    const QByteArray frame = buildFrame(device, sequence, stamped);

    m_lastSendMs = m_clock.elapsed();
    device.pending.append({sequence, stamped, m_lastSendMs + m_options.timeoutMs});
    ++m_totals.sent;
    if (!m_options.quiet) {
        m_out << "sent " << frameName(device, sequence) << ": " << messageId(m_options.message)
              << (m_options.key.isEmpty() ? ", in clear" : ", encrypted") << ", " << frame.size() << " bytes\n";
    }
    if (m_options.transport == Dc09SenderOptions::Transport::Udp) {
        static_cast<QUdpSocket*>(device.socket.get())->writeDatagram(frame, m_options.host, m_options.port);
    } else if (device.connected) {
        device.socket->write(frame);
    } else {
        device.waiting.append(frame);
    }
}

void Dc09Sender::readAnswers(Device& device) {
    if (m_options.transport == Dc09SenderOptions::Transport::Udp) {
        auto* socket = static_cast<QUdpSocket*>(device.socket.get());
        while (socket->hasPendingDatagrams())
            answer(device, socket->receiveDatagram().data());
    } else {
        QList<QByteArray> frames;
        const bool open = device.splitter.append(device.socket->readAll(), frames);
        for (const QByteArray& frame : std::as_const(frames))
            answer(device, frame);
        if (!open) {
            m_out << "#" << device.account << ": the receiver sent more than " << Dc09StreamSplitter::kMaxUnframed
                  << " bytes without a frame; closed\n";
            device.socket->abort();
        }
    }
    pump();
}

void Dc09Sender::answer(Device& device, const QByteArray& frame) {
    auto unreadable = [&](const QString& why) {
        ++m_totals.undecodable;
        m_out << "#" << device.account << ": answer " << why << ": " << frame.toPercentEncoding("\"[]|_:,-#*") << "\n";
    };
    QByteArrayView body;
    const Dc09Envelope::Fault fault = Dc09Envelope::open(frame, body);
    if (fault != Dc09Envelope::Fault::None)
        return unreadable(QString::fromLatin1(Dc09Envelope::faultText(fault)));
    const std::optional<Dc09::Split> split = Dc09::readHeader(body);
    if (!split)
        return unreadable(QStringLiteral("with an unreadable header"));
    const Dc09::Header& header = split->header;

    // A NAK names no frame: it answers the oldest one still waiting on this socket.
    qsizetype index = -1;
    if (header.id == Dc09::kNak) {
        index = device.pending.isEmpty() ? -1 : 0;
    } else {
        for (qsizetype i = 0; i < device.pending.size() && index < 0; ++i) {
            if (device.pending[i].sequence == header.sequence &&
                header.account.compare(device.account, Qt::CaseInsensitive) == 0)
                index = i;
        }
    }
    if (index < 0)
        return unreadable(QStringLiteral("that matches no frame waiting"));
    const Pending sent = device.pending.takeAt(index);
    const QString name = frameName(device, sent.sequence);

    if (header.id == Dc09::kAck && header.encrypted) {
        if (m_options.key.isEmpty())
            return unreadable(QStringLiteral("*ACK to %1, which went in clear").arg(name));
        const Dc09Envelope::Tail tail = Dc09Envelope::decryptTail(m_options.key, split->tail);
        if (!tail.ok()) {
            return unreadable(QStringLiteral("*ACK to %1 that does not decrypt (%2)")
                                  .arg(name, QString::fromLatin1(Dc09Envelope::tailErrorText(tail.error))));
        }
        const std::optional<Dc09::Content> content = Dc09::readContent(tail.clear);
        if (!content || !content->timestamp)
            return unreadable(QStringLiteral("*ACK to %1 without the receiver's time").arg(name));
        ++m_totals.acks;
        if (!m_options.quiet)
            m_out << name << ": *ACK, decrypted, receiver time " << timeText(*content->timestamp) << "\n";
    } else if (header.id == Dc09::kAck) {
        if (!m_options.key.isEmpty())
            return unreadable(QStringLiteral("ACK in clear to %1, which went encrypted").arg(name));
        ++m_totals.acks;
        if (!m_options.quiet)
            m_out << name << ": ACK\n";
    } else if (header.id == Dc09::kNak) {
        const std::optional<Dc09::Content> content = Dc09::readContent(split->tail);
        ++m_totals.naks;
        if (!content || !content->timestamp) {
            m_out << name << ": NAK without the receiver's time\n";
        } else {
            const qint64 off = content->timestamp->secsTo(sent.stamped);
            m_out << name << ": NAK, receiver time " << timeText(*content->timestamp) << ", the frame's clock is "
                  << (off >= 0 ? "+" : "") << off << " s off\n";
        }
    } else if (header.id == Dc09::kDuh) {
        ++m_totals.duhs;
        m_out << name << ": DUH\n";
    } else {
        unreadable(QStringLiteral("\"%1\" to %2").arg(QString::fromLatin1(header.id), name));
    }
}

void Dc09Sender::expire() {
    const qint64 now = m_clock.elapsed();
    for (const auto& device : m_devices) {
        while (!device->pending.isEmpty() && device->pending.front().deadlineMs <= now) {
            const Pending lost = device->pending.takeFirst();
            ++m_totals.unanswered;
            m_out << frameName(*device, lost.sequence) << ": no answer within " << m_options.timeoutMs << " ms\n";
        }
    }
}

void Dc09Sender::finishIfDone() {
    if (m_finished || m_totals.sent < m_options.count || inFlight() > 0)
        return;
    m_finished = true;
    m_pump.stop();
    m_out << "sent " << m_totals.sent << ": " << m_totals.acks << " ACK, " << m_totals.naks << " NAK, " << m_totals.duhs
          << " DUH, " << m_totals.unanswered << " no answer, " << m_totals.undecodable << " unreadable\n";
    m_out.flush();
    for (const auto& device : m_devices)
        device->socket->abort();
    emit finished(m_totals.acks == m_options.count ? 0 : 1);
}

QString Dc09Sender::frameName(const Device& device, const QByteArray& sequence) const {
    return QString::fromLatin1(sequence + " #" + device.account);
}
