// Range filters of one VESK command and the test of one found file against them.
#ifndef VESK_RANGE_LIST_H
#define VESK_RANGE_LIST_H

#include <stdint.h>
#include <wchar.h>

#include "platform/platform.h"

/// Common head of every node. The kind's fields follow in the records below; a node is
/// one malloc block, sized exactly (patterns inline), released with free.
struct RangeFilter {
    RangeFilter *Next;
    wchar_t Kind;  ///< 'S', '!', 'D', 'T', 'W', 'I' or 'O'
};

/// The list: a pointer to the first node, null when empty. Nodes are pushed at the front.
typedef RangeFilter *RangeList;

/// WhichTime values: the file time a range tests.
enum { TIME_LAST_WRITE = 0, TIME_LAST_ACCESS = 1, TIME_CREATION = 2 };

struct SizeRange {
    RangeFilter Head;
    int32_t Negate;
    uint64_t MinSize;
    uint64_t MaxSize;
};

struct ExclusionRange {
    RangeFilter Head;
    wchar_t Pattern[1];
};

struct DateRange {
    RangeFilter Head;
    int32_t Negate;
    uint16_t WhichTime;
    uint32_t FirstDay;
    uint32_t LastDay;
    uint32_t FirstSecond;
    uint32_t LastSecond;  ///< 4294967295: to the end of LastDay
};

struct TimeRange {
    RangeFilter Head;
    int32_t Negate;
    uint16_t WhichTime;
    uint32_t FirstSecond;
    uint32_t LastSecond;
};

struct WeekdayRange {
    RangeFilter Head;
    uint16_t WhichTime;
    uint16_t DayMask;  ///< bit 0 Sunday .. bit 6 Saturday; never 0
};

/// Description ('I') and owner ('O') nodes.
struct TextRange {
    RangeFilter Head;
    int32_t Negate;
    wchar_t Pattern[1];
};

/// Allocates a zeroed node of kind, recordSize bytes of fixed fields followed by
/// patternChars characters of inline text (the pattern and its terminator; 0 for kinds
/// without a pattern). A pattern kind passes offsetof(record, Pattern) as recordSize, so
/// the block holds exactly what the node needs. Null when exhausted; free with free().
RangeFilter *NewRangeNode(size_t recordSize, size_t patternChars, wchar_t kind);
/// Pushes node at the front of list.
void PushRange(RangeList *list, RangeFilter *node);
/// Frees every node and empties the list.
void FreeRanges(RangeList *list);

/// 0 when the file passes every node (or the list is empty), 1 when one rejects it,
/// -1 when data or directory is null. directory is the folder that holds the file.
int MatchRanges(const WIN32_FIND_DATAW *data, const RangeFilter *list, const wchar_t *directory);

/// Appends name to directory (a buffer of 16384 characters), with a separator unless
/// one is there. 0, or -1 for a missing argument or a result that would not fit (the
/// directory is then unchanged).
int JoinPath(wchar_t *directory, const wchar_t *name);

/// The description the shell keeps for path, into out (8192 characters), asked for under
/// CallSyntax. 0 on success; 2 for an empty path or one that names nothing; 111 when the
/// path is too long for the shell expression, cannot be written exactly under the
/// settings, or the expansion fails; -1 for missing or equal arguments. out is
/// written only on success.
int GetDescription(const wchar_t *path, wchar_t *out);

/// "domain\account" of path's owner into out (8192 characters) when both parts are
/// known. 0 when looked up, 1 when not, -1 for a missing argument.
int GetOwner(const wchar_t *path, wchar_t *out);

/// Day number of a Gregorian date; 1 January 1601 is day 1. month 1..12, year >= 1601.
uint32_t DayNumber(uint32_t year, uint32_t month, uint32_t day);

#endif
