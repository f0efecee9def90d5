// Date ranges (/[D...]) and the date reader.
#ifndef VESK_DATE_RANGE_H
#define VESK_DATE_RANGE_H

#include <stdint.h>
#include <wchar.h>

#include "ranges/range_list.h"

// Each parser takes the option text after its kind letter (writable, ending with "]"),
// pushes its node(s) at the front of the list, prints its own messages, and returns 0 when
// accepted, 1 after a reported error, -1 for a missing argument.

int ParseDateRange(wchar_t *text, int negate, RangeList *list);
/// Reads a date at *cursor into *day (a DayNumber): three numbers joined by '/', '-' or
/// '.', year first when the first number is a year from 1601 to 30828, else in the
/// locale's order; a year below 100 is 2000 to 2079 or 1980 to 1999. Every day from
/// 1601-01-01 to 30828-09-14 is accepted. 0 with the cursor past the date, 1 for a
/// malformed or impossible date, -1 for a missing argument.
int ParseDate(const wchar_t **cursor, uint32_t *day);
/// 0 month-day-year, 1 day-month-year, 2 year-month-day, from the user's locale.
int LocaleDateOrder(void);

#endif
