// The listing's test double (listing_faults.h): the system's calls, wrapped.
#include "platform/listing_faults.h"

#include "platform/listing_calls.h"
#include "text/wide_format.h"

#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#if !defined(_WIN32)
#  include "text/native_text.h"
#endif

namespace {

/// The variable as last parsed (the rules point into it), and its rules.
struct FaultTable {
    wchar_t *Text;  ///< a copy cut into the rules' pieces
    ListingFault *Rules;
    size_t Count;
    bool Malformed;      ///< a rule did not read: every open fails
    bool NoResolvedPaths;
    bool RefuseRecords;
    bool ZeroIds;
};

FaultTable Table;

/// 2020-01-01 00:00:00 UTC, the time of every listed entry.
const uint64_t FAKE_ENTRY_TIME = 132223104000000000ULL;

/// A handle the double made or watches: a directory a rule lists (Fake) or one whose
/// rules act on its records.
struct Watched {
    HANDLE Handle;
    const ListingFault *Rule;
    bool Fake;
    uint32_t Given;  ///< entries its records have given so far
};

Watched *WatchedHandles;
size_t WatchedCount, WatchedCapacity;

/// The fake handles' own values: one byte each of a block no real handle points into.
char FakeHandles[4096];
size_t FakeNext;

void FreeTable(void)
{
    free(Table.Text);
    free(Table.Rules);
    memset(&Table, 0, sizeof Table);
}

bool IsSet(const char *name) { return getenv(name) != nullptr; }

/// The switch's text (malloc'd), or null when it is not set.
wchar_t *ReadSwitch(void)
{
#if defined(_WIN32)
    const wchar_t *value = _wgetenv(L"VESK_TEST_LISTING_FAULTS");
    if (value == nullptr) return nullptr;
    size_t len = wcslen(value);
    wchar_t *copy = (wchar_t *)malloc((len + 1) * sizeof(wchar_t));
    if (copy != nullptr) wmemcpy(copy, value, len + 1);
    return copy;
#else
    const char *value = getenv("VESK_TEST_LISTING_FAULTS");
    if (value == nullptr) return nullptr;
    size_t len = strlen(value);
    size_t need = NativeToWide(value, len, nullptr, 0) + 1;
    wchar_t *copy = (wchar_t *)malloc(need * sizeof(wchar_t));
    if (copy != nullptr) NativeToWide(value, len, copy, need);
    return copy;
#endif
}

bool ReadNumber(const wchar_t **at, uint64_t *value)
{
    const wchar_t *p = *at;
    if (*p < L'0' || *p > L'9') return false;
    uint64_t v = 0;
    while (*p >= L'0' && *p <= L'9') v = v * 10 + (uint64_t)(*p++ - L'0');
    *value = v;
    *at = p;
    return true;
}

/// Reads "K:E" at text; false when it is not that.
bool ReadPair(const wchar_t *text, uint64_t *first, uint64_t *second)
{
    return ReadNumber(&text, first) && *text++ == L':' && ReadNumber(&text, second) &&
           *text == L'\0';
}

ListingFault *RuleFor(const wchar_t *name)
{
    for (size_t i = 0; i < Table.Count; ++i)
        if (wcscmp(Table.Rules[i].Name, name) == 0) return &Table.Rules[i];
    ListingFault *rule = &Table.Rules[Table.Count++];
    memset(rule, 0, sizeof *rule);
    rule->Name = name;
    return rule;
}

/// Applies one "NAME:ACTION" (cut out of Table.Text). False when it does not read.
bool ParseRule(wchar_t *rule)
{
    if (rule[0] == L'\0') return true;  // ";;" or a final ";"
    wchar_t *colon = wcschr(rule, L':');
    if (colon == nullptr || colon == rule) return false;
    *colon = L'\0';
    wchar_t *action = colon + 1;
    wchar_t *value = wcschr(action, L'=');
    if (value == nullptr) return false;
    *value++ = L'\0';
    ListingFault *fault = RuleFor(rule);
    uint64_t a, b;
    if (wcscmp(action, L"open") == 0) {
        const wchar_t *p = value;
        if (!ReadNumber(&p, &a) || *p != L'\0') return false;
        fault->OpenError = (DWORD)a;
    } else if (wcscmp(action, L"read") == 0) {
        if (!ReadPair(value, &a, &b)) return false;
        fault->FailAt = (uint32_t)a;
        fault->ReadError = (DWORD)b;
    } else if (wcscmp(action, L"entry") == 0) {
        if (!ReadPair(value, &a, &b)) return false;
        fault->UnreadableAt = (uint32_t)a;
        fault->EntryError = (DWORD)b;
    } else if (wcscmp(action, L"id") == 0) {
        bool system = value[0] == L'-' && value[1] == L':';
        if (system) value[0] = L'0';
        if (!ReadPair(value, &a, &b)) return false;
        fault->HasId = true;
        fault->SystemVolume = system;
        fault->Volume = a;
        fault->FileId = b;
    } else if (wcscmp(action, L"list") == 0) {
        fault->Entries = value;
    } else if (wcscmp(action, L"ids") == 0) {
        if (wcscmp(value, L"64") != 0) return false;
        fault->Only64BitRecords = true;
    } else {
        return false;
    }
    return true;
}

/// Says on standard error that rule does not read.
void SayMalformed(const wchar_t *rule)
{
    char text[512];
#if defined(_WIN32)
    snprintf(text, sizeof text, "%ls", rule);
#else
    WideToNative(rule, text, sizeof text);
#endif
    fprintf(stderr, "VESK_TEST_LISTING_FAULTS: malformed rule \"%s\": every listing fails\n",
            text);
    fflush(stderr);
}

// --- the handles the double watches ---------------------------------------------------

Watched *FindWatched(HANDLE handle)
{
    // The handles of a walk's deepest levels are asked most.
    for (size_t i = WatchedCount; i-- > 0;)
        if (WatchedHandles[i].Handle == handle) return &WatchedHandles[i];
    return nullptr;
}

bool Watch(HANDLE handle, const ListingFault *rule, bool fake)
{
    if (WatchedCount == WatchedCapacity) {
        size_t capacity = WatchedCapacity == 0 ? 16 : WatchedCapacity * 2;
        Watched *grown = (Watched *)realloc(WatchedHandles, capacity * sizeof(Watched));
        if (grown == nullptr) return false;
        WatchedHandles = grown;
        WatchedCapacity = capacity;
    }
    WatchedHandles[WatchedCount++] = {handle, rule, fake, 0};
    return true;
}

void Unwatch(Watched *watched)
{
    *watched = WatchedHandles[--WatchedCount];
}

/// A handle for a directory rule lists, or INVALID_HANDLE_VALUE when none can be made.
HANDLE NewFakeHandle(const ListingFault *rule)
{
    // Values inside a block of our own are no handle the system gave: the double never
    // lets one reach the system.
    HANDLE handle = (HANDLE)&FakeHandles[FakeNext];
    FakeNext = (FakeNext + 1) % sizeof FakeHandles;
    if (FindWatched(handle) != nullptr || !Watch(handle, rule, true)) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return INVALID_HANDLE_VALUE;
    }
    return handle;
}

