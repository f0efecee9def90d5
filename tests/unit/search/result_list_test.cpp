#include <gtest/gtest.h>

#include "listing_switch.h"

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
#include "test_time.h"

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
    // The times below lie at the very start of 1601, which the stamps show only in UTC
    // and east of it.
    ZoneGuard zone{"UTC"};
    void SetUp() override { liveAtStart = LiveMemoryBlocks(); }
    void TearDown() override
    {
        ClearResults(&list);
        EXPECT_EQ(liveAtStart, LiveMemoryBlocks()) << "entries leaked or freed twice";
    }

    void Start(int n, int mode) { ASSERT_EQ(0, StartResults(&list, n, mode)); }
    /// Offers as the walk does, in the block of an entry that left where there is one.
    void Offer_(const Offer &o)
    {
        FoundFile *f = TakeFoundFile(&list, o.Name.c_str(), nullptr, nullptr, o.Size, o.Time, 0, 0);
        ASSERT_NE(nullptr, f);
        OfferResult(&list, f);
    }

    /// The names from Head to Tail once ordered, checking the links and the count.
    std::vector<std::wstring> Walk()
    {
        OrderResults(&list);
        std::vector<std::wstring> names;
        const FoundFile *prev = nullptr;
        for (const FoundFile *f = list.Head; f != nullptr; f = f->Next) {
            EXPECT_EQ(prev, f->Prev);
            names.push_back(f->Name);
            prev = f;
        }
        EXPECT_EQ(prev, list.Tail);
        EXPECT_EQ((int)names.size(), list.Count);
        return names;
    }

    ResultList list = {};
    long liveAtStart = 0;
};

/// The first n names of offers after a stable sort: what the list must hold, in order.
std::vector<std::wstring> StableBest(std::vector<Offer> offers, int mode, int n)
{
    std::stable_sort(offers.begin(), offers.end(),
                     [mode](const Offer &a, const Offer &b) { return RanksBefore(mode, a, b); });
    std::vector<std::wstring> names;
    for (size_t i = 0; i < offers.size() && (int)i < n; ++i) names.push_back(offers[i].Name);
    return names;
}

