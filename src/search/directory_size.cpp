#include "search/directory_size.h"

#include "plugin/result_codes.h"

int DirectoryFilesSize(const wchar_t *directory, uint64_t *total, DWORD *error)
{
    if (directory == nullptr || total == nullptr || error == nullptr)
        return RESULT_MISSING_ARGUMENT;
    *total = 0;
    *error = 0;
    DirectoryListing *listing = OpenDirectoryListing(directory);
    if (listing == nullptr) {
        *error = GetLastError();
        return RESULT_FAILED;
    }
    WIN32_FIND_DATAW data;
    FileId id;
    int got;
    while ((got = ReadListingEntry(listing, &data, &id)) > 0)
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            *total = AddSizes(*total, ((uint64_t)data.nFileSizeHigh << 32) | data.nFileSizeLow);
    if (got < 0) *error = GetLastError();
    CloseDirectoryListing(listing);
    return got < 0 ? RESULT_FAILED : RESULT_OK;
}