bool IsDotName(const WCHAR *name, size_t len)
{
    return name[0] == L'.' && (len == 1 || (len == 2 && name[1] == L'.'));
}

/// Where a record of infoClass holds its name and its file id.
size_t NameOffset(FILE_INFO_BY_HANDLE_CLASS infoClass)
{
    return infoClass == FileIdExtdDirectoryInfo ? offsetof(FILE_ID_EXTD_DIR_INFO, FileName)
                                                : offsetof(FILE_ID_BOTH_DIR_INFO, FileName);
}

size_t FileIdOffset(FILE_INFO_BY_HANDLE_CLASS infoClass)
{
    return infoClass == FileIdExtdDirectoryInfo ? offsetof(FILE_ID_EXTD_DIR_INFO, FileId)
                                                : offsetof(FILE_ID_BOTH_DIR_INFO, FileId);
}

void SetRecordId(BYTE *record, FILE_INFO_BY_HANDLE_CLASS infoClass, uint64_t id)
{
    BYTE *at = record + FileIdOffset(infoClass);
    memcpy(at, &id, 8);
    if (infoClass == FileIdExtdDirectoryInfo) memset(at + 8, 0, 8);
}

/// Fills buffer with the records of a rule's listed entries from watched->Given on
/// (ApplyToRecords counts those delivered). The fields the two classes share are written
/// through FILE_ID_BOTH_DIR_INFO's.
BOOL ReadFakeRecords(Watched *watched, FILE_INFO_BY_HANDLE_CLASS infoClass, BYTE *buffer,
                     DWORD size)
{
    const wchar_t *p = watched->Rule->Entries;
    for (uint32_t i = 0; i < watched->Given && p != nullptr; ++i) {
        p = wcschr(p, L',');
        if (p != nullptr) ++p;
    }
    size_t used = 0, nameOffset = NameOffset(infoClass);
    BYTE *previous = nullptr;
    while (p != nullptr && *p != L'\0') {
        size_t len = wcscspn(p, L",");
        const wchar_t *sizeMark = wmemchr(p, L'=', len);
        size_t nameLen = sizeMark != nullptr ? (size_t)(sizeMark - p) : len;
        bool directory = nameLen > 0 && p[nameLen - 1] == L'/';
        if (directory) --nameLen;
        if (nameLen == 0 || nameLen >= MAX_PATH) break;
        size_t need = (nameOffset + nameLen * sizeof(WCHAR) + 7) & ~(size_t)7;
        if (used + need > size) break;
        BYTE *record = buffer + used;
        memset(record, 0, need);
        FILE_ID_BOTH_DIR_INFO *both = (FILE_ID_BOTH_DIR_INFO *)record;
        uint64_t bytes = directory ? 0 : 1;
        if (sizeMark != nullptr) {
            const wchar_t *at = sizeMark + 1;
            if (!ReadNumber(&at, &bytes)) bytes = 1;
        }
        both->FileAttributes = directory ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
        both->EndOfFile.QuadPart = (int64_t)bytes;
        both->AllocationSize = both->EndOfFile;
        both->CreationTime.QuadPart = (int64_t)FAKE_ENTRY_TIME;
        both->LastAccessTime = both->LastWriteTime = both->ChangeTime = both->CreationTime;
        both->FileNameLength = (DWORD)(nameLen * sizeof(WCHAR));
        WCHAR *name = (WCHAR *)(record + nameOffset);
        for (size_t i = 0; i < nameLen; ++i) name[i] = (WCHAR)p[i];
        if (previous != nullptr) ((FILE_ID_BOTH_DIR_INFO *)previous)->NextEntryOffset = (DWORD)(record - previous);
        previous = record;
        used += need;
        p = p[len] == L',' ? p + len + 1 : nullptr;
    }
    if (used == 0) {
        SetLastError(p != nullptr && *p != L'\0' && watched->Given > 0 ? ERROR_MORE_DATA
                                                                       : ERROR_NO_MORE_FILES);
        return FALSE;
    }
    return TRUE;
}

