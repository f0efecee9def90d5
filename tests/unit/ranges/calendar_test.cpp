#include <gtest/gtest.h>

#include <stdint.h>

#include "ranges/calendar.h"

namespace {

// Days since 1970-01-01 of a proleptic Gregorian date, computed by era arithmetic,
// independently of the table the plug-in uses.
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = (unsigned)(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + (int64_t)doe - 719468;
}

TEST(RangeDayNumberTest, KnownDays)
{
    EXPECT_EQ(1u, DayNumber(1601, 1, 1));
    EXPECT_EQ(7u, DayNumber(1601, 1, 7));
    EXPECT_EQ(134775u, DayNumber(1970, 1, 1));
    EXPECT_EQ(145732u, DayNumber(2000, 1, 1));
    EXPECT_EQ(6u, DayNumber(2000, 1, 1) % 7);  // Saturday
    EXPECT_EQ(1u, DayNumber(1601, 1, 1) % 7);  // Monday
}

TEST(RangeDayNumberTest, EveryDayFrom1601To9999AgreesWithCivilCalendar)
{
    const int64_t origin = DaysFromCivil(1601, 1, 1);
    int64_t previous = 0;
    for (int64_t year = 1601; year <= 9999; ++year) {
        for (unsigned month = 1; month <= 12; ++month) {
            int64_t next = month == 12 ? DaysFromCivil(year + 1, 1, 1)
                                       : DaysFromCivil(year, month + 1, 1);
            unsigned length = (unsigned)(next - DaysFromCivil(year, month, 1));
            for (unsigned day = 1; day <= length; ++day) {
                int64_t civil = DaysFromCivil(year, month, day);
                uint32_t got = DayNumber((uint32_t)year, month, day);
                ASSERT_EQ((uint32_t)(civil - origin + 1), got) << year << "-" << month << "-" << day;
                // 1970-01-01 was a Thursday; the day number modulo 7 is the weekday.
                ASSERT_EQ((uint32_t)(((civil % 7) + 7 + 4) % 7), got % 7);
                ASSERT_EQ(previous + 1, (int64_t)got);
                previous = got;
            }
        }
    }
}

TEST(CalendarTest, LeapYearsAndMonthLengths)
{
    struct {
        uint32_t Year;
        bool Leap;
    } years[] = {{1601, false}, {1700, false}, {1900, false}, {2000, true},
                 {2023, false}, {2024, true}, {2100, false}, {2400, true}};
    for (const auto &y : years) {
        EXPECT_EQ(y.Leap, IsLeapYear(y.Year)) << y.Year;
        EXPECT_EQ(y.Leap ? 29u : 28u, MonthLength(y.Year, 2)) << y.Year;
        EXPECT_EQ(y.Leap ? 366u : 365u, DayNumber(y.Year + 1, 1, 1) - DayNumber(y.Year, 1, 1))
            << y.Year;
    }
    EXPECT_EQ(31u, MonthLength(2023, 1));
    EXPECT_EQ(30u, MonthLength(2023, 4));
    EXPECT_EQ(31u, MonthLength(2023, 12));
    // A stray month has no days rather than a length read from outside the table.
    EXPECT_EQ(0u, MonthLength(2023, 0));
    EXPECT_EQ(0u, MonthLength(2023, 13));
}

}  // namespace
