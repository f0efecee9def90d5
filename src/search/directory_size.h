// The total size of the files one directory listing shows.
#ifndef VESK_DIRECTORY_SIZE_H
#define VESK_DIRECTORY_SIZE_H

#include <stdint.h>
#include <wchar.h>

#include "platform/platform.h"

/// total + size, or UINT64_MAX where the sum would not fit: sparse files can claim more
/// than 64 bits hold together, and a total that wrapped would look small.
inline uint64_t AddSizes(uint64_t total, uint64_t size)
{
    return size > UINT64_MAX - total ? UINT64_MAX : total + size;
}

/// Told of an entry whose details the listing could not read: its name and the error.
typedef void (*UnreadableEntryHandler)(void *context, const wchar_t *name, DWORD error);

/// Totals into *total the sizes of the entries without the directory attribute that
/// directory (ending in a separator) lists; *total is 0 when it cannot be listed. parent
/// and name (both or neither null): the listing directory is a subdirectory of, opened
/// below it (OpenDirectoryListingBelow, with sameVolume). RESULT_OK; RESULT_FAILED when
/// the directory could not be opened or its listing failed before its first entry,
/// RESULT_SCAN_FAILED when its listing failed part way (*total then holds what was read
/// before), both with the system's error code in *error; RESULT_MISSING_ARGUMENT when an
/// argument is null. Reports nothing: the caller decides what a failure means, and
/// onUnreadable (null: none) hears of each entry whose size could not be read.
int DirectoryFilesSize(DirectoryListing *parent, const wchar_t *name, const wchar_t *directory,
                       bool sameVolume, uint64_t *total, DWORD *error,
                       UnreadableEntryHandler onUnreadable, void *context);

#endif
