// The seams the range tests turn: the parsers' locale order and clock, and the node
// allocator's failure. The plug-in never changes them.
#ifndef VESK_RANGE_HOOKS_H
#define VESK_RANGE_HOOKS_H

#include "platform/platform.h"

/// Settings the unit tests change to make the parsers deterministic. The plug-in never
/// changes them, so it always asks the locale, the clock and the allocator.
struct RangeTestHooks {
    int DateOrder;          ///< -1: the user's locale decides; 0, 1 or 2: this order
    const SYSTEMTIME *Now;  ///< null: GetLocalTime; else the "now" of every parse
    int FailAllocations;    ///< non-zero: NewRangeNode returns null
};
extern RangeTestHooks RangeHooks;

#endif
