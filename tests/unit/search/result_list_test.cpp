#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "memory.h"
#include "plugin/host_api.h"
#include "search/result_list.h"

namespace {

struct Offer {
    uint64_t Size;
    uint64_t Time;
    std::wstring Name;
};

/// Strict "ranks before" of the four modes, written independently of BeatsEntry.
bool RanksBefore(int mode, const Offer &a, const Offer &b)
{
    switch (mode) {
    case MODE_SMALLEST: return a.Size < b.Size;
    case MODE_OLDEST: return a.Time < b.Time;
    case MODE_NEWEST: return a.Time > b.Time;
    default: return a.Size > b.Size;
    }
}

class ResultListTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ClearResults();
        ResultList.Count = 0;
        liveAtStart = LiveMemoryBlocks();
    }
    void TearDown() override
    {
        ClearResults();
        EXPECT_EQ(liveAtStart, LiveMemoryBlocks()) << "entries leaked or freed twice";
    }

    static void Offer_(const Offer &o, int n, int mode)
    {
        FoundFile *f = NewFoundFile(o.Name.c_str(), o.Size, o.Time, 0, 0);
        ASSERT_NE(nullptr, f);
        OfferResult(f, n, mode);
    }

    /// The names from Head to Tail, checking the links and the count on the way.
    static std::vector<std::wstring> Walk()
    {
        std::vector<std::wstring> names;
        const FoundFile *prev = nullptr;
        for (const FoundFile *f = ResultList.Head; f != nullptr; f = f->Next) {
            EXPECT_EQ(prev, f->Prev);
            names.push_back(f->Name);
            prev = f;
        }
        EXPECT_EQ(prev, ResultList.Tail);
        EXPECT_EQ((int)names.size(), ResultList.Count);
        return names;
    }

    long liveAtStart = 0;
};

TEST_F(ResultListTest, RandomOffersMatchAStableSortInEveryMode)
{
    std::mt19937 random(20240501);
    for (int mode = 1; mode <= 5; ++mode) {  // 5: an unknown mode ranks as largest
        for (int n = 1; n <= 50; ++n) {
            for (int round = 0; round < 4; ++round) {
                ClearResults();
                ResultList.Count = 0;
                int offers = (int)(random() % 120) + 1;
                // Few distinct keys, so ties are common.
                int keys = round == 0 ? 3 : 40;
                std::vector<Offer> all;
                for (int i = 0; i < offers; ++i) {
                    Offer o{random() % keys, random() % keys, L"f" + std::to_wstring(i)};
                    all.push_back(o);
                    Offer_(o, n, mode);
                    ASSERT_LE(ResultList.Count, n);
                }
                std::stable_sort(all.begin(), all.end(), [mode](const Offer &a, const Offer &b) {
                    return RanksBefore(mode, a, b);
                });
                std::vector<std::wstring> expected;
                for (int i = 0; i < std::min(n, offers); ++i) expected.push_back(all[i].Name);
                ASSERT_EQ(expected, Walk()) << "mode " << mode << " n " << n;
            }
        }
    }
}

TEST_F(ResultListTest, TiesKeepTheFirstFound)
{
    struct Step {
        uint64_t Size;
        const wchar_t *Name;
    };
    struct Case {
        int N;
        std::vector<Step> Steps;
        std::vector<std::wstring> Expected;
    };
    const Case cases[] = {
        // n = 1: an equal candidate does not replace; a better one does.
        {1, {{5, L"a"}, {5, L"b"}}, {L"a"}},
        {1, {{5, L"a"}, {6, L"b"}}, {L"b"}},
        // Full list: beating the head pushes the tail out.
        {2, {{5, L"a"}, {4, L"b"}, {9, L"c"}}, {L"c", L"a"}},
        // Not full: equal to or worse than the tail is appended.
        {3, {{5, L"a"}, {5, L"b"}, {1, L"c"}}, {L"a", L"b", L"c"}},
        // Equal to the head, better than the tail: after every equal entry.
        {4, {{5, L"a"}, {5, L"b"}, {1, L"c"}, {5, L"d"}}, {L"a", L"b", L"d", L"c"}},
        // Full list, equal only to the tail: released.
        {2, {{5, L"a"}, {3, L"b"}, {3, L"c"}}, {L"a", L"b"}},
        // The first candidate always enters, whatever its key.
        {1, {{0, L"a"}}, {L"a"}},
    };
    for (const Case &c : cases) {
        ClearResults();
        ResultList.Count = 0;
        for (const Step &s : c.Steps) Offer_({s.Size, 0, s.Name}, c.N, MODE_LARGEST);
        EXPECT_EQ(c.Expected, Walk());
    }
}

