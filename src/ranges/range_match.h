// The test of one found file against the range list, and the path and description services of the text tests.
#ifndef VESK_RANGE_MATCH_H
#define VESK_RANGE_MATCH_H

#include <stdint.h>
#include <wchar.h>

#include "platform/platform.h"
#include "ranges/range_list.h"

/// 0 when the file passes every node (or the list is empty), 1 when one rejects it,
/// -1 when data or directory is null. directory is the folder that holds the file.
int MatchRanges(const WIN32_FIND_DATAW *data, const RangeFilter *list, const wchar_t *directory);

/// Appends name to directory (a buffer of 16384 characters), with a separator unless
/// one is there. 0, or -1 for a missing argument or a result that would not fit (the
/// directory is then unchanged).
int JoinPath(wchar_t *directory, const wchar_t *name);

/// The description the shell keeps for path, into out (8192 characters), asked for under
/// CallSyntax. 0 on success; 2 for an empty path or one that names nothing; 111 when the
/// path is too long for the shell expression, cannot be written exactly under the
/// settings, or the expansion fails; -1 for missing or equal arguments. out is
/// written only on success.
int GetDescription(const wchar_t *path, wchar_t *out);


/// The file time of data that whichTime (a TIME_ value) names; the last write time for
/// any other value. Points into data.
const FILETIME *ChosenFileTime(const WIN32_FIND_DATAW *data, uint16_t whichTime);

#endif
