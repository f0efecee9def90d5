// The total size of the files one directory listing shows.
#ifndef VESK_DIRECTORY_SIZE_H
#define VESK_DIRECTORY_SIZE_H

#include <stdint.h>
#include <wchar.h>

/// Total size of the entries without the directory attribute that searchPath (a
/// directory, a separator and "*") lists, at most UINT64_MAX; 0 when it cannot be listed.
uint64_t DirectoryFilesSize(const wchar_t *searchPath);

#endif
