#include <gtest/gtest.h>

#include "plugin/host_api.h"
#include "text/case_fold.h"

namespace {

TEST(CaseFoldTest, TextsAndComparisons)
{
    wchar_t text[] = L"caf\u00e9 \u00e4rger stra\u00dfe \u0444";
    EXPECT_STREQ(UpperCaseText(text), L"CAF\u00c9 \u00c4RGER STRA\u00dfE \u0424");
    EXPECT_EQ(UpperCaseText(nullptr), nullptr);
    EXPECT_EQ(CompareIgnoringCase(L"descript.ion", L"DESCRIPT.ION"), 0);
    EXPECT_EQ(CompareIgnoringCase(L"\u00e9t\u00e9", L"\u00c9T\u00c9"), 0);
    EXPECT_LT(CompareIgnoringCase(L"abc", L"ABD"), 0);
    EXPECT_GT(CompareIgnoringCase(L"abcd", L"ABC"), 0);
    EXPECT_EQ(CompareIgnoringCaseN(L"abcX", L"ABCy", 3), 0);
}

TEST(CaseFoldTest, ShellWildcardFoldsBeyondAscii)
{
    EXPECT_EQ(WildcardComparison(L"CAF\u00c9*", L"caf\u00e9.txt", 1, 1), 0);
    EXPECT_EQ(WildcardComparison(L"*\u0424*", L"\u0444\u0430\u0439\u043b", 1, 1), 0);
    EXPECT_EQ(WildcardComparison(L"[\u00e0-\u00e9]x", L"\u00c8X", 0, 1), 0);
    EXPECT_NE(WildcardComparison(L"CAF\u00c9*", L"caf\u00e9.txt", 1, 0), 0);
    // No full mappings: the sharp s never matches "SS".
    EXPECT_NE(WildcardComparison(L"STRASSE", L"stra\u00dfe", 1, 1), 0);
}

}  // namespace
