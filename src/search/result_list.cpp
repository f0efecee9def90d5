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

/// What an entry holds inline: its name, and the full path where it was found when
/// that is another text and its identity may name another file too.
struct EntryText {
    const wchar_t *Name;
    size_t Len;
    const wchar_t *Path;  ///< null when none is kept
    size_t PathLen;       ///< 0 when Path is Name itself or none is kept
    FileId Id;
};

/// The length of text, or 0 when it is null, empty or longer than an entry takes.
size_t EntryTextLength(const wchar_t *text)
{
    if (text == nullptr) return 0;
    size_t len = wcsnlen(text, MAX_NAME_LEN + 1);
    return len > MAX_NAME_LEN ? 0 : len;
}

/// Reads what an entry of name, path and id holds. False when name is null, empty or
/// too long, or the path kept is too long.
bool ReadEntryText(const wchar_t *name, const wchar_t *path, const FileId *id, EntryText *text)
{
    text->Name = name;
    text->Len = EntryTextLength(name);
    if (text->Len == 0) return false;
    memset(&text->Id, 0, sizeof text->Id);
    if (id != nullptr) text->Id = *id;
    // Only an identity that may name another file needs the path to be told apart.
    if (IsTrustedFileId(&text->Id) || (path != nullptr && path[0] == L'\0')) path = nullptr;
    text->Path = path;
    text->PathLen = 0;
    if (path != nullptr && path != name) {
        text->PathLen = EntryTextLength(path);
        if (text->PathLen == 0) return false;
    }
    return true;
}

/// Characters an entry of text takes, terminators included.
size_t EntryChars(const EntryText *text)
{
    return text->Len + 1 + (text->PathLen != 0 ? text->PathLen + 1 : 0);
}

/// Fills entry, whose room holds text.
FoundFile *FillFoundFile(FoundFile *entry, const EntryText *text, uint64_t size, uint64_t time,
                         int onFat, int onNtfs)
{
    entry->Next = nullptr;
    entry->Prev = nullptr;
    entry->Size = size;
    entry->Time = time;
    entry->OnFat = onFat;
    entry->OnNtfs = onNtfs;
    entry->Id = text->Id;
    entry->Written = time;
    entry->TwinNext = nullptr;
    entry->TwinPrev = nullptr;
    entry->Resolved = nullptr;
    memcpy(entry->Name, text->Name, (text->Len + 1) * sizeof(wchar_t));
    entry->Path = text->Path == nullptr ? nullptr : entry->Name;
    if (text->PathLen != 0) {
        wchar_t *copy = entry->Name + text->Len + 1;
        memcpy(copy, text->Path, (text->PathLen + 1) * sizeof(wchar_t));
        entry->Path = copy;
    }
    return entry;
}

/// Marks an entry whose path the system could not resolve.
wchar_t Unresolved[1];

/// Frees what the twin check kept for entry.
void ForgetResolved(FoundFile *entry)
{
    if (entry->Resolved != Unresolved) free(entry->Resolved);
    entry->Resolved = nullptr;
}

/// A new block whose room holds chars characters, or null.
FoundFile *AllocFoundFile(size_t chars)
{
    size_t room = (chars + ROOM_STEP - 1) / ROOM_STEP * ROOM_STEP;
    size_t bytes = offsetof(FoundFile, Name) + room * sizeof(wchar_t);
    FoundFile *entry = (FoundFile *)AllocMem((unsigned int)bytes);
    if (entry != nullptr) entry->Room = (uint32_t)room;
    return entry;
}

}  // namespace

FoundFile *NewFoundFileWithId(const wchar_t *name, const wchar_t *path, const FileId *id,
                              uint64_t size, uint64_t time, int onFat, int onNtfs)
{
    EntryText text;
    if (!ReadEntryText(name, path, id, &text)) return nullptr;
    FoundFile *entry = AllocFoundFile(EntryChars(&text));
    if (entry == nullptr) return nullptr;
    return FillFoundFile(entry, &text, size, time, onFat, onNtfs);
}

FoundFile *TakeFoundFile(ResultList *list, const wchar_t *name, const wchar_t *path,
                         const FileId *id, uint64_t size, uint64_t time, int onFat, int onNtfs)
{
    EntryText text;
    if (!ReadEntryText(name, path, id, &text)) return nullptr;
    size_t chars = EntryChars(&text);
    FoundFile *entry = list->Spare;
    if (entry != nullptr && entry->Room >= chars) {
        list->Spare = nullptr;
    } else {
        entry = AllocFoundFile(chars);
        if (entry == nullptr) return nullptr;
    }
    return FillFoundFile(entry, &text, size, time, onFat, onNtfs);
}

