// Day numbers of the Gregorian calendar, shared by the date, time and weekday code.
#include "ranges/calendar.h"

namespace {

// Days of the year before the first of each month: [month - 1][leap].
const uint16_t DaysBefore[12][2] = {
    {0, 0},     {31, 31},   {59, 60},   {90, 91},   {120, 121}, {151, 152},
    {181, 182}, {212, 213}, {243, 244}, {273, 274}, {304, 305}, {334, 335},
};

}  // namespace

uint32_t DayNumber(uint32_t year, uint32_t month, uint32_t day)
{
    uint32_t leap = IsLeapYear(year) ? 1 : 0;
    uint32_t c = year - 1601;
    // The callers guarantee the month; a stray one must still not read past the table.
    uint32_t before = month >= 1 && month <= 12 ? DaysBefore[month - 1][leap] : 0;
    return 365 * c + c / 4 - c / 100 + c / 400 + before + day;
}
