#include "search/result_list.h"

#include <stddef.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>

#include "plugin/host_api.h"
#include "plugin/result_codes.h"
#include "plugin/shared_services.h"
#include "ranges/local_time.h"
#include "text/path_limit.h"

namespace {

/// Longest name an entry takes: the walk's path limit.
const size_t MAX_NAME_LEN = PATH_BUFFER_LEN - 1;

/// Characters of a name's room: the name with its terminator, rounded up so that the
/// block of an entry that leaves holds most names of its neighbours in the tree.
const size_t ROOM_STEP = 32;

/// Fills entry, whose room holds name's len characters and terminator.
FoundFile *FillFoundFile(FoundFile *entry, const wchar_t *name, size_t len, const FileId *id,
                         uint64_t size, uint64_t time, int onFat, int onNtfs)
{
    entry->Next = nullptr;
    entry->Prev = nullptr;
    entry->Size = size;
    entry->Time = time;
    entry->OnFat = onFat;
    entry->OnNtfs = onNtfs;
    if (id != nullptr)
        entry->Id = *id;
    else
        memset(&entry->Id, 0, sizeof entry->Id);
    entry->Written = time;
    entry->TwinNext = nullptr;
    entry->TwinPrev = nullptr;
    memcpy(entry->Name, name, (len + 1) * sizeof(wchar_t));
    return entry;
}

/// The length of name, or 0 when it is null, empty or longer than an entry takes.
size_t EntryNameLength(const wchar_t *name)
{
    if (name == nullptr) return 0;
    size_t len = wcsnlen(name, MAX_NAME_LEN + 1);
    return len > MAX_NAME_LEN ? 0 : len;
}

/// A new block whose room holds len characters and the terminator, or null.
FoundFile *AllocFoundFile(size_t len)
{
    size_t room = (len + 1 + ROOM_STEP - 1) / ROOM_STEP * ROOM_STEP;
    size_t bytes = offsetof(FoundFile, Name) + room * sizeof(wchar_t);
    FoundFile *entry = (FoundFile *)AllocMem((unsigned int)bytes);
    if (entry != nullptr) entry->Room = (uint32_t)room;
    return entry;
}

}  // namespace

FoundFile *NewFoundFileWithId(const wchar_t *name, const FileId *id, uint64_t size,
                              uint64_t time, int onFat, int onNtfs)
{
    size_t len = EntryNameLength(name);
    if (len == 0) return nullptr;
    FoundFile *entry = AllocFoundFile(len);
    if (entry == nullptr) return nullptr;
    return FillFoundFile(entry, name, len, id, size, time, onFat, onNtfs);
}

FoundFile *TakeFoundFile(ResultList *list, const wchar_t *name, const FileId *id,
                         uint64_t size, uint64_t time, int onFat, int onNtfs)
{
    size_t len = EntryNameLength(name);
    if (len == 0) return nullptr;
    FoundFile *entry = list->Spare;
    if (entry != nullptr && entry->Room > len) {
        list->Spare = nullptr;
    } else {
        entry = AllocFoundFile(len);
        if (entry == nullptr) return nullptr;
    }
    return FillFoundFile(entry, name, len, id, size, time, onFat, onNtfs);
}

void DropFoundFile(ResultList *list, FoundFile *entry)
{
    if (entry == nullptr) return;
    // A list not started keeps nothing, so that nothing is left for ClearResults to find.
    if (list->Limit != 0) {
        if (list->Spare == nullptr) {
            list->Spare = entry;
            return;
        }
        if (entry->Room > list->Spare->Room) std::swap(entry, list->Spare);
    }
    FreeMem(entry);
}

FoundFile *NewFoundFile(const wchar_t *name, uint64_t size, uint64_t time, int onFat,
                        int onNtfs)
{
    return NewFoundFileWithId(name, nullptr, size, time, onFat, onNtfs);
}

uint64_t RankKey(int mode, uint64_t size, uint64_t time, int onNtfs)
{
    switch (mode) {
    case MODE_SMALLEST: return UINT64_MAX - size;
    // A time the stamp shows stays below the largest file time, so 0 is left for those it
    // cannot show: they beat nothing, and every other time beats them.
    case MODE_OLDEST: return IsShownTimeValid(time, onNtfs) ? UINT64_MAX - time : 0;
    case MODE_NEWEST: return IsShownTimeValid(time, onNtfs) ? time + 1 : 0;
    default: return size;
    }
}

bool BeatsEntry(int mode, uint64_t size, uint64_t time, int onNtfs, const FoundFile *entry)
{
    return RankKey(mode, size, time, onNtfs) >
           RankKey(mode, entry->Size, entry->Time, entry->OnNtfs);
}