TEST_F(ResultListTest, TimeModesCompareOnlyTimes)
{
    Offer_({100, 7, L"a"}, 3, MODE_NEWEST);
    Offer_({1, 7, L"b"}, 3, MODE_NEWEST);
    Offer_({50, 9, L"c"}, 3, MODE_NEWEST);
    EXPECT_EQ((std::vector<std::wstring>{L"c", L"a", L"b"}), Walk());
    ClearResults();
    ResultList.Count = 0;
    // The high half decides before the low half.
    Offer_({0, 0x100000000ull, L"hi"}, 2, MODE_OLDEST);
    Offer_({0, 0xFFFFFFFFull, L"lo"}, 2, MODE_OLDEST);
    EXPECT_EQ((std::vector<std::wstring>{L"lo", L"hi"}), Walk());
}

TEST_F(ResultListTest, ClearKeepsCountAndTrimReleasesFromTheTail)
{
    for (int i = 0; i < 5; ++i) Offer_({(uint64_t)i, 0, L"f" + std::to_wstring(i)}, 10, MODE_SMALLEST);
    TrimResults(2);
    EXPECT_EQ((std::vector<std::wstring>{L"f0", L"f1"}), Walk());
    ClearResults();
    EXPECT_EQ(nullptr, ResultList.Head);
    EXPECT_EQ(nullptr, ResultList.Tail);
    EXPECT_EQ(2, ResultList.Count);
    ClearResults();  // an empty list releases nothing
    EXPECT_EQ(2, ResultList.Count);
}

TEST_F(ResultListTest, InvalidTimesRankLastInTheOrderFound)
{
    const uint64_t valid = 100, later = 200;
    const uint64_t before1601 = (uint64_t)-5;  // a negative tick count
    const uint64_t past30827 = FIRST_INVALID_FILE_TIME;
    for (int mode : {MODE_OLDEST, MODE_NEWEST}) {
        ClearResults();
        ResultList.Count = 0;
        Offer_({0, before1601, L"x1"}, 5, mode);
        Offer_({0, valid, L"v"}, 5, mode);
        Offer_({0, past30827, L"x2"}, 5, mode);
        Offer_({0, later, L"w"}, 5, mode);
        Offer_({0, before1601, L"x3"}, 5, mode);
        std::vector<std::wstring> expected =
            mode == MODE_OLDEST ? std::vector<std::wstring>{L"v", L"w", L"x1", L"x2", L"x3"}
                                : std::vector<std::wstring>{L"w", L"v", L"x1", L"x2", L"x3"};
        EXPECT_EQ(expected, Walk()) << mode;
        // A full list takes no invalid time, and any valid one pushes one out.
        EXPECT_FALSE(WouldPlace(5, mode, 0, past30827));
        EXPECT_TRUE(WouldPlace(5, mode, 0, valid));
    }
    // Sizes do not care about times.
    EXPECT_TRUE(BeatsEntry(MODE_LARGEST, 2, before1601, ResultList.Head));
}

TEST_F(ResultListTest, WouldPlaceFollowsTheList)
{
    EXPECT_TRUE(WouldPlace(1, MODE_LARGEST, 0, 0));  // an empty list takes anything
    Offer_({10, 0, L"a"}, 2, MODE_LARGEST);
    Offer_({5, 0, L"b"}, 2, MODE_LARGEST);
    EXPECT_FALSE(WouldPlace(2, MODE_LARGEST, 5, 0));  // equal to the tail of a full list
    EXPECT_TRUE(WouldPlace(2, MODE_LARGEST, 6, 0));
    EXPECT_TRUE(WouldPlace(3, MODE_LARGEST, 1, 0));   // room left
}

