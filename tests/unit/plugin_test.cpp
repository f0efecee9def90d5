#include "plugin/plugin.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "plugin/host_api.h"

namespace {

TEST(PluginTest, IdentityRecord)
{
    PluginInfo *info = GetPluginInfo();
    ASSERT_NE(nullptr, info);
    EXPECT_EQ(info, GetPluginInfo());
    EXPECT_STREQ(L"Vesk", info->Name);
    EXPECT_STREQ(L"File sorting plugin for TCC", info->Description);
    EXPECT_STREQ(L"vesk,_vesk,@vesk", info->Implements);
    EXPECT_STREQ(L"Vesk developers", info->Author);
    EXPECT_STREQ(L"vesk@example.org", info->Email);
    EXPECT_STREQ(L"https://example.org/vesk", info->WebPage);
    EXPECT_EQ(0, info->Major);
    EXPECT_EQ(71, info->Minor);
    EXPECT_EQ(2, info->Build);
}

TEST(PluginTest, HelpTextShapes)
{
    EXPECT_EQ(609u, wcslen(CommandHelp));
    EXPECT_EQ(69u, wcslen(VariableHelp));
    EXPECT_EQ(317u, wcslen(FunctionHelp));
    // Only the syntax line ends in CR LF.
    std::wstring command = CommandHelp;
    EXPECT_EQ(1u, std::count(command.begin(), command.end(), L'\r'));
    EXPECT_NE(std::wstring::npos, command.find(L"filespec...\r\n\n\t/A:  attributes mask\n"));
    EXPECT_EQ(L'\n', command.back());
    EXPECT_EQ(0u, std::wstring(VariableHelp).find(L"_VESK\n\n"));
    EXPECT_EQ(0u, std::wstring(FunctionHelp).find(L"@VESK[filespec,criterion,attribs,flags,stamp]\n\n"));
}

TEST(PluginTest, UsageForTheCommandOnly)
{
    struct {
        const wchar_t *Name;
        int Result;
    } cases[] = {{L"vesk", 1}, {L"VeSk", 1}, {L"VESK", 1}, {L"_vesk", 0},
                 {L"@vesk", 0}, {L"vesk ", 0}, {L"", 0}, {L"ves", 0}};
    for (auto c : cases) {
        wchar_t buffer[HOST_USAGE_LEN];
        wmemset(buffer, L'#', HOST_USAGE_LEN);
        std::wstring name = c.Name;
        EXPECT_EQ(c.Result, Usage(&name[0], buffer)) << c.Name;
        if (c.Result == 0) {
            EXPECT_EQ(L'#', buffer[0]) << c.Name;
            continue;
        }
        std::wstring text = buffer;
        EXPECT_EQ(537u, text.size());
        EXPECT_EQ(0u, text.find(L"VESK /A: /C:sep /I /R /T: /U /V /Z n criterion array filespec...\r\n"));
        EXPECT_EQ(std::wstring(CommandHelp).substr(609 - 537), text);
    }
    wchar_t buffer[4] = L"x";
    EXPECT_EQ(0, Usage(nullptr, buffer));
    wchar_t name[] = L"vesk";
    EXPECT_EQ(0, Usage(name, nullptr));
}

TEST(PluginTest, HelpShowsTheMatchingText)
{
    struct {
        const wchar_t *Name;
        const wchar_t *Text;
    } cases[] = {{L"vesk", CommandHelp}, {L"VESK", CommandHelp}, {L"_Vesk", VariableHelp},
                 {L"@VESK", FunctionHelp}, {L"vesk ", nullptr}, {L"@vesk[", nullptr},
                 {L"other", nullptr}};
    for (auto c : cases) {
        std::wstring name = c.Name;
        testing::internal::CaptureStdout();
        int result = Help(&name[0]);
        std::string shown = testing::internal::GetCapturedStdout();
        EXPECT_EQ(c.Text ? 1 : 0, result) << c.Name;
        if (!c.Text) {
            EXPECT_EQ("", shown) << c.Name;
            continue;
        }
        // The Linux message box prints caption and text; check the text's first line.
        std::wstring text = c.Text;
        std::string firstLine(text.begin(), text.begin() + (long)text.find(L'\n'));
        EXPECT_NE(std::string::npos, shown.find("Vesk Plugin Help")) << shown;
        EXPECT_NE(std::string::npos, shown.find(firstLine)) << shown;
    }
    EXPECT_EQ(0, Help(nullptr));
}

TEST(PluginTest, ShutdownReturnsZeroAndCanRepeat)
{
    EXPECT_EQ(0, ShutdownPlugin(0));
    EXPECT_EQ(0, ShutdownPlugin(1));
}

} // namespace
