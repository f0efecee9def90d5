// Listing a directory, and the tree below it, into the ranked list.
#ifndef VESK_DIRECTORY_WALK_H
#define VESK_DIRECTORY_WALK_H

#include <stdint.h>
#include <wchar.h>

#include "search/result_list.h"
#include "search/search.h"

/// Lists directory (ending in a separator, or a bare drive such as C:) and offers the
/// entries that pass to results (started by the caller, who keeps it), descending as
/// WalkFlags say. No directory of known identity is listed twice in one call, however
/// many links lead to it, and no file or directory enters the list under a second name.
/// A directory whose listing fails for a reason other than being absent or denied is
/// reported once and skipped; the walk goes on with its siblings. RESULT_OK;
/// RESULT_SCAN_FAILED when a failure was reported; RESULT_MISSING_ARGUMENT when an
/// argument is missing.
int VeskFiles(const wchar_t *directory, const wchar_t *patterns, const SearchOptions *options,
              int onFat, int onNtfs, ResultList *results);

/// The spinner's state, which runs on across every scan of the plug-in's life. Exposed
/// for tests only: the walk is its one user.
struct SpinnerState {
    int32_t Countdown;
    int32_t Index;
};
SpinnerState *SpinnerForTests(void);

#endif
