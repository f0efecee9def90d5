#include "search/result_list.h"

#include <stddef.h>
#include <string.h>

#include "plugin/host_api.h"

ResultListRecord ResultList = {nullptr, nullptr, 0};

namespace {

/// Longest name an entry takes: the walk's path limit.
const size_t MAX_NAME_LEN = 16383;

}  // namespace

FoundFile *NewFoundFileWithId(const wchar_t *name, const FileId *id, uint64_t size,
                              uint64_t time, int onFat, int onNtfs)
{
    if (name == nullptr || name[0] == L'\0') return nullptr;
    size_t len = wcsnlen(name, MAX_NAME_LEN + 1);
    if (len > MAX_NAME_LEN) return nullptr;
    size_t bytes = offsetof(FoundFile, Name) + (len + 1) * sizeof(wchar_t);
    FoundFile *entry = (FoundFile *)AllocMem((unsigned int)bytes);
    if (entry == nullptr) return nullptr;
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
    memcpy(entry->Name, name, (len + 1) * sizeof(wchar_t));
    return entry;
}

FoundFile *NewFoundFile(const wchar_t *name, uint64_t size, uint64_t time, int onFat,
                        int onNtfs)
{
    return NewFoundFileWithId(name, nullptr, size, time, onFat, onNtfs);
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

bool SameFileInList(const FoundFile *candidate)
{
    if (candidate == nullptr || !IsKnownFileId(&candidate->Id)) return false;
    // One file under two names has one size and one set of times: only such a twin
    // has its identity compared.
    for (const FoundFile *entry = ResultList.Head; entry != nullptr; entry = entry->Next)
        if (entry->Size == candidate->Size && entry->Time == candidate->Time &&
            IsSameFile(&entry->Id, &candidate->Id))
            return true;
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