void DropFoundFile(ResultList *list, FoundFile *entry)
{
    if (entry == nullptr) return;
    ForgetResolved(entry);
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
    return NewFoundFileWithId(name, nullptr, nullptr, size, time, onFat, onNtfs);
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

namespace {

/// What two entries whose identities may name other files too tell of themselves.
enum PlaceVerdict { OTHER_FILE, SAME_FILE, ASK_SYSTEM };

/// Known ids that differ are two files whatever their volume, and one path is one file
/// within a command. Two texts of a path name one file where they resolve alike: that is
/// asked only of entries whose known ids are equal too, as another name of one file has,
/// so that many files of no known id and one size and time cost no opens.
PlaceVerdict ComparePlaces(const FoundFile *a, const FoundFile *b)
{
    if (a->Path == nullptr || b->Path == nullptr || a->Id.Volume != b->Id.Volume)
        return OTHER_FILE;
    bool known = IsKnownFileId(&a->Id) && IsKnownFileId(&b->Id);
    if (known && (a->Id.FileLow != b->Id.FileLow || a->Id.FileHigh != b->Id.FileHigh))
        return OTHER_FILE;
    if (wcscmp(a->Path, b->Path) == 0) return SAME_FILE;
    return known ? ASK_SYSTEM : OTHER_FILE;
}

/// What entry's path resolves to, asked once and kept in the entry (scratch holds
/// PATH_BUFFER_LEN characters); null when the system cannot tell it.
const wchar_t *ResolvedPathOf(FoundFile *entry, wchar_t *scratch)
{
    if (entry->Resolved == nullptr) {
        entry->Resolved = Unresolved;
        if (GetResolvedPath(entry->Path, scratch, PATH_BUFFER_LEN)) {
            size_t len = wcslen(scratch);
            wchar_t *copy = (wchar_t *)malloc((len + 1) * sizeof(wchar_t));
            if (copy != nullptr) {
                wmemcpy(copy, scratch, len + 1);
                entry->Resolved = copy;
            }
        }
    }
    return entry->Resolved == Unresolved ? nullptr : entry->Resolved;
}

}  // namespace

bool SameFileInList(ResultList *list, const FoundFile *candidate)
{
    if (candidate == nullptr || list->Twins == nullptr) return false;
    bool trusted = IsTrustedFileId(&candidate->Id);
    if (!trusted && candidate->Path == nullptr) return false;
    // One file under two names has one size and one set of times: only such a twin has
    // its identity compared, and the identities are the ones the listing gave. A trusted
    // identity and one that is not lie on two volumes, which no one file does.
    bool same = false;
    wchar_t *resolved = nullptr;  // the candidate's resolved path, then room for an entry's
    const wchar_t *mine = nullptr;
    for (FoundFile *entry = *TwinBucket(list, candidate->Size, candidate->Written);
         entry != nullptr && !same; entry = entry->TwinNext) {
        if (entry->Size != candidate->Size || entry->Written != candidate->Written) continue;
        if (trusted) {
            same = IsSameFile(&entry->Id, &candidate->Id);
            continue;
        }
        PlaceVerdict verdict = ComparePlaces(entry, candidate);
        same = verdict == SAME_FILE;
        if (verdict != ASK_SYSTEM) continue;
        if (resolved == nullptr) {
            resolved = (wchar_t *)malloc(2 * PATH_BUFFER_LEN * sizeof(wchar_t));
            if (resolved == nullptr) break;
            if (GetResolvedPath(candidate->Path, resolved, PATH_BUFFER_LEN)) mine = resolved;
        }
        const wchar_t *theirs = mine ? ResolvedPathOf(entry, resolved + PATH_BUFFER_LEN) : nullptr;
        same = theirs != nullptr && wcscmp(theirs, mine) == 0;
    }
    free(resolved);
    return same;
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
    for (int32_t i = 0; i < list->Count; ++i) {
        ForgetResolved(list->Heap[i].Entry);
        FreeMem(list->Heap[i].Entry);
    }
    if (list->Spare != nullptr) FreeMem(list->Spare);
    free(list->Heap);
    free(list->Twins);
    memset(list, 0, sizeof(*list));
}
