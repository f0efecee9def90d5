#include "platform/platform.h"

#include "listing_switch.h"

#include <gtest/gtest.h>

#include <sys/sysmacros.h>

#include "search_fixture.h"
#include "test_time.h"

namespace {

struct Listed {
    std::set<std::wstring> Names;
    std::vector<FileId> Ids;
    int End;  ///< what the last read gave
};

Listed ListWhole(const std::string &directory)
{
    Listed listed = {{}, {}, LISTING_FAILED};
    DirectoryListing *listing = OpenDirectoryListing(Wide(directory).c_str());
    EXPECT_NE(nullptr, listing) << directory.size();
    if (listing == nullptr) return listed;
    WIN32_FIND_DATAW data;
    FileId id;
    while ((listed.End = ReadListingEntry(listing, &data, &id)) == LISTING_ENTRY) {
        listed.Names.insert(data.cFileName);
        listed.Ids.push_back(id);
    }
    CloseDirectoryListing(listing);
    return listed;
}

// Which records a listing asks for is its own directory's affair: a file system that
// refuses the 128-bit ids (FAT, Windows before 8) gets the 64-bit ones, and the next
// directory, on another file system, still gives the 128-bit ones.
TEST_F(SearchTest, EachListingAsksForTheRecordsItsOwnDirectoryGives)
{
    Dir("fat");
    File("fat/f", 1);
    Dir("ntfs");
    File("ntfs/n", 1);
    struct stat st;
    ASSERT_EQ(0, stat(Abs("ntfs/n").c_str(), &st));
    const uint64_t device = ((uint64_t)major(st.st_dev) << 32) | minor(st.st_dev);
    ASSERT_NE(0u, device);
    ListingSwitch faults("VESK_TEST_LISTING_FAULTS", "fat:ids=64");
    for (int round = 0; round < 2; ++round) {
        Listed fat = ListWhole(Abs("fat/")), ntfs = ListWhole(Abs("ntfs/"));
        ASSERT_EQ(1u, fat.Ids.size());
        ASSERT_EQ(1u, ntfs.Ids.size());
        EXPECT_NE(0u, fat.Ids[0].FileLow);
        EXPECT_EQ(0u, fat.Ids[0].FileHigh) << "the 64-bit records carry no high half";
        EXPECT_EQ((uint64_t)st.st_ino, ntfs.Ids[0].FileLow);
        EXPECT_EQ(device, ntfs.Ids[0].FileHigh) << "round " << round;
    }
}

// A subdirectory reached without a link lies on its parent's volume: listed like its
// parent, it takes the records the parent settled on (64-bit ones after the 128-bit
// ones were refused, the classic listing after the handle listing was) without asking.
TEST_F(SearchTest, ASubdirectoryListedLikeItsParentTakesItsRecords)
{
    Dir("fat");
    Dir("fat/sub");
    File("fat/sub/f", 1);
    struct {
        const char *Variable, *Value;
        bool HighHalf;  // the entry of sub still carries the 128-bit id's high half
    } cases[] = {
        {"VESK_TEST_LISTING_FAULTS", "fat:ids=64", false},
        {"VESK_TEST_REFUSE_HANDLE_LISTING", "1", false},
        {"VESK_TEST_NOTHING_REFUSED", "1", true},
    };
    for (const auto &c : cases) {
        ListingSwitch guard(c.Variable, c.Value);
        DirectoryListing *parent = OpenDirectoryListing(Wide(Abs("fat/")).c_str());
        ASSERT_NE(nullptr, parent);
        WIN32_FIND_DATAW data;
        FileId id;
        while (ReadListingEntry(parent, &data, &id) == LISTING_ENTRY) {
        }
        DirectoryListing *child = OpenDirectoryListing(Wide(Abs("fat/sub/")).c_str());
        ASSERT_NE(nullptr, child);
        ListLike(child, parent);
        ASSERT_EQ(LISTING_ENTRY, ReadListingEntry(child, &data, &id)) << c.Value;
        EXPECT_STREQ(L"f", data.cFileName);
        EXPECT_EQ(c.HighHalf, id.FileHigh != 0) << c.Value;
        EXPECT_EQ(LISTING_END, ReadListingEntry(child, &data, &id));
        CloseDirectoryListing(child);
        CloseDirectoryListing(parent);
    }
}

// Where listing through the handle is refused, the classic listing of "DIRECTORY*" lists
// that very directory, whole: the shortest one and one whose path reaches the limit, so
// that its search path is one character past it.
TEST_F(SearchTest, TheClassicListingListsTheRightDirectoryWhole)
{
    const std::string longest(255, 'n');
    const std::vector<std::string> files = {"a", longest};
    Dir("short");
    Dir("edge");
    const std::string directories[] = {
        ChainOfLength("short", Abs("short/").size() + 2, 's', files),
        ChainOfLength("edge", PATH_BUFFER_LEN - 1, 'e', files),
    };
    ListingSwitch refused("VESK_TEST_REFUSE_HANDLE_LISTING", "1");
    for (const std::string &directory : directories) {
        Listed listed = ListWhole(directory);
        EXPECT_EQ((std::set<std::wstring>{L"a", Wide(longest)}), listed.Names) << directory.size();
        EXPECT_EQ(LISTING_END, listed.End) << directory.size();
    }
}

}  // namespace