/// Applies the rules to the records the system gave: entry=, read= (the chain is cut
/// after the last entry it lets through), the ids rules and entries give, and the ids
/// the switch zeroes.
void ApplyToRecords(Watched *watched, FILE_INFO_BY_HANDLE_CLASS infoClass, BYTE *buffer)
{
    const ListingFault *rule = watched != nullptr ? watched->Rule : nullptr;
    size_t nameOffset = NameOffset(infoClass);
    for (BYTE *record = buffer;;) {
        FILE_ID_BOTH_DIR_INFO *both = (FILE_ID_BOTH_DIR_INFO *)record;
        const WCHAR *name = (const WCHAR *)(record + nameOffset);
        size_t len = both->FileNameLength / sizeof(WCHAR);
        if (!IsDotName(name, len)) {
            if (Table.ZeroIds) SetRecordId(record, infoClass, 0);
            wchar_t named[MAX_PATH];
            if (len < MAX_PATH) {
                for (size_t i = 0; i < len; ++i) named[i] = (wchar_t)name[i];
                named[len] = L'\0';
                const ListingFault *byName = FindListingFault(named);
                if (byName != nullptr && byName->HasId) SetRecordId(record, infoClass, byName->FileId);
            }
            if (watched != nullptr) {
                uint32_t index = watched->Given++;
                if (rule->EntryError != 0 && index == rule->UnreadableAt) {
                    MarkRecordUnreadable(record, rule->EntryError);
                }
                if (rule->ReadError != 0 && watched->Given >= rule->FailAt) {
                    both->NextEntryOffset = 0;
                    return;
                }
            }
        }
        if (both->NextEntryOffset == 0) return;
        record += both->NextEntryOffset;
    }
}

// --- the wrapped calls --------------------------------------------------------------------

