#include "common/LocalTimeZone.h"
#include "present/BringBackPresets.h"

#include <gtest/gtest.h>

namespace vesk {
namespace {

using test::ScopedLocalTime;

// Standard time UTC+1 and summer time UTC+2, changing on the last Sundays of March and October,
// with the jump forward at 09:00 and back at 10:00: a day whose 09:00 does not exist and one
// whose 09:00 comes twice.
constexpr const char* kNineOClockJumps = "AAA-1BBB,M3.5.0/9,M10.5.0/10";

QDateTime local(int year, int month, int day, int hour, int minute, int second = 0)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second), Qt::LocalTime);
}

QDateTime utc(int year, int month, int day, int hour, int minute, int second = 0)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second), Qt::UTC);
}

TEST(BringBackPresets, WeeksKeepTheTimeOfDayAndTomorrowMovesToNine)
{
    ScopedLocalTime zone("Europe/Berlin");
    // Monday 13 January 2025, 15:42.
    const QDateTime monday = local(2025, 1, 13, 15, 42, 7);
    EXPECT_EQ(bringBackPresetDate(BringBackPreset::InOneWeek, monday), local(2025, 1, 20, 15, 42, 7));
    EXPECT_EQ(bringBackPresetDate(BringBackPreset::InTwoWeeks, monday), local(2025, 1, 27, 15, 42, 7));
    // At 23:30 tomorrow is the next calendar day, not nine and a half hours on.
    EXPECT_EQ(bringBackPresetDate(BringBackPreset::TomorrowAtNine, local(2025, 1, 13, 23, 30)),
        local(2025, 1, 14, 9, 0));
    // A week across the change to summer time is seven calendar days, one hour short of 7 × 24.
    const QDateTime beforeSummer = local(2025, 3, 28, 12, 0);
    const QDateTime afterSummer = *bringBackPresetDate(BringBackPreset::InOneWeek, beforeSummer);
    EXPECT_EQ(afterSummer, local(2025, 4, 4, 12, 0));
    EXPECT_EQ(beforeSummer.secsTo(afterSummer), 7 * 86'400 - 3'600);
}

TEST(BringBackPresets, AMonthOnFromTheEndOfJanuaryIsTheEndOfFebruary)
{
    ScopedLocalTime zone("Europe/Berlin");
    EXPECT_EQ(bringBackPresetDate(BringBackPreset::InOneMonth, local(2023, 1, 31, 8, 15)), local(2023, 2, 28, 8, 15));
    EXPECT_EQ(bringBackPresetDate(BringBackPreset::InOneMonth, local(2024, 1, 31, 8, 15)), local(2024, 2, 29, 8, 15));
    EXPECT_EQ(bringBackPresetDate(BringBackPreset::InOneMonth, local(2024, 12, 31, 23, 59)), local(2025, 1, 31, 23, 59));
}

TEST(BringBackPresets, NineOClockThatDoesNotExistOrComesTwice)
{
    ScopedLocalTime zone(kNineOClockJumps);
    // Sunday 30 March 2025 jumps from 09:00 standard time to 10:00 summer time (08:00 UTC): the
    // next existing time after 09:00 is that jump.
    EXPECT_EQ(bringBackPresetDate(BringBackPreset::TomorrowAtNine, utc(2025, 3, 29, 12, 0)), utc(2025, 3, 30, 8, 0));
    EXPECT_EQ(nextExistingLocalTime(QDate(2025, 3, 30), QTime(9, 30)), utc(2025, 3, 30, 8, 0));
    // Sunday 26 October 2025 passes 09:00 twice: the first, still in summer time, is 07:00 UTC.
    EXPECT_EQ(bringBackPresetDate(BringBackPreset::TomorrowAtNine, utc(2025, 10, 25, 12, 0)), utc(2025, 10, 26, 7, 0));
    // An ordinary day in each half of the year.
    EXPECT_EQ(nextExistingLocalTime(QDate(2025, 1, 8), QTime(9, 0)), utc(2025, 1, 8, 8, 0));
    EXPECT_EQ(nextExistingLocalTime(QDate(2025, 7, 8), QTime(9, 0)), utc(2025, 7, 8, 7, 0));
}

TEST(BringBackPresets, ThePickerStartsOnTheSetDateOrThisTimeTomorrow)
{
    ScopedLocalTime zone("Europe/Berlin");
    const QDateTime now = local(2025, 3, 29, 12, 0);
    // Tomorrow by the calendar, though only 23 hours away across the change to summer time.
    EXPECT_EQ(bringBackPickerStartDate(now, std::nullopt), local(2025, 3, 30, 12, 0));
    EXPECT_EQ(now.secsTo(bringBackPickerStartDate(now, std::nullopt)), 23 * 3'600);
    const QDateTime set = utc(2020, 1, 1, 0, 0);
    EXPECT_EQ(bringBackPickerStartDate(now, set), set);
}

} // namespace
} // namespace vesk
