#include "platform/DateTexts.h"

#include <QRegularExpression>

#include <optional>

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

// The patterns of one locale, worked out once: the pane and its rows format dates for every item
// shown, and asking the locale and cutting its patterns cost more than the formatting.
struct Patterns {
    QLocale locale;
    QString abbreviatedDate;
    QString shortTime;
};

const Patterns& patternsOf(const QLocale& locale)
{
    thread_local std::optional<Patterns> last;
    if (!last || last->locale != locale) {
        // Qt has numeric short dates and spelled-out long ones; the long pattern with a short
        // month name is the abbreviated middle ground.
        QString date = longPatternWithoutWeekday(locale);
        date.replace(QStringLiteral("MMMM"), QStringLiteral("MMM"));
        // Some locales' short time format still carries seconds (C gives "HH:mm:ss"); hours and
        // minutes are enough here.
        static const QRegularExpression seconds(QStringLiteral("[:.]ss"));
        QString time = locale.timeFormat(QLocale::ShortFormat);
        time.remove(seconds);
        last = Patterns{locale, date, time};
    }
    return *last;
}

} // namespace

QString abbreviatedDateText(const QDateTime& date, const QLocale& locale)
{
    if (!date.isValid())
        return QString();
    return locale.toString(date.toLocalTime().date(), patternsOf(locale).abbreviatedDate);
}

QString abbreviatedDateTimeText(const QDateTime& date, const QLocale& locale)
{
    if (!date.isValid())
        return QString();
    const QDateTime local = date.toLocalTime();
    const Patterns& patterns = patternsOf(locale);
    return locale.toString(local.date(), patterns.abbreviatedDate) + QStringLiteral(", ")
        + locale.toString(local.time(), patterns.shortTime);
}

QString longDateText(const QDateTime& date, const QLocale& locale)
{
    if (!date.isValid())
        return QString();
    return locale.toString(date.toLocalTime().date(), longPatternWithoutWeekday(locale));
}

} // namespace vesk