namespace {

/// True when a ranks after b: a lesser key, or an equal one offered later. Offers are
/// numbered, so no two slots of a list are equal under this order.
inline bool RanksAfter(const RankSlot &a, const RankSlot &b)
{
    return a.Key < b.Key || (a.Key == b.Key && a.Found > b.Found);
}

/// Moves the slot at index down the heap until no child ranks after it.
void SiftDown(ResultList *list, int32_t index)
{
    RankSlot *heap = list->Heap;
    const int32_t count = list->Count;
    RankSlot slot = heap[index];
    for (;;) {
        int32_t child = 2 * index + 1;
        if (child >= count) break;
        if (child + 1 < count && RanksAfter(heap[child + 1], heap[child])) ++child;
        if (!RanksAfter(heap[child], slot)) break;
        heap[index] = heap[child];
        index = child;
    }
    heap[index] = slot;
}

/// Moves the slot at index up the heap while it ranks after its parent.
void SiftUp(ResultList *list, int32_t index)
{
    RankSlot *heap = list->Heap;
    RankSlot slot = heap[index];
    while (index > 0) {
        int32_t parent = (index - 1) / 2;
        if (!RanksAfter(slot, heap[parent])) break;
        heap[index] = heap[parent];
        index = parent;
    }
    heap[index] = slot;
}

/// The head of the chain of the list's entries that may have this size and last-write
/// time.
FoundFile **TwinBucket(const ResultList *list, uint64_t size, uint64_t time)
{
    // Sizes are often multiples of a cluster and times of a second: the mixing brings
    // their high bits down to the bucket number.
    uint64_t h = size * 0x9E3779B97F4A7C15ull ^ time;
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDull;
    h ^= h >> 33;
    return &list->Twins[(uint32_t)h & list->TwinMask];
}

void AddTwin(ResultList *list, FoundFile *entry)
{
    FoundFile **bucket = TwinBucket(list, entry->Size, entry->Written);
    entry->TwinPrev = nullptr;
    entry->TwinNext = *bucket;
    if (*bucket != nullptr) (*bucket)->TwinPrev = entry;
    *bucket = entry;
}

void RemoveTwin(ResultList *list, FoundFile *entry)
{
    if (entry->TwinPrev != nullptr)
        entry->TwinPrev->TwinNext = entry->TwinNext;
    else
        *TwinBucket(list, entry->Size, entry->Written) = entry->TwinNext;
    if (entry->TwinNext != nullptr) entry->TwinNext->TwinPrev = entry->TwinPrev;
}

}  // namespace

int StartResults(ResultList *list, int n, int mode)
{
    if (list == nullptr) return RESULT_MISSING_ARGUMENT;
    ClearResults(list);
    if (n < 1) n = 1;
    // Twice as many buckets as entries keeps the chains of distinct keys short.
    uint32_t buckets = 2;
    while (buckets < 2 * (uint32_t)n) buckets *= 2;
    list->Heap = (RankSlot *)malloc((size_t)n * sizeof(RankSlot));
    list->Twins = (FoundFile **)calloc(buckets, sizeof(FoundFile *));
    if (list->Heap == nullptr || list->Twins == nullptr) {
        ClearResults(list);
        return ReportError(L"Can't allocate the result list\r\n");
    }
    list->TwinMask = buckets - 1;
    list->Limit = n;
    list->Mode = mode;
    return RESULT_OK;
}

bool WouldPlace(const ResultList *list, uint64_t size, uint64_t time, int onNtfs)
{
    if (list->Limit == 0) return false;
    if (list->Count < list->Limit) return true;
    return RankKey(list->Mode, size, time, onNtfs) > list->Heap[0].Key;
}

bool SameFileInList(const ResultList *list, const FoundFile *candidate)
{
    if (candidate == nullptr || !IsKnownFileId(&candidate->Id) || list->Twins == nullptr)
        return false;
    // One file under two names has one size and one set of times: only such a twin has
    // its identity compared, and the identities are the ones the listing gave.
    for (const FoundFile *entry = *TwinBucket(list, candidate->Size, candidate->Written);
         entry != nullptr; entry = entry->TwinNext)
        if (entry->Size == candidate->Size && entry->Written == candidate->Written &&
            IsSameFile(&entry->Id, &candidate->Id))
            return true;
    return false;
}

void OfferResult(ResultList *list, FoundFile *entry)
{
    if (entry == nullptr) return;
    uint64_t key = RankKey(list->Mode, entry->Size, entry->Time, entry->OnNtfs);
    if (list->Limit == 0 || (list->Count == list->Limit && key <= list->Heap[0].Key)) {
        DropFoundFile(list, entry);
        return;
    }
    list->Head = nullptr;
    list->Tail = nullptr;
    entry->Next = nullptr;
    entry->Prev = nullptr;
    RankSlot slot = {key, list->Offered++, entry};
    if (list->Count < list->Limit) {
        list->Heap[list->Count] = slot;
        ++list->Count;
        SiftUp(list, list->Count - 1);
    } else {
        FoundFile *worst = list->Heap[0].Entry;
        RemoveTwin(list, worst);
        DropFoundFile(list, worst);
        list->Heap[0] = slot;
        SiftDown(list, 0);
    }
    AddTwin(list, entry);
}

void OrderResults(ResultList *list)
{
    if (list->Count == 0) return;
    // Worst first: a list sorted so is still a heap, so offers may go on afterwards.
    std::sort(list->Heap, list->Heap + list->Count,
              [](const RankSlot &a, const RankSlot &b) { return RanksAfter(a, b); });
    FoundFile *better = nullptr;
    for (int32_t i = list->Count - 1; i >= 0; --i) {
        FoundFile *entry = list->Heap[i].Entry;
        entry->Prev = better;
        entry->Next = nullptr;
        if (better != nullptr) better->Next = entry;
        better = entry;
    }
    list->Head = list->Heap[list->Count - 1].Entry;
    list->Tail = list->Heap[0].Entry;
}

void ClearResults(ResultList *list)
{
    if (list == nullptr) return;
    for (int32_t i = 0; i < list->Count; ++i) FreeMem(list->Heap[i].Entry);
    if (list->Spare != nullptr) FreeMem(list->Spare);
    free(list->Heap);
    free(list->Twins);
    memset(list, 0, sizeof(*list));
}
