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

int32_t SpinCountdown = 2048;
int32_t SpinIndex = 0;

namespace {

const wchar_t SPINNER[] = L"/-\\|";

/// One directory being listed. Its path is the first DirLen characters of the walk's
/// shared path buffer; Entry is the entry the listing last delivered.
struct WalkLevel {
    HANDLE Find;
    WIN32_FIND_DATAW Entry;
    size_t DirLen;
    int ChildPending;  ///< Entry was descended into and is tested once the child is done
};

/// State of one VeskFiles call.
struct Walk {
    wchar_t *Path;  ///< PATH_BUFFER_LEN characters
    WalkLevel *Levels;
    size_t Depth;     ///< levels in use
    size_t Capacity;  ///< levels allocated
    DirectorySet Listed;  ///< every directory this call has listed
    int Failed;           ///< a listing failed in a way that was reported
    const wchar_t *Patterns;
    const SearchOptions *Options;
    ResultList *Results;  ///< the caller's, where the candidates go
    int OnFat;
    int OnNtfs;
};

bool IsDotEntry(const wchar_t *name)
{
    return name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0'));
}

void StepSpinner(void)
{
    if (ScreenWidth == 0) return;
    if (--SpinCountdown >= 0) return;
    PutConsoleChar(SPINNER[SpinIndex & 3]);
    PutConsoleChar(L'\b');
    SpinCountdown = 128;
    SpinIndex = (SpinIndex + 1) % 4;
}

/// True for the listing errors that mean a directory is not there or not ours to read:
/// it then has no entries, silently. Any other error (out of handles, out of memory, a
/// failing device) loses files, and is reported.
bool IsQuietListingError(DWORD error)
{
    switch (error) {
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

/// Reports a listing of the directory now in the shared buffer (NUL-terminated) that
/// failed with error, unless the error is a quiet one; the walk then stops.
void NoteListingError(Walk *walk, DWORD error)
{
    if (IsQuietListingError(error)) return;
    if (error == ERROR_TOO_MANY_OPEN_FILES)
        ReportError(L"Cannot list \"%s\": too many open files\r\n", walk->Path);
    else if (error == ERROR_NOT_ENOUGH_MEMORY || error == ERROR_OUTOFMEMORY)
        ReportError(L"Cannot list \"%s\": not enough memory\r\n", walk->Path);
    else
        ReportError(L"Cannot list \"%s\": error %u\r\n", walk->Path, (unsigned)error);
    walk->Failed = 1;
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

/// Opens the listing of the directory whose path is the first dirLen characters of the
/// shared buffer (ending in a separator, or a bare drive) as a new level, unless this
/// call has listed that directory already (through a link, or a link back up the tree).
/// The trace line shows for every directory that is listed or cannot be. False when
/// nothing was pushed.
bool EnterDirectory(Walk *walk, size_t dirLen)
{
    wchar_t *path = walk->Path;
    // The search path needs the "*" and the terminator after the directory.
    if (dirLen + 2 > PATH_BUFFER_LEN) return false;
    if (!ReserveLevel(walk)) {
        path[dirLen] = L'\0';
        NoteListingError(walk, ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    WalkLevel *level = &walk->Levels[walk->Depth];
    path[dirLen] = L'*';
    path[dirLen + 1] = L'\0';
    level->Find = FindFirstFileLong(path, &level->Entry);
    DWORD error = level->Find == INVALID_HANDLE_VALUE ? GetLastError() : 0;
    path[dirLen] = L'\0';
    if (level->Find != INVALID_HANDLE_VALUE) {
        DirectoryId id;
        // A directory whose identity cannot be had is listed: at worst once too often.
        if (GetListingId(level->Find, path, &id)) {
            int added = AddDirectory(&walk->Listed, &id);
            if (added == 0) {
                FindClose(level->Find);
                return false;
            }
            if (added < 0) error = ERROR_NOT_ENOUGH_MEMORY;
        }
    }
    if (walk->Options->Debug)
        Printf(L"   * VeskFiles( \"%s\", \"%s\" )\r\n", path, walk->Patterns);
    if (error != 0) {
        if (level->Find != INVALID_HANDLE_VALUE) FindClose(level->Find);
        NoteListingError(walk, error);
        return false;
    }
    level->DirLen = dirLen;
    level->ChildPending = 0;
    ++walk->Depth;
    return true;
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
    // Directory, name, separator, "*" and terminator; a deeper path is left unwalked.
    if (dirLen + nameLen + 3 > PATH_BUFFER_LEN) return false;
    wchar_t *path = walk->Path;
    wmemcpy(path + dirLen, entry->cFileName, nameLen);
    size_t childLen = dirLen + nameLen;
    path[childLen++] = VESK_PATH_SEP;
    if (!EnterDirectory(walk, childLen)) return false;
    walk->Levels[walk->Depth - 2].ChildPending = 1;
    return true;
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
        if (MatchRanges(entry, options->Ranges, path) != 0) return;
    }

    size_t nameLen = wcsnlen(name, MAX_PATH);
    uint64_t size;
    if (isDirectory) {
        // Name, separator, "*" and terminator after the directory.
        if (dirLen + nameLen + 3 > PATH_BUFFER_LEN) return;
        wmemcpy(path + dirLen, name, nameLen);
        path[dirLen + nameLen] = VESK_PATH_SEP;
        path[dirLen + nameLen + 1] = L'*';
        path[dirLen + nameLen + 2] = L'\0';
        size = DirectoryFilesSize(path);
    } else {
        size = ((uint64_t)entry->nFileSizeHigh << 32) | entry->nFileSizeLow;
    }

    const FILETIME *chosen = ChosenFileTime(entry, StampTime(options->WhichStamp));
    uint64_t time = ((uint64_t)chosen->dwHighDateTime << 32) | chosen->dwLowDateTime;

    // Most candidates of a big tree do not place: they are dropped before anything
    // more is asked about them.
    if (!WouldPlace(walk->Results, size, time)) return;
    if (dirLen + nameLen + 1 > PATH_BUFFER_LEN) return;
    wmemcpy(path + dirLen, name, nameLen);
    path[dirLen + nameLen] = L'\0';
    const wchar_t *resultName = options->FullPaths ? path : name;
    // A candidate the shell has no memory for is left out and the walk goes on: the
    // list then ranks what could be kept, and the next candidates may still fit.
    // A directory link stays a candidate of its own (it has its own times, and the
    // directory it leads to is not walked twice), so only files carry a path to tell
    // one file under two names.
    FoundFile *found = NewFoundFileAt(resultName, isDirectory ? nullptr : path, size, time,
                                      walk->OnFat, walk->OnNtfs);
    if (found == nullptr) return;
    // One file reached under several names (links, hard links, a linked directory) is
    // one answer: the name found first stays.
    if (SameFileInList(walk->Results, found)) {
        FreeMem(found);
        return;
    }
    OfferResult(walk->Results, found);
}

}  // namespace

int VeskFiles(const wchar_t *directory, const wchar_t *patterns, const SearchOptions *options,
              int onFat, int onNtfs, ResultList *results)
{
    if (directory == nullptr || patterns == nullptr || options == nullptr || results == nullptr)
        return RESULT_MISSING_ARGUMENT;
    size_t dirLen = wcsnlen(directory, PATH_BUFFER_LEN);
    if (dirLen + 2 > PATH_BUFFER_LEN) {
        if (options->Debug)
            Printf(L"   * VeskFiles( \"%s\", \"%s\" )\r\n", directory, patterns);
        return RESULT_OK;
    }

    Walk walk;
    walk.Path = (wchar_t *)malloc(PATH_BUFFER_LEN * sizeof(wchar_t));
    walk.Levels = nullptr;
    walk.Depth = 0;
    walk.Capacity = 0;
    walk.Listed = {nullptr, 0, 0};
    walk.Failed = 0;
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

    // The natural recursion, unrolled: each level keeps its listing and the entry
    // it is on; a subdirectory's entries are all offered before the subdirectory entry
    // itself, which is tested when its level is popped.
    bool listed = EnterDirectory(&walk, dirLen);
    bool fresh = true;  // the top level's Entry is one not yet looked at
    while (listed && walk.Depth > 0 && !walk.Failed) {
        WalkLevel *level = &walk.Levels[walk.Depth - 1];
        if (level->ChildPending) {
            level->ChildPending = 0;
            TestEntry(&walk, level);
            fresh = false;
            continue;
        }
        if (!fresh && !FindNextFileW(level->Find, &level->Entry)) {
            DWORD error = GetLastError();
            FindClose(level->Find);
            --walk.Depth;
            if (error != ERROR_NO_MORE_FILES) {
                walk.Path[level->DirLen] = L'\0';
                NoteListingError(&walk, error);
            }
            continue;
        }
        fresh = false;
        if (IsDotEntry(level->Entry.cFileName)) continue;
        StepSpinner();
        if (TryDescend(&walk)) {
            fresh = true;
            continue;
        }
        // Making room for a level may have moved the levels.
        TestEntry(&walk, &walk.Levels[walk.Depth - 1]);
    }
    // A reported failure stops the walk with its listings still open.
    while (walk.Depth > 0) FindClose(walk.Levels[--walk.Depth].Find);
    FreeDirectorySet(&walk.Listed);
    free(walk.Levels);
    free(walk.Path);
    return walk.Failed ? RESULT_SCAN_FAILED : RESULT_OK;
}
