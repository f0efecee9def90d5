#include <gtest/gtest.h>

#include "plugin/host_api.h"

namespace {

TEST(HostWildcardTest, Table)
{
    struct {
        const wchar_t *Pattern;
        const wchar_t *Text;
        int FileNames;
        int Match;  // 1 when WildcardComparison should report a match
    } cases[] = {
        {L"*", L"", 1, 1},
        {L"*", L"anything.at.all", 0, 1},
        {L"*.txt", L"a.txt", 1, 1},
        {L"*.txt", L"a.TXT", 1, 1},
        {L"*.TXT", L"a.txt.bak", 1, 0},
        {L"*.txt", L"a.txt.txt", 1, 1},
        {L"a*b*c", L"aXXbYYbZZc", 0, 1},
        {L"a*b*c", L"aXXbYYbZZ", 0, 0},
        {L"?", L"", 0, 0},
        {L"??", L"ab", 0, 1},
        {L"??", L"abc", 0, 0},
        {L"a?c", L"ABC", 0, 1},
        {L"**a", L"bba", 0, 1},
        {L"", L"", 0, 1},
        {L"", L"x", 0, 0},
        // Sets, ranges, negation; case ignored inside sets too.
        {L"[abc]x", L"bx", 0, 1},
        {L"[abc]x", L"dx", 0, 0},
        {L"[a-c]*", L"B.txt", 1, 1},
        {L"[A-C]*", L"b.txt", 1, 1},
        {L"[!a-c]*", L"b.txt", 1, 0},
        {L"[^a-c]*", L"d.txt", 1, 1},
        {L"*[0-9]", L"file7", 0, 1},
        {L"*[0-9]", L"file", 0, 0},
        {L"[]]", L"]", 0, 1},
        {L"[ab", L"[ab", 0, 1},
        {L"x[", L"x[", 0, 1},
        // File-name conventions: "*.*" and "*." also match names without a dot.
        {L"*.*", L"README", 1, 1},
        {L"*.*", L"README", 0, 0},
        {L"*.*", L"a.b", 0, 1},
        {L"*.", L"README", 1, 1},
        {L"*.", L"a.txt", 1, 0},
        {L"READ.*", L"READ", 1, 1},
        {L"READ.*", L"README", 1, 0},
        {L"a*.*", L"abc", 1, 1},
        {L"b*.*", L"abc", 1, 0},
        // Descriptions: wildcards anywhere, blanks are ordinary characters.
        {L"*old*", L"an OLD report", 0, 1},
        {L"*\\bob", L"HOST\\Bob", 0, 1},
    };
    for (const auto &c : cases) {
        int result = WildcardComparison(c.Pattern, c.Text, c.FileNames, 1);
        EXPECT_EQ(c.Match, result == 0 ? 1 : 0)
            << "case " << (&c - cases);
    }
}

TEST(HostWildcardTest, CaseMattersOnlyWhenAsked)
{
    EXPECT_NE(0, WildcardComparison(L"abc", L"ABC", 0, 0));
    EXPECT_EQ(0, WildcardComparison(L"abc", L"abc", 0, 0));
    EXPECT_NE(0, WildcardComparison(L"[a-c]", L"B", 0, 0));
    EXPECT_EQ(0, WildcardComparison(L"[a-c]", L"B", 0, 1));
}

TEST(HostWildcardTest, NullArgumentsDoNotMatch)
{
    EXPECT_NE(0, WildcardComparison(nullptr, L"x", 1, 1));
    EXPECT_NE(0, WildcardComparison(L"x", nullptr, 1, 1));
}

TEST(HostWildcardTest, ManyStarsStayLinearEnough)
{
    // Backtracking to the last star only: a pathological pattern still ends quickly.
    std::wstring pattern, text(4000, L'a');
    for (int i = 0; i < 200; ++i) pattern += L"*a";
    pattern += L"b";
    EXPECT_NE(0, WildcardComparison(pattern.c_str(), text.c_str(), 0, 1));
}

}  // namespace
