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
/// Reads a date at *cursor into *day (a DayNumber).
int ParseDate(const wchar_t **cursor, uint32_t *day);
/// 0 month-day-year, 1 day-month-year, 2 year-month-day, from the user's locale.
int LocaleDateOrder(void);

#endif
