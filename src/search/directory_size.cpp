#include "search/directory_size.h"

#include "plugin/result_codes.h"

int DirectoryFilesSize(DirectoryListing *parent, const wchar_t *name, const wchar_t *directory,
                       bool sameVolume, uint64_t *total, DWORD *error,
                       UnreadableEntryHandler onUnreadable, void *context)
{
    if (directory == nullptr || total == nullptr || error == nullptr)
        return RESULT_MISSING_ARGUMENT;
    *total = 0;
    *error = 0;
    DirectoryListing *listing = parent != nullptr && name != nullptr
                                    ? OpenDirectoryListingBelow(parent, name, directory, sameVolume)
                                    : OpenDirectoryListing(directory);
    if (listing == nullptr) {
        *error = GetLastError();
        return RESULT_FAILED;
    }
    // Only the files count: a subdirectory's record is not read where that costs.
    WaiveDirectoryRecords(listing);
    WIN32_FIND_DATAW data;
    FileId id;
    int got;
    bool began = false;
    while ((got = ReadListingEntry(listing, &data, &id)) > LISTING_END) {
        began = true;
        if (got == LISTING_UNREADABLE_ENTRY) {
            if (onUnreadable != nullptr) onUnreadable(context, data.cFileName, GetLastError());
        } else if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            *total = AddSizes(*total, ((uint64_t)data.nFileSizeHigh << 32) | data.nFileSizeLow);
        }
    }
    if (got == LISTING_FAILED) *error = GetLastError();
    CloseDirectoryListing(listing);
    // Refused at its first read (Linux refuses a directory whose names may be read but
    // not looked up there, not at its open), it was never listed at all.
    if (got == LISTING_FAILED) return began ? RESULT_SCAN_FAILED : RESULT_FAILED;
    return RESULT_OK;
}
