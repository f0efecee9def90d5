#include <gtest/gtest.h>

#include <stdio.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "text/native_text.h"
#include "plugin/host_api.h"

namespace {

TEST(HostPathsTest, QueryTrueNameIsAbsoluteAndBounded)
{
    std::vector<wchar_t> result(HOST_RESULT_LEN, L'?');
    ASSERT_EQ(0, QueryTrueName(L"x\\y\\..\\*.txt", result.data()));
    std::wstring name = result.data();
    ASSERT_FALSE(name.empty());
    EXPECT_EQ(L'/', name[0]);
    EXPECT_EQ(L"/x/*.txt", name.substr(name.size() - 8));

    // A path whose true name would need 16384 characters or more is refused with an
    // empty result; one that just fits is accepted.
    std::wstring longPath = L"/" + std::wstring(HOST_RESULT_LEN - 1, L'a');
    EXPECT_NE(0, QueryTrueName(longPath.c_str(), result.data()));
    EXPECT_EQ(L'\0', result[0]);
    longPath.pop_back();
    EXPECT_EQ(0, QueryTrueName(longPath.c_str(), result.data()));
    EXPECT_EQ(longPath.size(), wcslen(result.data()));
    EXPECT_NE(0, QueryTrueName(L"", result.data()));
}

TEST(HostPathsTest, ExistenceQueriesAcceptBackslashes)
{
    char dir[] = "/tmp/vshell-paths-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(dir));
    std::string sub = std::string(dir) + "/sub";
    ASSERT_EQ(0, mkdir(sub.c_str(), 0755));
    std::string file = sub + "/f.txt";
    FILE *f = fopen(file.c_str(), "w");
    ASSERT_NE(nullptr, f);
    fclose(f);

    wchar_t wide[512];
    NativeToWide(dir, strlen(dir), wide, 512);
    std::wstring base = wide;
    EXPECT_EQ(1, QueryIsDirectory((base + L"/sub").c_str()));
    EXPECT_EQ(1, QueryIsDirectory((base + L"\\sub").c_str()));
    EXPECT_EQ(0, QueryIsDirectory((base + L"\\sub\\f.txt").c_str()));
    EXPECT_EQ(1, QueryIsFileOrDirectory((base + L"\\sub\\f.txt").c_str()));
    EXPECT_EQ(0, QueryIsFileOrDirectory((base + L"\\sub\\*.txt").c_str()));
    EXPECT_EQ(0, QueryIsFileOrDirectory(L""));
    EXPECT_EQ(0, QueryIsDirectory(nullptr));
    EXPECT_EQ(0, QueryDriveReady(3));

    unlink(file.c_str());
    rmdir(sub.c_str());
    rmdir(dir);
}

}  // namespace
