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
    std::wstring path = Wide(root) + L"/b/*";
    EXPECT_EQ(120u, DirectoryFilesSize(path.c_str()));
    std::wstring missing = Wide(root) + L"/nothing/*";
    EXPECT_EQ(0u, DirectoryFilesSize(missing.c_str()));
}

}  // namespace
