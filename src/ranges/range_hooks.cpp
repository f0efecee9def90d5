#include "ranges/range_hooks.h"

RangeTestHooks RangeHooks = {-1, nullptr, 0};
