#include "search/directory_walk.h"

#include <stdlib.h>
#include <string.h>

#include "plugin/host_api.h"
#include "plugin/result_codes.h"
#include "plugin/shared_services.h"
#include "ranges/range_match.h"
#include "search/directory_set.h"
#include "search/directory_size.h"
#include "search/result_list.h"
#include "search/search.h"
#include "search/wild_list.h"
#include "state/plugin_state.h"
#include "text/case_fold.h"

namespace {

const wchar_t SPINNER[] = L"/-\\|";

SpinnerState Spinner = {2048, 0};

/// One directory being listed. Its path is the first DirLen characters of the walk's
/// shared path buffer; Entry is the entry the listing last delivered.
struct WalkLevel {
    DirectoryListing *Listing;
    WIN32_FIND_DATAW Entry;
    FileId EntryId;       ///< Entry's identity: the volume and its id from the listing
    FileId Id;            ///< this directory's identity; a zero file id when unknown
    size_t DirLen;
    uint64_t FilesTotal;  ///< sizes of the files listed here so far
    int BelowLink;        ///< entered through a link of unknown identity, or below one
    int ChildPending;     ///< Entry was descended into and is tested once the child is done
    int ChildListed;      ///< Entry's listing was tried: ChildTotal is its files' total
    uint64_t ChildTotal;
};

/// State of one VeskFiles call.
struct Walk {
    wchar_t *Path;  ///< PATH_BUFFER_LEN characters
    WalkLevel *Levels;
    size_t Depth;     ///< levels in use
    size_t Capacity;  ///< levels allocated
    DirectorySet Listed;  ///< every directory of known identity this call has listed
    uint64_t Volume;      ///< of the file specification, read once from its directory
    bool VolumeKnown;     ///< false: the listing's file ids are not trusted
    int Failed;           ///< a failure was reported
    int Stopped;          ///< out of memory: the walk ends
    const wchar_t *Patterns;
    const SearchOptions *Options;
    ResultList *Results;  ///< the caller's, where the candidates go
    int OnFat;
    int OnNtfs;
};

void StepSpinner(void)
{
    if (ScreenWidth == 0) return;
    if (--Spinner.Countdown >= 0) return;
    PutConsoleChar(SPINNER[Spinner.Index & 3]);
    PutConsoleChar(L'\b');
    Spinner.Countdown = 128;
    Spinner.Index = (Spinner.Index + 1) % 4;
}

/// True for the listing errors that mean a directory is not there or not ours to read:
/// it then has no entries, silently. Any other error (out of handles, out of memory, a
/// failing device) loses files, and is reported.
bool IsQuietListingError(DWORD error)
{
    switch (error) {
    case 0:
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_ACCESS_DENIED:
    case ERROR_INVALID_DRIVE:
    case ERROR_NO_MORE_FILES:
    case ERROR_NOT_READY:
    case ERROR_SHARING_VIOLATION:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_INVALID_PARAMETER:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_DIRECTORY:
    case ERROR_CANT_ACCESS_FILE:
        return true;
    default:
        return false;
    }
}

bool IsOutOfMemory(DWORD error)
{
    return error == ERROR_NOT_ENOUGH_MEMORY || error == ERROR_OUTOFMEMORY;
}

/// Reports that directory (NUL-terminated) could not be listed, or not to its end. The
/// walk goes on without it, except when memory is exhausted.
void ReportListingError(Walk *walk, const wchar_t *directory, DWORD error)
{
    walk->Failed = 1;
    if (IsOutOfMemory(error)) walk->Stopped = 1;
    // A name may hold control characters (a line end, an escape sequence): the message
    // shows each as "?", so that it stays one line and cannot steer the console.
    size_t len = wcsnlen(directory, PATH_BUFFER_LEN - 1);
    wchar_t *shown = (wchar_t *)malloc((len + 1) * sizeof(wchar_t));
    if (shown == nullptr) {
        ReportError(L"Cannot list a directory: not enough memory\r\n");
        walk->Stopped = 1;
        return;
    }
    for (size_t i = 0; i < len; ++i) {
        wchar_t c = directory[i];
        shown[i] = (c < 0x20 || (c >= 0x7F && c < 0xA0)) ? L'?' : c;
    }
    shown[len] = L'\0';
    if (error == ERROR_TOO_MANY_OPEN_FILES)
        ReportError(L"Cannot list \"%s\": too many open files\r\n", shown);
    else if (IsOutOfMemory(error))
        ReportError(L"Cannot list \"%s\": not enough memory\r\n", shown);
    else
        ReportError(L"Cannot list \"%s\": error %u\r\n", shown, (unsigned)error);
    free(shown);
}

/// ReportListingError, unless the error is a quiet one.
void NoteListingError(Walk *walk, const wchar_t *directory, DWORD error)
{
    if (!IsQuietListingError(error)) ReportListingError(walk, directory, error);
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

/// True when a directory being listed, the current one included, has identity id: the
/// rule where identities are not trusted, since a link that leads back up the tree
/// would otherwise be walked until the path limit, doubling for each second such link.
bool IsOnCurrentPath(const Walk *walk, const FileId *id)
{
    for (size_t i = 0; i < walk->Depth; ++i)
        if (IsSameFile(&walk->Levels[i].Id, id)) return true;
    return false;
}

/// Records a directory of trusted identity as listed. False when it was listed
/// already, or when memory is exhausted (which stops the walk).
bool MarkListed(Walk *walk, const FileId *id)
{
    bool added;
    if (AddDirectory(&walk->Listed, id, &added) != RESULT_OK)
        ReportListingError(walk, walk->Path, ERROR_NOT_ENOUGH_MEMORY);
    return added;
}

/// Decides from the identity its handle gives whether the directory just opened is to
/// be listed: once per file specification where identities are trusted, else when it
/// is not on the current path. isLink: it was reached through a reparse point.
bool ShouldList(Walk *walk, DirectoryListing *listing, bool isLink, FileId *id)
{
    bool got = GetListingIdentity(listing, id);
    if (!got) memset(id, 0, sizeof *id);
    if (walk->Depth == 0) {
        // The volume serial once per file specification: the entries' ids are only
        // worth trusting where the volume gives ids at all.
        walk->Volume = id->Volume;
        walk->VolumeKnown = got && IsKnownFileId(id);
    }
    if (walk->VolumeKnown && IsKnownFileId(id)) return MarkListed(walk, id);
    if (IsKnownFileId(id)) return !IsOnCurrentPath(walk, id);
    // A link whose target has no identity might lead back up: it is followed, but no
    // such link below it is, so that no chain of them runs on without end.
    return !isLink || walk->Depth == 0 || !walk->Levels[walk->Depth - 1].BelowLink;
}

/// What EnterDirectory did.
enum EnterResult { ENTERED, SKIPPED, FAILED };

/// Lists the directory whose path is the first dirLen characters of the shared buffer
/// (ending in a separator, or a bare drive) as a new level. knownId: its trusted
/// identity from the parent's listing, which spares the open when it was listed already;
/// null to ask the handle. The trace line shows for every directory that is listed or
/// cannot be. FAILED: it could not be opened (and was reported unless that is quiet).
EnterResult EnterDirectory(Walk *walk, size_t dirLen, const FileId *knownId, bool isLink)
{
    wchar_t *path = walk->Path;
    path[dirLen] = L'\0';
    if (knownId != nullptr && !MarkListed(walk, knownId)) return SKIPPED;
    if (!ReserveLevel(walk)) {
        ReportListingError(walk, path, ERROR_NOT_ENOUGH_MEMORY);
        return FAILED;
    }
    DirectoryListing *listing = OpenDirectoryListing(path);
    DWORD error = listing == nullptr ? GetLastError() : 0;
    FileId id;
    if (knownId != nullptr)
        id = *knownId;
    else if (listing != nullptr && !ShouldList(walk, listing, isLink, &id)) {
        CloseDirectoryListing(listing);
        return SKIPPED;
    }
    if (walk->Options->Debug)
        Printf(L"   * VeskFiles( \"%s\", \"%s\" )\r\n", path, walk->Patterns);
    if (listing == nullptr) {
        NoteListingError(walk, path, error);
        return FAILED;
    }
    WalkLevel *level = &walk->Levels[walk->Depth];
    level->Listing = listing;
    level->Id = id;
    level->BelowLink = walk->Depth > 0 && (walk->Levels[walk->Depth - 1].BelowLink ||
                                           (isLink && !IsKnownFileId(&id)));
    level->DirLen = dirLen;
    level->FilesTotal = 0;
    level->ChildPending = 0;
    level->ChildListed = 0;
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
    uint32_t flags = walk->Options->WalkFlags;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) || !(flags & WALK_RECURSE)) return false;
    if ((flags & WALK_NO_JUNCTIONS) && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return false;
    if ((flags & WALK_NO_HIDDEN_DIRS) && (attributes & FILE_ATTRIBUTE_HIDDEN)) return false;

    size_t dirLen = level->DirLen;
    size_t nameLen = wcsnlen(entry->cFileName, MAX_PATH);
    // Directory, name, separator and terminator; a deeper path is left unwalked.
    if (dirLen + nameLen + 2 > PATH_BUFFER_LEN) return false;
    wchar_t *path = walk->Path;
    wmemcpy(path + dirLen, entry->cFileName, nameLen);
    size_t childLen = dirLen + nameLen;
    path[childLen++] = VESK_PATH_SEP;
    // A link's id in the listing is the link's own; what it leads to, its handle tells.
    bool isLink = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    bool trusted = !isLink && walk->VolumeKnown && IsKnownFileId(&level->EntryId);
    FileId entryId = level->EntryId;
    level->ChildTotal = 0;
    EnterResult entered = EnterDirectory(walk, childLen, trusted ? &entryId : nullptr, isLink);
    // One that could not be opened has been reported where that is due, and is not
    // tried a second time for its size; one not entered is sized apart if it becomes a
    // candidate. Making room for a level may have moved the levels.
    walk->Levels[walk->Depth - (entered == ENTERED ? 2 : 1)].ChildListed = entered != SKIPPED;
    if (entered != ENTERED) return false;
    walk->Levels[walk->Depth - 2].ChildPending = 1;
    return true;
}

/// The size of the directory entry of level: its files' total, from its own listing
/// when the walk just read it, else from a listing of its own.
uint64_t DirectoryEntrySize(Walk *walk, WalkLevel *level, size_t nameLen)
{
    if (level->ChildListed) return level->ChildTotal;
    wchar_t *path = walk->Path;
    size_t end = level->DirLen + nameLen;
    path[end] = VESK_PATH_SEP;
    path[end + 1] = L'\0';
    uint64_t total;
    DWORD error;
    if (DirectoryFilesSize(path, &total, &error) != RESULT_OK) NoteListingError(walk, path, error);
    return total;
}

/// Tests the entry level is on and offers it to the ranked list when it passes.
void TestEntry(Walk *walk, WalkLevel *level)
{
    const SearchOptions *options = walk->Options;
    const WIN32_FIND_DATAW *entry = &level->Entry;
    DWORD attributes = entry->dwFileAttributes;
    if ((attributes & options->AttrMask) != (options->AttrValues & options->AttrMask)) return;
    const wchar_t *name = entry->cFileName;
    if (MatchesWildList(walk->Patterns, name) != 0) return;
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

    size_t nameLen = wcsnlen(name, MAX_PATH);
    // Name, separator and terminator after the directory.
    if (dirLen + nameLen + 2 > PATH_BUFFER_LEN) return;
    wmemcpy(path + dirLen, name, nameLen);
    uint64_t size = isDirectory ? DirectoryEntrySize(walk, level, nameLen)
                                : ((uint64_t)entry->nFileSizeHigh << 32) | entry->nFileSizeLow;
    const FILETIME *chosen = ChosenFileTime(entry, StampTime(options->WhichStamp));
    uint64_t time = ((uint64_t)chosen->dwHighDateTime << 32) | chosen->dwLowDateTime;

    // Most candidates of a big tree do not place: they are dropped before anything
    // more is done for them.
    if (!WouldPlace(walk->Results, size, time, walk->OnNtfs)) return;
    path[dirLen + nameLen] = L'\0';
    const wchar_t *resultName = options->FullPaths ? path : name;
    // Ids are only compared where the volume's ids are trusted.
    FileId id = level->EntryId;
    if (!walk->VolumeKnown) memset(&id, 0, sizeof id);
    // A candidate the shell has no memory for is left out and the walk goes on: the
    // list then ranks what could be kept, and the next candidates may still fit.
    FoundFile *found = NewFoundFileWithId(resultName, &id, size, time, walk->OnFat, walk->OnNtfs);
    if (found == nullptr) return;
    // One file or directory reached under several names (links, hard links, overlapping
    // file specifications) is one answer: the name found first stays. A directory link
    // has an id of its own, so it stays a candidate beside the directory it leads to.
    if (SameFileInList(walk->Results, found)) {
        FreeMem(found);
        return;
    }
    OfferResult(walk->Results, found);
}

/// Ends the top level: its listing is closed, and its parent learns its files' total
/// for the size of its entry.
void LeaveDirectory(Walk *walk)
{
    WalkLevel *level = &walk->Levels[walk->Depth - 1];
    CloseDirectoryListing(level->Listing);
    uint64_t total = level->FilesTotal;
    --walk->Depth;
    if (walk->Depth > 0) walk->Levels[walk->Depth - 1].ChildTotal = total;
}

}  // namespace

