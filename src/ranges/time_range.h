// Time-of-day ranges (/[T...]) and the time-of-day reader.
#ifndef VESK_TIME_RANGE_H
#define VESK_TIME_RANGE_H

#include <stdint.h>
#include <wchar.h>

#include "ranges/range_list.h"

// Each parser takes the option text after its kind letter (writable, ending with "]"),
// pushes its node(s) at the front of the list, prints its own messages, and returns 0 when
// accepted, 1 after a reported error, -1 for a missing argument.

int ParseTimeRange(wchar_t *text, int negate, RangeList *list);
/// Reads a time of day at *cursor into *seconds (and *hasSeconds when given).
int ParseTimeOfDay(const wchar_t **cursor, uint32_t *seconds, int *hasSeconds);

#endif
