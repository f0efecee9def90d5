#include "search/directory_walk.h"

#include <stdlib.h>
#include <string.h>

#include "plugin/host_api.h"
#include "plugin/result_codes.h"
#include "plugin/shared_services.h"
#include "ranges/range_match.h"
#include "search/covered_trees.h"
#include "search/directory_set.h"
#include "search/directory_size.h"
#include "search/result_list.h"
#include "search/scan_failures.h"
#include "search/spinner.h"
#include "search/search.h"
#include "search/wild_list.h"
#include "text/case_fold.h"
#include "text/display_width.h"
#include "text/wide_format.h"

namespace {

/// One directory being listed. Its path is the first DirLen characters of the walk's
/// shared path buffer; Entry is the entry the listing last delivered.
struct WalkLevel {
    DirectoryListing *Listing;
    WIN32_FIND_DATAW Entry;
    FileId EntryId;       ///< Entry's identity: this level's volume and the listing's id
    FileId Id;            ///< this directory's identity; its Volume is every entry's
    size_t DirLen;
    uint64_t FilesTotal;  ///< sizes of the files listed here so far
    int BelowLink;        ///< entered through a link that may lead back up, or below one
    int EntryNameOnly;    ///< Entry's record was waived: it is a name, never a candidate
    int ChildPending;     ///< Entry was descended into and is tested once the child is done
    int ChildListed;      ///< Entry's listing was tried: ChildTotal is its files' total
    int ChildTooDeep;     ///< Entry's path passed the limit and was reported as a folder
    int ChildUnsized;     ///< Entry's listing could not be opened or read whole
    int Began;            ///< the listing has delivered an entry
    int Unsized;          ///< an entry or a part of this listing could not be read
    uint64_t ChildTotal;
};

/// State of one VeskFiles call.
struct Walk {
    wchar_t *Path;  ///< PATH_BUFFER_LEN characters
    WalkLevel *Levels;
    size_t Depth;     ///< levels in use
    size_t Capacity;  ///< levels allocated
    /// The trusted identities of the directories that may be reached again: where the
    /// walk began, those it entered through a link, and those across a file system
    /// boundary. A directory listed plainly below them is remembered only while it is on
    /// the current path (Levels): a plain directory has one parent.
    DirectorySet Entered;
    /// The known identities of the levels, counted: a deep walk asks one lookup per
    /// directory, not one per level above it.
    DirectorySet OnPath;
    CoveredTrees Covered;  ///< where those trees really are, for the links met later
    wchar_t *Resolved;     ///< PATH_BUFFER_LEN characters: a listing's resolved path
    wchar_t *Scratch;      ///< PATH_BUFFER_LEN characters, for ProbeCoveredPlainly
    int Failed;           ///< a failure was reported
    int Stopped;          ///< out of memory: the walk ends
    bool WaiveDirectories;  ///< no directory can be a candidate: their records go unread
    bool EveryName;         ///< the patterns match every name: none is asked of the shell
    const wchar_t *Patterns;
    const SearchOptions *Options;
    ResultList *Results;  ///< the caller's, where the candidates go
    int OnFat;
    int OnNtfs;
};

/// True when id names one directory only: a known file id on a volume the system tells
/// apart from the others.
bool IsTrustedId(const FileId *id) { return IsTrustedFileId(id); }

/// The one place that decides what a failing listing means. Only two things are not a
/// loss worth a message of its own: a directory that is gone (removed between its
/// parent's listing and its open, or a file specification naming nothing), and one below
/// the file specification's own that is not ours to read. Both only before the listing
/// delivered anything (atOpen): one that began and failed has lost entries that exist.
/// The file specification's own directory denied is an error: nothing of what was
/// asked could be seen, and "no match" would claim what the scan could not know.
FailureWeight WeighListingError(DWORD error, bool atOpen, bool isTop)
{
    if (atOpen && (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND))
        return QUIET_FAILURE;
    if (atOpen && !isTop && error == ERROR_ACCESS_DENIED) return DENIED_FAILURE;
    return TOLD_FAILURE;
}

/// Hands a failure of folder (NUL-terminated), or of its entry name, to the scan's sink.
/// A told one fails the walk; memory exhausted also ends it.
void HandFailure(Walk *walk, FailureKind kind, FailureWeight weight, const wchar_t *folder,
                 const wchar_t *name, DWORD error, const FileId *id, bool isDirectory)
{
    if (weight == TOLD_FAILURE) {
        walk->Failed = 1;
        if (error == ERROR_NOT_ENOUGH_MEMORY || error == ERROR_OUTOFMEMORY) walk->Stopped = 1;
    }
    const FailureSink *sink = &walk->Options->Failures;
    if (sink->Report == nullptr) return;
    ScanFailure failure = {kind, weight, folder, name, error, id, isDirectory};
    sink->Report(sink->Context, &failure);
}

/// Hands on that directory (NUL-terminated) could not be listed, or not to its end. The
/// walk goes on without it, except when memory is exhausted.
void ReportListingError(Walk *walk, const wchar_t *directory, DWORD error)
{
    HandFailure(walk, FAILED_LISTING, TOLD_FAILURE, directory, nullptr, error, nullptr, true);
}

/// The identity of a denied directory (NUL-terminated) where it can be told, so that a
/// link to it is no second folder: into *id, which the result points to; else null.
const FileId *DeniedIdentity(const wchar_t *directory, FileId *id)
{
    return GetDirectoryIdentity(directory, id) && IsTrustedId(id) ? id : nullptr;
}

/// What the walk does with a listing error of directory, before the listing delivered
/// anything (atOpen) or later.
void NoteListingError(Walk *walk, const wchar_t *directory, DWORD error, bool atOpen, bool isTop)
{
    FailureWeight weight = WeighListingError(error, atOpen, isTop);
    FileId id;
    const FileId *known = weight == DENIED_FAILURE ? DeniedIdentity(directory, &id) : nullptr;
    HandFailure(walk, FAILED_LISTING, weight, directory, nullptr, error, known, true);
}

/// What the walk does with an entry of directory (the first dirLen characters of the
/// walk's path) that the listing named but could not read: it is left out. Its status
/// refused to us is a link into a folder we may not search (a name we could read but not
/// look up denies the whole listing instead): it counts as that folder does. Any other
/// failure is told, and the result is 2.
void NoteUnreadableEntry(Walk *walk, size_t dirLen, const wchar_t *name, DWORD error)
{
    wchar_t *path = walk->Path;
    size_t nameLen = wcsnlen(name, MAX_PATH);
    bool denied = error == ERROR_ACCESS_DENIED && dirLen + nameLen + 2 <= PATH_BUFFER_LEN;
    FileId id;
    const FileId *known = nullptr;
    if (denied) {
        wmemcpy(path + dirLen, name, nameLen);
        path[dirLen + nameLen] = VESK_PATH_SEP;
        path[dirLen + nameLen + 1] = L'\0';
        known = DeniedIdentity(path, &id);
    }
    path[dirLen] = L'\0';
    HandFailure(walk, FAILED_ENTRY, denied ? DENIED_FAILURE : TOLD_FAILURE, path, name, error,
                known, denied);
}

/// DirectoryFilesSize's report of an entry it could not size: context is a SizingEntry.
struct SizingEntry {
    Walk *Owner;
    size_t DirLen;  ///< the sized directory's path, with its separator, in the walk's path
    bool Unsized;   ///< an entry could not be read: the total is not the whole
};

void NoteUnsizedEntry(void *context, const wchar_t *name, DWORD error)
{
    SizingEntry *sizing = (SizingEntry *)context;
    sizing->Unsized = true;
    NoteUnreadableEntry(sizing->Owner, sizing->DirLen, name, error);
}

/// Hands on that the directory or file whose path is the walk's first dirLen characters
/// followed by name is past the path limit: it is left out, and the result is 2.
void ReportTooDeep(Walk *walk, size_t dirLen, const wchar_t *name, bool isDirectory)
{
    walk->Path[dirLen] = L'\0';
    HandFailure(walk, FAILED_PATH_LENGTH, TOLD_FAILURE, walk->Path, name, 0, nullptr, isDirectory);
}

/// Makes room for one more level. False when memory is exhausted.
bool ReserveLevel(Walk *walk)
{
    if (walk->Depth < walk->Capacity) return true;
    size_t capacity = walk->Capacity == 0 ? 16 : walk->Capacity * 2;
    WalkLevel *levels = (WalkLevel *)realloc(walk->Levels, capacity * sizeof(WalkLevel));
    if (levels == nullptr) return false;
    walk->Levels = levels;
    walk->Capacity = capacity;
    return true;
}

/// True when a directory being listed, the current one included, has identity id.
bool IsOnCurrentPath(const Walk *walk, const FileId *id)
{
    return HasDirectory(&walk->OnPath, id);
}

/// Remembers a directory of trusted identity that may be reached again. False when
/// memory is exhausted, which stops the walk.
bool RememberEntered(Walk *walk, const FileId *id)
{
    bool added;
    if (AddDirectory(&walk->Entered, id, &added) == RESULT_OK) return true;
    ReportListingError(walk, walk->Path, ERROR_NOT_ENOUGH_MEMORY);
    return false;
}

/// True when a directory of trusted identity id has been listed in this walk or is
/// being listed: one entered as a tree of its own, or one on the current path (a bind
/// mount of an ancestor leads back to it without a link).
bool ListedAlready(const Walk *walk, const FileId *id)
{
    return HasDirectory(&walk->Entered, id) || IsOnCurrentPath(walk, id);
}

/// What the walk is to do with a directory it has just opened.
struct ListingChoice {
    bool List;      ///< list it
    int BelowLink;  ///< it counts as below a link that may lead back up
    bool Remember;  ///< its trusted identity may be reached again: the walk remembers it
    bool Cover;     ///< its resolved path (walk->Resolved) tops a tree links are kept out of
};

/// Chooses, from the identity and resolved path its handle gives, what the walk does
/// with the directory just opened. isLink: it was reached through a reparse point.
/// nameOnly: its entry came without a record, so its listing is taken first to tell its
/// identity (*id). Asks the handle and, for a link, the folders on the way to where it
/// leads (ProbeCoveredPlainly); changes nothing of the walk.
///
/// A link that leads into a tree the walk lists plainly (the one it began at, or one it
/// entered through another link) is not followed: the walk lists that directory where
/// the tree holds it. A link it does follow starts a tree of its own. A trusted identity
/// is listed once; where file systems cannot be told apart two of them show one id, so
/// any other identity is never skipped for being seen before: only a link can lead back
/// up the tree, so a link whose target has no identity, or one already on the current
/// path, is followed once more, and no such link below it is.
ListingChoice ChooseListing(Walk *walk, DirectoryListing *listing, bool isLink, bool nameOnly,
                            FileId *id)
{
    ListingChoice choice = {false, 0, false, false};
    bool isTop = walk->Depth == 0;
    // Asked before anything is read: the Linux layer gives the handle back at the first read.
    bool resolved = (isTop || isLink) &&
                    GetListingPath(listing, walk->Resolved, PATH_BUFFER_LEN);
    if (isLink && resolved &&
        ProbeCoveredPlainly(&walk->Covered, walk->Resolved, walk->Options->WalkFlags, walk->Scratch))
        return choice;
    bool known = nameOnly ? GetListedIdentity(listing, id) : GetListingIdentity(listing, id);
    if (!known) memset(id, 0, sizeof *id);
    bool parentBelowLink = !isTop && walk->Levels[walk->Depth - 1].BelowLink;
    choice.BelowLink = parentBelowLink;
    bool trusted = IsTrustedId(id);
    if (trusted && ListedAlready(walk, id)) return choice;
    bool crossed = trusted && !isTop && !isLink &&
                   OnOtherFileSystem(id, &walk->Levels[walk->Depth - 1].Id);
    choice.Remember = trusted && (isTop || isLink || crossed);
    choice.List = trusted || !isLink || (IsKnownFileId(id) && !IsOnCurrentPath(walk, id));
    if (!choice.List) {
        choice.BelowLink = 1;
        choice.List = isTop || !parentBelowLink;
    }
    // A tree whose top is known by its path keeps the links into it out, whatever its
    // identity.
    choice.Cover = choice.List && resolved;
    return choice;
}

/// What EnterDirectory did.
enum EnterResult { ENTERED, SKIPPED, FAILED };

/// Lists the directory whose path is the first dirLen characters of the shared buffer
/// (ending in a separator, or a bare drive) as a new level. knownId: the trusted
/// identity of a directory reached without a link, from the parent's listing, which
/// spares the open when it was listed already; null to ask the handle (for nameOnly,
/// its listing). The trace line shows for every
/// directory that is listed or cannot be. FAILED: it could not be opened (and was
/// reported or counted, unless gone).
EnterResult EnterDirectory(Walk *walk, size_t dirLen, const FileId *knownId, bool isLink,
                           bool nameOnly)
{
    wchar_t *path = walk->Path;
    path[dirLen] = L'\0';
    if (knownId != nullptr) {
        if (ListedAlready(walk, knownId)) return SKIPPED;
        if (OnOtherFileSystem(knownId, &walk->Levels[walk->Depth - 1].Id) &&
            !RememberEntered(walk, knownId))
            return FAILED;
    }
    if (!ReserveLevel(walk)) {
        ReportListingError(walk, path, ERROR_NOT_ENOUGH_MEMORY);
        return FAILED;
    }
    // Each directory is opened below its parent, by its one name. Without a link between
    // them, a directory and its parent share a volume: what the parent's file system
    // refused is not asked again.
    DirectoryListing *listing;
    if (walk->Depth == 0) {
        listing = OpenDirectoryListing(path);
    } else {
        WalkLevel *parent = &walk->Levels[walk->Depth - 1];
        listing = OpenDirectoryListingBelow(parent->Listing, parent->Entry.cFileName, path, !isLink);
    }
    DWORD error = listing == nullptr ? GetLastError() : 0;
    if (listing != nullptr && walk->WaiveDirectories) WaiveDirectoryRecords(listing);
    FileId id;
    int belowLink = walk->Depth > 0 && walk->Levels[walk->Depth - 1].BelowLink;
    if (knownId != nullptr)
        id = *knownId;
    else if (listing != nullptr) {
        ListingChoice choice = ChooseListing(walk, listing, isLink, nameOnly, &id);
        belowLink = choice.BelowLink;
        if (!choice.List || (choice.Remember && !RememberEntered(walk, &id))) {
            CloseDirectoryListing(listing);
            return SKIPPED;
        }
        // Memory exhausted here only costs a second listing through a link into it.
        if (choice.Cover) AddCoveredTree(&walk->Covered, walk->Resolved, dirLen);
    }
    if (walk->Options->Debug)
        PrintTrace(L"   * VeskFiles( \"%s\", \"%s\" )\r\n", path, walk->Patterns);
    if (listing == nullptr) {
        NoteListingError(walk, path, error, true, walk->Depth == 0);
        return FAILED;
    }
    if (IsKnownFileId(&id) && CountDirectoryIn(&walk->OnPath, &id) != RESULT_OK) {
        CloseDirectoryListing(listing);
        ReportListingError(walk, path, ERROR_NOT_ENOUGH_MEMORY);
        return FAILED;
    }
    WalkLevel *level = &walk->Levels[walk->Depth];
    level->Listing = listing;
    level->Id = id;
    level->BelowLink = belowLink;
    level->DirLen = dirLen;
    level->FilesTotal = 0;
    level->ChildPending = 0;
    level->ChildListed = 0;
    level->ChildTooDeep = 0;
    level->ChildUnsized = 0;
    level->Began = 0;
    level->Unsized = 0;
    ++walk->Depth;
    return ENTERED;
}

/// Descends into the entry of the top level when the flags and the entry's attributes
/// allow it. True when a new level was pushed.
bool TryDescend(Walk *walk)
{
    WalkLevel *level = &walk->Levels[walk->Depth - 1];
    const WIN32_FIND_DATAW *entry = &level->Entry;
    DWORD attributes = entry->dwFileAttributes;
    if (!WalkDescendsInto(attributes, walk->Options->WalkFlags)) return false;

    size_t dirLen = level->DirLen;
    size_t nameLen = wcsnlen(entry->cFileName, MAX_PATH);
    // Directory, name, separator and terminator: a deeper path is not built, but said.
    if (dirLen + nameLen + 2 > PATH_BUFFER_LEN) {
        ReportTooDeep(walk, dirLen, entry->cFileName, true);
        level->ChildTooDeep = 1;
        return false;
    }
    wchar_t *path = walk->Path;
    wmemcpy(path + dirLen, entry->cFileName, nameLen);
    size_t childLen = dirLen + nameLen;
    path[childLen++] = VESK_PATH_SEP;
    // A link's id in the listing is the link's own; what it leads to, its handle tells.
    bool isLink = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    bool trusted = !isLink && IsTrustedId(&level->EntryId);
    FileId entryId = level->EntryId;
    level->ChildTotal = 0;
    EnterResult entered = EnterDirectory(walk, childLen, trusted ? &entryId : nullptr, isLink,
                                         level->EntryNameOnly != 0);
    // One that could not be opened has been reported where that is due, and is not
    // tried a second time for its size, which is unknown; one not entered is sized apart
    // if it becomes a candidate. Making room for a level may have moved the levels.
    WalkLevel *parent = &walk->Levels[walk->Depth - (entered == ENTERED ? 2 : 1)];
    parent->ChildListed = entered != SKIPPED;
    parent->ChildUnsized = entered == FAILED;
    if (entered != ENTERED) return false;
    walk->Levels[walk->Depth - 2].ChildPending = 1;
    return true;
}

/// The size of the directory entry of level into *size: its files' total, from its own
/// listing when the walk just read it, else from a listing of its own. False when it
/// cannot be told whole (the listing failed, or an entry could not be read): that has
/// been reported or counted, and the directory is no candidate, since every row shows
/// its size and a total of what could be read would be a size it does not have.
bool DirectoryEntrySize(Walk *walk, WalkLevel *level, size_t nameLen, uint64_t *size)
{
    if (level->ChildListed) {
        *size = level->ChildTotal;
        return !level->ChildUnsized;
    }
    wchar_t *path = walk->Path;
    size_t end = level->DirLen + nameLen;
    path[end] = VESK_PATH_SEP;
    path[end + 1] = L'\0';
    DWORD error;
    SizingEntry sizing = {walk, end + 1, false};
    bool isLink = (level->Entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    int sized = DirectoryFilesSize(level->Listing, level->Entry.cFileName, path, !isLink, size,
                                   &error, NoteUnsizedEntry, &sizing);
    if (sized != RESULT_OK) {
        path[end + 1] = L'\0';
        NoteListingError(walk, path, error, sized == RESULT_FAILED, false);
    }
    return sized == RESULT_OK && !sizing.Unsized;
}

/// Tests the entry level is on and offers it to the ranked list when it passes.
void TestEntry(Walk *walk, WalkLevel *level)
{
    // Records go unread only where the attribute test refuses every directory: this
    // loses nothing, and keeps a record whose times were not read from every range,
    // stamp and ranking.
    if (level->EntryNameOnly) return;
    const SearchOptions *options = walk->Options;
    const WIN32_FIND_DATAW *entry = &level->Entry;
    DWORD attributes = entry->dwFileAttributes;
    if ((attributes & options->AttrMask) != (options->AttrValues & options->AttrMask)) return;
    const wchar_t *name = entry->cFileName;
    if (!walk->EveryName && MatchWildList(walk->Patterns, name) != 0) return;
    bool isDirectory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (!isDirectory && options->DescriptionFile != nullptr &&
        options->DescriptionFile[0] != L'\0' && CompareIgnoringCase(name, options->DescriptionFile) == 0)
        return;

    wchar_t *path = walk->Path;
    size_t dirLen = level->DirLen;
    if (options->Ranges != nullptr) {
        path[dirLen] = L'\0';
        // A file left out by name (its description could not be read) is lost
        // information: the scan's result says so.
        int matched = MatchRanges(entry, options->Ranges, path, walk->OnNtfs);
        if (matched == RESULT_SCAN_FAILED) walk->Failed = 1;
        if (matched != RESULT_OK) return;
    }

    uint64_t size = ((uint64_t)entry->nFileSizeHigh << 32) | entry->nFileSizeLow;
    const FILETIME *chosen = ChosenFileTime(entry, StampTime(options->WhichStamp));
    uint64_t time = ((uint64_t)chosen->dwHighDateTime << 32) | chosen->dwLowDateTime;
    // Most files of a big tree do not place: they are dropped before anything more is
    // done for them, unless their path may pass the limit, which is said of every file.
    bool roomy = dirLen + MAX_PATH + 1 <= PATH_BUFFER_LEN;
    if (!isDirectory && roomy && !WouldPlace(walk->Results, size, time, walk->OnNtfs)) return;

    size_t nameLen = wcsnlen(name, MAX_PATH);
    // Name and terminator after the directory, and a directory's separator for its size.
    if (dirLen + nameLen + (isDirectory ? 2 : 1) > PATH_BUFFER_LEN) {
        if (!level->ChildTooDeep) ReportTooDeep(walk, dirLen, name, isDirectory);
        return;
    }
    wmemcpy(path + dirLen, name, nameLen);
    if (isDirectory && !DirectoryEntrySize(walk, level, nameLen, &size)) return;
    if ((isDirectory || !roomy) && !WouldPlace(walk->Results, size, time, walk->OnNtfs)) return;
    path[dirLen + nameLen] = L'\0';
    const wchar_t *resultName = options->FullPaths ? path : name;
    // A candidate the shell has no memory for is left out and the walk goes on: the
    // list then ranks what could be kept, and the next candidates may still fit. Most
    // candidates are written in the block of the entry that last made way.
    FoundFile *found = TakeFoundFile(walk->Results, resultName, path, &level->EntryId, size,
                                     time, walk->OnFat, walk->OnNtfs);
    if (found == nullptr) return;
    // The twin check rests on what the scan cannot change: under /T:A listing a folder or
    // reading a description file moves the very time the entry ranks by.
    found->Written = ((uint64_t)entry->ftLastWriteTime.dwHighDateTime << 32) |
                     entry->ftLastWriteTime.dwLowDateTime;
    // One file or directory reached under several names (links, hard links, overlapping
    // file specifications) is one answer: the name found first stays. A directory link
    // has an id of its own, so it stays a candidate beside the directory it leads to.
    if (SameFileInList(walk->Results, found)) {
        DropFoundFile(walk->Results, found);
        return;
    }
    OfferResult(walk->Results, found);
}

/// True when the attribute test refuses every directory (the directory bit is tested
/// and must be clear): then no directory is a candidate, and the walk reads nothing of
/// a subdirectory's record but whether to descend into it.
bool NoDirectoryIsCandidate(const SearchOptions *options)
{
    return (options->AttrMask & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
           (options->AttrValues & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

/// Ends the top level: its listing is closed, and its parent learns its files' total
/// for the size of its entry.
void LeaveDirectory(Walk *walk)
{
    WalkLevel *level = &walk->Levels[walk->Depth - 1];
    CloseDirectoryListing(level->Listing);
    if (IsKnownFileId(&level->Id)) CountDirectoryOut(&walk->OnPath, &level->Id);
    uint64_t total = level->FilesTotal;
    int unsized = level->Unsized;
    --walk->Depth;
    if (walk->Depth > 0) {
        walk->Levels[walk->Depth - 1].ChildTotal = total;
        walk->Levels[walk->Depth - 1].ChildUnsized = unsized;
    }
}

}  // namespace

int VeskFiles(const wchar_t *directory, const wchar_t *patterns, const SearchOptions *options,
              int onFat, int onNtfs, ResultList *results)
{
    if (directory == nullptr || patterns == nullptr || options == nullptr || results == nullptr)
        return RESULT_MISSING_ARGUMENT;
    Walk walk;
    memset(&walk, 0, sizeof walk);
    walk.Options = options;
    size_t dirLen = wcsnlen(directory, PATH_BUFFER_LEN);
    if (dirLen + 1 > PATH_BUFFER_LEN) {
        if (options->Debug)
            PrintTrace(L"   * VeskFiles( \"%s\", \"%s\" )\r\n", directory, patterns);
        HandFailure(&walk, FAILED_PATH_LENGTH, TOLD_FAILURE, directory, nullptr, 0, nullptr, true);
        return RESULT_SCAN_FAILED;
    }
    walk.Path = (wchar_t *)malloc(PATH_BUFFER_LEN * sizeof(wchar_t));
    walk.Resolved = (wchar_t *)malloc(PATH_BUFFER_LEN * sizeof(wchar_t));
    walk.Scratch = (wchar_t *)malloc(PATH_BUFFER_LEN * sizeof(wchar_t));
    walk.Patterns = patterns;
    walk.Results = results;
    walk.OnFat = onFat;
    walk.OnNtfs = onNtfs;
    walk.WaiveDirectories = NoDirectoryIsCandidate(options);
    walk.EveryName = MatchesEveryName(patterns);
    if (walk.Path == nullptr || walk.Resolved == nullptr || walk.Scratch == nullptr) {
        free(walk.Path);
        free(walk.Resolved);
        free(walk.Scratch);
        ReportListingError(&walk, directory, ERROR_NOT_ENOUGH_MEMORY);
        return RESULT_SCAN_FAILED;
    }
    wmemcpy(walk.Path, directory, dirLen);

    // The natural recursion, unrolled: each level keeps its listing and the entry it is
    // on; a subdirectory's entries are all offered before the subdirectory entry itself,
    // which is tested when its level is left.
    EnterDirectory(&walk, dirLen, nullptr, false, false);
    while (walk.Depth > 0 && !walk.Stopped) {
        WalkLevel *level = &walk.Levels[walk.Depth - 1];
        if (level->ChildPending) {
            level->ChildPending = 0;
            TestEntry(&walk, level);
            continue;
        }
        int got = ReadListingEntry(level->Listing, &level->Entry, &level->EntryId);
        if (got == LISTING_END || got == LISTING_FAILED) {
            // A listing that fails part way has offered what it read; its siblings go on.
            if (got == LISTING_FAILED) {
                DWORD error = GetLastError();
                walk.Path[level->DirLen] = L'\0';
                // On Linux a directory whose names may be read but not looked up is
                // refused at its first read, not at its open: it is denied all the same.
                level->Unsized = 1;
                NoteListingError(&walk, walk.Path, error, !level->Began, walk.Depth == 1);
            }
            LeaveDirectory(&walk);
            continue;
        }
        level->Began = 1;
        StepSpinner();
        if (got == LISTING_UNREADABLE_ENTRY) {
            level->Unsized = 1;
            NoteUnreadableEntry(&walk, level->DirLen, level->Entry.cFileName, GetLastError());
            continue;
        }
        // The entry is on the volume of the directory that lists it.
        level->EntryId.Volume = level->Id.Volume;
        level->EntryNameOnly = got == LISTING_DIRECTORY_NAME;
        level->ChildListed = 0;
        level->ChildTooDeep = 0;
        if (!(level->Entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            level->FilesTotal = AddSizes(level->FilesTotal, ((uint64_t)level->Entry.nFileSizeHigh << 32) |
                                                                level->Entry.nFileSizeLow);
        if (TryDescend(&walk)) continue;
        // Making room for a level may have moved the levels.
        TestEntry(&walk, &walk.Levels[walk.Depth - 1]);
    }
    // Running out of memory stops the walk with its listings still open.
    while (walk.Depth > 0) CloseDirectoryListing(walk.Levels[--walk.Depth].Listing);
    FreeDirectorySet(&walk.Entered);
    FreeDirectorySet(&walk.OnPath);
    FreeCoveredTrees(&walk.Covered);
    free(walk.Levels);
    free(walk.Path);
    free(walk.Resolved);
    free(walk.Scratch);
    return walk.Failed ? RESULT_SCAN_FAILED : RESULT_OK;
}
