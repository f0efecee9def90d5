// A directory opened once and listed through that same handle, with the file id of
// every entry. Windows and the Linux layer answer the same calls, so this is one code
// path for every build.
#include "platform/platform.h"
#include "platform/listing_calls.h"
#include "text/wide_format.h"

#include <stddef.h>
#include <stdlib.h>
#include <string.h>

namespace {

/// The records a request asks for. Every level of the walk keeps its listing while it
/// lists the levels below, so a listing starts small (a directory of a few dozen entries
/// comes in one call) and takes the large buffer only once a second request still finds
/// records: a chain of thousands of one-entry directories then holds a few megabytes,
/// not hundreds, and a large directory comes a few hundred entries a call.
enum { FIRST_RECORD_BUFFER_LEN = 4096, RECORD_BUFFER_LEN = 65536 };

/// A first buffer a listing gave back, for the next one: a walk opens one folder after
/// another, and most then cost no allocation of their records.
BYTE *SpareBuffer;

BYTE *TakeFirstBuffer(void)
{
    BYTE *buffer = SpareBuffer;
    SpareBuffer = nullptr;
    return buffer != nullptr ? buffer : (BYTE *)malloc(FIRST_RECORD_BUFFER_LEN);
}

/// Frees buffer of capacity bytes, or keeps it for the next listing.
void GiveBackBuffer(BYTE *buffer, DWORD capacity)
{
    if (buffer != nullptr && capacity == FIRST_RECORD_BUFFER_LEN && SpareBuffer == nullptr)
        SpareBuffer = buffer;
    else
        free(buffer);
}

/// The fields the 64-bit records (FILE_ID_BOTH_DIR_INFO) and the 128-bit ones
/// (FILE_ID_EXTD_DIR_INFO) share, at the same offsets: the two part only after EaSize,
/// where the short name or the reparse tag begins. A record of either kind is read
/// through this; only its id, its tag and where its name begins depend on the kind.
struct SharedRecordHead {
    DWORD NextEntryOffset;
    DWORD FileIndex;
    LARGE_INTEGER CreationTime;
    LARGE_INTEGER LastAccessTime;
    LARGE_INTEGER LastWriteTime;
    LARGE_INTEGER ChangeTime;
    LARGE_INTEGER EndOfFile;
    LARGE_INTEGER AllocationSize;
    DWORD FileAttributes;
    DWORD FileNameLength;  ///< bytes, no terminator
    DWORD EaSize;          ///< the 64-bit records keep a reparse point's tag here
};

#define VESK_SHARED_FIELD(field)                                                           \
    static_assert(offsetof(SharedRecordHead, field) == offsetof(FILE_ID_BOTH_DIR_INFO, field) && \
                      offsetof(SharedRecordHead, field) == offsetof(FILE_ID_EXTD_DIR_INFO, field), \
                  "the record kinds part before " #field)
VESK_SHARED_FIELD(NextEntryOffset);
VESK_SHARED_FIELD(CreationTime);
VESK_SHARED_FIELD(LastAccessTime);
VESK_SHARED_FIELD(LastWriteTime);
VESK_SHARED_FIELD(EndOfFile);
VESK_SHARED_FIELD(FileAttributes);
VESK_SHARED_FIELD(FileNameLength);
VESK_SHARED_FIELD(EaSize);
#undef VESK_SHARED_FIELD
static_assert(sizeof(SharedRecordHead) <= offsetof(FILE_ID_EXTD_DIR_INFO, FileName) &&
                  sizeof(SharedRecordHead) <= offsetof(FILE_ID_BOTH_DIR_INFO, FileName),
              "a record's name begins after the shared fields");

/// Where a record of infoClass holds its name.
size_t NameOffset(FILE_INFO_BY_HANDLE_CLASS infoClass)
{
    return infoClass == FileIdExtdDirectoryInfo ? offsetof(FILE_ID_EXTD_DIR_INFO, FileName)
                                                : offsetof(FILE_ID_BOTH_DIR_INFO, FileName);
}

}  // namespace

struct DirectoryListing {
    HANDLE Handle;  ///< the directory, opened once
    HANDLE Find;    ///< the listing where the system refuses to list through Handle
    /// The records asked for: the 128-bit ones until this directory's file system refuses
    /// them. A property of the listing, since each directory may lie on another volume.
    FILE_INFO_BY_HANDLE_CLASS Class;
    bool Ended;
    bool Delivered;      ///< an entry has been delivered (the class can no longer change)
    bool FindPending;    ///< FindData holds Find's first entry, not yet delivered
    DWORD Used;          ///< bytes of Buffer the last request filled
    DWORD At;            ///< offset of the next record in Buffer
    DWORD Capacity;      ///< bytes of Buffer
    int Fills;           ///< requests that returned records
    WIN32_FIND_DATAW *FindData;  ///< malloc'd when the classic listing is taken; else null
    bool ClassicOnly;    ///< list with the classic listing from the start (ListLike)
    /// The path it was opened with, for the fallback; freed once a request through the
    /// handle has given records, since the fallback is then never taken: a walk holds a
    /// listing for each level, and a deep chain would hold each level's long path.
    wchar_t *Directory;
    BYTE *Buffer;        ///< malloc'd, aligned for the records
    bool Waived;         ///< WaiveDirectoryRecords was asked
    DWORD PendingError;  ///< not 0: a request made early failed with it, told at the next read
};

namespace {

bool IsRefusal(DWORD error)
{
    return error == ERROR_INVALID_PARAMETER || error == ERROR_NOT_SUPPORTED;
}

bool IsDot(const wchar_t *name, size_t len)
{
    return name[0] == L'.' && (len == 1 || (len == 2 && name[1] == L'.'));
}

/// Delivers data as an unreadable entry with error: only its name stays.
int Unreadable(WIN32_FIND_DATAW *data, FileId *id, DWORD error)
{
    wchar_t name[MAX_PATH];
    wmemcpy(name, data->cFileName, MAX_PATH);
    memset(data, 0, sizeof *data);
    wmemcpy(data->cFileName, name, MAX_PATH);
    memset(id, 0, sizeof *id);
    SetLastError(error);
    return LISTING_UNREADABLE_ENTRY;
}

/// Opens the classic listing of the directory for a system or file system that refuses
/// to list through the handle. False with the error set when it cannot.
bool FallBackToFind(DirectoryListing *listing)
{
    // The directory ends in a separator (or is a bare drive): "*" after it lists it
    // whole. The room is counted once and the text is written within it, so a room too
    // small fails here instead of listing another directory or writing past the end.
    if (listing->Directory == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    size_t room = wcslen(listing->Directory) + 2;
    wchar_t *searchPath = (wchar_t *)malloc(room * sizeof(wchar_t));
    if (searchPath == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    if ((size_t)FormatText(searchPath, room, L"%s*", listing->Directory) >= room) {
        free(searchPath);
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    if (listing->FindData == nullptr)
        listing->FindData = (WIN32_FIND_DATAW *)malloc(sizeof(WIN32_FIND_DATAW));
    if (listing->FindData == nullptr) {
        free(searchPath);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    listing->Find = ListingCallsInUse->FindFirst(searchPath, listing->FindData);
    DWORD error = GetLastError();
    free(searchPath);
    free(listing->Directory);
    listing->Directory = nullptr;
    if (listing->Find == INVALID_HANDLE_VALUE) {
        // An empty directory lists nothing: that is its listing, not a failure.
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_NO_MORE_FILES) {
            listing->Ended = true;
            return true;
        }
        SetLastError(error);
        return false;
    }
    listing->FindPending = true;
    return true;
}

/// The bytes the records of the last request fill: from the start of the buffer to the
/// end of the name of the record whose NextEntryOffset is 0 (the system says no more).
/// 0 when a record would reach past the buffer: none of them can be trusted then.
DWORD FilledBytes(const DirectoryListing *listing)
{
    const size_t nameOffset = NameOffset(listing->Class);
    size_t at = 0;
    for (;;) {
        if (at + nameOffset > listing->Capacity) return 0;
        SharedRecordHead head;
        memcpy(&head, listing->Buffer + at, sizeof head);
        size_t end = at + nameOffset + head.FileNameLength;
        if (end > listing->Capacity) return 0;
        if (head.NextEntryOffset == 0) return (DWORD)end;
        at += head.NextEntryOffset;
    }
}

/// Asks for the next batch of records. 1 when some came, 0 at the end, -1 on a failure.
int FillRecords(DirectoryListing *listing)
{
    // Every record of the last request has been delivered, so the buffer may move. It
    // grows for a folder whose second request still filled it: one that was not full
    // most likely ended, and a walk lists many folders of a few dozen entries.
    const size_t longestRecord = NameOffset(listing->Class) + MAX_PATH * sizeof(WCHAR);
    bool lastFull = listing->Used + longestRecord > listing->Capacity;
    if (listing->Fills >= 2 && lastFull && listing->Capacity < RECORD_BUFFER_LEN) {
        BYTE *larger = (BYTE *)realloc(listing->Buffer, RECORD_BUFFER_LEN);
        if (larger != nullptr) {
            listing->Buffer = larger;
            listing->Capacity = RECORD_BUFFER_LEN;
        }
    }
    if (listing->ClassicOnly) {
        if (!FallBackToFind(listing)) return -1;
        return listing->Ended ? 0 : 1;
    }
    for (;;) {
        bool filled = ListingCallsInUse->ReadRecords(listing->Handle, listing->Class,
                                                     listing->Buffer, listing->Capacity);
        if (filled) {
            listing->Used = FilledBytes(listing);
            listing->At = 0;
            ++listing->Fills;
            free(listing->Directory);
            listing->Directory = nullptr;
            if (listing->Used == 0) {
                // Records that do not fit the buffer they came in: read none of them.
                SetLastError(ERROR_FILE_CORRUPT);
                return -1;
            }
            return 1;
        }
        DWORD error = GetLastError();
        if (error == ERROR_NO_MORE_FILES) {
            listing->Ended = true;
            GiveBackBuffer(listing->Buffer, listing->Capacity);
            listing->Buffer = nullptr;
            listing->Capacity = 0;
            return 0;
        }
        // A refusal once records have come is a listing failing part way, not the class.
        if (!IsRefusal(error) || listing->Fills > 0) return -1;
        if (listing->Class == FileIdExtdDirectoryInfo) {
            listing->Class = FileIdBothDirectoryInfo;
            continue;
        }
        if (!FallBackToFind(listing)) return -1;
        return listing->Ended ? 0 : 1;
    }
}

/// Delivers the record at At (wholly inside the filled bytes: FilledBytes) and moves past
/// it: LISTING_ENTRY, LISTING_UNREADABLE_ENTRY, or LISTING_END for a record that is
/// skipped.
int TakeRecord(DirectoryListing *listing, WIN32_FIND_DATAW *data, FileId *id)
{
    const BYTE *at = listing->Buffer + listing->At;
    SharedRecordHead head;
    memcpy(&head, at, sizeof head);
    DWORD next = head.NextEntryOffset;
    listing->At = next == 0 ? listing->Used : listing->At + next;

    const WCHAR *name = (const WCHAR *)(at + NameOffset(listing->Class));
    DWORD reparseTag;
    memset(id, 0, sizeof *id);
    if (listing->Class == FileIdExtdDirectoryInfo) {
        const BYTE *tag = at + offsetof(FILE_ID_EXTD_DIR_INFO, ReparsePointTag);
        const BYTE *fileId = at + offsetof(FILE_ID_EXTD_DIR_INFO, FileId);
        memcpy(&reparseTag, tag, sizeof reparseTag);
        memcpy(&id->FileLow, fileId, 8);
        memcpy(&id->FileHigh, fileId + 8, 8);
    } else {
        // The 64-bit records keep a reparse point's tag where the extended attributes'
        // size would be.
        reparseTag = head.EaSize;
        memcpy(&id->FileLow, at + offsetof(FILE_ID_BOTH_DIR_INFO, FileId), 8);
    }
    size_t len = head.FileNameLength / sizeof(WCHAR);
    // Names of 260 characters and more do not fit the find data; no file system of
    // Windows makes them.
    if (len == 0 || len >= MAX_PATH || IsDot(name, len)) return LISTING_END;
    data->dwFileAttributes = head.FileAttributes;
    uint64_t times[3] = {(uint64_t)head.CreationTime.QuadPart,
                         (uint64_t)head.LastAccessTime.QuadPart,
                         (uint64_t)head.LastWriteTime.QuadPart};
    FILETIME *out[3] = {&data->ftCreationTime, &data->ftLastAccessTime, &data->ftLastWriteTime};
    for (int i = 0; i < 3; ++i) {
        out[i]->dwLowDateTime = (DWORD)times[i];
        out[i]->dwHighDateTime = (DWORD)(times[i] >> 32);
    }
    uint64_t size = (uint64_t)head.EndOfFile.QuadPart;
    data->nFileSizeHigh = (DWORD)(size >> 32);
    data->nFileSizeLow = (DWORD)size;
    data->dwReserved0 = (head.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ? reparseTag : 0;
    data->dwReserved1 = 0;
    static_assert(sizeof(WCHAR) == sizeof(wchar_t), "a record's name is the find data's");
    memcpy(data->cFileName, name, len * sizeof(WCHAR));
    data->cFileName[len] = L'\0';
    data->cAlternateFileName[0] = L'\0';
    if (head.FileAttributes == UNREADABLE_ENTRY_ATTRIBUTES) return Unreadable(data, id, head.EaSize);
    if (listing->Waived && (head.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
        times[0] == WAIVED_RECORD_TIME && times[1] == WAIVED_RECORD_TIME &&
        times[2] == WAIVED_RECORD_TIME) {
        // Nothing of it was read but what it is: no time of it passes for a file time.
        for (int i = 0; i < 3; ++i) out[i]->dwLowDateTime = out[i]->dwHighDateTime = 0;
        data->dwFileAttributes &= FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN;
        data->nFileSizeHigh = data->nFileSizeLow = 0;
        data->dwReserved0 = 0;
        memset(id, 0, sizeof *id);
        return LISTING_DIRECTORY_NAME;
    }
    return LISTING_ENTRY;
}

/// The fallback's next entry: one of the LISTING_ values.
int TakeFound(DirectoryListing *listing, WIN32_FIND_DATAW *data, FileId *id)
{
    memset(id, 0, sizeof *id);
    for (;;) {
        if (!listing->FindPending && !ListingCallsInUse->FindNext(listing->Find, listing->FindData)) {
            if (GetLastError() != ERROR_NO_MORE_FILES) return LISTING_FAILED;
            listing->Ended = true;
            return LISTING_END;
        }
        listing->FindPending = false;
        const wchar_t *name = listing->FindData->cFileName;
        if (IsDot(name, wcsnlen(name, MAX_PATH))) continue;
        *data = *listing->FindData;
        if (data->dwFileAttributes == UNREADABLE_ENTRY_ATTRIBUTES)
            return Unreadable(data, id, data->dwReserved1);
        return LISTING_ENTRY;
    }
}

bool ReadHandleIdentity(DirectoryListing *listing, FileId *id)
{
    return listing->Handle != INVALID_HANDLE_VALUE && ListingCallsInUse->ReadIdentity(listing->Handle, id);
}

int ReadNextEntry(DirectoryListing *listing, WIN32_FIND_DATAW *data, FileId *id)
{
    for (;;) {
        if (listing->Find != INVALID_HANDLE_VALUE) return TakeFound(listing, data, id);
        if (listing->At >= listing->Used) {
            if (listing->Ended) return LISTING_END;
            int filled = FillRecords(listing);
            if (filled <= 0) return filled;
            continue;
        }
        int got = TakeRecord(listing, data, id);
        if (got != LISTING_END) {
            listing->Delivered = true;
            // The walk may now descend below this entry and keep this listing open all
            // the while: one that has given its last entry is to hold nothing by then. A
            // request that fails is told at the next read.
            if (listing->At >= listing->Used && !listing->Ended) {
                DWORD delivered = GetLastError();  // what an unreadable entry says
                if (FillRecords(listing) < 0) {
                    DWORD error = GetLastError();
                    listing->PendingError = error != 0 ? error : ERROR_IO_DEVICE;
                }
                SetLastError(delivered);
            }
            return got;
        }
    }
}

}  // namespace

namespace {

/// True when listing has listed through its handle: a directory on its volume lists
/// the same way, and never needs its path to fall back to the classic listing.
bool ListsThroughHandle(const DirectoryListing *listing)
{
    return listing->Fills > 0 && listing->Find == INVALID_HANDLE_VALUE && !listing->ClassicOnly;
}

/// A listing of the directory opened as handle, keeping a copy of path (null: none) for
/// the classic listing. Null with the error set when memory is exhausted (handle is then
/// closed).
DirectoryListing *NewListing(HANDLE handle, const wchar_t *path)
{
    DirectoryListing *listing = (DirectoryListing *)malloc(sizeof(DirectoryListing));
    size_t len = path != nullptr ? wcslen(path) : 0;
    wchar_t *copy = path != nullptr ? (wchar_t *)malloc((len + 1) * sizeof(wchar_t)) : nullptr;
    BYTE *buffer = TakeFirstBuffer();
    if (listing == nullptr || (path != nullptr && copy == nullptr) || buffer == nullptr) {
        free(listing);
        free(copy);
        free(buffer);
        ListingCallsInUse->Close(handle);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (copy != nullptr) wmemcpy(copy, path, len + 1);
    listing->Handle = handle;
    listing->Find = INVALID_HANDLE_VALUE;
    listing->Class = FileIdExtdDirectoryInfo;
    listing->Ended = false;
    listing->Delivered = false;
    listing->FindPending = false;
    listing->Used = 0;
    listing->At = 0;
    listing->Capacity = FIRST_RECORD_BUFFER_LEN;
    listing->Fills = 0;
    listing->FindData = nullptr;
    listing->Directory = copy;
    listing->Buffer = buffer;
    listing->Waived = false;
    listing->PendingError = 0;
    listing->ClassicOnly = false;
    return listing;
}

}  // namespace

bool CanOpenForListing(const wchar_t *directory)
{
    if (directory == nullptr || directory[0] == L'\0') return false;
    HANDLE handle = ListingCallsInUse->Open(directory, FILE_LIST_DIRECTORY);
    if (handle == INVALID_HANDLE_VALUE) return false;
    ListingCallsInUse->Close(handle);
    return true;
}

bool GetDirectoryIdentity(const wchar_t *directory, FileId *id)
{
    if (directory == nullptr || directory[0] == L'\0' || id == nullptr) return false;
    // Reading attributes needs no right to list: a folder denied that is still known.
    HANDLE handle = ListingCallsInUse->Open(directory, FILE_READ_ATTRIBUTES);
    if (handle == INVALID_HANDLE_VALUE) return false;
    bool known = ListingCallsInUse->ReadIdentity(handle, id);
    ListingCallsInUse->Close(handle);
    return known;
}

DirectoryListing *OpenDirectoryListing(const wchar_t *directory)
{
    return OpenDirectoryListingBelow(nullptr, nullptr, directory, false);
}

DirectoryListing *OpenDirectoryListingBelow(DirectoryListing *parent, const wchar_t *name,
                                            const wchar_t *directory, bool sameVolume)
{
    if (directory == nullptr || directory[0] == L'\0') {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    // Backup semantics open a directory; listing it needs no more access than that.
    // Below a parent's handle the system looks up one name; by the path, all of them.
    HANDLE handle = INVALID_HANDLE_VALUE;
    bool below = parent != nullptr && name != nullptr && parent->Handle != INVALID_HANDLE_VALUE;
    if (below) {
        handle = ListingCallsInUse->OpenBelow(parent->Handle, name, FILE_LIST_DIRECTORY);
        below = handle != INVALID_HANDLE_VALUE || GetLastError() != ERROR_INVALID_HANDLE;
    }
    if (!below) handle = ListingCallsInUse->Open(directory, FILE_LIST_DIRECTORY);
    if (handle == INVALID_HANDLE_VALUE) return nullptr;
    // A directory on its parent's volume lists as its parent did: the path is kept only
    // where the classic listing may yet need it, and a deep walk copies no long paths.
    bool settled = sameVolume && parent != nullptr && ListsThroughHandle(parent);
    DirectoryListing *listing = NewListing(handle, settled ? nullptr : directory);
    if (listing != nullptr && sameVolume && parent != nullptr) ListLike(listing, parent);
    return listing;
}

void ListLike(DirectoryListing *listing, const DirectoryListing *sameVolume)
{
    if (listing == nullptr || sameVolume == nullptr || listing->Fills > 0 ||
        listing->Delivered || listing->Find != INVALID_HANDLE_VALUE)
        return;
    listing->Class = sameVolume->Class;
    listing->ClassicOnly = sameVolume->ClassicOnly || sameVolume->Find != INVALID_HANDLE_VALUE;
}

void WaiveDirectoryRecords(DirectoryListing *listing)
{
    // Too late once a request has been made: records already read are whole anyway.
    if (listing == nullptr || listing->Fills > 0 || listing->Delivered) return;
    listing->Waived = true;
    if (listing->Handle != INVALID_HANDLE_VALUE)
        ListingCallsInUse->SetNeeds(listing->Handle, HANDLE_LISTING_NO_DIRECTORY_RECORDS);
}

bool GetListingIdentity(DirectoryListing *listing, FileId *id)
{
    if (listing == nullptr || id == nullptr) return false;
    return ReadHandleIdentity(listing, id);
}

bool GetListingPath(DirectoryListing *listing, wchar_t *out, size_t capacity)
{
    if (listing == nullptr || out == nullptr || capacity == 0 || capacity > 0xFFFFFFFFu ||
        listing->Handle == INVALID_HANDLE_VALUE)
        return false;
    DWORD len = ListingCallsInUse->FinalPath(listing->Handle, out, (DWORD)capacity);
    return len != 0 && len < capacity;
}

bool GetListedIdentity(DirectoryListing *listing, FileId *id)
{
    if (listing == nullptr || id == nullptr) return false;
    bool fresh = listing->Handle != INVALID_HANDLE_VALUE && listing->Fills == 0 &&
                 listing->Find == INVALID_HANDLE_VALUE && !listing->Ended &&
                 listing->PendingError == 0;
    if (fresh) {
        ListingCallsInUse->SetNeeds(listing->Handle, HANDLE_LISTING_KEEPS_IDENTITY);
        if (FillRecords(listing) < 0) {
            DWORD error = GetLastError();
            listing->PendingError = error != 0 ? error : ERROR_IO_DEVICE;
            return false;
        }
    }
    return GetListingIdentity(listing, id);
}

int ReadListingEntry(DirectoryListing *listing, WIN32_FIND_DATAW *data, FileId *id)
{
    if (listing == nullptr || data == nullptr || id == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return LISTING_FAILED;
    }
    if (listing->PendingError != 0) {
        SetLastError(listing->PendingError);
        return LISTING_FAILED;
    }
    return ReadNextEntry(listing, data, id);
}

void CloseDirectoryListing(DirectoryListing *listing)
{
    if (listing == nullptr) return;
    if (listing->Find != INVALID_HANDLE_VALUE) ListingCallsInUse->FindClose(listing->Find);
    if (listing->Handle != INVALID_HANDLE_VALUE) ListingCallsInUse->Close(listing->Handle);
    free(listing->Directory);
    GiveBackBuffer(listing->Buffer, listing->Capacity);
    free(listing->FindData);
    free(listing);
}
