#include "search/filespec_scan.h"

#include <gtest/gtest.h>

#include "search_fixture.h"

namespace {

TEST_F(SearchTest, SemicolonMasksRoundTrip)
{
    wchar_t text[] = L"a;b;;c\xFF1B";
    EXPECT_EQ(3, MaskSemicolons(text));
    EXPECT_STREQ(L"a\xFF1B" L"b\xFF1B\xFF1B" L"c\xFF1B", text);
    EXPECT_EQ(4, UnmaskSemicolons(text));
    EXPECT_STREQ(L"a;b;;c;", text);
    EXPECT_EQ(0, MaskSemicolons(nullptr));
}

TEST_F(SearchTest, VolumeFileSystemNeedsARoot)
{
    wchar_t fs[1024];
    EXPECT_EQ(RESULT_FAILED, VolumeFileSystem(L"relative/path", fs));
    EXPECT_EQ(-1, VolumeFileSystem(nullptr, fs));
    EXPECT_EQ(-1, VolumeFileSystem(L"/", nullptr));
    std::wstring dir = Wide(root) + L"/";
    EXPECT_EQ(0, VolumeFileSystem(dir.c_str(), fs));
    EXPECT_NE(L'\0', fs[0]);
}

/// The trace lines of one VeskFiles2 call, as printed on standard output.
std::string TraceOf(const std::wstring &spec, int *result)
{
    SearchOptions o;
    memset(&o, 0, sizeof o);
    o.FullPaths = 1;
    o.Debug = 1;
    ResultList results = {};
    StartResults(&results, 1, MODE_LARGEST);
    testing::internal::CaptureStdout();
    *result = VeskFiles2(spec.c_str(), &o, &results);
    fflush(stdout);
    std::string out = testing::internal::GetCapturedStdout();
    ClearResults(&results);
    return out;
}

TEST_F(SearchTest, FileSpecSplitsIntoDirectoryAndPatterns)
{
    Dir("data");
    File("data/a.txt", 1);
    char saved[4096];
    ASSERT_NE(nullptr, getcwd(saved, sizeof saved));
    ASSERT_EQ(0, chdir(root.c_str()));
    std::string r = root;
    std::string backslashed = root;
    std::replace(backslashed.begin(), backslashed.end(), '/', '\\');
    struct {
        std::string Spec, DirName, WildSpec;
    } cases[] = {
        {"*.txt", r + "/", "*.txt"},
        {r + "/data", r + "/data/", "*"},
        {r + "/data/", r + "/data/", "*"},
        {r + "/data/*.log;*.txt", r + "/data/", "*.log;*.txt"},
        {"data/*.t?t", r + "/data/", "*.t?t"},
        {backslashed + "\\data", r + "/data/", "*"},
        {backslashed + "\\data\\*.txt", r + "/data/", "*.txt"},
        // The root's own entries.
        {"/et?", "/", "et?"},
        {"\\et?", "/", "et?"},
        // A drive that is not ready, as typed, whatever an earlier call left in the buffers.
        {"Q:", "Q:", "*"},
    };
    for (const auto &c : cases) {
        int result = -2;
        std::string out = TraceOf(Wide(c.Spec), &result);
        EXPECT_EQ(0, result) << c.Spec;
        std::string expected = "   * VeskFiles2( \"" + c.Spec + "\" )\nDirName   : \"" + c.DirName +
                               "\"\nWildSpec  : \"" + c.WildSpec + "\"\n   * VeskFiles( \"" +
                               c.DirName + "\", \"" + c.WildSpec + "\" )\n";
        EXPECT_EQ(expected, out.substr(0, expected.size())) << c.Spec;
    }
    // A name that would end a trace line or steer the console shows as "?".
    Dir("x\x1b[2J\ny");
    int result = 0;
    std::string odd = TraceOf(Wide("x\x1b[2J\ny/*.txt"), &result);
    EXPECT_NE(std::string::npos, odd.find("   * VeskFiles2( \"x?[2J?y/*.txt\" )\n")) << odd;
    EXPECT_NE(std::string::npos, odd.find("   * VeskFiles( \"" + r + "/x?[2J?y/\", \"*.txt\" )\n"))
        << odd;
    EXPECT_EQ("", TraceOf(L"", &result));
    EXPECT_EQ(-1, result);
    SearchOptions o;
    memset(&o, 0, sizeof o);
    ASSERT_EQ(0, StartResults(&results, 1, MODE_LARGEST));
    EXPECT_EQ(-1, VeskFiles2(nullptr, &o, &results));
    EXPECT_EQ(-1, VeskFiles2(L"*", &o, nullptr));
    std::wstring tooLong(PATH_BUFFER_LEN, L'a');
    testing::internal::CaptureStderr();
    EXPECT_EQ(RESULT_FAILED, VeskFiles2(tooLong.c_str(), &o, &results));
    EXPECT_NE(std::string::npos,
              testing::internal::GetCapturedStderr().find("File specification too long"));
    ASSERT_EQ(0, chdir(saved));
}

}  // namespace
