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

}  // namespace

FoundFile *NewFoundFileWithId(const wchar_t *name, const wchar_t *path, const FileId *id,
                              uint64_t size, uint64_t time, int onFat, int onNtfs)
{
    if (name == nullptr || name[0] == L'\0') return nullptr;
    size_t len = wcsnlen(name, MAX_NAME_LEN + 1);
    if (len > MAX_NAME_LEN) return nullptr;
    FileId known = {0, 0, 0};
    if (id != nullptr) known = *id;
    // Only an identity that may name another file needs the path to be told apart.
    if (IsTrustedFileId(&known) || (path != nullptr && path[0] == L'\0')) path = nullptr;
    size_t pathLen = 0;
    if (path != nullptr && path != name) {
        pathLen = wcsnlen(path, MAX_NAME_LEN + 1);
        if (pathLen > MAX_NAME_LEN) return nullptr;
    }
    size_t chars = len + 1 + (pathLen != 0 ? pathLen + 1 : 0);
    size_t bytes = offsetof(FoundFile, Name) + chars * sizeof(wchar_t);
    FoundFile *entry = (FoundFile *)AllocMem((unsigned int)bytes);
    if (entry == nullptr) return nullptr;
    entry->Next = nullptr;
    entry->Prev = nullptr;
    entry->Size = size;
    entry->Time = time;
    entry->OnFat = onFat;
    entry->OnNtfs = onNtfs;
    entry->Id = known;
    entry->Written = time;
    entry->Found = 0;
    entry->TwinNext = nullptr;
    entry->TwinPrev = nullptr;
    entry->Resolved = nullptr;
    memcpy(entry->Name, name, (len + 1) * sizeof(wchar_t));
    entry->Path = path == nullptr ? nullptr : entry->Name;
    if (pathLen != 0) {
        wchar_t *copy = entry->Name + len + 1;
        memcpy(copy, path, (pathLen + 1) * sizeof(wchar_t));
        entry->Path = copy;
    }
    return entry;
}

FoundFile *NewFoundFile(const wchar_t *name, uint64_t size, uint64_t time, int onFat,
                        int onNtfs)
{
    return NewFoundFileWithId(name, nullptr, nullptr, size, time, onFat, onNtfs);
}

bool BeatsEntry(int mode, uint64_t size, uint64_t time, int onNtfs, const FoundFile *entry)
{
    switch (mode) {
    case MODE_SMALLEST: return size < entry->Size;
    case MODE_OLDEST:
        if (!IsShownTimeValid(time, onNtfs)) return false;
        return !IsShownTimeValid(entry->Time, entry->OnNtfs) || time < entry->Time;
    case MODE_NEWEST:
        if (!IsShownTimeValid(time, onNtfs)) return false;
        return !IsShownTimeValid(entry->Time, entry->OnNtfs) || time > entry->Time;
    default: return size > entry->Size;
    }
}

namespace {

/// True when a ranks after b: b beats it, or they are equal and a was offered later.
/// Offers are numbered, so no two entries of a list are equal under this order.
bool RanksAfter(int mode, const FoundFile *a, const FoundFile *b)
{
    if (BeatsEntry(mode, b->Size, b->Time, b->OnNtfs, a)) return true;
    if (BeatsEntry(mode, a->Size, a->Time, a->OnNtfs, b)) return false;
    return a->Found > b->Found;
}

/// Moves the entry at slot down the heap until no child ranks after it.
void SiftDown(ResultList *list, int32_t slot)
{
    FoundFile **heap = list->Heap;
    FoundFile *entry = heap[slot];
    for (;;) {
        int32_t child = 2 * slot + 1;
        if (child >= list->Count) break;
        if (child + 1 < list->Count && RanksAfter(list->Mode, heap[child + 1], heap[child]))
            ++child;
        if (!RanksAfter(list->Mode, heap[child], entry)) break;
        heap[slot] = heap[child];
        slot = child;
    }
    heap[slot] = entry;
}

/// Moves the entry at slot up the heap while it ranks after its parent.
void SiftUp(ResultList *list, int32_t slot)
{
    FoundFile **heap = list->Heap;
    FoundFile *entry = heap[slot];
    while (slot > 0) {
        int32_t parent = (slot - 1) / 2;
        if (!RanksAfter(list->Mode, entry, heap[parent])) break;
        heap[slot] = heap[parent];
        slot = parent;
    }
    heap[slot] = entry;
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
    list->Heap = (FoundFile **)malloc((size_t)n * sizeof(FoundFile *));
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
    return BeatsEntry(list->Mode, size, time, onNtfs, list->Heap[0]);
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

/// Marks an entry whose path the system could not resolve.
wchar_t Unresolved[1];

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

/// Releases an entry of the list and what the twin check kept for it.
void ReleaseEntry(FoundFile *entry)
{
    if (entry->Resolved != Unresolved) free(entry->Resolved);
    FreeMem(entry);
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
    if (!WouldPlace(list, entry->Size, entry->Time, entry->OnNtfs)) {
        FreeMem(entry);
        return;
    }
    list->Head = nullptr;
    list->Tail = nullptr;
    entry->Next = nullptr;
    entry->Prev = nullptr;
    entry->Found = list->Offered++;
    if (list->Count < list->Limit) {
        list->Heap[list->Count] = entry;
        ++list->Count;
        SiftUp(list, list->Count - 1);
    } else {
        FoundFile *worst = list->Heap[0];
        RemoveTwin(list, worst);
        ReleaseEntry(worst);
        list->Heap[0] = entry;
        SiftDown(list, 0);
    }
    AddTwin(list, entry);
}

void OrderResults(ResultList *list)
{
    if (list->Count == 0) return;
    // Worst first: a list sorted so is still a heap, so offers may go on afterwards.
    int mode = list->Mode;
    std::sort(list->Heap, list->Heap + list->Count,
              [mode](const FoundFile *a, const FoundFile *b) { return RanksAfter(mode, a, b); });
    FoundFile *better = nullptr;
    for (int32_t i = list->Count - 1; i >= 0; --i) {
        FoundFile *entry = list->Heap[i];
        entry->Prev = better;
        entry->Next = nullptr;
        if (better != nullptr) better->Next = entry;
        better = entry;
    }
    list->Head = list->Heap[list->Count - 1];
    list->Tail = list->Heap[0];
}

void ClearResults(ResultList *list)
{
    if (list == nullptr) return;
    for (int32_t i = 0; i < list->Count; ++i) ReleaseEntry(list->Heap[i]);
    free(list->Heap);
    free(list->Twins);
    memset(list, 0, sizeof(*list));
}
