#include "search/directory_set.h"

#include <gtest/gtest.h>

#include <vector>

#include "plugin/result_codes.h"

namespace {

TEST(DirectorySetTest, EachIdentityIsAddedOnce)
{
    // Volume, low and high half each tell two directories apart.
    const FileId ids[] = {{1, 10, 0}, {2, 10, 0}, {1, 11, 0}, {1, 10, 7}, {0, 10, 0}};
    DirectorySet set = {};
    EXPECT_FALSE(HasDirectory(&set, &ids[0]));
    for (int round = 0; round < 2; ++round)
        for (const FileId &id : ids) {
            bool added = round == 0;
            EXPECT_EQ(round == 1, HasDirectory(&set, &id));
            ASSERT_EQ(RESULT_OK, AddDirectory(&set, &id, &added));
            EXPECT_EQ(round == 0, added) << id.Volume << ":" << id.FileLow << ":" << id.FileHigh;
        }
    EXPECT_EQ(5u, set.Used);
    FreeDirectorySet(&set);
    EXPECT_EQ(nullptr, set.Slots);
    EXPECT_EQ(0u, set.Used);
}

TEST(DirectorySetTest, GrowingKeepsEveryIdentity)
{
    // Consecutive ids, as inode numbers come, through many doublings of the table.
    DirectorySet set = {};
    const uint64_t count = 20000;
    for (uint64_t i = 1; i <= count; ++i) {
        FileId id = {3, i, 0};
        bool added = false;
        ASSERT_EQ(RESULT_OK, AddDirectory(&set, &id, &added));
        ASSERT_TRUE(added) << i;
    }
    EXPECT_LE(set.Used * 2, set.Capacity);
    for (uint64_t i = 1; i <= count; ++i) {
        FileId id = {3, i, 0};
        bool added = true;
        ASSERT_EQ(RESULT_OK, AddDirectory(&set, &id, &added));
        ASSERT_FALSE(added) << i;
    }
    FreeDirectorySet(&set);
}

TEST(DirectorySetTest, CountedOutAsOftenAsInLeavesAndKeepsTheRestFound)
{
    // Ids of one home slot and ids around them, so that removing one moves others back.
    DirectorySet set = {};
    std::vector<FileId> ids;
    for (uint64_t i = 1; i <= 300; ++i) ids.push_back({5, i * 64, i % 3});
    for (const FileId &id : ids) ASSERT_EQ(RESULT_OK, CountDirectoryIn(&set, &id));
    ASSERT_EQ(RESULT_OK, CountDirectoryIn(&set, &ids[7]));
    for (size_t i = 0; i < ids.size(); i += 2) CountDirectoryOut(&set, &ids[i]);
    CountDirectoryOut(&set, &ids[7]);
    for (size_t i = 0; i < ids.size(); ++i)
        EXPECT_EQ(i % 2 == 1, HasDirectory(&set, &ids[i])) << i;
    EXPECT_EQ(150u, set.Used);
    FreeDirectorySet(&set);
}

}  // namespace
