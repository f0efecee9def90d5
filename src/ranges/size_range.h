// Size ranges (/[S...]) and name exclusions (/[!...]).
#ifndef VESK_SIZE_RANGE_H
#define VESK_SIZE_RANGE_H

#include <stdint.h>
#include <wchar.h>

#include "ranges/range_list.h"

// Each parser takes the option text after its kind letter (writable, ending with "]"),
// pushes its node(s) at the front of the list, prints its own messages, and returns 0 when
// accepted, 1 after a reported error, -1 for a missing argument.

int ParseSizeRange(wchar_t *text, int negate, RangeList *list);
/// What ParseSizeNumber returns for digits whose value, or value times the unit, does
/// not fit 64 bits.
enum { SIZE_TOO_LARGE = 2 };

/// Digits and an optional unit letter at *cursor; advances it. 1 when no digit is there,
/// SIZE_TOO_LARGE when the number cannot be held; neither changes anything.
int ParseSizeNumber(const wchar_t **cursor, uint64_t *value);
int ParseExclusionRange(wchar_t *text, RangeList *list);
/// Pushes an exclusion of pattern. 0, 1 after a reported error, -1 for a missing argument.
int AddExclusion(const wchar_t *pattern, RangeList *list);

#endif
