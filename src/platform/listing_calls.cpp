// The system's calls of a listing (listing_calls.h): on Windows the real ones, on Linux
// those of the layer in src/platform/posix, with the same names.
#include "platform/listing_calls.h"

#include <string.h>

namespace {

HANDLE OpenDirectory(const wchar_t *path, DWORD access)
{
    return CreateFileLong(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                          OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
}

bool ReadHandleIdentity(HANDLE handle, FileId *id)
{
    FILE_ID_INFO info;
    if (GetFileInformationByHandleEx(handle, FileIdInfo, &info, sizeof info)) {
        id->Volume = info.VolumeSerialNumber;
        memcpy(&id->FileLow, info.FileId.Identifier, 8);
        memcpy(&id->FileHigh, info.FileId.Identifier + 8, 8);
        return true;
    }
#if defined(_WIN32)
    // Before Windows 8 the 64-bit index is all there is.
    BY_HANDLE_FILE_INFORMATION basic;
    if (GetFileInformationByHandle(handle, &basic)) {
        id->Volume = basic.dwVolumeSerialNumber;
        id->FileLow = ((uint64_t)basic.nFileIndexHigh << 32) | basic.nFileIndexLow;
        id->FileHigh = 0;
        return true;
    }
#endif
    return false;
}

DWORD FinalPathOf(HANDLE handle, wchar_t *out, DWORD capacity)
{
    return GetFinalPathNameByHandleW(handle, out, capacity, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
}

// The system's own calls of the table in the table's calling convention: on 32-bit
// Windows the system's are stdcall.
BOOL ReadRecords(HANDLE directory, FILE_INFO_BY_HANDLE_CLASS infoClass, void *buffer, DWORD size)
{
    return GetFileInformationByHandleEx(directory, infoClass, buffer, size);
}

BOOL FindNext(HANDLE find, WIN32_FIND_DATAW *data) { return FindNextFileW(find, data); }

BOOL EndFind(HANDLE find) { return FindClose(find); }

BOOL Close(HANDLE handle) { return CloseHandle(handle); }

}  // namespace

const ListingCalls SystemListingCalls = {
    OpenDirectory, CreateFileBelow,       ReadRecords,       ReadHandleIdentity, FinalPathOf,
    SetHandleListingNeeds, FindFirstFileLong, FindNext, EndFind, Close,
};

const ListingCalls *ListingCallsInUse = &SystemListingCalls;
