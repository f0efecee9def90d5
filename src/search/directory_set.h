// The identities of the directories one walk has listed, so that no directory is
// listed twice however many links lead to it.
#ifndef VESK_DIRECTORY_SET_H
#define VESK_DIRECTORY_SET_H

#include <stddef.h>

#include "platform/platform.h"

struct DirectorySlot {
    FileId Id;
    bool Full;
};

/// Zero-initialise before the first AddDirectory; release with FreeDirectorySet.
struct DirectorySet {
    DirectorySlot *Slots;  ///< Capacity slots (a power of two), or null while empty
    size_t Capacity;
    size_t Used;
};

/// Adds id; *added says whether it was new. Returns RESULT_OK, or RESULT_FAILED when
/// memory is exhausted (the set is then unchanged and *added false).
int AddDirectory(DirectorySet *set, const FileId *id, bool *added);

/// True when id has been added.
bool HasDirectory(const DirectorySet *set, const FileId *id);

/// Releases the slots; the set is empty again afterwards.
void FreeDirectorySet(DirectorySet *set);

#endif
