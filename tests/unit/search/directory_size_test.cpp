#include "search/directory_size.h"

#include <gtest/gtest.h>

#include "search_fixture.h"

namespace {

TEST_F(SearchTest, DirectoriesAreSizedByTheirDirectPlainFiles)
{
    Dir("b");
    File("b/one", 100);
    File("b/.hidden", 20);
    Dir("b/sub");
    File("b/sub/big", 5000);
    Dir("empty");
    File("plain", 9999);
    TestScan o = Options(MODE_LARGEST, WALK_RECURSE);
    o.AttrMask = FILE_ATTRIBUTE_DIRECTORY;
    o.AttrValues = FILE_ATTRIBUTE_DIRECTORY;
    std::vector<Found> found = Walk(o);
    EXPECT_EQ((std::vector<Found>{{L"b/sub", 5000, 0}, {L"b", 120, 0}, {L"empty", 0, 0}}), found);
    // The patterns, masks and ranges of the walk do not change a directory's size.
    uint64_t total = 1;
    DWORD error = 1;
    EXPECT_EQ(0, DirectoryFilesSize(nullptr, nullptr, (Wide(root) + L"/b/").c_str(), false, &total, &error, nullptr, nullptr));
    EXPECT_EQ(120u, total);
    EXPECT_EQ(0u, error);
    EXPECT_EQ(1, DirectoryFilesSize(nullptr, nullptr, (Wide(root) + L"/nothing/").c_str(), false, &total, &error, nullptr, nullptr));
    EXPECT_EQ(0u, total);
    EXPECT_EQ((DWORD)ERROR_FILE_NOT_FOUND, error);
    EXPECT_EQ(-1, DirectoryFilesSize(nullptr, nullptr, nullptr, false, &total, &error, nullptr, nullptr));
}

}  // namespace
