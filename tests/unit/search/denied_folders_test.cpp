#include "search/denied_folders.h"

#include <gtest/gtest.h>

#include <string>

#include "host_test_util.h"

namespace {

TEST(DeniedFoldersTest, OneLineCountsThemAndNamesTheFirstFew)
{
    struct {
        int Folders;
        bool Named;
        const char *Line;  // after the prefix; "" for none
    } cases[] = {
        {0, true, ""},
        {1, false, "1 folder could not be read: access denied"},
        {2, true, "2 folders could not be read: access denied (\"/d0\", \"/d1\")"},
        {5, true,
         "5 folders could not be read: access denied (\"/d0\", \"/d1\", \"/d2\" and 2 more)"},
        {5, false, "5 folders could not be read: access denied"},
    };
    for (const auto &c : cases) {
        DeniedFolders denied = {};
        // Each folder met twice, as two overlapping file specifications meet it: once.
        for (int round = 0; round < 2; ++round)
            for (int i = 0; i < c.Folders; ++i)
                NoteDeniedFolder(&denied, (L"/d" + std::to_wstring(i)).c_str(), nullptr);
        testing::internal::CaptureStderr();
        EXPECT_EQ(0, ReportDeniedFolders(&denied, c.Named));
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(*c.Line ? "Vesk plugin: " + std::string(c.Line) + "\n" : "", err);
        FreeDeniedFolders(&denied);
        EXPECT_EQ(0u, denied.Count);
    }
    // A name too long for a line keeps its start and end.
    DeniedFolders denied = {};
    std::wstring longName = L"/start" + std::wstring(1000, L'x') + L"/end";
    NoteDeniedFolder(&denied, longName.c_str(), nullptr);
    std::wstring kept = denied.Names[0];
    EXPECT_EQ((size_t)DENIED_NAME_LEN - 1, kept.size());
    EXPECT_EQ(L"/start", kept.substr(0, 6));
    EXPECT_EQ(L"xxx/end", kept.substr(kept.size() - 7));
    EXPECT_NE(std::wstring::npos, kept.find(L"..."));
    FreeDeniedFolders(&denied);

    // One folder by two paths (a link to it) is one; the identity of another is another.
    const FileId first = {9, 100, 0}, second = {9, 101, 0};
    NoteDeniedFolder(&denied, L"/tree/a", &first);
    NoteDeniedFolder(&denied, L"/tree/link", &first);
    NoteDeniedFolder(&denied, L"/tree/b", &second);
    NoteDeniedFolder(&denied, L"/tree/a", nullptr);  // where no identity could be told
    EXPECT_EQ(3u, denied.Count);
    FreeDeniedFolders(&denied);
}

}  // namespace
