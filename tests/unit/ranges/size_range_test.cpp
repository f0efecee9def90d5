#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "range_test_util.h"

namespace {

using rangetest::Captured;
using rangetest::Length;
using rangetest::Upper;

class RangeSizeTest : public rangetest::RangeTest {};

TEST_F(RangeSizeTest, SizeNumberUnitsAreCaseSensitive)
{
    struct {
        const wchar_t *Text;
        uint64_t Value;
        size_t Used;
    } cases[] = {
        {L"0", 0, 1},
        {L"123", 123, 3},
        {L"1k", 1000, 2},
        {L"1K", 1024, 2},
        {L"2m", 2000000, 2},
        {L"2M", 2097152, 2},
        {L"3g", 3000000000ull, 2},
        {L"3G", 3221225472ull, 2},
        {L"1t", 1000000000000ull, 2},
        {L"1T", 1099511627776ull, 2},
        {L"1p", 1000000000000000ull, 2},
        {L"1P", 1125899906842624ull, 2},
        {L"5kb", 5000, 2},   // one unit letter only
        {L"7x", 7, 1},       // any other letter ends the number unread
        {L"8,9", 8, 1},
        // The largest numbers that can be held, with and without a unit.
        {L"18446744073709551615", UINT64_MAX, 20},
        {L"000000000000000000000000018446744073709551615", UINT64_MAX, 45},
        {L"16383P", 16383ull << 50, 6},
        {L"18446744073709551k", 18446744073709551000ull, 18},
        {L"16777215T", 16777215ull << 40, 9},
    };
    for (const auto &c : cases) {
        const wchar_t *cursor = c.Text;
        uint64_t value = 77;
        EXPECT_EQ(0, ParseSizeNumber(&cursor, &value)) << c.Text;
        EXPECT_EQ(c.Value, value) << c.Text;
        EXPECT_EQ(c.Used, (size_t)(cursor - c.Text)) << c.Text;
    }
    const wchar_t *text = L"k1";
    const wchar_t *cursor = text;
    uint64_t value = 77;
    EXPECT_EQ(1, ParseSizeNumber(&cursor, &value));
    EXPECT_EQ(text, cursor);
    EXPECT_EQ(77u, value);
    // A number that cannot be held, by its digits or after its unit, is refused and
    // leaves everything as it was.
    for (const wchar_t *big : {L"18446744073709551616", L"99999999999999999999999", L"16384P",
                               L"16777216T", L"18446744073709552k", L"18446744073709551617K",
                               L"18446744073709551616m"}) {
        cursor = big;
        value = 77;
        EXPECT_EQ(SIZE_TOO_LARGE, ParseSizeNumber(&cursor, &value)) << big;
        EXPECT_EQ(big, cursor);
        EXPECT_EQ(77u, value);
    }
    EXPECT_EQ(-1, ParseSizeNumber(nullptr, &value));
    EXPECT_EQ(-1, ParseSizeNumber(&cursor, nullptr));
}

TEST_F(RangeSizeTest, AcceptedRanges)
{
    struct {
        const wchar_t *Text;
        int Negate;
        uint64_t Min;
        uint64_t Max;
    } cases[] = {
        {L"1k]", 0, 1000, UINT64_MAX},
        {L"1K]", 0, 1024, UINT64_MAX},
        {L",1M]", 0, 0, 1048576},
        {L":1k,2k]", 0, 1000, 2000},
        {L"=1k,2k]", 0, 1000, 2000},
        {L"1k2k]", 0, 1000, 2000},  // the comma is optional
        {L"1k,+500]", 0, 1000, 1500},
        {L"1k+500]", 0, 1000, 1500},
        {L"+100]", 0, 0, 100},
        {L"5k,1k]", 0, 1000, 5000},
        {L"5k,+0]", 0, 5000, 5000},
        {L",]", 0, 0, UINT64_MAX},
        {L"1M]", 1, 1048576, UINT64_MAX},
        {L"0,18446744073709551615]", 0, 0, UINT64_MAX},
        {L"1,+18446744073709551614]", 0, 1, UINT64_MAX},
    };
    for (const auto &c : cases) {
        std::wstring text = c.Text;
        RangeList list = nullptr;
        ASSERT_EQ(0, ParseSizeRange(&text[0], c.Negate, &list)) << c.Text;
        ASSERT_EQ(1, Length(list)) << c.Text;
        const SizeRange *node = (const SizeRange *)list;
        EXPECT_EQ(L'S', node->Head.Kind);
        EXPECT_EQ(c.Negate, node->Negate) << c.Text;
        EXPECT_EQ(c.Min, node->MinSize) << c.Text;
        EXPECT_EQ(c.Max, node->MaxSize) << c.Text;
        FreeRanges(&list);
    }
}

TEST_F(RangeSizeTest, EmptyRangeAddsNothing)
{
    for (const wchar_t *c : {L"]", L":]", L"=]"}) {
        std::wstring text = c;
        EXPECT_EQ(0, ParseSizeRange(&text[0], 0, &List)) << c;
    }
    EXPECT_EQ(nullptr, List);
}

TEST_F(RangeSizeTest, BadRangesQuoteTheTextUpperCased)
{
    const wchar_t *cases[] = {L"1x]", L"1k,2k,3k]", L"1kb]", L"10,+]", L"1k ]", L" 1k]",
                              L":=1k]", L"-5]", L"1k", L"", L"1k]]", L"abc]",
                              // bounds that cannot be held, whichever the path to them
                              L"0,16777216T]", L"0,18446744073709551616]",
                              L"0,18446744073709551617K]", L"8796093022208T,]",
                              L"18446744073709551616]", L"=16384P]", L"+18446744073709551616]",
                              L"1,+18446744073709551615]", L"1k+18446744073709551615]"};
    for (const wchar_t *c : cases) {
        std::wstring text = c;
        std::wstring err;
        EXPECT_EQ(1, Captured([&] { return ParseSizeRange(&text[0], 0, &List); }, &err)) << c;
        std::wstring upper = Upper(c);
        EXPECT_EQ(upper, text) << c;
        EXPECT_NE(std::wstring::npos, err.find(L"Vesk plugin: ")) << err;
        EXPECT_NE(std::wstring::npos, err.find(L"Bad size range: \"" + upper + L"\"\r\n"))
            << err;
    }
    EXPECT_EQ(nullptr, List);
}

TEST_F(RangeSizeTest, AllocationFailureIsReported)
{
    std::wstring text = L"1k]";
    RangeHooks.FailAllocations = 1;
    std::wstring err;
    EXPECT_EQ(1, Captured([&] { return ParseSizeRange(&text[0], 0, &List); }, &err));
    EXPECT_NE(std::wstring::npos, err.find(L"Can't allocate size range structure\r\n"));
    EXPECT_EQ(nullptr, List);
    EXPECT_EQ(-1, ParseSizeRange(nullptr, 0, &List));
    EXPECT_EQ(-1, ParseSizeRange(&text[0], 0, nullptr));
}

/// Patterns of the list in the order of the option (the list holds them reversed).
std::vector<std::wstring> Patterns(const RangeFilter *list)
{
    std::vector<std::wstring> out;
    for (; list; list = list->Next) {
        EXPECT_EQ(L'!', list->Kind);
        out.insert(out.begin(), ((const ExclusionRange *)list)->Pattern);
    }
    return out;
}

TEST_F(RangeSizeTest, ExclusionPatterns)
{
    using V = std::vector<std::wstring>;
    struct {
        const wchar_t *Text;
        V Expected;
    } cases[] = {
        {L"*.bak]", V{L"*.bak"}},
        {L"*.bak *.tmp]", V{L"*.bak", L"*.tmp"}},
        {L"*.bak   *.tmp]", V{L"*.bak", L"*.tmp"}},
        {L"  *.bak\t*.tmp \r\n]", V{L"*.bak", L"*.tmp"}},
        {L"[a-c]*.txt]", V{L"[a-c]*.txt"}},
        {L":*.bak]", V{L":*.bak"}},
        {L"a]b c]", V{L"a]b", L"c"}},
        {L"]", V{}},
        {L"   ]", V{}},
        {L"", V{}},
        {L"no-bracket", V{L"no-bracket"}},
    };
    for (const auto &c : cases) {
        std::wstring text = c.Text;
        RangeList list = nullptr;
        EXPECT_EQ(0, ParseExclusionRange(&text[0], &list)) << c.Text;
        EXPECT_EQ(c.Expected, Patterns(list)) << c.Text;
        FreeRanges(&list);
    }
}

TEST_F(RangeSizeTest, ExclusionPatternIsCutAt8191Characters)
{
    std::wstring text = std::wstring(RANGE_TEXT_LEN + 100, L'a') + L" b]";
    ASSERT_EQ(0, ParseExclusionRange(&text[0], &List));
    auto patterns = Patterns(List);
    ASSERT_EQ(2u, patterns.size());
    EXPECT_EQ(std::wstring(RANGE_TEXT_LEN - 1, L'a'), patterns[0]);
    EXPECT_EQ(L"b", patterns[1]);
}

TEST_F(RangeSizeTest, ExclusionAllocationFailureKeepsEarlierPatterns)
{
    std::wstring text = L"a b]";
    ASSERT_EQ(0, AddExclusion(L"first", &List));
    RangeHooks.FailAllocations = 1;
    std::wstring err;
    EXPECT_EQ(1, Captured([&] { return ParseExclusionRange(&text[0], &List); }, &err));
    EXPECT_NE(std::wstring::npos, err.find(L"Can't allocate exclusion range structure\r\n"));
    EXPECT_EQ(1, Length(List));
    EXPECT_EQ(-1, AddExclusion(nullptr, &List));
    EXPECT_EQ(-1, ParseExclusionRange(nullptr, &List));
}

}  // namespace
