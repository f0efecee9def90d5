// A directory opened once and listed through that same handle, with the file id of
// every entry. Windows and the Linux layer answer the same calls, so this is one code
// path for every build.
#include "platform/platform.h"
#include "platform/listing_faults.h"

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

}  // namespace

struct DirectoryListing {
    HANDLE Handle;  ///< the directory, opened once
    HANDLE Find;    ///< the listing where the system refuses to list through Handle
    FILE_INFO_BY_HANDLE_CLASS Class;
    bool Ended;
    bool Delivered;      ///< an entry has been delivered (the class can no longer change)
    bool FindPending;    ///< FindData holds Find's first entry, not yet delivered
    DWORD Used;          ///< bytes of Buffer the last request filled
    DWORD At;            ///< offset of the next record in Buffer
    DWORD Capacity;      ///< bytes of Buffer
    int Fills;           ///< requests that returned records
    WIN32_FIND_DATAW FindData;
    wchar_t *Directory;  ///< the path it was opened with, for the fallback
    BYTE *Buffer;        ///< malloc'd, aligned for the records
    bool FaultsOn;       ///< the test switch of listing_faults.h was set at the open
    const ListingFault *Fault;  ///< its rules for this directory; null for none
    uint32_t Read;       ///< entries delivered so far
    bool Waived;         ///< WaiveDirectoryRecords was asked
    DWORD PendingError;  ///< not 0: the first request, made early, failed with it
};

