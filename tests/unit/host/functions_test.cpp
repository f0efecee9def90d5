#include "host_test_util.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <string>
#include <unistd.h>

#include "functions.h"
#include "state.h"
#include "text/native_text.h"

namespace {

TEST(HostFunctionsTest, GroupDigits)
{
    struct {
        const wchar_t *In;
        const wchar_t *Out;
    } cases[] = {
        {L"0", L"0"},
        {L"999", L"999"},
        {L"1000", L"1,000"},
        {L"1234567", L"1,234,567"},
        {L"18446744073709551615", L"18,446,744,073,709,551,615"},
        {L"-1234", L"-1,234"},
        {L"+1234", L"+1,234"},
        {L"1234.5678", L"1,234.5678"},
        {L"", L""},
        {L"-", L"-"},
        {L"12a", L"12a"},
        {L"1234.", L"1234."},
        {L".5", L".5"},
        {L" 1234", L" 1234"},
        {L"1,234", L"1,234"},
        {L"abc", L"abc"},
    };
    for (const auto &c : cases) EXPECT_EQ(c.Out, vsh::GroupDigits(c.In)) << c.In;
}

TEST(HostFunctionsTest, CharacterCodesOfEveryCharacter)
{
    EXPECT_EQ(L"", vsh::CharacterCodes(L""));
    EXPECT_EQ(L"32 65 34 37 94 32", vsh::CharacterCodes(L" A\"%^ "));
    EXPECT_EQ(L"233 128512 56832", vsh::CharacterCodes(L"\u00e9\U0001F600\xDE00"));
}

TEST(HostFunctionsTest, DescriptionLines)
{
    struct {
        const wchar_t *Line;
        bool Ok;
        const wchar_t *Name;
        const wchar_t *Description;
    } cases[] = {
        {L"file.txt A text file", true, L"file.txt", L"A text file"},
        {L"file.txt\t\t tabbed", true, L"file.txt", L"tabbed"},
        {L"\"my file.txt\" with blanks", true, L"my file.txt", L"with blanks"},
        {L"\"my file.txt\"", true, L"my file.txt", L""},
        {L"bare", true, L"bare", L""},
        {L"x.txt   trailing  ", true, L"x.txt", L"trailing  "},
        {L"", false, L"", L""},
        {L"\"unclosed name", false, L"", L""},
        {L"\"\" empty", false, L"", L""},
        {L" leading", false, L"", L""},
    };
    for (const auto &c : cases) {
        std::wstring name, description;
        EXPECT_EQ(c.Ok, vsh::ParseDescriptionLine(c.Line, &name, &description)) << c.Line;
        if (!c.Ok) continue;
        EXPECT_EQ(c.Name, name) << c.Line;
        EXPECT_EQ(c.Description, description) << c.Line;
    }
}

TEST(HostFunctionsTest, FindDescriptionIgnoresCaseAndLineEnds)
{
    // CR LF, LF and a CR alone each end a line; a CR never stays in a description.
    for (const wchar_t *text :
         {L"a.txt first\r\n\"B C.txt\" second\r\nd.txt  third\nA.TXT again",
          L"a.txt first\r\"B C.txt\" second\rd.txt  third\rA.TXT again\r",
          L"a.txt first\n\r\"B C.txt\" second\r\r\nd.txt  third\n\nA.TXT again"}) {
        EXPECT_EQ(L"first", vsh::FindDescription(text, L"A.txt"));
        EXPECT_EQ(L"second", vsh::FindDescription(text, L"b c.TXT"));
        EXPECT_EQ(L"third", vsh::FindDescription(text, L"d.txt"));
        EXPECT_EQ(L"", vsh::FindDescription(text, L"e.txt"));
        EXPECT_EQ(L"", vsh::FindDescription(text, L"B"));
    }
}

TEST(HostFunctionsTest, DescriptionsNotWholeFailOrAreCutAsTheReadingSays)
{
    const std::wstring line(8191, L'x');
    struct {
        std::wstring Description;
        bool Cut;
        int Result;
        std::wstring HandedOver;
    } cases[] = {
        {L"plain", false, vsh::FUNCTION_OK, L"plain"},
        {line, false, vsh::FUNCTION_OK, line},
        {line + L"y", false, vsh::FUNCTION_FAILED, L""},
        {line + L"y", true, vsh::FUNCTION_OK, line},
        {std::wstring(L"ab\0cd", 5), false, vsh::FUNCTION_FAILED, L""},
        {std::wstring(L"ab\0cd", 5), true, vsh::FUNCTION_OK, L"ab"},
        {std::wstring(L"\0cd", 3), true, vsh::FUNCTION_OK, L""},
    };
    for (const auto &c : cases) {
        vsh::Shell.Reading.DescriptionsWhole = !c.Cut;
        std::wstring result;
        EXPECT_EQ(c.Result, vsh::HandOverDescription(c.Description, &result))
            << c.Description.size() << " cut " << c.Cut;
        EXPECT_EQ(c.HandedOver, result);
    }
    vsh::Shell.Reading.DescriptionsWhole = true;
}

using HostDescriptTest = ShellTest;

TEST_F(HostDescriptTest, FromTheDescriptionFileOfTheFilesDirectory)
{
    char dir[] = "/tmp/vshell-descript-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(dir));
    std::string list = std::string(dir) + "/DESCRIPT.ION";
    FILE *f = fopen(list.c_str(), "wb");
    ASSERT_NE(nullptr, f);
    fputs("\xEF\xBB\xBFreport.txt Quarterly \xC3\xBC" "bersicht\r\n\"two words.txt\" spaced\r\n", f);
    fclose(f);
    wchar_t wide[512];
    NativeToWide(dir, strlen(dir), wide, 512);
    std::wstring base = wide;

    EXPECT_EQ(L"Quarterly \u00FCbersicht", vsh::DescriptionOf(base + L"/REPORT.TXT"));
    EXPECT_EQ(L"spaced", vsh::DescriptionOf(L"\"" + base + L"\\two words.txt\""));
    EXPECT_EQ(L"", vsh::DescriptionOf(base + L"/other.txt"));
    EXPECT_EQ(L"", vsh::DescriptionOf(base + L"/sub/report.txt"));
    EXPECT_EQ(L"spaced", Expand(L"%@descript[" + base + L"/two words.txt]"));
    // The name of the description file is the shell's _dname.
    vsh::SetVariable(L"_dname", L"none.here");
    EXPECT_EQ(L"", vsh::DescriptionOf(base + L"/report.txt"));

    vsh::SetVariable(L"_dname", L"DESCRIPT.ION");

    // The parsed file is kept, but a change of size or time is seen at once.
    f = fopen(list.c_str(), "wb");
    ASSERT_NE(nullptr, f);
    fputs("report.txt changed and longer\r\nreport.txt second line loses\r\n", f);
    fclose(f);
    EXPECT_EQ(L"changed and longer", vsh::DescriptionOf(base + L"/report.txt"));
    f = fopen(list.c_str(), "wb");
    ASSERT_NE(nullptr, f);
    fputs("report.txt CHANGED AND LONGER\r\n", f);
    fclose(f);
    struct timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(0, utimensat(AT_FDCWD, list.c_str(), times, 0));
    EXPECT_EQ(L"CHANGED AND LONGER", vsh::DescriptionOf(base + L"/report.txt"));
    unlink(list.c_str());
    EXPECT_EQ(L"", vsh::DescriptionOf(base + L"/report.txt"));

    rmdir(dir);
}

}  // namespace