TEST_F(ResultListTest, EveryOrderOfOffersRanksAsAStableSort)
{
    enum { ASCENDING, DESCENDING, RANDOM, EQUAL };
    std::mt19937_64 random(20240501);
    for (int n : {1, 10, 4096}) {
        const int total = 3 * n + 5;
        for (int order : {ASCENDING, DESCENDING, RANDOM, EQUAL}) {
            for (int run : {1, 3}) {  // keys distinct, or in runs of three equal ones
                for (int mode = 1; mode <= 5; ++mode) {  // 5: an unknown mode ranks as largest
                    Start(n, mode);
                    std::vector<Offer> offers;
                    for (int i = 0; i < total; ++i) {
                        uint64_t key = order == ASCENDING    ? (uint64_t)(i / run)
                                       : order == DESCENDING ? (uint64_t)((total - i) / run)
                                       : order == RANDOM     ? random() % (uint64_t)(total / run)
                                                             : 7;
                        offers.push_back({key, key, L"f" + std::to_wstring(i)});
                        Offer_(offers.back());
                        ASSERT_LE(list.Count, n);
                        // Read halfway: the offers that follow still rank correctly.
                        if (i == total / 2) {
                            ASSERT_EQ(StableBest(offers, mode, n), Walk())
                                << "halfway n " << n << " order " << order << " mode " << mode;
                        }
                    }
                    ASSERT_EQ(StableBest(offers, mode, n), Walk())
                        << "n " << n << " order " << order << " run " << run << " mode " << mode;
                }
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
        Start(c.N, MODE_LARGEST);
        for (const Step &s : c.Steps) Offer_({s.Size, 0, s.Name});
        EXPECT_EQ(c.Expected, Walk());
    }
}

TEST_F(ResultListTest, TimeModesCompareOnlyTimes)
{
    Start(3, MODE_NEWEST);
    Offer_({100, 7, L"a"});
    Offer_({1, 7, L"b"});
    Offer_({50, 9, L"c"});
    EXPECT_EQ((std::vector<std::wstring>{L"c", L"a", L"b"}), Walk());
    // The high half decides before the low half.
    Start(2, MODE_OLDEST);
    Offer_({0, 0x100000000ull, L"hi"});
    Offer_({0, 0xFFFFFFFFull, L"lo"});
    EXPECT_EQ((std::vector<std::wstring>{L"lo", L"hi"}), Walk());
}

TEST_F(ResultListTest, ClearReleasesEverythingAndAnUnstartedListTakesNothing)
{
    Start(2, MODE_SMALLEST);
    for (int i = 0; i < 5; ++i) Offer_({(uint64_t)i, 0, L"f" + std::to_wstring(i)});
    EXPECT_EQ((std::vector<std::wstring>{L"f0", L"f1"}), Walk());
    ClearResults(&list);
    EXPECT_EQ(nullptr, list.Head);
    EXPECT_EQ(0, list.Count);
    EXPECT_EQ(liveAtStart, LiveMemoryBlocks());
    ClearResults(&list);  // an empty list releases nothing
    Offer_({1, 0, L"late"});  // released at once: the list was not started
    EXPECT_EQ(0, list.Count);
    EXPECT_EQ(-1, StartResults(nullptr, 1, MODE_LARGEST));
}

TEST_F(ResultListTest, InvalidTimesRankLastInTheOrderFound)
{
    const uint64_t valid = 100, later = 200;
    const uint64_t before1601 = (uint64_t)-5;  // a negative tick count
    const uint64_t past30828 = LAST_VALID_FILE_TIME + 1;
    for (int mode : {MODE_OLDEST, MODE_NEWEST}) {
        Start(5, mode);
        Offer_({0, before1601, L"x1"});
        Offer_({0, valid, L"v"});
        Offer_({0, past30828, L"x2"});
        Offer_({0, later, L"w"});
        Offer_({0, before1601, L"x3"});
        std::vector<std::wstring> expected =
            mode == MODE_OLDEST ? std::vector<std::wstring>{L"v", L"w", L"x1", L"x2", L"x3"}
                                : std::vector<std::wstring>{L"w", L"v", L"x1", L"x2", L"x3"};
        EXPECT_EQ(expected, Walk()) << mode;
        // A full list takes no invalid time, and any valid one pushes one out.
        EXPECT_FALSE(WouldPlace(&list, 0, past30828, 0));
        EXPECT_TRUE(WouldPlace(&list, 0, valid, 0));
    }
    // Sizes do not care about times.
    EXPECT_TRUE(BeatsEntry(MODE_LARGEST, 2, before1601, 0, list.Head));
}

TEST_F(ResultListTest, WouldPlaceFollowsTheList)
{
    EXPECT_FALSE(WouldPlace(&list, 0, 0, 0));  // not started: takes nothing
    Start(3, MODE_LARGEST);
    EXPECT_TRUE(WouldPlace(&list, 0, 0, 0));  // an empty list takes anything
    Offer_({10, 0, L"a"});
    Offer_({5, 0, L"b"});
    EXPECT_TRUE(WouldPlace(&list, 1, 0, 0));  // room left
    Offer_({5, 0, L"c"});
    EXPECT_FALSE(WouldPlace(&list, 5, 0, 0));  // equal to the worst of a full list
    EXPECT_TRUE(WouldPlace(&list, 6, 0, 0));
}

TEST_F(ResultListTest, SameFileInListByKnownIdentityOfTwinsOnly)
{
    const FileId id = {9, 42, 0}, otherFile = {9, 43, 0}, otherVolume = {8, 42, 0},
                 unknown = {9, 0, 0};
    Start(42, MODE_LARGEST);
    OfferResult(&list, NewFoundFileWithId(L"a", nullptr, &id, 0, 7, 0, 0));
    OfferResult(&list, NewFoundFileWithId(L"u", nullptr, &unknown, 0, 7, 0, 0));
    // Entries of other sizes and times share buckets with it; none is taken for it.
    for (int i = 0; i < 40; ++i) Offer_({(uint64_t)i + 1, 7, L"o" + std::to_wstring(i)});
    struct Case {
        FileId Id;
        uint64_t Written;
        uint64_t Time;  ///< the time ranked by, which the scan itself may have moved
        bool Twin;
    } cases[] = {
        {id, 7, 7, true},            // another name of the same file
        {id, 7, 99, true},           // met again after its last access moved
        {id, 8, 7, false},           // a twin by id whose last write differs is not compared
        {otherFile, 7, 7, false},
        {otherVolume, 7, 7, false},
        {unknown, 7, 7, false},      // unknown ids never match, not even each other
    };
    for (const Case &c : cases) {
        FoundFile *f = NewFoundFileWithId(L"b", nullptr, &c.Id, 0, c.Time, 0, 0);
        f->Written = c.Written;
        EXPECT_EQ(c.Twin, SameFileInList(&list, f)) << c.Id.Volume << " " << c.Id.FileLow << " " << c.Time;
        FreeMem(f);
    }
    FoundFile *plain = NewFoundFile(L"x", 0, 7, 0, 0);
    EXPECT_FALSE(IsKnownFileId(&plain->Id));
    // Once it has made way for better ones, it is no twin of anything.
    Offer_({100, 7, L"big"});
    Offer_({101, 7, L"bigger"});
    FoundFile *again = NewFoundFileWithId(L"b", nullptr, &id, 0, 7, 0, 0);
    EXPECT_FALSE(SameFileInList(&list, again));
    FreeMem(again);
    FreeMem(plain);
}

TEST_F(ResultListTest, SameFileInListByPlaceWhereIdentitiesMayRepeat)
{
    // real/f, its twin through the link lnk, and other/f, whose id repeats real/f's as
    // the ids of two file systems Wine gives no volume do.
    char top[] = "/tmp/vesk_twins_XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(top));
    const std::string t = top;
    ASSERT_EQ(0, system(("mkdir " + t + "/real " + t + "/other && touch " + t + "/real/f " + t +
                         "/other/f && ln -s real " + t + "/lnk").c_str()));
    auto Wide = [](const std::string &n) { return std::wstring(n.begin(), n.end()); };
    const std::wstring w = Wide(t);
    const std::wstring real = w + L"/real/f", link = w + L"/lnk/f", other = w + L"/other/f";
    const FileId repeats = {0, 5, 0}, otherId = {0, 6, 0}, trusted = {9, 5, 0},
                 unknown = {0, 0, 0};
    Start(4, MODE_LARGEST);
    OfferResult(&list, NewFoundFileWithId(L"f", real.c_str(), &repeats, 0, 7, 0, 0));
    struct Case {
        FileId Id;
        const std::wstring *Path;
        bool Resolved;  ///< resolved paths allowed
        bool Twin;
    } cases[] = {
        {repeats, &real, true, true},      // the same path again: overlapping specifications
        {repeats, &link, true, true},      // another way to the same file
        {repeats, &link, false, false},    // ... which only the resolved path shows
        {repeats, &real, false, true},
        {repeats, &other, true, false},    // a repeated id on another file system
        {otherId, &real, true, false},     // known ids that differ never name one file
        {unknown, &real, true, true},      // an unknown id: only the path's text tells
        {unknown, &link, true, false},
        {trusted, &real, true, false},     // a trusted id is on a volume of its own
        {repeats, nullptr, true, false},   // no path: nothing to tell it by
    };
    for (const Case &c : cases) {
        ListingSwitch refuse("VESK_TEST_NO_RESOLVED_PATHS", c.Resolved ? nullptr : "1");
        FoundFile *f =
            NewFoundFileWithId(L"f", c.Path ? c.Path->c_str() : nullptr, &c.Id, 0, 7, 0, 0);
        EXPECT_EQ(c.Twin, SameFileInList(&list, f)) << "case " << &c - cases;
        FreeMem(f);
    }
    // The entry's resolved path was asked once and kept; the list frees it.
    EXPECT_EQ(Wide(t) + L"/real/f", std::wstring(list.Heap[0].Entry->Resolved));
    ASSERT_EQ(0, system(("rm -rf " + t).c_str()));
}

TEST_F(ResultListTest, BlocksOfEntriesThatLeaveCarryTheNextCandidates)
{
    Start(3, MODE_LARGEST);
    for (int i = 0; i < 3; ++i) Offer_({(uint64_t)i, 0, L"f" + std::to_wstring(i)});
    const long full = LiveMemoryBlocks();
    for (int i = 3; i < 40; ++i) {
        OrderResults(&list);
        const FoundFile *worst = list.Tail;
        // A new best pushes the worst out, and the next candidate is written in its block.
        Offer_({(uint64_t)i, 0, L"g" + std::to_wstring(i)});
        FoundFile *next = TakeFoundFile(&list, L"loser", nullptr, nullptr, 0, 0, 0, 0);
        EXPECT_EQ(worst, next);
        OfferResult(&list, next);  // does not place: its block waits for the next one
        ASSERT_EQ(full + 1, LiveMemoryBlocks()) << i;
    }
    EXPECT_EQ((std::vector<std::wstring>{L"g39", L"g38", L"g37"}), Walk());
    // A name the spare block cannot hold gets a block of its own; given back, the larger
    // of the two stays and carries a short name next.
    std::wstring longName(200, L'x');
    FoundFile *big = TakeFoundFile(&list, longName.c_str(), nullptr, nullptr, 0, 0, 0, 0);
    ASSERT_NE(nullptr, big);
    EXPECT_EQ(longName, big->Name);
    EXPECT_EQ(full + 2, LiveMemoryBlocks());
    DropFoundFile(&list, big);
    EXPECT_EQ(full + 1, LiveMemoryBlocks());
    FoundFile *small = TakeFoundFile(&list, L"s", nullptr, nullptr, 0, 0, 0, 0);
    EXPECT_EQ(big, small);
    EXPECT_STREQ(L"s", small->Name);
    FreeMem(small);
    EXPECT_EQ(nullptr, TakeFoundFile(&list, L"", nullptr, nullptr, 0, 0, 0, 0));
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

    // The path is kept only for an identity that may name another file too.
    const FileId repeats = {0, 5, 0}, trusted = {9, 5, 0};
    f = NewFoundFileWithId(L"n", L"/d/n", &repeats, 0, 0, 0, 0);
    EXPECT_STREQ(L"/d/n", f->Path);
    FreeMem(f);
    f = NewFoundFileWithId(L"/d/n", L"/d/n", &repeats, 0, 0, 0, 0);
    EXPECT_EQ((const wchar_t *)f->Name, f->Path);
    FreeMem(f);
    f = NewFoundFileWithId(L"n", L"/d/n", &trusted, 0, 0, 0, 0);
    EXPECT_EQ(nullptr, f->Path);
    FreeMem(f);

    EXPECT_EQ(nullptr, NewFoundFile(nullptr, 0, 0, 0, 0));
    EXPECT_EQ(nullptr, NewFoundFile(L"", 0, 0, 0, 0));
    // The longest path the walk builds fits; a longer name is refused.
    std::wstring longest(PATH_BUFFER_LEN - 1, L'x');
    f = NewFoundFile(longest.c_str(), 0, 0, 0, 0);
    ASSERT_NE(nullptr, f);
    EXPECT_EQ(longest, f->Name);
    FreeMem(f);
    std::wstring tooLong(PATH_BUFFER_LEN, L'x');
    EXPECT_EQ(nullptr, NewFoundFile(tooLong.c_str(), 0, 0, 0, 0));
    // A null entry is never linked.
    Start(1, MODE_LARGEST);
    OfferResult(&list, nullptr);
    EXPECT_EQ(0, list.Count);
}

}  // namespace
