#include "search/covered_trees.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "search/path_hash.h"
#include "search/search.h"

namespace {

std::wstring Wide(const std::string &s) { return std::wstring(s.begin(), s.end()); }

/// A directory is covered only by a top it lies under name by name, through directories
/// the walk would descend into; tops are found among thousands that share a prefix.
TEST(CoveredTreesTest, ALinkIsCoveredOnlyByATopItLiesUnder)
{
    char pattern[] = "/tmp/vesk_covered_XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(pattern));
    const std::string top = pattern;
    for (const char *dir : {"/a", "/a/b", "/ab"}) ASSERT_EQ(0, mkdir((top + dir).c_str(), 0755));
    ASSERT_EQ(0, symlink("a", (top + "/lnk").c_str()));

    CoveredTrees trees = {};
    wchar_t scratch[PATH_BUFFER_LEN];
    const int packages = 2000;
    for (int i = 0; i < packages; ++i)
        ASSERT_TRUE(AddCoveredTree(&trees, Wide("/x/out/pkg" + std::to_string(i)).c_str(), 8));
    ASSERT_TRUE(AddCoveredTree(&trees, Wide(top).c_str(), top.size() + 1));
    for (int i = 0; i < packages; ++i)
        ASSERT_TRUE(ProbeCoveredPlainly(&trees, Wide("/x/out/pkg" + std::to_string(i)).c_str(), 0,
                                     scratch)) << i;

    const struct {
        std::string Path;
        uint32_t Flags;
        bool Covered;
    } cases[] = {
        {"/x/out/pkg7x", WALK_RECURSE, false},  // a longer name, not a directory below
        {"/x/out/pkg", WALK_RECURSE, false},
        {"/x/out", WALK_RECURSE, false},
        {top + "/a/b", WALK_RECURSE, true},
        {top + "/a/b", 0, false},  // the walk does not descend
        {top + "/ab", WALK_RECURSE | WALK_NO_HIDDEN_DIRS, true},
        {top + "/lnk/b", WALK_RECURSE, false},  // the walk does not follow it plainly
        {top + "/gone", WALK_RECURSE, false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.Covered, ProbeCoveredPlainly(&trees, Wide(c.Path).c_str(), c.Flags, scratch))
            << c.Path;
    FreeCoveredTrees(&trees);
    EXPECT_EQ(0u, trees.Count);

    // A top that is the root ends in its separator.
    ASSERT_TRUE(AddCoveredTree(&trees, L"/", 1));
    EXPECT_TRUE(ProbeCoveredPlainly(&trees, Wide(top + "/a").c_str(), WALK_RECURSE, scratch));
    FreeCoveredTrees(&trees);

    for (const char *dir : {"/lnk", "/a/b", "/a", "/ab", ""})
        (std::string(dir) == "/lnk" ? unlink : rmdir)((top + dir).c_str());
}

uint64_t PathHash(const wchar_t *path)
{
    uint64_t hash = PATH_HASH_START;
    for (; *path != L'\0'; ++path) hash = PathHashStep(hash, *path);
    return hash;
}

/// Tops are found by hash and length, but a path is covered only by a top of its own text.
TEST(CoveredTreesTest, ATopOfTheSameHashAndLengthCoversNothingElse)
{
    // Two texts of one hash, found by lattice reduction.
    const wchar_t *top = L"/\u5000\u8000\u4e00\u4e00\u5000\u5000";
    const wchar_t *twin = L"/\u5537\u85bc\u4f4b\u5685\u5fd3\u5260";
    ASSERT_EQ(PathHash(top), PathHash(twin));
    CoveredTrees trees = {};
    wchar_t scratch[PATH_BUFFER_LEN];
    ASSERT_TRUE(AddCoveredTree(&trees, top, 8));
    EXPECT_TRUE(ProbeCoveredPlainly(&trees, top, 0, scratch));
    EXPECT_FALSE(ProbeCoveredPlainly(&trees, twin, 0, scratch));
    FreeCoveredTrees(&trees);
}

}  // namespace