TEST_F(ResultListTest, SameFileInListByIdentityOfTwinsOnly)
{
    char dir[] = "/tmp/vesk-twins-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(dir));
    std::string a = std::string(dir) + "/a", b = std::string(dir) + "/b",
                c = std::string(dir) + "/c";
    fclose(fopen(a.c_str(), "w"));
    fclose(fopen(c.c_str(), "w"));
    ASSERT_EQ(0, link(a.c_str(), b.c_str()));
    std::wstring wa(a.begin(), a.end()), wb(b.begin(), b.end()), wc(c.begin(), c.end());

    FoundFile *first = NewFoundFileAt(L"a", wa.c_str(), 0, 7, 0, 0);
    ASSERT_NE(nullptr, first);
    EXPECT_STREQ(L"a", first->Name);
    EXPECT_EQ(wa, first->Path);
    EXPECT_EQ(0, first->IdState);  // not asked at creation
    OfferResult(first, 10, MODE_LARGEST);
    // A hard link of the same size and time is the same file; another file is not, and
    // neither is a twin by name whose time differs (it is not even asked about).
    FoundFile *hard = NewFoundFileAt(wb.c_str(), wb.c_str(), 0, 7, 0, 0);
    FoundFile *other = NewFoundFileAt(L"c", wc.c_str(), 0, 7, 0, 0);
    FoundFile *later = NewFoundFileAt(L"a2", wa.c_str(), 0, 8, 0, 0);
    FoundFile *noPath = NewFoundFile(L"x", 0, 7, 0, 0);
    EXPECT_EQ(hard->Name, hard->Path);  // the name is the path: one copy
    EXPECT_TRUE(SameFileInList(hard));
    EXPECT_FALSE(SameFileInList(other));
    EXPECT_FALSE(SameFileInList(later));
    EXPECT_EQ(0, later->IdState);
    EXPECT_FALSE(SameFileInList(noPath));
    EXPECT_EQ(1, first->IdState);
    for (FoundFile *f : {hard, other, later, noPath}) FreeMem(f);

    unlink(a.c_str());
    unlink(b.c_str());
    unlink(c.c_str());
    rmdir(dir);
}

TEST_F(ResultListTest, NewFoundFileIsOneExactBlock)
{
    FoundFile *f = NewFoundFile(L"name.txt", 42, 77, 1, 0);
    ASSERT_NE(nullptr, f);
    EXPECT_STREQ(L"name.txt", f->Name);
    EXPECT_EQ(42u, f->Size);
    EXPECT_EQ(77u, f->Time);
    EXPECT_EQ(1, f->OnFat);
    EXPECT_EQ(0, f->OnNtfs);
    EXPECT_EQ(nullptr, f->Next);
    EXPECT_EQ(nullptr, f->Prev);
    EXPECT_EQ(liveAtStart + 1, LiveMemoryBlocks());
    FreeMem(f);

    EXPECT_EQ(nullptr, NewFoundFile(nullptr, 0, 0, 0, 0));
    EXPECT_EQ(nullptr, NewFoundFile(L"", 0, 0, 0, 0));
    // The longest path the walk builds fits; a longer name is refused.
    std::wstring longest(16383, L'x');
    f = NewFoundFile(longest.c_str(), 0, 0, 0, 0);
    ASSERT_NE(nullptr, f);
    EXPECT_EQ(longest, f->Name);
    FreeMem(f);
    std::wstring tooLong(16384, L'x');
    EXPECT_EQ(nullptr, NewFoundFile(tooLong.c_str(), 0, 0, 0, 0));
    // A null entry is never linked.
    OfferResult(nullptr, 1, MODE_LARGEST);
    EXPECT_EQ(nullptr, ResultList.Head);
    EXPECT_EQ(0, ResultList.Count);
}

}  // namespace
