#include <gtest/gtest.h>

#include <stddef.h>

#include <string>

#include "range_test_util.h"

namespace {

TEST(RangeListTest, NodesArePushedAtTheFrontAndFreed)
{
    RangeList list = nullptr;
    const wchar_t kinds[] = {L'S', L'T', L'W'};
    for (wchar_t kind : kinds) {
        RangeFilter *node = NewRangeNode(sizeof(SizeRange), 0, kind);
        ASSERT_NE(nullptr, node);
        EXPECT_EQ(kind, node->Kind);
        PushRange(&list, node);
    }
    ASSERT_EQ(3, rangetest::Length(list));
    EXPECT_EQ(L'W', list->Kind);
    EXPECT_EQ(L'T', list->Next->Kind);
    EXPECT_EQ(L'S', list->Next->Next->Kind);
    FreeRanges(&list);
    EXPECT_EQ(nullptr, list);
    FreeRanges(&list);     // an empty list frees nothing
    FreeRanges(nullptr);   // and a missing one is ignored
    PushRange(nullptr, nullptr);
}

TEST(RangeListTest, NodeSizeRefusesOverflowAndTooSmallRecords)
{
    EXPECT_EQ(nullptr, NewRangeNode(1, 0, L'S'));
    EXPECT_EQ(nullptr, NewRangeNode(offsetof(TextRange, Pattern), SIZE_MAX / 2, L'I'));
    // A pattern node holds exactly the pattern; the sanitizer catches a write past it.
    RangeFilter *node = NewRangeNode(offsetof(TextRange, Pattern), 1, L'I');
    ASSERT_NE(nullptr, node);
    EXPECT_EQ(L'\0', ((TextRange *)node)->Pattern[0]);
    free(node);
}

}  // namespace
