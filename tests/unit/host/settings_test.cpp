#include "host_test_util.h"

#include <stdio.h>
#include <string>
#include <unistd.h>

#include "command_line.h"
#include "expand.h"
#include "settings.h"

namespace {

using HostSettingsTest = ShellTest;

// The output of one command line run through the Command service.
std::wstring Output(const wchar_t *line, std::wstring *out)
{
    out->clear();
    Command(line, 0);
    return *out;
}

TEST_F(HostSettingsTest, SetdosParsesAndRefusesAsAWhole)
{
    struct {
        const wchar_t *Args;
        int Result;
        wchar_t Escape;
        wchar_t Separator;
        unsigned Off;  // bits of the features switched off
    } cases[] = {
        {L"/e~", 0, L'~', L'&', 0},
        {L"/E~ /C!", 0, L'~', L'!', 0},
        {L"  /c;  ", 0, L'^', L';', 0},
        {L"/x-4", 0, L'^', L'&', 1u << 4},
        {L"/X-34", 0, L'^', L'&', (1u << 3) | (1u << 4)},
        {L"/x-3489 /x+48", 0, L'^', L'&', (1u << 3) | (1u << 9)},
        {L"/x-44", 0, L'^', L'&', 1u << 4},
        {L"/x-12 /x0", 0, L'^', L'&', 0},
        {L"/e&", 1, 0, 0, 0},      // the separator's character
        {L"/c^", 1, 0, 0, 0},      // the escape character
        {L"/e& /c~", 1, 0, 0, 0},  // checked in order: "&" is still the separator
        {L"/c~ /e&", 0, L'&', L'~', 0},
        {L"/ea", 1, 0, 0, 0},      {L"/e7", 1, 0, 0, 0},    {L"/e%", 1, 0, 0, 0},
        {L"/e\"", 1, 0, 0, 0},     {L"/c`", 1, 0, 0, 0},    {L"/c\t", 1, 0, 0, 0},
        {L"/c\x1B", 1, 0, 0, 0},   {L"/c\x00E9", 1, 0, 0, 0},
        {L"/e", 1, 0, 0, 0},       {L"/e~~", 1, 0, 0, 0},   {L"/x", 1, 0, 0, 0},
        {L"/x-", 1, 0, 0, 0},      {L"/x4", 1, 0, 0, 0},    {L"/x-0", 1, 0, 0, 0},
        {L"/x-4a", 1, 0, 0, 0},    {L"/x00", 1, 0, 0, 0},   {L"/q", 1, 0, 0, 0},
        {L"x-4", 1, 0, 0, 0},      {L"/e~ /bogus", 1, 0, 0, 0},
    };
    for (const auto &c : cases) {
        vsh::ParsingSettings settings = {L'^', L'&', 0};
        std::wstring message;
        EXPECT_EQ(c.Result, vsh::ParseSetdos(c.Args, &settings, &message)) << c.Args;
        EXPECT_EQ(c.Result != 0, !message.empty()) << c.Args;
        if (c.Result != 0) {
            // Nothing of a refused command is applied, not even its valid switches.
            EXPECT_EQ(L'^', settings.EscapeChar) << c.Args;
            EXPECT_EQ(L'&', settings.Separator) << c.Args;
            EXPECT_EQ(0u, settings.FeaturesOff) << c.Args;
            continue;
        }
        EXPECT_EQ(c.Escape, settings.EscapeChar) << c.Args;
        EXPECT_EQ(c.Separator, settings.Separator) << c.Args;
        EXPECT_EQ(c.Off, settings.FeaturesOff) << c.Args;
    }

    // As a command: refused with a message and result 1, the shell unchanged.
    EXPECT_EQ(1, Command(L"setdos /x-4 /e^&", 0));
    EXPECT_NE(std::wstring::npos, err.find(L"vshell: setdos:")) << err;
    EXPECT_EQ(0u, vsh::Shell.FeaturesOff);
    EXPECT_EQ(L'^', vsh::Shell.EscapeChar);
}

TEST_F(HostSettingsTest, SetdosAloneListsAndANewShellHasTheDefaults)
{
    EXPECT_EQ(L"ESCAPE=^\r\nSEPARATOR=&\r\nEXPANSION=0\r\n", Output(L"setdos", &out));
    EXPECT_EQ(0, Command(L"setdos /e~ /c! /x-83", 0));
    EXPECT_EQ(L"ESCAPE=~\r\nSEPARATOR=!\r\nEXPANSION=-38\r\n", Output(L"setdos", &out));
    EXPECT_EQ(L"", err);
    vsh::ResetShell(false);
    EXPECT_EQ(L'^', vsh::Shell.EscapeChar);
    EXPECT_EQ(L'&', vsh::Shell.Separator);
    EXPECT_EQ(0u, vsh::Shell.FeaturesOff);
}

TEST_F(HostSettingsTest, PseudoVariablesAndExpansionDigits)
{
    EXPECT_EQ(L"[^] [&] []", Expand(L"[%=] [%+] [%_expansion]"));
    struct {
        const wchar_t *Setdos;
        const wchar_t *Digits;
    } cases[] = {
        {L"setdos /x-4", L"4"},   {L"setdos /x-83", L"348"}, {L"setdos /x+84", L"3"},
        {L"setdos /x-921", L"1239"}, {L"setdos /x0", L""},
    };
    for (const auto &c : cases) {
        ASSERT_EQ(0, Command(c.Setdos, 0)) << c.Setdos;
        EXPECT_EQ(c.Digits, Expand(L"%_expansion")) << c.Setdos;
    }
    ASSERT_EQ(0, Command(L"setdos /e~ /c;", 0));
    EXPECT_EQ(L"[~] [;]", Expand(L"[%=] [%+]"));
    // What they give is literal: neither a separator nor an escape of what follows.
    EXPECT_EQ(L"a;echo b\r\n~x\r\n", Output(L"echo a%+echo b ; echo %=x", &out));
}

TEST_F(HostSettingsTest, EscapeLetterCodes)
{
    EXPECT_EQ(L"\" ,`\r\n\t\x1B\b\f\a|\" ,`\r\n\t\x1B\b\f\a",
              Expand(L"^q^s^c^k^r^n^t^e^b^f^g|^Q^S^C^K^R^N^T^E^B^F^G"));
    EXPECT_EQ(L"&^%x[]a", Expand(L"^&^^^%x^[^]^a"));
    // As typed: the codes are literal characters of the argument.
    EXPECT_EQ(L"\"a&b\"  ,\r\n", Output(L"echo ^qa^&b^q^s^s^c", &out));

    ASSERT_EQ(0, Command(L"setdos /e~", 0));
    EXPECT_EQ(L"\"^x&", Expand(L"~q^x~&"));
    EXPECT_EQ(L"a&b^\r\n", Output(L"echo a~&b^", &out));
}

TEST_F(HostSettingsTest, BackQuotesTakeTheirTextLiterally)
{
    vsh::SetVariable(L"X", L"1");
    char dir[] = "/tmp/vshell-bq-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(dir));
    std::wstring file = std::wstring(dir, dir + strlen(dir)) + L"/f";
    std::wstring line = L"echo `%X% ^q & \"a > " + file + L"` %X%";
    EXPECT_EQ(L"%X% ^q & \"a > " + file + L" 1\r\n", Output(line.c_str(), &out));
    EXPECT_NE(0, access((std::string(dir) + "/f").c_str(), F_OK));
    rmdir(dir);

    struct {
        const wchar_t *Line;
        const wchar_t *Out;
    } cases[] = {
        {L"echo a`b", L"a`b"},                    // no closing back quote: ordinary
        {L"echo ``x", L"x"},                      // empty back quotes
        {L"echo \"`%X%`\"", L"\"`1`\""},          // inside double quotes: ordinary
        {L"echo ^`%X%^`", L"`1`"},                // escaped
        {L"echo %@comma[`1]2`]", L"1]2"},         // a bracket inside them does not close
        {L"echo `a`&echo `b`", L"a\r\nb"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(std::wstring(c.Out) + L"\r\n", Output(c.Line, &out)) << c.Line;
    EXPECT_EQ(L"", err);
    EXPECT_EQ(L"`1`", Expand(L"`%X%`")) << "the service leaves back quotes alone";
}

TEST_F(HostSettingsTest, EachFeatureOffAndOnAgain)
{
    vsh::SetVariable(L"X", L"1");
    vsh::SetVariable(L"N", L"%X%");
    char dir[] = "/tmp/vshell-x6-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(dir));
    std::wstring file = std::wstring(dir, dir + strlen(dir)) + L"/f";
    std::wstring redirect = L"echo a > " + file;
    struct {
        const wchar_t *Feature;
        std::wstring Line;
        std::wstring On;
        std::wstring Off;
    } cases[] = {
        {L"3", L"echo %X% %% %= %N", L"1 % ^ 1", L"%X% %% %= %N"},
        {L"4", L"echo %N", L"1", L"%X%"},
        {L"5", L"echo a & echo b", L"a\r\nb", L"a & echo b"},
        {L"5", L"echo a&&b||c|d", L"", L"a&&b||c|d"},
        {L"6", L"echo a < c", L"", L"a < c"},
        {L"7", L"echo \"a & b\" `c`", L"\"a & b\" c", L"\"a\r\n"},
        {L"8", L"echo a^&b^", L"a&b^", L"a^\r\n"},
        {L"1", L"echo %X%", L"1", L"1"},
        {L"2", L"echo %X%", L"1", L"1"},
        {L"9", L"echo %X%", L"1", L"1"},
    };
    for (const auto &c : cases) {
        std::wstring off = L"setdos /x-" + std::wstring(c.Feature);
        std::wstring on = L"setdos /x+" + std::wstring(c.Feature);
        ASSERT_EQ(0, Command(off.c_str(), 0));
        EXPECT_EQ(c.Feature, Expand(L"%_expansion"));
        std::wstring printed = Output(c.Line.c_str(), &out);
        EXPECT_EQ(0u, printed.find(c.Off)) << c.Feature << ": " << printed;
        ASSERT_EQ(0, Command(on.c_str(), 0));
        err.clear();
        printed = Output(c.Line.c_str(), &out);
        EXPECT_EQ(c.On.empty() ? L"" : c.On + L"\r\n", printed) << c.Feature;
        EXPECT_EQ(c.On.empty(), !err.empty()) << c.Feature << ": " << err;
        err.clear();
    }

    // Redirection off: ">" is text and no file is made.
    ASSERT_EQ(0, Command(L"setdos /x-6", 0));
    EXPECT_EQ(L"a > " + file + L"\r\n", Output(redirect.c_str(), &out));
    EXPECT_NE(0, access((std::string(dir) + "/f").c_str(), F_OK));
    // Quoting off: a double quote no longer protects the separator or redirection.
    ASSERT_EQ(0, Command(L"setdos /x0 /x-7", 0));
    std::wstring quoted = L"echo \"x > " + file + L" \"";
    EXPECT_EQ(0, Command(quoted.c_str(), 0));
    EXPECT_EQ(0, access((std::string(dir) + "/f").c_str(), F_OK));
    unlink((std::string(dir) + "/f").c_str());
    rmdir(dir);
}

TEST_F(HostSettingsTest, SeparatorAndEscapeSettingsInCommandLines)
{
    ASSERT_EQ(0, Command(L"setdos /c~", 0));
    EXPECT_EQ(L"a&b\r\nc\r\n", Output(L"echo a&b~echo c", &out));
    EXPECT_EQ(L"x~y\r\n\"~\"\r\n", Output(L"echo x^~y ~ echo \"~\"", &out));
    std::vector<vsh::LinePiece> pieces;
    std::wstring message;
    ASSERT_EQ(0, vsh::SplitCommands(L"a~`b~c`~d", &pieces, &message));
    ASSERT_EQ(3u, pieces.size());
    EXPECT_EQ(L"`b~c`", pieces[1].Text);
    // Batch files and lines handed to Command are parsed the same way.
    ASSERT_EQ(0, Command(L"setdos /c& /e!", 0));
    EXPECT_EQ(L"a~b&c\r\n", Output(L"echo a~b!&c", &out));
    EXPECT_EQ(8u, vsh::FindClosingBracket(L"[a!]b\"]\"]", 9, 0));
}

TEST_F(HostSettingsTest, NestedExpansion)
{
    std::wstring message;
    ASSERT_EQ(0, vsh::DefineArray(L"L[2]", &message));
    vsh::FindArray(L"L")->Cells[0] = L"100%X%.txt";
    vsh::FindArray(L"L")->Cells[1] = L"%L[0]";
    vsh::SetVariable(L"X", L"1");
    vsh::SetVariable(L"A", L"[%X%]");
    vsh::SetVariable(L"OPS", L"a ^& b ^q > `c` %X% \"d & e\"");
    vsh::SetVariable(L"PCT", L"%%X%%");
    vsh::SetVariable(L"FN", L"%@comma[%%X]");
    struct {
        const wchar_t *In;
        const wchar_t *Out;
    } cases[] = {
        {L"%A%", L"[1]"},
        {L"%[A]", L"[1]"},
        {L"%L[0]", L"1001.txt"},
        {L"%L[1]", L"1001.txt"},           // a cell naming a cell
        {L"%OPS", L"a ^& b ^q > `c` 1 \"d & e\""},  // only the "%" forms again
        {L"%PCT", L"%X%"},                 // what "%%" gives is not read again
        {L"%@comma[%%X]", L"1"},           // a function's result is read again
        {L"%FN", L"1"},
        {L"^%X^%", L"%X%"},                // nor what an escape gives
    };
    for (const auto &c : cases) EXPECT_EQ(c.Out, Expand(c.In)) << c.In;
    // Whether the line then reads what it gave as syntax is a reading of its own.
    vsh::Shell.Reading.ExpandedOperatorsAct = vsh::Shell.Reading.ExpandedEscapesAct = false;
    EXPECT_EQ(L"a ^& b ^q > `c` 1 \"d & e\"\r\n", Output(L"echo %OPS", &out));

    ASSERT_EQ(0, Command(L"setdos /x-4", 0));
    EXPECT_EQ(L"100%X%.txt|%L[0]|[%X%]", Expand(L"%L[0]|%L[1]|%A"));
}

TEST_F(HostSettingsTest, NestingStopsAtSixteenRounds)
{
    // V1 -> V2 -> ... : each value names the next; the last is plain.
    for (int i = 1; i <= 18; ++i)
        vsh::SetVariable(L"V" + std::to_wstring(i), L"%V" + std::to_wstring(i + 1) + L"%");
    vsh::SetVariable(L"V18", L"end");
    EXPECT_EQ(L"end", Expand(L"%V2%")) << "16 rounds";
    EXPECT_EQ(L"<failed>", Expand(L"%V1%")) << "17 rounds";

    vsh::SetVariable(L"SELF", L"a%SELF%");
    EXPECT_EQ(L"<failed>", Expand(L"%SELF%"));
    EXPECT_EQ(1, Command(L"echo %SELF%", 0));
    EXPECT_NE(std::wstring::npos, err.find(L"\"%SELF\" expands into itself")) << err;
    EXPECT_EQ(L"", out);

    // Values that each name the next many times, ending in nothing, fail soon instead of
    // multiplying the work (400 to the sixth power lookups).
    for (int level = 1; level <= 5; ++level) {
        std::wstring wide;
        for (int i = 0; i < 400; ++i) wide += L"%W" + std::to_wstring(level + 1) + L"%";
        vsh::SetVariable(L"W" + std::to_wstring(level), wide);
    }
    EXPECT_EQ(L"<failed>", Expand(L"%W1%"));
    EXPECT_EQ(L"", Expand(L"%W5%"));
}

TEST_F(HostSettingsTest, ExpandVariablesServiceRules)
{
    vsh::SetVariable(L"X", L"1");
    vsh::SetVariable(L"N", L"%X%");
    ASSERT_EQ(0, Command(L"setdos /x-3", 0));
    EXPECT_EQ(L"1 % ^ & \" 1", Expand(L"%X% %% %= %+ ^q %N"));
    EXPECT_EQ(L"%X%\r\n", Output(L"echo %X%", &out)) << "the command line does not expand";

    ASSERT_EQ(0, Command(L"setdos /x0 /x-8", 0));
    EXPECT_EQ(L"^q ^% 1", Expand(L"^q ^%% %X"));
    ASSERT_EQ(0, Command(L"setdos /x0 /x-4", 0));
    EXPECT_EQ(L"%X%", Expand(L"%N"));
    ASSERT_EQ(0, Command(L"setdos /x0 /e~", 0));
    EXPECT_EQ(L"^x,", Expand(L"^x~c"));
}

}  // namespace
