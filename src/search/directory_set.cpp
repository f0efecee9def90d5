#include "search/directory_set.h"

#include "plugin/result_codes.h"

#include <stdlib.h>

namespace {

size_t HashId(const FileId *id)
{
    // Inode numbers and file indexes are often consecutive: mix them so that they do
    // not fill one run of slots.
    uint64_t h = id->FileLow * 0x9E3779B97F4A7C15ULL ^ (id->Volume + 0x632BE59BD9B4E019ULL) ^
                 (id->FileHigh * 0xD6E8FEB86659FD93ULL);
    h ^= h >> 29;
    h *= 0xBF58476D1CE4E5B9ULL;
    h ^= h >> 32;
    return (size_t)h;
}

/// The slot holding id, or the empty slot where it belongs.
DirectorySlot *FindSlot(DirectorySlot *slots, size_t capacity, const FileId *id)
{
    size_t mask = capacity - 1;
    for (size_t i = HashId(id) & mask;; i = (i + 1) & mask) {
        DirectorySlot *slot = &slots[i];
        if (!slot->Full || IsSameFile(&slot->Id, id))
            return slot;
    }
}

bool Grow(DirectorySet *set)
{
    size_t capacity = set->Capacity == 0 ? 64 : set->Capacity * 2;
    if (capacity > ((size_t)-1) / sizeof(DirectorySlot)) return false;
    DirectorySlot *slots = (DirectorySlot *)calloc(capacity, sizeof(DirectorySlot));
    if (slots == nullptr) return false;
    for (size_t i = 0; i < set->Capacity; ++i)
        if (set->Slots[i].Full) *FindSlot(slots, capacity, &set->Slots[i].Id) = set->Slots[i];
    free(set->Slots);
    set->Slots = slots;
    set->Capacity = capacity;
    return true;
}

}  // namespace

int AddDirectory(DirectorySet *set, const FileId *id, bool *added)
{
    *added = false;
    if (set->Capacity != 0) {
        DirectorySlot *slot = FindSlot(set->Slots, set->Capacity, id);
        if (slot->Full) return RESULT_OK;
    }
    // At most half full, so that a probe ends soon and always finds an empty slot.
    if ((set->Used + 1) * 2 > set->Capacity && !Grow(set)) return RESULT_FAILED;
    DirectorySlot *slot = FindSlot(set->Slots, set->Capacity, id);
    slot->Id = *id;
    slot->Full = true;
    slot->Count = 1;
    ++set->Used;
    *added = true;
    return RESULT_OK;
}

int CountDirectoryIn(DirectorySet *set, const FileId *id)
{
    bool added;
    if (AddDirectory(set, id, &added) != RESULT_OK) return RESULT_FAILED;
    if (!added) ++FindSlot(set->Slots, set->Capacity, id)->Count;
    return RESULT_OK;
}

void CountDirectoryOut(DirectorySet *set, const FileId *id)
{
    if (set->Capacity == 0) return;
    DirectorySlot *slot = FindSlot(set->Slots, set->Capacity, id);
    if (!slot->Full || --slot->Count != 0) return;
    // Emptied, and the slots after it in its run moved back where their probe would find
    // them, so that no probe stops short at the gap.
    size_t mask = set->Capacity - 1;
    size_t gap = (size_t)(slot - set->Slots);
    slot->Full = false;
    --set->Used;
    for (size_t i = (gap + 1) & mask; set->Slots[i].Full; i = (i + 1) & mask) {
        size_t home = HashId(&set->Slots[i].Id) & mask;
        // Whether home lies cyclically in (gap, i]: if not, the slot may fill the gap.
        bool stays = gap <= i ? (gap < home && home <= i) : (gap < home || home <= i);
        if (stays) continue;
        set->Slots[gap] = set->Slots[i];
        set->Slots[i].Full = false;
        gap = i;
    }
}

bool HasDirectory(const DirectorySet *set, const FileId *id)
{
    return set->Capacity != 0 && FindSlot(set->Slots, set->Capacity, id)->Full;
}

void FreeDirectorySet(DirectorySet *set)
{
    free(set->Slots);
    set->Slots = nullptr;
    set->Capacity = 0;
    set->Used = 0;
}
