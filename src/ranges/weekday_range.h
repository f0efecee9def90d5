// Day-of-the-week ranges (/[W...]).
#ifndef VESK_WEEKDAY_RANGE_H
#define VESK_WEEKDAY_RANGE_H

#include <stdint.h>
#include <wchar.h>

#include "ranges/range_list.h"

// Each parser takes the option text after its kind letter (writable, ending with "]"),
// pushes its node(s) at the front of the list, prints its own messages, and returns 0 when
// accepted, 1 after a reported error, -1 for a missing argument.

int ParseWeekdayRange(wchar_t *text, int negate, RangeList *list);
/// Token at text: a day index 0..6, a set value (62 or 65), or -1; *length its length.
int ReadWeekdayToken(const wchar_t *text, int *length);
int WeekdayIndex(const wchar_t *token);

#endif
