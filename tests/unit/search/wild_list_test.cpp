#include "search/wild_list.h"

#include <gtest/gtest.h>

#include "search_fixture.h"

namespace {

TEST_F(SearchTest, MatchWildListTable)
{
    std::wstring longPiece = L"a.txt" + std::wstring(9000, L'q');
    struct {
        const wchar_t *Patterns;
        const wchar_t *Name;
        int Result;
    } cases[] = {
        {L"*.txt;*.log", L"a.txt", 0},
        {L"*.txt;*.log", L"b.LOG", 0},
        {L"*.txt;*.log", L"c.doc", 1},
        {L";;*.doc;", L"c.doc", 0},
        {L";;;", L"c.doc", 1},
        {L"*", L"anything", 0},
        {L"", L"a", -1},
        {nullptr, L"a", -1},
        {L"*", L"", -1},
        {L"*", nullptr, -1},
        {longPiece.c_str(), L"a.txt", 1},
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.Result, MatchWildList(c.Patterns, c.Name))
            << (c.Patterns ? c.Patterns : L"(null)") << " / " << (c.Name ? c.Name : L"(null)");
    // A piece cut at its limit does not spill into the next one.
    std::wstring list = longPiece + L";c.*";
    EXPECT_EQ(0, MatchWildList(list.c_str(), L"c.doc"));
}

}  // namespace
