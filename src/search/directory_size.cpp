#include "search/directory_size.h"

DWORD DirectoryFilesSize(const wchar_t *directory, uint64_t *total)
{
    *total = 0;
    if (directory == nullptr) return ERROR_INVALID_PARAMETER;
    DirectoryListing *listing = OpenDirectoryListing(directory);
    if (listing == nullptr) return GetLastError();
    WIN32_FIND_DATAW data;
    FileId id;
    int got;
    while ((got = ReadListingEntry(listing, &data, &id)) > 0)
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            *total = AddSizes(*total, ((uint64_t)data.nFileSizeHigh << 32) | data.nFileSizeLow);
    DWORD error = got < 0 ? GetLastError() : 0;
    CloseDirectoryListing(listing);
    return error;
}