/// Fails with rule's open error when the name path ends in has one, or with the error
/// of malformed rules.
bool RefusedByName(const wchar_t *path, bool listing)
{
    if (Table.Malformed) {
        SetLastError(ERROR_BAD_ARGUMENTS);
        return true;
    }
    const ListingFault *rule = FindListingFault(path);
    if (!listing || rule == nullptr || rule->OpenError == 0) return false;
    SetLastError(rule->OpenError);
    return true;
}

/// handle, or INVALID_HANDLE_VALUE with the rule's error where the name it resolves to
/// has an open rule: a folder not ours to read is refused through a link to it too.
HANDLE CheckOpened(HANDLE handle, bool listing)
{
    if (!listing || handle == INVALID_HANDLE_VALUE) return handle;
    wchar_t *resolved = (wchar_t *)malloc(PATH_BUFFER_LEN * sizeof(wchar_t));
    DWORD len = resolved == nullptr ? 0 : SystemListingCalls.FinalPath(handle, resolved, PATH_BUFFER_LEN);
    const ListingFault *target = len != 0 && len < PATH_BUFFER_LEN ? FindListingFault(resolved) : nullptr;
    free(resolved);
    if (target == nullptr || target->OpenError == 0) return handle;
    SystemListingCalls.Close(handle);
    SetLastError(target->OpenError);
    return INVALID_HANDLE_VALUE;
}

/// The opened handle, watched when a rule names it; for a name a rule lists, a fake one.
HANDLE Opened(HANDLE handle, const wchar_t *name)
{
    const ListingFault *rule = FindListingFault(name);
    if (handle == INVALID_HANDLE_VALUE || rule == nullptr) return handle;
    if (!Watch(handle, rule, false)) {
        SystemListingCalls.Close(handle);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return INVALID_HANDLE_VALUE;
    }
    return handle;
}

HANDLE OpenFaulty(const wchar_t *path, DWORD access)
{
    bool listing = (access & FILE_LIST_DIRECTORY) != 0;
    if (RefusedByName(path, listing)) return INVALID_HANDLE_VALUE;
    const ListingFault *rule = FindListingFault(path);
    if (rule != nullptr && rule->Entries != nullptr) return NewFakeHandle(rule);
    return Opened(CheckOpened(SystemListingCalls.Open(path, access), listing), path);
}

HANDLE OpenBelowFaulty(HANDLE directory, const wchar_t *name, DWORD access)
{
    Watched *parent = FindWatched(directory);
    if (parent != nullptr && parent->Fake) {
        // Nothing is below a directory that is not there: the caller opens the path.
        SetLastError(ERROR_INVALID_HANDLE);
        return INVALID_HANDLE_VALUE;
    }
    bool listing = (access & FILE_LIST_DIRECTORY) != 0;
    if (RefusedByName(name, listing)) return INVALID_HANDLE_VALUE;
    const ListingFault *rule = FindListingFault(name);
    if (rule != nullptr && rule->Entries != nullptr) return NewFakeHandle(rule);
    return Opened(CheckOpened(SystemListingCalls.OpenBelow(directory, name, access), listing), name);
}

BOOL ReadRecordsFaulty(HANDLE directory, FILE_INFO_BY_HANDLE_CLASS infoClass, void *buffer,
                       DWORD size)
{
    Watched *watched = FindWatched(directory);
    if (Table.RefuseRecords ||
        (watched != nullptr && watched->Rule->Only64BitRecords && infoClass == FileIdExtdDirectoryInfo)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const ListingFault *rule = watched != nullptr ? watched->Rule : nullptr;
    if (rule != nullptr && rule->ReadError != 0 && watched->Given >= rule->FailAt) {
        SetLastError(rule->ReadError);
        return FALSE;
    }
    bool filled = watched != nullptr && watched->Fake
                      ? ReadFakeRecords(watched, infoClass, (BYTE *)buffer, size)
                      : SystemListingCalls.ReadRecords(directory, infoClass, buffer, size);
    if (!filled) return FALSE;
    ApplyToRecords(watched, infoClass, (BYTE *)buffer);
    return TRUE;
}

bool ReadIdentityFaulty(HANDLE handle, FileId *id)
{
    Watched *watched = FindWatched(handle);
    const ListingFault *rule = watched != nullptr ? watched->Rule : nullptr;
    if (rule != nullptr && rule->HasId) {
        FileId system = {0, 0, 0};
        if (rule->SystemVolume && (watched->Fake || !SystemListingCalls.ReadIdentity(handle, &system)))
            return false;
        id->Volume = rule->SystemVolume ? system.Volume : rule->Volume;
        id->FileLow = rule->FileId;
        id->FileHigh = 0;
        return true;
    }
    if (watched != nullptr && watched->Fake) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    if (!SystemListingCalls.ReadIdentity(handle, id)) return false;
    if (Table.ZeroIds) id->FileLow = id->FileHigh = 0;
    return true;
}

DWORD FinalPathFaulty(HANDLE handle, wchar_t *out, DWORD capacity)
{
    Watched *watched = FindWatched(handle);
    if (Table.NoResolvedPaths || (watched != nullptr && watched->Fake)) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return 0;
    }
    return SystemListingCalls.FinalPath(handle, out, capacity);
}

