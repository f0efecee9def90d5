// Description (/[I...]) and owner (/[O...]) ranges.
#ifndef VESK_TEXT_RANGE_H
#define VESK_TEXT_RANGE_H

#include <stdint.h>
#include <wchar.h>

#include "ranges/range_list.h"

// Each parser takes the option text after its kind letter (writable, ending with "]"),
// pushes its node(s) at the front of the list, prints its own messages, and returns 0 when
// accepted, 1 after a reported error, -1 for a missing argument.

int ParseDescriptionRange(wchar_t *text, RangeList *list, int negate, int plainMode);
int ParseOwnerRange(wchar_t *text, RangeList *list, int negate);

#endif
