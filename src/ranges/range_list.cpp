// The range list's nodes.
#include "ranges/range_list.h"

#include <stdlib.h>
#include <string.h>

#include "ranges/range_hooks.h"

RangeFilter *NewRangeNode(size_t recordSize, size_t patternChars, wchar_t kind)
{
    if (RangeHooks.FailAllocations) return nullptr;
    if (recordSize < sizeof(RangeFilter)) return nullptr;
    if (patternChars > (SIZE_MAX - recordSize) / sizeof(wchar_t)) return nullptr;
    size_t size = recordSize + patternChars * sizeof(wchar_t);
    RangeFilter *node = (RangeFilter *)malloc(size);
    if (node == nullptr) return nullptr;
    memset(node, 0, size);
    node->Kind = kind;
    return node;
}

void PushRange(RangeList *list, RangeFilter *node)
{
    if (list == nullptr || node == nullptr) return;
    node->Next = *list;
    *list = node;
}

void FreeRanges(RangeList *list)
{
    if (list == nullptr) return;
    RangeFilter *node = *list;
    while (node) {
        RangeFilter *next = node->Next;
        free(node);
        node = next;
    }
    *list = nullptr;
}