void SetNeedsFaulty(HANDLE directory, unsigned needs)
{
    Watched *watched = FindWatched(directory);
    if (watched == nullptr || !watched->Fake) SystemListingCalls.SetNeeds(directory, needs);
}

HANDLE FindFirstFaulty(const wchar_t *searchPath, WIN32_FIND_DATAW *data)
{
    if (Table.Malformed) {
        SetLastError(ERROR_BAD_ARGUMENTS);
        return INVALID_HANDLE_VALUE;
    }
    return SystemListingCalls.FindFirst(searchPath, data);
}

BOOL FindNextFaulty(HANDLE find, WIN32_FIND_DATAW *data)
{
    return SystemListingCalls.FindNext(find, data);
}

BOOL FindCloseFaulty(HANDLE find) { return SystemListingCalls.FindClose(find); }

BOOL CloseFaulty(HANDLE handle)
{
    Watched *watched = FindWatched(handle);
    bool fake = watched != nullptr && watched->Fake;
    if (watched != nullptr) Unwatch(watched);
    return fake ? TRUE : SystemListingCalls.Close(handle);
}

const ListingCalls FaultyListingCalls = {
    OpenFaulty,      OpenBelowFaulty, ReadRecordsFaulty, ReadIdentityFaulty, FinalPathFaulty,
    SetNeedsFaulty,  FindFirstFaulty, FindNextFaulty,    FindCloseFaulty,    CloseFaulty,
};

}  // namespace

int LoadListingFaults(void)
{
    FreeTable();
    wchar_t *raw = ReadSwitch();
    if (raw == nullptr) return 0;
    size_t len = wcslen(raw);
    size_t rules = 1;
    for (size_t i = 0; i < len; ++i) rules += raw[i] == L';';
    Table.Text = raw;
    Table.Rules = (ListingFault *)malloc(rules * sizeof(ListingFault));
    if (Table.Rules == nullptr) {
        FreeTable();
        Table.Malformed = true;
        return -1;
    }
    wchar_t *start = Table.Text;
    for (;;) {
        wchar_t *end = wcschr(start, L';');
        if (end != nullptr) *end = L'\0';
        wchar_t shown[256];
        FormatWide(shown, sizeof shown / sizeof shown[0], L"%s", start);
        if (!ParseRule(start)) {
            SayMalformed(shown);
            Table.Malformed = true;
        }
        if (end == nullptr) break;
        start = end + 1;
    }
    return Table.Malformed ? -1 : 1;
}

const ListingFault *FindListingFault(const wchar_t *directory)
{
    if (directory == nullptr || Table.Count == 0) return nullptr;
    size_t end = wcslen(directory);
    while (end > 0 && IsPathSeparator(directory[end - 1])) --end;
    size_t start = end;
    while (start > 0 && !IsPathSeparator(directory[start - 1])) --start;
    for (size_t i = 0; i < Table.Count; ++i) {
        const wchar_t *name = Table.Rules[i].Name;
        if (wcslen(name) == end - start && wmemcmp(name, directory + start, end - start) == 0)
            return &Table.Rules[i];
    }
    return nullptr;
}

void ChooseListingCalls(void)
{
    int rules = LoadListingFaults();
    Table.NoResolvedPaths = IsSet("VESK_TEST_NO_RESOLVED_PATHS");
    Table.RefuseRecords = IsSet("VESK_TEST_REFUSE_HANDLE_LISTING");
    Table.ZeroIds = IsSet("VESK_TEST_ZERO_FILE_IDS");
    bool wrapped = rules != 0 || Table.NoResolvedPaths || Table.RefuseRecords || Table.ZeroIds;
    ListingCallsInUse = wrapped ? &FaultyListingCalls : &SystemListingCalls;
}
