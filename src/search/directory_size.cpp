#include "search/directory_size.h"

#include "platform/platform.h"

uint64_t DirectoryFilesSize(const wchar_t *searchPath)
{
    if (searchPath == nullptr) return 0;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileLong(searchPath, &data);
    if (find == INVALID_HANDLE_VALUE) return 0;
    uint64_t total = 0;
    do {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            uint64_t size = ((uint64_t)data.nFileSizeHigh << 32) | data.nFileSizeLow;
            // Sparse files can claim more than 64 bits hold together: the total stops at
            // the largest value rather than wrap to a small one.
            total = size > UINT64_MAX - total ? UINT64_MAX : total + size;
        }
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return total;
}
