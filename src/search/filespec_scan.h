// Turning a file specification into a directory and patterns, and handing them to the walk.
#ifndef VESK_FILESPEC_SCAN_H
#define VESK_FILESPEC_SCAN_H

#include <wchar.h>

#include "search/result_list.h"
#include "search/search.h"

/// Scans one file specification into results (started by the caller, who keeps it).
/// RESULT_OK; RESULT_SCAN_FAILED when a directory could not be listed, or not to its end,
/// for a reason other than being absent or denied (reported; the walk went on without it,
/// except out of memory, and the list holds what was found); RESULT_FAILED after the message
/// for a specification too long for the engine's paths; RESULT_MISSING_ARGUMENT for a
/// null or empty specification or a missing argument.
int VeskFiles2(const wchar_t *fileSpec, const SearchOptions *options, ResultList *results);

/// The file system name of path's volume in buffer (1024 characters). RESULT_OK when it
/// is there and not empty; RESULT_FAILED when it cannot be had (not reported);
/// RESULT_MISSING_ARGUMENT for a null argument.
int VolumeFileSystem(const wchar_t *path, wchar_t *buffer);

/// Swap every ';' with U+FF1B (and back), in place; return the number changed.
int MaskSemicolons(wchar_t *text);
int UnmaskSemicolons(wchar_t *text);

#endif
