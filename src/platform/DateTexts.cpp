#include "platform/DateTexts.h"

#include <QRegularExpression>

namespace vesk {

namespace {

// Qt's long date pattern names the weekday; neither style shown here does.
QString longPatternWithoutWeekday(const QLocale& locale)
{
    QString format = locale.dateFormat(QLocale::LongFormat);
    static const QRegularExpression weekday(QStringLiteral("d{4}[,.]?\\s*"));
    format.remove(weekday);
    return format.trimmed();
}

} // namespace

QString abbreviatedDateText(const QDateTime& date, const QLocale& locale)
{
    if (!date.isValid())
        return QString();
    // Qt has numeric short dates and spelled-out long ones; the long pattern with a short month
    // name is the abbreviated middle ground.
    QString format = longPatternWithoutWeekday(locale);
    format.replace(QStringLiteral("MMMM"), QStringLiteral("MMM"));
    return locale.toString(date.toLocalTime().date(), format);
}

QString abbreviatedDateTimeText(const QDateTime& date, const QLocale& locale)
{
    if (!date.isValid())
        return QString();
    // Some locales' short time format still carries seconds (C gives "HH:mm:ss"); hours and
    // minutes are enough here.
    static const QRegularExpression seconds(QStringLiteral("[:.]ss"));
    QString timeFormat = locale.timeFormat(QLocale::ShortFormat);
    timeFormat.remove(seconds);
    return abbreviatedDateText(date, locale) + QStringLiteral(", ")
        + locale.toString(date.toLocalTime().time(), timeFormat);
}

QString longDateText(const QDateTime& date, const QLocale& locale)
{
    if (!date.isValid())
        return QString();
    return locale.toString(date.toLocalTime().date(), longPatternWithoutWeekday(locale));
}

} // namespace vesk
