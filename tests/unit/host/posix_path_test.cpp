#include "posix_path.h"

#include <gtest/gtest.h>

namespace {

TEST(HostPosixPathTest, NormalizeTable)
{
    struct {
        const wchar_t *Cwd;
        const wchar_t *Path;
        const wchar_t *Result;
    } cases[] = {
        {L"/home/u", L"file.txt", L"/home/u/file.txt"},
        {L"/home/u", L".", L"/home/u"},
        {L"/home/u", L"./", L"/home/u/"},
        {L"/home/u", L"..", L"/home"},
        {L"/home/u", L"../..", L"/"},
        {L"/home/u", L"../../../..", L"/"},
        {L"/home/u", L"../../../../etc", L"/etc"},
        {L"/home/u", L"a/./b/../c", L"/home/u/a/c"},
        {L"/home/u", L"a//b///c", L"/home/u/a/b/c"},
        {L"/home/u", L"a/b/", L"/home/u/a/b/"},
        {L"/home/u", L"a\\b\\*.txt", L"/home/u/a/b/*.txt"},
        {L"/home/u", L"\\usr\\share", L"/usr/share"},
        {L"/home/u", L"/usr//share/", L"/usr/share/"},
        {L"/home/u", L"/", L"/"},
        {L"/home/u", L"//", L"/"},
        {L"/home/u", L"*.[ch]", L"/home/u/*.[ch]"},
        {L"/home/u", L"data/*.log;*.txt", L"/home/u/data/*.log;*.txt"},
        {L"/", L"x", L"/x"},
        {L"/", L"..", L"/"},
        {L"/home/u/", L"x", L"/home/u/x"},
        {L"/home/u", L"...", L"/home/u/..."},
        {L"/home/u", L".hidden/..x", L"/home/u/.hidden/..x"},
    };
    for (const auto &c : cases) {
        wchar_t out[256];
        EXPECT_EQ(0, vsh::NormalizePosixPath(c.Cwd, c.Path, out, 256)) << c.Path;
        EXPECT_STREQ(c.Result, out) << c.Cwd << " + " << c.Path;
    }
}

TEST(HostPosixPathTest, NormalizeRefusesWhatDoesNotFit)
{
    wchar_t out[8];
    EXPECT_EQ(0, vsh::NormalizePosixPath(L"/", L"abcdef", out, 8));
    EXPECT_STREQ(L"/abcdef", out);
    EXPECT_EQ(-1, vsh::NormalizePosixPath(L"/", L"abcdefg", out, 8));
    EXPECT_STREQ(L"", out);
    EXPECT_EQ(-1, vsh::NormalizePosixPath(L"/", L"abcdef/", out, 8));
    EXPECT_EQ(-1, vsh::NormalizePosixPath(L"/a", L"", out, 8));
    EXPECT_EQ(-1, vsh::NormalizePosixPath(L"/a", nullptr, out, 8));
}

}  // namespace
