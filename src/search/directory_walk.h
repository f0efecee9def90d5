// Listing a directory, and the tree below it, into the ranked list.
#ifndef VESK_DIRECTORY_WALK_H
#define VESK_DIRECTORY_WALK_H

#include <stdint.h>
#include <wchar.h>

#include "search/result_list.h"
#include "search/search.h"

/// Lists directory (ending in a separator, or a bare drive such as C:) and offers the
/// entries that pass to results (started by the caller, who keeps it), descending as
/// WalkFlags say. A link (junction, mount point) that leads into the tree being walked
/// is not followed: the directory is listed where the tree holds it. One that leads
/// elsewhere is followed once per directory of trusted identity (a known id on a volume
/// the system tells apart), however many links lead there, and no file or directory
/// enters the list under a second name. The walk's memory grows with the depth and the
/// links it follows, not with the directories it lists.
/// Every failure (a listing failing at its open or part way, an entry whose status
/// cannot be read, a path past the limit) is handed once to options->Failures, weighed:
/// quiet (gone at its open), denied (refused before it listed anything, below the
/// directory the walk began at) or told; the walk goes on with the siblings. RESULT_OK;
/// RESULT_SCAN_FAILED when a told failure was handed on; RESULT_MISSING_ARGUMENT when an
/// argument is missing.
int VeskFiles(const wchar_t *directory, const wchar_t *patterns, const SearchOptions *options,
              int onFat, int onNtfs, ResultList *results);


#endif
