// Turning a file specification into a directory and patterns, and walking the tree.
#ifndef VESK_SEARCH_H
#define VESK_SEARCH_H

#include <stdint.h>
#include <wchar.h>

#include "platform/platform.h"

struct RangeFilter;

/// Characters a path buffer of the engine holds, terminator included.
enum { PATH_BUFFER_LEN = 16384 };

/// WalkFlags bits.
enum { WALK_RECURSE = 0x1, WALK_NO_JUNCTIONS = 0x2, WALK_NO_HIDDEN_DIRS = 0x4 };

/// WhichStamp values: which file time an entry keeps.
enum { STAMP_LAST_WRITE = 0, STAMP_CREATION = 1, STAMP_LAST_ACCESS = 2 };

/// Settings of one scan; the caller fills them, the engine only reads them.
struct SearchOptions {
    uint32_t AttrMask;
    uint32_t AttrValues;
    int32_t n;
    int32_t Mode;
    int32_t WhichStamp;
    uint32_t WalkFlags;
    int32_t FullPaths;
    const wchar_t *DescriptionFile;  ///< never a candidate; empty or null for none
    RangeFilter *Ranges;             ///< every candidate must pass; null for none
    int32_t Debug;
};

/// Scans one file specification into the ResultList. Returns -1 for a null or empty
/// specification, 2 when a listing failed for want of handles or memory (reported; the
/// list then holds what was found before), else 0.
int VeskFiles2(const wchar_t *fileSpec, const SearchOptions *options);

/// Lists directory (ending in a separator, or a bare drive such as C:) and offers the
/// entries that pass to the ResultList, descending as WalkFlags say. No directory is
/// listed twice in one call, however many links lead to it, and no file enters the list
/// under a second name. Returns 0; 2 when a listing failed for a reason other than
/// being absent or denied, which is reported and ends the walk.
int VeskFiles(const wchar_t *directory, const wchar_t *patterns, const SearchOptions *options,
              int onFat, int onNtfs);

/// 0 when name matches one of the semicolon-separated patterns, 1 when none, -1 when
/// either is null or empty.
int MatchesWildList(const wchar_t *patterns, const wchar_t *name);

/// Total size of the entries without the directory attribute that searchPath (a
/// directory, a separator and "*") lists, at most UINT64_MAX; 0 when it cannot be listed.
uint64_t DirectoryFilesSize(const wchar_t *searchPath);

/// The file system name of path's volume in buffer (1024 characters). 0 when it is
/// there and not empty, else -1.
int VolumeFileSystem(const wchar_t *path, wchar_t *buffer);

/// Swap every ';' with U+FF1B (and back), in place; return the number changed.
int MaskSemicolons(wchar_t *text);
int UnmaskSemicolons(wchar_t *text);

/// Spinner state, across every scan of the plug-in's life.
extern int32_t SpinCountdown;
extern int32_t SpinIndex;

#endif
