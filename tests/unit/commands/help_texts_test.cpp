#include "commands/help_texts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

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
    // The rows stored, as the array holds them: a refused row was found but is not there.
    EXPECT_NE(std::wstring::npos, std::wstring(VariableHelp).find(L" rows stored by the last VESK command.  \n"));
    EXPECT_EQ(0u, std::wstring(FunctionHelp).find(L"@VESK[filespec,criterion,attribs,flags,stamp]\n\n"));
}

}  // namespace
