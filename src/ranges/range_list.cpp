// The range list's nodes, and the day numbers shared by the date, time and weekday code.
#include "ranges/range_list.h"

#include <stdlib.h>
#include <string.h>

#include "ranges/range_internal.h"

RangeTestHooks RangeHooks = {-1, nullptr, 0};

RangeFilter *NewRangeNode(size_t recordSize, size_t patternChars, wchar_t kind)
{
    if (RangeHooks.FailAllocations) return nullptr;
    if (recordSize < sizeof(RangeFilter)) return nullptr;
    if (patternChars > (SIZE_MAX - recordSize) / sizeof(wchar_t)) return nullptr;
    size_t size = recordSize + patternChars * sizeof(wchar_t);
    RangeFilter *node = (RangeFilter *)malloc(size);
    if (!node) return nullptr;
    memset(node, 0, size);
    node->Kind = kind;
    return node;
}

void PushRange(RangeList *list, RangeFilter *node)
{
    if (!list || !node) return;
    node->Next = *list;
    *list = node;
}

void FreeRanges(RangeList *list)
{
    if (!list) return;
    RangeFilter *node = *list;
    while (node) {
        RangeFilter *next = node->Next;
        free(node);
        node = next;
    }
    *list = nullptr;
}


// Days of the year before the first of each month: [month - 1][leap].
static const uint16_t DaysBefore[12][2] = {
    {0, 0},     {31, 31},   {59, 60},   {90, 91},   {120, 121}, {151, 152},
    {181, 182}, {212, 213}, {243, 244}, {273, 274}, {304, 305}, {334, 335},
};

uint32_t DayNumber(uint32_t year, uint32_t month, uint32_t day)
{
    uint32_t leap = year % 400 == 0 ? 1 : year % 100 == 0 ? 0 : year % 4 == 0 ? 1 : 0;
    uint32_t c = year - 1601;
    // The callers guarantee the month; a stray one must still not read past the table.
    uint32_t before = month >= 1 && month <= 12 ? DaysBefore[month - 1][leap] : 0;
    return 365 * c + c / 4 - c / 100 + c / 400 + before + day;
}
