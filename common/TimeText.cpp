#include "common/TimeText.h"

#include <QRegularExpression>

namespace TimeText {

QLocale displayLocale(const QLocale& system) {
    if (system.language() == QLocale::C)
        return QLocale(QLocale::Portuguese, QLocale::Brazil);
    return system;
}

QString timeFormatWithSeconds(const QLocale& locale) {
    static const QRegularExpression kTimeZone(QStringLiteral("\\s*[(\\[]?\\s*t+\\s*[)\\]]?"));
    const QString format = locale.timeFormat(QLocale::LongFormat);
    // Quoted literal text ('...') is kept as it is; the segments between quotes are the format's own.
    QStringList segments = format.split(QLatin1Char('\''));
    for (qsizetype i = 0; i < segments.size(); i += 2)
        segments[i].remove(kTimeZone);
    return segments.join(QLatin1Char('\'')).trimmed();
}

QString format(const QDateTime& when) {
    static const QLocale locale = displayLocale(QLocale::system());
    static const QString dateFormat = locale.dateFormat(QLocale::ShortFormat);
    static const QString timeFormat = timeFormatWithSeconds(locale);
    return locale.toString(when.date(), dateFormat) + QLatin1Char(' ') + locale.toString(when.time(), timeFormat);
}

QString now() {
    return format(QDateTime::currentDateTime());
}

} // namespace TimeText

QString TimeTextClock::now() {
    const qint64 second = QDateTime::currentSecsSinceEpoch();
    if (second != m_second) {
        m_second = second;
        m_text = TimeText::format(QDateTime::fromSecsSinceEpoch(second));
    }
    return m_text;
}
