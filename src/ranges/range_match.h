// The test of one found file against the range list, and the path and description services of the text tests.
#ifndef VESK_RANGE_MATCH_H
#define VESK_RANGE_MATCH_H

#include <stdint.h>
#include <wchar.h>

#include "platform/platform.h"
#include "ranges/range_list.h"

/// RESULT_OK when the file passes every node (or the list is empty), RESULT_FAILED when
/// one rejects it, RESULT_SCAN_FAILED when it is left out after a message naming it (its
/// description could not be read whole), -1 when data or directory is null. directory is the folder that holds the file; onNtfs
/// is the FoundFile flag of its volume: the date, time and weekday nodes test the local
/// time the file's default stamp shows (ShownLocalTime), whatever /U or /Z stamps show.
int MatchRanges(const WIN32_FIND_DATAW *data, const RangeFilter *list, const wchar_t *directory,
                int onNtfs);

/// Appends name to directory (a buffer of PATH_BUFFER_LEN characters), with a separator
/// unless one is there. RESULT_OK; RESULT_FAILED when the result would not fit (the
/// directory is then unchanged); RESULT_MISSING_ARGUMENT for a missing argument.
int JoinPath(wchar_t *directory, const wchar_t *name);

/// What GetDescription gives for a description it could not read whole.
enum { DESCRIPTION_NOT_WHOLE = 2 };

/// The description the shell keeps for path, into out (8192 characters), asked for under
/// CallSyntax. RESULT_OK; RESULT_FAILED for an empty path or one that names nothing (no
/// description); DESCRIPTION_NOT_WHOLE when it could not be read whole: the path is too
/// long for the shell's expression or cannot be written exactly under the settings, the
/// expansion failed, or the description fills the whole line (it may have been cut).
/// Nothing is reported; unless why is null, it receives the reason in words for a
/// message (whyCapacity characters, cut to fit). RESULT_MISSING_ARGUMENT for missing or
/// equal arguments. out is written only on RESULT_OK.
int GetDescription(const wchar_t *path, wchar_t *out, wchar_t *why, size_t whyCapacity);


/// The file time of data that whichTime (a TIME_ value) names; the last write time for
/// any other value. Points into data.
const FILETIME *ChosenFileTime(const WIN32_FIND_DATAW *data, uint16_t whichTime);

#endif
