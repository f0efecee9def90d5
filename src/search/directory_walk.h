// Listing a directory, and the tree below it, into the ranked list.
#ifndef VESK_DIRECTORY_WALK_H
#define VESK_DIRECTORY_WALK_H

#include <stdint.h>
#include <wchar.h>

#include "search/result_list.h"
#include "search/search.h"

/// Lists directory (ending in a separator, or a bare drive such as C:) and offers the
/// entries that pass to results (started by the caller, who keeps it), descending as
/// WalkFlags say. No directory is listed twice in one call, however many links lead to
/// it, and no file enters the list under a second name. RESULT_OK; RESULT_SCAN_FAILED
/// when a listing failed for a reason other than being absent or denied, which is
/// reported and ends the walk; RESULT_MISSING_ARGUMENT when an argument is missing.
int VeskFiles(const wchar_t *directory, const wchar_t *patterns, const SearchOptions *options,
              int onFat, int onNtfs, ResultList *results);

/// Spinner state, across every scan of the plug-in's life.
extern int32_t SpinCountdown;
extern int32_t SpinIndex;

#endif
