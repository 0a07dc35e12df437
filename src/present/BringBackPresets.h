#pragma once
// The dates the Bring Back menu and picker offer, by the user's calendar in the local time zone.

#include <QDate>
#include <QDateTime>
#include <QTime>
#include <optional>

namespace vesk {

// The first instant whose local wall-clock time is date at time: the earlier of two when the
// clocks were set back over it, and the instant the clocks jump forward when the time falls in
// the skipped hour. UTC.
QDateTime nextExistingLocalTime(const QDate& date, const QTime& time);

// now plus `days` calendar days; with an hour, that day at hour:00:00 (the next existing time),
// otherwise at now's time of day. None when the calendar gives no such day.
std::optional<QDateTime> bringBackDate(const QDateTime& now, int days, std::optional<int> hour);

// One calendar month after now, at the same time of day; the 31st of a month lands on the last
// day of a shorter next month. now plus 30 days when the calendar gives nothing.
QDateTime bringBackMonthDate(const QDateTime& now);

// The Bring Back menu's quick choices.
enum class BringBackPreset { TomorrowAtNine, InOneWeek, InTwoWeeks, InOneMonth };

// What a quick choice schedules from now: tomorrow at 09:00 (the next existing time), a week or
// two on at the same time of day, or a calendar month on. None when the calendar gives no date.
std::optional<QDateTime> bringBackPresetDate(BringBackPreset preset, const QDateTime& now);

// Where the picker starts: the date already set, else the same time of day one calendar day on
// (now plus 86,400 seconds when the calendar gives nothing).
QDateTime bringBackPickerStartDate(const QDateTime& now, const std::optional<QDateTime>& currentDate);

} // namespace vesk
