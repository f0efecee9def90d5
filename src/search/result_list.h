// The bounded list of the n best candidates of a scan, best first.
#ifndef VESK_RESULT_LIST_H
#define VESK_RESULT_LIST_H

#include <stdint.h>
#include <wchar.h>

#include "platform/platform.h"

/// Ranking criteria.
enum { MODE_LARGEST = 1, MODE_SMALLEST = 2, MODE_OLDEST = 3, MODE_NEWEST = 4 };

/// One entry: a single block of the shell's memory with the name inline.
struct FoundFile {
    FoundFile *Next;  ///< toward the worse end
    FoundFile *Prev;  ///< toward the better end
    uint64_t Size;
    uint64_t Time;    ///< Windows file time, UTC
    int32_t OnFat;
    int32_t OnNtfs;
    FileId Id;        ///< volume and file id from the listing; a zero file id: unknown
    wchar_t Name[1];  ///< the block extends to hold the whole name and its terminator
};

struct ResultListRecord {
    FoundFile *Head;
    FoundFile *Tail;
    int32_t Count;  ///< entries placed by the current or last scan; survives ClearResults
};

extern ResultListRecord ResultList;

/// A new entry from the shell's AllocMem (release with FreeMem, or hand to OfferResult),
/// or null when name is null or empty or memory is exhausted. Its identity is unknown,
/// so it is never taken for another name of an entry in the list.
FoundFile *NewFoundFile(const wchar_t *name, uint64_t size, uint64_t time, int onFat,
                        int onNtfs);
/// NewFoundFile with the identity the listing gave (copied; null for unknown).
FoundFile *NewFoundFileWithId(const wchar_t *name, const FileId *id, uint64_t size,
                              uint64_t time, int onFat, int onNtfs);
/// True when a candidate of this size and time ranks strictly before entry. Under the
/// time modes a time Windows cannot convert beats nothing and every valid time beats it,
/// so such files rank last, in the order they were found.
bool BeatsEntry(int mode, uint64_t size, uint64_t time, const FoundFile *entry);
/// True when a candidate of this size and time would be placed by OfferResult now.
bool WouldPlace(int n, int mode, uint64_t size, uint64_t time);
/// True when candidate is a file or directory already in the list under another name:
/// an entry of the same size, time and known identity. Asks the file system nothing.
bool SameFileInList(const FoundFile *candidate);
/// Places entry in the list, which takes it over, or releases it. n is at least 1.
void OfferResult(FoundFile *entry, int n, int mode);
/// Releases entries from the tail while Count exceeds n.
void TrimResults(int n);
/// Releases every entry; Count keeps its value.
void ClearResults(void);

#endif
