#include "common/TimeText.h"

#include <QLocale>

namespace TimeText {

namespace {

// The locale's long time format with its time-zone part removed: hours,
// minutes and seconds as the user writes them.
QString timeFormatWithSeconds(const QLocale& locale) {
    QString format = locale.timeFormat(QLocale::LongFormat);
    format.remove(QLatin1Char('t'));
    return format.trimmed();
}

} // namespace

QString format(const QDateTime& when) {
    static const QLocale locale = QLocale::system();
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
