// The bounded list of the n best candidates of a scan. While a scan offers, the entries
// form a heap with the worst on top, so that an offer costs log n comparisons whatever
// order the files come in; OrderResults then links them best first for the reader. The
// heap holds each entry's rank as one number beside its pointer, so that a comparison
// reads no entry; and the block of an entry that leaves is kept for the next candidate,
// so that a scan whose files keep placing allocates nothing per file.
#ifndef VESK_RESULT_LIST_H
#define VESK_RESULT_LIST_H

#include <stdint.h>
#include <wchar.h>

#include "platform/platform.h"

/// Ranking criteria.
enum { MODE_LARGEST = 1, MODE_SMALLEST = 2, MODE_OLDEST = 3, MODE_NEWEST = 4 };

/// One entry: a single block of the shell's memory with the name inline.
struct FoundFile {
    FoundFile *Next;  ///< toward the worse end, once OrderResults has linked the list
    FoundFile *Prev;  ///< toward the better end, once OrderResults has linked the list
    uint64_t Size;
    uint64_t Time;    ///< Windows file time, UTC
    int32_t OnFat;
    int32_t OnNtfs;
    FileId Id;            ///< volume and file id from the listing; a zero file id: unknown
    uint64_t Written;     ///< last-write time: with Size and Id what tells a file met twice
    FoundFile *TwinNext;  ///< other entries of the list in its bucket of size and Written
    FoundFile *TwinPrev;
    /// Where it was found, its full path (Name itself, or a copy after it in the block),
    /// kept only where Id may name another file too (IsTrustedFileId is false); null
    /// otherwise, and where the caller gave no path.
    const wchar_t *Path;
    /// Path as the system resolves it, once the twin check has asked (malloc); freed
    /// with the entry by the list, which alone asks it of its own entries.
    wchar_t *Resolved;
    uint32_t Room;    ///< characters the block holds from Name on, terminators included
    wchar_t Name[1];  ///< the block extends to hold the whole name and its terminator
};

/// An entry's place in the heap: its rank under the list's criterion as one number
/// (RankKey: the greater ranks first) and the number of its offer (of two equal keys the
/// earlier ranks first).
struct RankSlot {
    uint64_t Key;
    uint64_t Found;
    FoundFile *Entry;
};

/// The n best entries offered so far. It belongs to whoever starts the scan: zero it, call
/// StartResults, hand it to the scans, call OrderResults, read it from Head along Next,
/// and release it with ClearResults on every path.
struct ResultList {
    FoundFile *Head;  ///< the best entry once OrderResults has run; null before, and when empty
    FoundFile *Tail;  ///< the worst entry once OrderResults has run
    int32_t Count;    ///< entries held
    int32_t Limit;    ///< n: at most this many are held; 0 until started
    int32_t Mode;
    uint64_t Offered;     ///< entries placed so far, the next one's Found
    RankSlot *Heap;       ///< Limit slots (malloc), Count in use, the worst at [0]
    FoundFile **Twins;    ///< TwinMask + 1 bucket heads (malloc), by size and Written
    uint32_t TwinMask;
    FoundFile *Spare;     ///< the block of an entry that left, for the next candidate; or null
};

/// A new entry from the shell's AllocMem (release with FreeMem, or hand to OfferResult),
/// or null when name is null or empty or memory is exhausted. Its identity is unknown,
/// so it is never taken for another name of an entry in the list.
FoundFile *NewFoundFile(const wchar_t *name, uint64_t size, uint64_t time, int onFat,
                        int onNtfs);
/// NewFoundFile with the identity the listing gave (copied; null for unknown) and path,
/// the full path it was found at (it may be name itself; null for unknown), which the
/// entry keeps where the identity may name another file too.
FoundFile *NewFoundFileWithId(const wchar_t *name, const wchar_t *path, const FileId *id,
                              uint64_t size, uint64_t time, int onFat, int onNtfs);
/// NewFoundFileWithId in the block of an entry that left list, where that block holds the
/// name and path (nothing is allocated then), else in a new one. Hand it to OfferResult,
/// or give it back with DropFoundFile (FreeMem also releases it).
FoundFile *TakeFoundFile(ResultList *list, const wchar_t *name, const wchar_t *path,
                         const FileId *id, uint64_t size, uint64_t time, int onFat, int onNtfs);
/// Gives back an entry that is not offered: list keeps its block for the next
/// TakeFoundFile (at most one block, the larger) and frees the other. Null does nothing.
void DropFoundFile(ResultList *list, FoundFile *entry);

/// Releases what list holds and makes it an empty list of at most n entries (1 when n is
/// lower) ranked by mode. RESULT_OK; RESULT_FAILED after reporting that memory is
/// exhausted (the list then takes nothing); RESULT_MISSING_ARGUMENT when list is null.
int StartResults(ResultList *list, int n, int mode);
/// The rank of a candidate of this size and time (and OnNtfs flag) under mode as one
/// number: the greater ranks strictly before the lesser, and equal numbers are equal ranks.
/// Under the time modes a time the stamp cannot show is 0.
uint64_t RankKey(int mode, uint64_t size, uint64_t time, int onNtfs);
/// True when a candidate of this size and time, on a volume with this OnNtfs flag, ranks
/// strictly before entry. Under the time modes a time the default stamp shows as
/// "(invalid time)" (IsShownTimeValid, in the zone of the moment) beats nothing and every
/// other time beats it, so such files rank last, in the order they were found.
bool BeatsEntry(int mode, uint64_t size, uint64_t time, int onNtfs, const FoundFile *entry);
/// True when a candidate of this size and time (and OnNtfs flag) would be placed by
/// OfferResult now.
bool WouldPlace(const ResultList *list, uint64_t size, uint64_t time, int onNtfs);
/// True when candidate is a file or directory already in the list under another name:
/// an entry of the same size and last-write time (Written, never the time ranked by,
/// which the scan itself may move) that is the same file. Trusted identities
/// (IsTrustedFileId) tell that alone, without asking the file system. Where either may
/// name another file too, identities that are both known must be equal, and the two
/// paths must be one text, or (ids known) resolve to one: GetResolvedPath, asked only of
/// such twins, once per candidate and once per entry. Two names of one file that do not
/// resolve alike (hard links) then stay two entries, as two files whose ids repeat do.
bool SameFileInList(ResultList *list, const FoundFile *candidate);
/// Places entry in the list, which takes it over, or gives it back (DropFoundFile); the
/// worst entry makes way when the list is full, its block kept for the next TakeFoundFile.
/// Head and Tail are null until the next OrderResults.
void OfferResult(ResultList *list, FoundFile *entry);
/// Links the entries best first from Head along Next to Tail (among equals, the one
/// offered first ranks first). The list can take further offers afterwards.
void OrderResults(ResultList *list);
/// Releases every entry, the spare block and the list's own memory; the list is zero again.
void ClearResults(ResultList *list);

#endif
