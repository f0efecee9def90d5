// A set of directory identities: those one walk has entered as trees of their own, so
// that no link leads to one of them twice.
#ifndef VESK_DIRECTORY_SET_H
#define VESK_DIRECTORY_SET_H

#include <stddef.h>

#include "platform/platform.h"

struct DirectorySlot {
    FileId Id;
    bool Full;
    uint32_t Count;  ///< CountDirectoryIn less CountDirectoryOut; 1 for AddDirectory
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

/// Counts id in once more (adding it when new). RESULT_OK, or RESULT_FAILED when memory
/// is exhausted (the set is then unchanged).
int CountDirectoryIn(DirectorySet *set, const FileId *id);

/// Counts id out once; it leaves the set when counted out as often as in.
void CountDirectoryOut(DirectorySet *set, const FileId *id);

/// Releases the slots; the set is empty again afterwards.
void FreeDirectorySet(DirectorySet *set);

#endif
