// Range filters of one VESK command: the nodes and the list that holds them.
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

#endif
