// What a scan is told: the settings the filespec scan and the directory walk share.
//
// From a file specification down to the ranked list (search/filespec_scan.h,
// search/directory_walk.h, search/result_list.h):
//
//   1. The caller (the VESK command, @VESK) owns a ResultList and starts it with n and the
//      criterion (StartResults). It fills a SearchOptions (it keeps owning it, and the
//      RangeFilter list and the DescriptionFile text it points to) and calls VeskFiles2 once per
//      file specification with both.
//   2. VeskFiles2 splits the file specification into a directory ending in a separator (or a
//      bare drive) and a semicolon-separated pattern list, asks the volume's file system
//      (VolumeFileSystem) for the FAT/NTFS hints, and calls VeskFiles. Its buffers are its
//      own, malloc'd and freed before it returns.
//   3. VeskFiles lists the directory and, with WALK_RECURSE, every directory below it,
//      without recursion, each through one handle (OpenDirectoryListing, platform.h), and
//      never one directory twice (search/directory_set.h; past a bound, one reached again
//      through a link is listed again): a directory is known by its identity before its
//      entries are offered. Where no directory can be a candidate, the records of
//      subdirectories are waived (WaiveDirectoryRecords): on Linux they are not stat'ed.
//      Each entry whose name matches the patterns (MatchWildList), whose attributes
//      pass AttrMask/AttrValues, which every range passes (MatchRanges) and which would
//      place (WouldPlace) becomes a FoundFile (TakeFoundFile, mostly in the block of an
//      entry that made way) carrying the stamp WhichStamp chose and the identity the
//      listing gave. The walk gives back one that is already in the list under another
//      name (SameFileInList, DropFoundFile) and hands any other to OfferResult. A directory that cannot be
//      listed is handed to the Failures sink, weighed (gone, denied, or told), and
//      skipped; the walk goes on with its siblings.
//   4. OfferResult takes ownership of that FoundFile: it keeps it among the n best by the
//      criterion, the worst making way when the list is full, or gives it back at once
//      (the list keeps one such block for the next candidate).
//   5. After the last file specification the caller orders the list (OrderResults), reads
//      it from Head along Next, and frees it (ClearResults) on every path before it
//      returns, so nothing outlives the call.
#ifndef VESK_SEARCH_H
#define VESK_SEARCH_H

#include <stdint.h>
#include <wchar.h>

#include "platform/platform.h"
#include "ranges/range_list.h"
#include "search/scan_failures.h"
#include "text/path_limit.h"

/// WalkFlags bits.
enum { WALK_RECURSE = 0x1, WALK_NO_JUNCTIONS = 0x2, WALK_NO_HIDDEN_DIRS = 0x4 };

/// True when a walk under walkFlags descends into an entry with these attributes: the one
/// rule of which folders a walk enters. Only these bits and the entry's own attributes
/// decide; the attribute masks, patterns and ranges never stop it.
inline bool WalkDescendsInto(DWORD attributes, uint32_t walkFlags)
{
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) || !(walkFlags & WALK_RECURSE)) return false;
    if ((walkFlags & WALK_NO_JUNCTIONS) && (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return false;
    return !((walkFlags & WALK_NO_HIDDEN_DIRS) && (attributes & FILE_ATTRIBUTE_HIDDEN));
}

/// WhichStamp values: which file time an entry keeps.
enum { STAMP_LAST_WRITE = 0, STAMP_CREATION = 1, STAMP_LAST_ACCESS = 2 };

/// The range list's TIME_ value naming the same file time as a WhichStamp value (the two
/// number the times differently); TIME_LAST_WRITE for any other value.
inline uint16_t StampTime(int32_t whichStamp)
{
    if (whichStamp == STAMP_CREATION) return TIME_CREATION;
    if (whichStamp == STAMP_LAST_ACCESS) return TIME_LAST_ACCESS;
    return TIME_LAST_WRITE;
}

/// Settings of one scan; the caller fills them, the engine only reads them.
struct SearchOptions {
    uint32_t AttrMask;
    uint32_t AttrValues;
    int32_t WhichStamp;
    uint32_t WalkFlags;
    int32_t FullPaths;
    /// The name of the shell's description file (DESCRIPT.ION) when the caller asked for
    /// it to be left out of the candidates (/NI, @VESK's flag 0x80); empty or null when it
    /// is a candidate like any file. Descriptions themselves are read through the shell,
    /// never from here.
    const wchar_t *DescriptionFile;
    RangeFilter *Ranges;             ///< every candidate must pass; null for none
    int32_t Debug;
    /// Where the walk hands every failure it meets, weighed (the caller owns it, and says
    /// what it heard); a null Report: failures still fail the scan, but nothing is said.
    FailureSink Failures;
};

#endif
