#include "present/BringBackPresets.h"

#include <QList>
#include <algorithm>

namespace vesk {

namespace {

// UTC offset of local time at an instant, in milliseconds.
qint64 localOffsetMs(qint64 instantMs)
{
    return qint64(QDateTime::fromMSecsSinceEpoch(instantMs, Qt::LocalTime).offsetFromUtc()) * 1000;
}

// The wall-clock reading at an instant, as milliseconds on a UTC scale.
qint64 wallMs(qint64 instantMs)
{
    return instantMs + localOffsetMs(instantMs);
}

// The local wall time of now shifted by whole days, kept at now's time of day.
std::optional<QDateTime> addLocalDays(const QDateTime& now, int days)
{
    const QDateTime local = now.toLocalTime();
    const QDate date = local.date().addDays(days);
    if (!date.isValid())
        return std::nullopt;
    return nextExistingLocalTime(date, local.time());
}

} // namespace

QDateTime nextExistingLocalTime(const QDate& date, const QTime& time)
{
    const qint64 wanted = QDateTime(date, time, Qt::UTC).toMSecsSinceEpoch();
    // The offsets in force around that day: at most one change lies within a day and a half.
    QList<qint64> offsets;
    for (qint64 probeHours : {-36, -12, 0, 12, 36}) {
        const qint64 offset = localOffsetMs(wanted + probeHours * 3'600'000);
        if (!offsets.contains(offset))
            offsets.append(offset);
    }
    // Every instant that reads as the wanted wall time; the earliest when the hour repeats.
    std::optional<qint64> earliest;
    for (qint64 offset : std::as_const(offsets)) {
        const qint64 instant = wanted - offset;
        if (wallMs(instant) == wanted && (!earliest || instant < *earliest))
            earliest = instant;
    }
    if (earliest)
        return QDateTime::fromMSecsSinceEpoch(*earliest, Qt::UTC);

    // Skipped: the first instant whose wall time lies past the wanted one is the jump itself.
    const auto [smallest, largest] = std::minmax_element(offsets.cbegin(), offsets.cend());
    qint64 low = wanted - *largest;   // still before the jump
    qint64 high = wanted - *smallest; // already after it
    while (high - low > 1) {
        const qint64 middle = low + (high - low) / 2;
        (wallMs(middle) >= wanted ? high : low) = middle;
    }
    return QDateTime::fromMSecsSinceEpoch(high, Qt::UTC);
}

std::optional<QDateTime> bringBackDate(const QDateTime& now, int days, std::optional<int> hour)
{
    const std::optional<QDateTime> day = addLocalDays(now, days);
    if (!day)
        return std::nullopt;
    if (!hour)
        return day;
    const QDate date = now.toLocalTime().date().addDays(days);
    const QTime time(*hour, 0, 0);
    if (!time.isValid())
        return day;
    return nextExistingLocalTime(date, time);
}

QDateTime bringBackMonthDate(const QDateTime& now)
{
    const QDateTime local = now.toLocalTime();
    const QDate date = local.date().addMonths(1);
    if (!date.isValid())
        return now.addSecs(2'592'000);
    return nextExistingLocalTime(date, local.time());
}

std::optional<QDateTime> bringBackPresetDate(BringBackPreset preset, const QDateTime& now)
{
    switch (preset) {
    case BringBackPreset::TomorrowAtNine: return bringBackDate(now, 1, 9);
    case BringBackPreset::InOneWeek: return bringBackDate(now, 7, std::nullopt);
    case BringBackPreset::InTwoWeeks: return bringBackDate(now, 14, std::nullopt);
    case BringBackPreset::InOneMonth: return bringBackMonthDate(now);
    }
    return std::nullopt;
}

QDateTime bringBackPickerStartDate(const QDateTime& now, const std::optional<QDateTime>& currentDate)
{
    if (currentDate)
        return *currentDate;
    return addLocalDays(now, 1).value_or(now.addSecs(86'400));
}

} // namespace vesk
