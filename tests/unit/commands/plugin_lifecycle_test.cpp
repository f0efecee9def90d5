#include <gtest/gtest.h>

#include <string>

#include "commands/help_texts.h"
#include "commands/plugin_lifecycle.h"
#include "host_test_util.h"
#include "plugin/exports.h"
#include "plugin/host_api.h"
#include "plugin/plugin.h"

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

TEST(PluginTest, IdentityRecordLeavesRoomForTheShellsPart)
{
    // As the shell may: fill its part after the nine fields. Without the room this lands
    // on the plug-in's other static data (the sanitizer build stops on it).
    PluginInfo *info = GetPluginInfo();
    void **shellPart = (void **)(info + 1);
    for (int i = 0; i < PLUGIN_INFO_SHELL_SLOTS; i++) shellPart[i] = info;
    info = GetPluginInfo();
    EXPECT_STREQ(L"Vesk", info->Name);
    EXPECT_EQ(2, info->Build);
    for (int i = 0; i < PLUGIN_INFO_SHELL_SLOTS; i++) EXPECT_EQ(info, shellPart[i]);
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

// ---- Start-up against the stand-in shell's variables -----------------------------------

class PluginShellTest : public ShellTest {};

TEST_F(PluginShellTest, HostVersionTable)
{
    struct {
        const wchar_t *Version;
        const wchar_t *Build;
        const wchar_t *Edition;
        int Code;
    } cases[] = {
        {nullptr, nullptr, nullptr, 0},  // the shell's own values
        {L"10.00", L"0", L"TCC", 0},
        {L"10.5", L"38", L"TCC", 0},
        {L"99.99", L"9999", L"TCC", 0},
        {L" 12,01", L"7", L"TCC", 0},
        {L"+12x01", L"7", L"TCC", 0},
        {L"9.00", L"38", L"TCC", 1},
        {L"7.0", L"1", L"TCC", 1},
        {L"9.00", L"38", L"TCCLE", 1},  // the version is checked first
        {L"10", L"38", L"TCC", -1},
        {L"10.", L"38", L"TCC", -1},
        {L"10.100", L"38", L"TCC", -1},
        {L"10.-1", L"38", L"TCC", -1},
        {L"100.00", L"38", L"TCC", -1},
        {L"6.00", L"38", L"TCC", -1},
        {L"-10.00", L"38", L"TCC", -1},
        {L"10.00", L"10000", L"TCC", -1},
        {L"10.00", L"-1", L"TCC", -1},
        {L"10.00", L"x", L"TCC", 0},  // no digits read as build 0
        {L"abc", L"38", L"TCC", -1},
        {L"99999999999999999999.00", L"38", L"TCC", -1},
        {L"10.00", L"38", L"TCCLE", 2},
        {L"10.00", L"38", L"tccle", 2},
        {L"10.00", L"38", L"TcCle", 2},
        {L"10.00", L"38", L"TCCLE ", 0},
        {L"10.00", L"38", L"Take Command", 0},
    };
    for (auto c : cases) {
        vsh::ResetShell(false);
        if (c.Version) vsh::SetVariable(L"_4ver", c.Version);
        if (c.Build) vsh::SetVariable(L"_build", c.Build);
        if (c.Edition) vsh::SetVariable(L"_cmdproc", c.Edition);
        EXPECT_EQ(c.Code, CheckHostVersion())
            << (c.Version ? c.Version : L"-") << " " << (c.Build ? c.Build : L"-") << " "
            << (c.Edition ? c.Edition : L"-");
    }
}

TEST_F(PluginShellTest, UnsuitableHostRefusesWithOneMessage)
{
    struct {
        const wchar_t *Name;
        const wchar_t *Value;
    } cases[] = {{L"_4ver", L"9.00"}, {L"_4ver", L"10"}, {L"_build", L"10000"},
                 {L"_cmdproc", L"tccLE"}};
    for (auto c : cases) {
        vsh::ResetShell(false);
        vsh::SetVariable(c.Name, c.Value);
        out.clear();
        err.clear();
        EXPECT_EQ(-1, InitializePlugin()) << c.Name << "=" << c.Value;
        EXPECT_EQ(L"Vesk plugin: TCC v10.00 or higher required!\r\n", err);
        EXPECT_EQ(L"", out);
    }
}

TEST_F(PluginShellTest, LoadMessageOnlyForExactlyZeroZero)
{
    struct {
        const wchar_t *Transient;
        const wchar_t *Pipe;
        const wchar_t *NoLoadMsg;
        bool Shown;
    } cases[] = {
        {nullptr, nullptr, nullptr, true},
        {L"0", L"0", nullptr, true},
        {L"1", L"0", nullptr, false},
        {L"0", L"1", nullptr, false},
        {nullptr, nullptr, L"0", false},
        {nullptr, nullptr, L"1", false},
        {nullptr, nullptr, L"anything", false},
        {L"0", nullptr, L"0", false},
    };
    for (auto c : cases) {
        vsh::ResetShell(false);
        if (c.Transient) vsh::SetVariable(L"_transient", c.Transient);
        if (c.Pipe) vsh::SetVariable(L"_pipe", c.Pipe);
        if (c.NoLoadMsg) vsh::SetVariable(L"noloadmsg", c.NoLoadMsg);
        out.clear();
        err.clear();
        EXPECT_EQ(0, InitializePlugin());
        EXPECT_EQ(c.Shown ? L"Vesk v0.71.2 loaded.\r\n" : L"", out)
            << (c.NoLoadMsg ? c.NoLoadMsg : L"-");
        EXPECT_EQ(L"", err);
    }
}

} // namespace
