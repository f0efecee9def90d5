#include "search/result_list.h"

#include <stddef.h>
#include <string.h>

#include "plugin/host_api.h"

ResultListRecord ResultList = {nullptr, nullptr, 0};

namespace {

/// Longest name an entry takes: the walk's path limit.
const size_t MAX_NAME_LEN = 16383;

}  // namespace

FoundFile *NewFoundFileAt(const wchar_t *name, const wchar_t *path, uint64_t size,
                          uint64_t time, int onFat, int onNtfs)
{
    if (name == nullptr || name[0] == L'\0') return nullptr;
    size_t len = wcsnlen(name, MAX_NAME_LEN + 1);
    if (len > MAX_NAME_LEN) return nullptr;
    bool samePath = path == nullptr || wcscmp(path, name) == 0;
    size_t pathLen = samePath ? 0 : wcsnlen(path, MAX_NAME_LEN + 1);
    if (pathLen > MAX_NAME_LEN) return nullptr;
    size_t chars = len + 1 + (samePath ? 0 : pathLen + 1);
    size_t bytes = offsetof(FoundFile, Name) + chars * sizeof(wchar_t);
    FoundFile *entry = (FoundFile *)AllocMem((unsigned int)bytes);
    if (entry == nullptr) return nullptr;
    entry->Next = nullptr;
    entry->Prev = nullptr;
    entry->Size = size;
    entry->Time = time;
    entry->OnFat = onFat;
    entry->OnNtfs = onNtfs;
    entry->Id.Volume = 0;
    entry->Id.Index = 0;
    entry->IdState = path == nullptr ? -1 : 0;
    memcpy(entry->Name, name, (len + 1) * sizeof(wchar_t));
    if (path == nullptr) {
        entry->Path = nullptr;
    } else if (samePath) {
        entry->Path = entry->Name;
    } else {
        wchar_t *copy = entry->Name + len + 1;
        memcpy(copy, path, (pathLen + 1) * sizeof(wchar_t));
        entry->Path = copy;
    }
    return entry;
}

FoundFile *NewFoundFile(const wchar_t *name, uint64_t size, uint64_t time, int onFat,
                        int onNtfs)
{
    return NewFoundFileAt(name, nullptr, size, time, onFat, onNtfs);
}

bool BeatsEntry(int mode, uint64_t size, uint64_t time, const FoundFile *entry)
{
    switch (mode) {
    case MODE_SMALLEST: return size < entry->Size;
    case MODE_OLDEST:
        if (!IsValidFileTime(time)) return false;
        return !IsValidFileTime(entry->Time) || time < entry->Time;
    case MODE_NEWEST:
        if (!IsValidFileTime(time)) return false;
        return !IsValidFileTime(entry->Time) || time > entry->Time;
    default: return size > entry->Size;
    }
}

bool WouldPlace(int n, int mode, uint64_t size, uint64_t time)
{
    if (n < 1) n = 1;
    if (ResultList.Tail == nullptr || ResultList.Count < n) return true;
    return BeatsEntry(mode, size, time, ResultList.Tail);
}

namespace {

/// The entry's identity, asked for once. False when it cannot be had.
bool EntryId(FoundFile *entry)
{
    if (entry->IdState == 0)
        entry->IdState = entry->Path != nullptr && GetDirectoryId(entry->Path, &entry->Id) ? 1 : -1;
    return entry->IdState == 1;
}

}  // namespace

bool SameFileInList(FoundFile *candidate)
{
    if (candidate == nullptr || candidate->IdState < 0) return false;
    // One file under two names has one size and one set of times: only such a twin
    // costs a look at the file system.
    for (FoundFile *entry = ResultList.Head; entry != nullptr; entry = entry->Next) {
        if (entry->Size != candidate->Size || entry->Time != candidate->Time) continue;
        if (entry->IdState < 0 || !EntryId(entry)) continue;
        if (!EntryId(candidate)) return false;
        if (entry->Id.Volume == candidate->Id.Volume && entry->Id.Index == candidate->Id.Index)
            return true;
    }
    return false;
}

void TrimResults(int n)
{
    while (ResultList.Count > n && ResultList.Tail != nullptr) {
        FoundFile *old = ResultList.Tail;
        ResultList.Tail = old->Prev;
        if (ResultList.Tail != nullptr)
            ResultList.Tail->Next = nullptr;
        else
            ResultList.Head = nullptr;
        FreeMem(old);
        --ResultList.Count;
    }
}

void OfferResult(FoundFile *entry, int n, int mode)
{
    if (entry == nullptr) return;
    if (n < 1) n = 1;
    entry->Next = nullptr;
    entry->Prev = nullptr;

    FoundFile *head = ResultList.Head;
    if (head == nullptr) {
        ResultList.Head = entry;
        ResultList.Tail = entry;
        ResultList.Count = 1;
        return;
    }
    if (BeatsEntry(mode, entry->Size, entry->Time, head)) {
        entry->Next = head;
        head->Prev = entry;
        ResultList.Head = entry;
        ++ResultList.Count;
        if (ResultList.Count > n) TrimResults(n);
        return;
    }
    FoundFile *tail = ResultList.Tail;
    if (!BeatsEntry(mode, entry->Size, entry->Time, tail)) {
        if (ResultList.Count < n) {
            entry->Prev = tail;
            tail->Next = entry;
            ResultList.Tail = entry;
            ++ResultList.Count;
        } else {
            FreeMem(entry);
        }
        return;
    }
    // It beats the tail but not the head, so the walk stops at the tail at the latest
    // and the entry before the stop exists.
    FoundFile *at = head->Next;
    while (!BeatsEntry(mode, entry->Size, entry->Time, at)) at = at->Next;
    entry->Prev = at->Prev;
    entry->Next = at;
    at->Prev->Next = entry;
    at->Prev = entry;
    ++ResultList.Count;
    if (ResultList.Count > n) TrimResults(n);
}

void ClearResults(void)
{
    FoundFile *entry = ResultList.Head;
    while (entry != nullptr) {
        FoundFile *next = entry->Next;
        FreeMem(entry);
        entry = next;
    }
    ResultList.Head = nullptr;
    ResultList.Tail = nullptr;
}
