// State of the whole plug-in that more than one subsystem reads. It depends on nothing,
// so the search and the commands read it without reaching up into the exports.
#ifndef VESK_PLUGIN_STATE_H
#define VESK_PLUGIN_STATE_H

#include <stdint.h>

/// Console width measured by the last VESK command that passed validation, else 0.
extern int32_t ScreenWidth;
/// Rows the last completed VESK command stored in its array (what the array holds, which
/// may be fewer than it found); -1 until one completes.
extern int32_t LastCount;

#endif