SpinnerState *SpinnerForTests(void) { return &Spinner; }

int VeskFiles(const wchar_t *directory, const wchar_t *patterns, const SearchOptions *options,
              int onFat, int onNtfs, ResultList *results)
{
    if (directory == nullptr || patterns == nullptr || options == nullptr || results == nullptr)
        return RESULT_MISSING_ARGUMENT;
    size_t dirLen = wcsnlen(directory, PATH_BUFFER_LEN);
    if (dirLen + 1 > PATH_BUFFER_LEN) {
        if (options->Debug)
            Printf(L"   * VeskFiles( \"%s\", \"%s\" )\r\n", directory, patterns);
        return RESULT_OK;
    }

    Walk walk;
    memset(&walk, 0, sizeof walk);
    walk.Path = (wchar_t *)malloc(PATH_BUFFER_LEN * sizeof(wchar_t));
    walk.Patterns = patterns;
    walk.Options = options;
    walk.Results = results;
    walk.OnFat = onFat;
    walk.OnNtfs = onNtfs;
    if (walk.Path == nullptr) {
        ReportError(L"Cannot list \"%s\": not enough memory\r\n", directory);
        return RESULT_SCAN_FAILED;
    }
    wmemcpy(walk.Path, directory, dirLen);

    // The natural recursion, unrolled: each level keeps its listing and the entry it is
    // on; a subdirectory's entries are all offered before the subdirectory entry itself,
    // which is tested when its level is left.
    EnterDirectory(&walk, dirLen, nullptr, false);
    while (walk.Depth > 0 && !walk.Stopped) {
        WalkLevel *level = &walk.Levels[walk.Depth - 1];
        if (level->ChildPending) {
            level->ChildPending = 0;
            TestEntry(&walk, level);
            continue;
        }
        int got = ReadListingEntry(level->Listing, &level->Entry, &level->EntryId);
        if (got <= 0) {
            // A listing that fails part way has offered what it read; its siblings go on.
            // Denied at the first read (the Linux layer reads a directory whole then) is
            // as quiet as denied at the open.
            if (got < 0) {
                DWORD error = GetLastError();
                walk.Path[level->DirLen] = L'\0';
                NoteListingError(&walk, walk.Path, error);
            }
            LeaveDirectory(&walk);
            continue;
        }
        level->EntryId.Volume = walk.Volume;
        level->ChildListed = 0;
        if (!(level->Entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            level->FilesTotal = AddSizes(level->FilesTotal, ((uint64_t)level->Entry.nFileSizeHigh << 32) |
                                                                level->Entry.nFileSizeLow);
        StepSpinner();
        if (TryDescend(&walk)) continue;
        // Making room for a level may have moved the levels.
        TestEntry(&walk, &walk.Levels[walk.Depth - 1]);
    }
    // Running out of memory stops the walk with its listings still open.
    while (walk.Depth > 0) CloseDirectoryListing(walk.Levels[--walk.Depth].Listing);
    FreeDirectorySet(&walk.Listed);
    free(walk.Levels);
    free(walk.Path);
    return walk.Failed ? RESULT_SCAN_FAILED : RESULT_OK;
}
