// Dispatch of one range option ("/[..." or "/![...") to its parser.
#ifndef VESK_RANGE_OPTION_H
#define VESK_RANGE_OPTION_H

#include <stdint.h>
#include <wchar.h>

#include "ranges/range_list.h"

/// Checks "/[" or "/![", the final "]" and the kind letter, and dispatches to the parser
/// of that kind (which prints its own messages). 0 when accepted, 1 after a reported
/// error, -1 for a missing argument.
int ParseRangeOption(wchar_t *option, RangeList *list);

#endif
