// The range option dispatch, and the description and owner parsers it reaches.
#include <gtest/gtest.h>

#include <string>

#include "range_test_util.h"

namespace {

using rangetest::Captured;
using rangetest::Length;

class RangeOptionTest : public rangetest::RangeTest {};

/// The negation a node keeps; -1 for the kinds that keep none.
int NegateOf(const RangeFilter *node)
{
    switch (node->Kind) {
    case L'S': return ((const SizeRange *)node)->Negate;
    case L'D': return ((const DateRange *)node)->Negate;
    case L'T': return ((const TimeRange *)node)->Negate;
    case L'I':
    case L'O': return ((const TextRange *)node)->Negate;
    default: return -1;
    }
}

TEST_F(RangeOptionTest, DescriptionAndOwnerPatterns)
{
    struct {
        wchar_t Kind;
        int Plain;
        const wchar_t *Text;
        const wchar_t *Pattern;  // null: no node
    } cases[] = {
        {L'I', 0, L"*backup*]", L"*backup*"},
        {L'I', 0, L":*backup*]", L"*backup*"},
        {L'I', 0, L"=*backup*]", L"*backup*"},
        {L'I', 0, L"::x]", L":x"},
        {L'I', 0, L":]", L""},
        {L'I', 0, L"]", nullptr},
        {L'I', 0, L"", nullptr},
        {L'I', 0, L"a]]", L"a]"},
        {L'I', 1, L"*backup*", L"*backup*"},
        {L'I', 1, L":*backup*", L"*backup*"},
        {L'I', 1, L"abc]", L"abc]"},
        {L'I', 1, L"]", nullptr},
        {L'I', 1, L"", nullptr},
        {L'I', 1, L"=", L""},
        {L'O', 0, L"*\\root]", L"*\\root"},
        {L'O', 0, L":*\\*]", L"*\\*"},
        {L'O', 0, L"]", nullptr},
        {L'O', 0, L"=]", L""},
        {L'O', 0, L"", L""},
    };
    for (const auto &c : cases) {
        for (int negate = 0; negate < 2; ++negate) {
            std::wstring text = c.Text;
            RangeList list = nullptr;
            int result = c.Kind == L'I' ? ParseDescriptionRange(&text[0], &list, negate, c.Plain)
                                        : ParseOwnerRange(&text[0], &list, negate);
            ASSERT_EQ(0, result) << c.Text;
            if (!c.Pattern) {
                EXPECT_EQ(nullptr, list) << c.Text;
                continue;
            }
            ASSERT_EQ(1, Length(list)) << c.Text;
            const TextRange *node = (const TextRange *)list;
            EXPECT_EQ(c.Kind, node->Head.Kind);
            EXPECT_EQ(negate, node->Negate);
            EXPECT_EQ(std::wstring(c.Pattern), node->Pattern) << c.Text;
            EXPECT_EQ(std::wstring(c.Text), text);  // never upper-cased
            FreeRanges(&list);
        }
    }
    std::wstring text = L"x]";
    EXPECT_EQ(-1, ParseDescriptionRange(nullptr, &List, 0, 0));
    EXPECT_EQ(-1, ParseDescriptionRange(&text[0], nullptr, 0, 0));
    EXPECT_EQ(-1, ParseOwnerRange(nullptr, &List, 0));
    EXPECT_EQ(-1, ParseOwnerRange(&text[0], nullptr, 0));
}

TEST_F(RangeOptionTest, TextPatternIsCutAt8191Characters)
{
    std::wstring text = L":" + std::wstring(RANGE_TEXT_LEN + 50, L'd') + L"]";
    ASSERT_EQ(0, ParseDescriptionRange(&text[0], &List, 0, 0));
    ASSERT_EQ(0, ParseOwnerRange(&text[0], &List, 1));
    for (const RangeFilter *node = List; node; node = node->Next)
        EXPECT_EQ(std::wstring(RANGE_TEXT_LEN - 1, L'd'), ((const TextRange *)node)->Pattern);
}

TEST_F(RangeOptionTest, TextAllocationFailuresAreReported)
{
    RangeHooks.FailAllocations = 1;
    std::wstring a = L"x]", b = L"x]";
    std::wstring err;
    EXPECT_EQ(1, Captured([&] { return ParseDescriptionRange(&a[0], &List, 0, 1); }, &err));
    EXPECT_NE(std::wstring::npos, err.find(L"Can't allocate description range structure\r\n"));
    EXPECT_EQ(1, Captured([&] { return ParseOwnerRange(&b[0], &List, 0); }, &err));
    EXPECT_NE(std::wstring::npos, err.find(L"Can't allocate owner range structure\r\n"));
}

TEST_F(RangeOptionTest, DispatchByKindLetter)
{
    struct {
        const wchar_t *Option;
        wchar_t Kind;  // 0: accepted without a node
        int Negate;
    } cases[] = {
        {L"/[S10k]", L'S', 0},     {L"/[s10k]", L'S', 0},   {L"/![S1M]", L'S', 1},
        {L"/[!*.bak]", L'!', -1},  {L"/![!*.bak]", L'!', -1},
        {L"/[d2024-05-01]", L'D', 0}, {L"/![D-7]", L'D', 1},
        {L"/[t9:00,17:00]", L'T', 0}, {L"/![T9:00]", L'T', 1},
        {L"/[w:Mon]", L'W', -1},   {L"/[iabc]", L'I', 0},   {L"/![I*x*]", L'I', 1},
        {L"/[o*\\root]", L'O', 0}, {L"/![O*\\*]", L'O', 1},
        {L"/[S]", 0, 0}, {L"/[!]", 0, 0}, {L"/[W]", 0, 0}, {L"/[I]", 0, 0}, {L"/[O]", 0, 0},
        {L"/[D]", 0, 0}, {L"/[T]", 0, 0},
    };
    for (const auto &c : cases) {
        std::wstring option = c.Option;
        RangeList list = nullptr;
        ASSERT_EQ(0, ParseRangeOption(&option[0], &list)) << c.Option;
        if (!c.Kind) {
            EXPECT_EQ(nullptr, list) << c.Option;
            continue;
        }
        ASSERT_EQ(1, Length(list)) << c.Option;
        EXPECT_EQ(c.Kind, list->Kind) << c.Option;
        EXPECT_EQ(c.Negate, NegateOf(list)) << c.Option;
        FreeRanges(&list);
    }
}

TEST_F(RangeOptionTest, NegatedWeekdayIsFoldedIntoTheMask)
{
    std::wstring option = L"/![W:Sat,Sun]";
    ASSERT_EQ(0, ParseRangeOption(&option[0], &List));
    EXPECT_EQ(62, ((const WeekdayRange *)List)->DayMask);
}

TEST_F(RangeOptionTest, DispatchErrorsQuoteTheWholeOptionUpperCased)
{
    struct {
        const wchar_t *Option;
        const wchar_t *Message;  // null: result 1 without a message
    } cases[] = {
        {L"/[x1]", L"Unknown range type: \"/[X1]\"\r\n"},
        {L"/[]", L"Unknown range type: \"/[]\"\r\n"},
        {L"/![]", L"Unknown range type: \"/![]\"\r\n"},
        {L"/[S10k", L"Range option must end with ']': \"/[S10K\"\r\n"},
        {L"/[", L"Range option must end with ']': \"/[\"\r\n"},
        {L"/![", L"Range option must end with ']': \"/![\"\r\n"},
        {L"/[s1x]", L"Bad size range: \"1X]\"\r\n"},
        {L"/[t25:00]", L"Bad time range: \"25:00]\"\r\n"},
        {L"/[dx1]", L"Bad date range: \"X1]\"\r\n"},
        {L"/[wmon]", L"Bad day-of-the-week range: \"MON]\"\r\n"},
        {L"/x[S1]", nullptr},
        {L"/", nullptr},
        {L"/!", nullptr},
        {L"x[S1]", nullptr},
        {L"/!!S1]", nullptr},
    };
    for (const auto &c : cases) {
        std::wstring option = c.Option;
        std::wstring err;
        EXPECT_EQ(1, Captured([&] { return ParseRangeOption(&option[0], &List); }, &err))
            << c.Option;
        if (c.Message) {
            EXPECT_NE(std::wstring::npos, err.find(std::wstring(L"Vesk plugin: ") + c.Message))
                << c.Option << ": " << err;
        } else {
            EXPECT_EQ(L"", err) << c.Option;
            EXPECT_EQ(std::wstring(c.Option), option);
        }
    }
    EXPECT_EQ(nullptr, List);
    std::wstring empty;
    empty.resize(1);
    EXPECT_EQ(-1, ParseRangeOption(&empty[0], &List));
    EXPECT_EQ(-1, ParseRangeOption(nullptr, &List));
    std::wstring option = L"/[S1]";
    EXPECT_EQ(-1, ParseRangeOption(&option[0], nullptr));
}

TEST_F(RangeOptionTest, HostileTextNeverOverrunsOrHangs)
{
    const std::wstring longText(3 * RANGE_TEXT_LEN, L'9');
    const std::wstring bodies[] = {
        longText,
        longText + L"]",
        L":" + longText + L"]",
        std::wstring(RANGE_TEXT_LEN, L',') + L"]",
        std::wstring(RANGE_TEXT_LEN, L';') + L"]",
        std::wstring(RANGE_TEXT_LEN, L' ') + L"]",
        std::wstring(RANGE_TEXT_LEN, L'-') + L"]",
        std::wstring(RANGE_TEXT_LEN, L'.') + L"]",
        std::wstring(RANGE_TEXT_LEN, L'@') + L"]",
        std::wstring(RANGE_TEXT_LEN, L']'),
        L":" + std::wstring(2000, L'M') + L"-" + std::wstring(2000, L'F') + L"]",
        L"9:" + longText + L"]",
        L"2024-05-" + longText + L"]",
        L"1/1/" + longText + L"@" + longText + L"]",
        L"]",
        L"",
    };
    const wchar_t kinds[] = {L'S', L'!', L'D', L'T', L'W', L'I', L'O', L'Q'};
    for (const auto &body : bodies) {
        for (wchar_t kind : kinds) {
            for (int negate = 0; negate < 2; ++negate) {
                std::wstring option = std::wstring(negate ? L"/![" : L"/[") + kind + body;
                std::wstring err;
                int result = Captured([&] { return ParseRangeOption(&option[0], &List); }, &err);
                EXPECT_TRUE(result == 0 || result == 1) << (char)kind;
                EXPECT_EQ(result == 0, err.empty()) << (char)kind;
                FreeRanges(&List);
            }
        }
        std::wstring plain = body;
        EXPECT_EQ(0, ParseDescriptionRange(&plain[0], &List, 0, 1));
        FreeRanges(&List);
    }
}

}  // namespace