namespace {

/// The class that answered last: a system that refuses the 128-bit records (before
/// Windows 8) is asked for the 64-bit ones from then on, without a refused call each.
FILE_INFO_BY_HANDLE_CLASS PreferredClass = FileIdExtdDirectoryInfo;

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
    size_t len = wcslen(listing->Directory);
    wchar_t *searchPath = (wchar_t *)malloc((len + 2) * sizeof(wchar_t));
    if (searchPath == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    wmemcpy(searchPath, listing->Directory, len);
    searchPath[len] = L'*';
    searchPath[len + 1] = L'\0';
    listing->Find = FindFirstFileLong(searchPath, &listing->FindData);
    DWORD error = GetLastError();
    free(searchPath);
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

/// Asks for the next batch of records. 1 when some came, 0 at the end, -1 on a failure.
int FillRecords(DirectoryListing *listing)
{
    // Every record of the last request has been delivered, so the buffer may move.
    if (listing->Fills >= 2 && listing->Capacity < RECORD_BUFFER_LEN) {
        BYTE *larger = (BYTE *)realloc(listing->Buffer, RECORD_BUFFER_LEN);
        if (larger != nullptr) {
            listing->Buffer = larger;
            listing->Capacity = RECORD_BUFFER_LEN;
        }
    }
    for (;;) {
        if (GetFileInformationByHandleEx(listing->Handle, listing->Class, listing->Buffer,
                                         listing->Capacity)) {
            listing->Used = listing->Capacity;
            listing->At = 0;
            ++listing->Fills;
            PreferredClass = listing->Class;
            return 1;
        }
        DWORD error = GetLastError();
        if (error == ERROR_NO_MORE_FILES) {
            listing->Ended = true;
            return 0;
        }
        if (!IsRefusal(error) || listing->Delivered) return -1;
        if (listing->Class == FileIdExtdDirectoryInfo) {
            listing->Class = FileIdBothDirectoryInfo;
            continue;
        }
        if (!FallBackToFind(listing)) return -1;
        return listing->Ended ? 0 : 1;
    }
}

/// Delivers the record at At and moves past it: LISTING_ENTRY, LISTING_UNREADABLE_ENTRY,
/// or LISTING_END for a record that is skipped.
int TakeRecord(DirectoryListing *listing, WIN32_FIND_DATAW *data, FileId *id)
{
    const BYTE *at = listing->Buffer + listing->At;
    const FILE_ID_BOTH_DIR_INFO *both = (const FILE_ID_BOTH_DIR_INFO *)at;
    DWORD next = both->NextEntryOffset;
    listing->At = next == 0 ? listing->Used : listing->At + next;

    const WCHAR *name;
    DWORD reparseTag;
    memset(id, 0, sizeof *id);
    if (listing->Class == FileIdExtdDirectoryInfo) {
        const FILE_ID_EXTD_DIR_INFO *extd = (const FILE_ID_EXTD_DIR_INFO *)at;
        name = extd->FileName;
        reparseTag = extd->ReparsePointTag;
        memcpy(&id->FileLow, extd->FileId.Identifier, 8);
        memcpy(&id->FileHigh, extd->FileId.Identifier + 8, 8);
    } else {
        name = both->FileName;
        // The 64-bit records keep a reparse point's tag where the extended attributes'
        // size would be.
        reparseTag = both->EaSize;
        id->FileLow = (uint64_t)both->FileId.QuadPart;
    }
    size_t len = both->FileNameLength / sizeof(WCHAR);
    // Names of 260 characters and more do not fit the find data; no file system of
    // Windows makes them.
    if (len == 0 || len >= MAX_PATH || IsDot(name, len)) return LISTING_END;
    data->dwFileAttributes = both->FileAttributes;
    uint64_t times[3] = {(uint64_t)both->CreationTime.QuadPart,
                         (uint64_t)both->LastAccessTime.QuadPart,
                         (uint64_t)both->LastWriteTime.QuadPart};
    FILETIME *out[3] = {&data->ftCreationTime, &data->ftLastAccessTime, &data->ftLastWriteTime};
    for (int i = 0; i < 3; ++i) {
        out[i]->dwLowDateTime = (DWORD)times[i];
        out[i]->dwHighDateTime = (DWORD)(times[i] >> 32);
    }
    uint64_t size = (uint64_t)both->EndOfFile.QuadPart;
    data->nFileSizeHigh = (DWORD)(size >> 32);
    data->nFileSizeLow = (DWORD)size;
    data->dwReserved0 = (both->FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ? reparseTag : 0;
    data->dwReserved1 = 0;
    // A loop, not memcpy: the compiler turns a short copy of unknown length into a
    // string instruction whose start-up costs more than the names' few characters.
    for (size_t i = 0; i < len; ++i) data->cFileName[i] = name[i];
    data->cFileName[len] = L'\0';
    data->cAlternateFileName[0] = L'\0';
    if (both->FileAttributes == INVALID_FILE_ATTRIBUTES) return Unreadable(data, id, both->EaSize);
    if (listing->Waived && (both->FileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
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
        if (!listing->FindPending && !FindNextFileW(listing->Find, &listing->FindData)) {
            if (GetLastError() != ERROR_NO_MORE_FILES) return LISTING_FAILED;
            listing->Ended = true;
            return LISTING_END;
        }
        listing->FindPending = false;
        const wchar_t *name = listing->FindData.cFileName;
        if (IsDot(name, wcsnlen(name, MAX_PATH))) continue;
        *data = listing->FindData;
        if (data->dwFileAttributes == INVALID_FILE_ATTRIBUTES)
            return Unreadable(data, id, data->dwReserved1);
        return LISTING_ENTRY;
    }
}

bool ReadHandleIdentity(DirectoryListing *listing, FileId *id)
{
    if (listing->Handle == INVALID_HANDLE_VALUE) return false;
    FILE_ID_INFO info;
    if (GetFileInformationByHandleEx(listing->Handle, FileIdInfo, &info, sizeof info)) {
        id->Volume = info.VolumeSerialNumber;
        memcpy(&id->FileLow, info.FileId.Identifier, 8);
        memcpy(&id->FileHigh, info.FileId.Identifier + 8, 8);
        return true;
    }
#if defined(_WIN32)
    // Before Windows 8 the 64-bit index is all there is.
    BY_HANDLE_FILE_INFORMATION basic;
    if (GetFileInformationByHandle(listing->Handle, &basic)) {
        id->Volume = basic.dwVolumeSerialNumber;
        id->FileLow = ((uint64_t)basic.nFileIndexHigh << 32) | basic.nFileIndexLow;
        id->FileHigh = 0;
        return true;
    }
#endif
    return false;
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
            return got;
        }
    }
}

}  // namespace

DirectoryListing *OpenDirectoryListing(const wchar_t *directory)
{
    if (directory == nullptr || directory[0] == L'\0') {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    bool faultsOn = LoadListingFaults();
    const ListingFault *fault = faultsOn ? FindListingFault(directory) : nullptr;
    if (fault != nullptr && fault->OpenError != 0) {
        SetLastError(fault->OpenError);
        return nullptr;
    }
    size_t len = wcslen(directory);
    DirectoryListing *listing = (DirectoryListing *)malloc(sizeof(DirectoryListing));
    wchar_t *copy = (wchar_t *)malloc((len + 1) * sizeof(wchar_t));
    BYTE *buffer = (BYTE *)malloc(FIRST_RECORD_BUFFER_LEN);
    if (listing == nullptr || copy == nullptr || buffer == nullptr) {
        free(listing);
        free(copy);
        free(buffer);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    wmemcpy(copy, directory, len + 1);
    // Backup semantics open a directory; listing it needs no more access than that. A
    // directory the test switch lists is not opened at all.
    bool listed = fault != nullptr && fault->Entries != nullptr;
    HANDLE handle = listed ? INVALID_HANDLE_VALUE
                           : CreateFileLong(directory, FILE_LIST_DIRECTORY,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
    if (handle == INVALID_HANDLE_VALUE && !listed) {
        DWORD error = GetLastError();
        free(listing);
        free(copy);
        free(buffer);
        SetLastError(error);
        return nullptr;
    }
    listing->Handle = handle;
    listing->Find = INVALID_HANDLE_VALUE;
    listing->Class = PreferredClass;
    listing->Ended = false;
    listing->Delivered = false;
    listing->FindPending = false;
    listing->Used = 0;
    listing->At = 0;
    listing->Capacity = FIRST_RECORD_BUFFER_LEN;
    listing->Fills = 0;
    listing->Directory = copy;
    listing->Buffer = buffer;
    listing->FaultsOn = faultsOn;
    listing->Fault = fault;
    listing->Read = 0;
    listing->Waived = false;
    listing->PendingError = 0;
    return listing;
}

void WaiveDirectoryRecords(DirectoryListing *listing)
{
    // Too late once a request has been made: records already read are whole anyway.
    if (listing == nullptr || listing->Fills > 0 || listing->Delivered) return;
    listing->Waived = true;
    if (listing->Handle != INVALID_HANDLE_VALUE)
        SetHandleListingNeeds(listing->Handle, HANDLE_LISTING_NO_DIRECTORY_RECORDS);
}

bool GetListingIdentity(DirectoryListing *listing, FileId *id)
{
    if (listing == nullptr || id == nullptr) return false;
    const ListingFault *fault = listing->Fault;
    if (fault != nullptr && fault->HasId) {
        FileId system = {0, 0, 0};
        if (fault->SystemVolume && !ReadHandleIdentity(listing, &system)) return false;
        id->Volume = fault->SystemVolume ? system.Volume : fault->Volume;
        id->FileLow = fault->FileId;
        id->FileHigh = 0;
        return true;
    }
    return ReadHandleIdentity(listing, id);
}

bool GetListedIdentity(DirectoryListing *listing, FileId *id)
{
    if (listing == nullptr || id == nullptr) return false;
    bool fresh = listing->Handle != INVALID_HANDLE_VALUE && listing->Fills == 0 &&
                 listing->Find == INVALID_HANDLE_VALUE && !listing->Ended &&
                 listing->PendingError == 0;
    bool faked = listing->Fault != nullptr && listing->Fault->HasId;
    if (fresh && !faked) {
        SetHandleListingNeeds(listing->Handle, HANDLE_LISTING_KEEPS_IDENTITY);
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
    const ListingFault *fault = listing->Fault;
    if (fault != nullptr && fault->ReadError != 0 && listing->Read >= fault->FailAt) {
        SetLastError(fault->ReadError);
        return LISTING_FAILED;
    }
    int got;
    if (fault != nullptr && fault->Entries != nullptr) {
        memset(id, 0, sizeof *id);
        got = ReadFakeEntry(fault, listing->Read, data) ? LISTING_ENTRY : LISTING_END;
    } else {
        got = ReadNextEntry(listing, data, id);
    }
    if (got == LISTING_END || got == LISTING_FAILED) return got;
    uint32_t index = listing->Read++;
    if (got != LISTING_ENTRY || !listing->FaultsOn) return got;
    if (fault != nullptr && fault->EntryError != 0 && index == fault->UnreadableAt)
        return Unreadable(data, id, fault->EntryError);
    const ListingFault *named = FindListingFault(data->cFileName);
    if (named != nullptr && named->HasId) {
        id->FileLow = named->FileId;
        id->FileHigh = 0;
    }
    return got;
}

void CloseDirectoryListing(DirectoryListing *listing)
{
    if (listing == nullptr) return;
    if (listing->Find != INVALID_HANDLE_VALUE) FindClose(listing->Find);
    if (listing->Handle != INVALID_HANDLE_VALUE) CloseHandle(listing->Handle);
    free(listing->Directory);
    free(listing->Buffer);
    free(listing);
}
