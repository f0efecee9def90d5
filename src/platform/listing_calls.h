// The system calls a directory listing is made of, as one table. The listing
// (directory_listing.cpp) makes them through ListingCallsInUse only: the system's own
// calls, unless ChooseListingCalls, once at load, put others that wrap them in their
// place. The listing itself holds no branch for anything but the system.
#ifndef VESK_LISTING_CALLS_H
#define VESK_LISTING_CALLS_H

#include "platform/platform.h"

struct ListingCalls {
    /// CreateFileLong of a directory with backup semantics, shared for reading, writing
    /// and deleting, and the access asked.
    HANDLE (*Open)(const wchar_t *path, DWORD access);
    /// CreateFileBelow.
    HANDLE (*OpenBelow)(HANDLE directory, const wchar_t *name, DWORD access);
    /// GetFileInformationByHandleEx of a directory class: as many records as fit.
    BOOL (*ReadRecords)(HANDLE directory, FILE_INFO_BY_HANDLE_CLASS infoClass, void *buffer,
                        DWORD size);
    /// The identity of what handle opened (FileIdInfo; the 64-bit index where a system
    /// before Windows 8 gives no more). False when the system cannot tell it.
    bool (*ReadIdentity)(HANDLE handle, FileId *id);
    /// GetFinalPathNameByHandleW with FILE_NAME_NORMALIZED | VOLUME_NAME_DOS.
    DWORD (*FinalPath)(HANDLE handle, wchar_t *out, DWORD capacity);
    /// SetHandleListingNeeds.
    void (*SetNeeds)(HANDLE directory, unsigned needs);
    /// FindFirstFileLong, FindNextFileW and FindClose: the classic listing.
    HANDLE (*FindFirst)(const wchar_t *searchPath, WIN32_FIND_DATAW *data);
    BOOL (*FindNext)(HANDLE find, WIN32_FIND_DATAW *data);
    BOOL (*FindClose)(HANDLE find);
    /// CloseHandle of a handle Open or OpenBelow gave.
    BOOL (*Close)(HANDLE handle);
};

/// The system's own calls.
extern const ListingCalls SystemListingCalls;

/// The calls every listing makes; SystemListingCalls until ChooseListingCalls changes it.
extern const ListingCalls *ListingCallsInUse;

/// Chooses the calls the listings make, once at load (InitializePlugin), before any
/// listing is opened; choosing again while one is open is not allowed.
void ChooseListingCalls(void);

#endif
