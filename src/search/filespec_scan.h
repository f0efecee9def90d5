// Turning a file specification into a directory and patterns, and handing them to the walk.
#ifndef VESK_FILESPEC_SCAN_H
#define VESK_FILESPEC_SCAN_H

#include <wchar.h>

#include "search/result_list.h"
#include "search/search.h"

/// Scans one file specification into results (started by the caller, who keeps it).
/// Returns -1 for a null or empty specification or a missing argument, 2 when a listing
/// failed for want of handles or memory (reported; the list then holds what was found
/// before), else 0.
int VeskFiles2(const wchar_t *fileSpec, const SearchOptions *options, ResultList *results);

/// The file system name of path's volume in buffer (1024 characters). 0 when it is
/// there and not empty, else -1.
int VolumeFileSystem(const wchar_t *path, wchar_t *buffer);

/// Swap every ';' with U+FF1B (and back), in place; return the number changed.
int MaskSemicolons(wchar_t *text);
int UnmaskSemicolons(wchar_t *text);

#endif
