#include "device/Dc09StreamSplitter.h"

#include "common/Dc09Envelope.h"

bool Dc09StreamSplitter::append(QByteArrayView bytes, QList<QByteArray>& frames) {
    if (m_closed)
        return false;
    m_buffer.append(bytes);
    m_unframed += bytes.size();

    qsizetype start = 0; // what comes before start has been used or passed over
    while (true) {
        const qsizetype lf = m_buffer.indexOf(Dc09Envelope::kStart, start);
        if (lf < 0) {
            start = m_buffer.size();
            break;
        }
        start = lf;
        const QByteArrayView rest = QByteArrayView(m_buffer).sliced(start);
        if (rest.size() < Dc09Envelope::kHeaderLength)
            break;
        const std::optional<qsizetype> length = Dc09Envelope::frameLength(rest);
        if (!length) {
            ++start;
            continue;
        }
        if (rest.size() < *length)
            break;
        const QByteArrayView candidate = rest.first(*length);
        QByteArrayView body;
        if (Dc09Envelope::open(candidate, body) != Dc09Envelope::Fault::None) {
            ++start;
            continue;
        }
        frames.append(candidate.toByteArray());
        start += *length;
        m_unframed = m_buffer.size() - start;
    }
    m_buffer.remove(0, start);
    if (m_unframed > kMaxUnframed) {
        m_closed = true;
        m_buffer.clear();
        return false;
    }
    return true;
}
