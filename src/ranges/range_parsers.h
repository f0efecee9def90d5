// Parsers of the range options. Each takes the option text after its kind letter
// (writable, ending with "]"), pushes its node(s) at the front of the list, prints its
// own messages, and returns 0 when accepted, 1 after a reported error, -1 for a
// missing argument.
#ifndef VESK_RANGE_PARSERS_H
#define VESK_RANGE_PARSERS_H

#include <stdint.h>
#include <wchar.h>

#include "ranges/range_list.h"

/// Checks "/[" or "/![", the final "]" and the kind letter, and dispatches.
int ParseRangeOption(wchar_t *option, RangeList *list);

int ParseSizeRange(wchar_t *text, int negate, RangeList *list);
/// Digits and an optional unit letter at *cursor; advances it. 1 when no digit is there.
int ParseSizeNumber(const wchar_t **cursor, uint64_t *value);
int ParseExclusionRange(wchar_t *text, RangeList *list);
int AddExclusion(const wchar_t *pattern, RangeList *list);

int ParseTimeRange(wchar_t *text, int negate, RangeList *list);
int ParseDateRange(wchar_t *text, int negate, RangeList *list);
/// Reads a time of day at *cursor into *seconds (and *hasSeconds when given).
int ParseTimeOfDay(const wchar_t **cursor, uint32_t *seconds, int *hasSeconds);
/// Reads a date at *cursor into *day (a DayNumber).
int ParseDate(const wchar_t **cursor, uint32_t *day);
/// 0 month-day-year, 1 day-month-year, 2 year-month-day, from the user's locale.
int LocaleDateOrder(void);

int ParseWeekdayRange(wchar_t *text, int negate, RangeList *list);
/// Token at text: a day index 0..6, a set value (62 or 65), or -1; *length its length.
int ReadWeekdayToken(const wchar_t *text, int *length);
int WeekdayIndex(const wchar_t *token);

int ParseDescriptionRange(wchar_t *text, RangeList *list, int negate, int plainMode);
int ParseOwnerRange(wchar_t *text, RangeList *list, int negate);

#endif
