#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

namespace vesk {

// A date in the locale's abbreviated style without a time ("Jul 4, 2019" in US English), in the
// user's local time zone; empty for an invalid date.
QString abbreviatedDateText(const QDateTime& date, const QLocale& locale = QLocale());

// The abbreviated date followed by the locale's short time in hours and minutes ("Jul 4, 2019,
// 9:05 AM" in US English), in the user's local time zone; empty for an invalid date.
QString abbreviatedDateTimeText(const QDateTime& date, const QLocale& locale = QLocale());

// The same in the long style, the month spelled out and no weekday ("July 4, 2019").
QString longDateText(const QDateTime& date, const QLocale& locale = QLocale());

} // namespace vesk
