#include "host_test_util.h"

#include <stdio.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "command_line.h"
#include "text/native_text.h"
#include "platform/platform.h"
#include "plugins.h"
#include "settings.h"

namespace {

using HostCommandTest = ShellTest;

TEST_F(HostCommandTest, SplitAtSeparatorsConditionalsAndPipes)
{
    // Pieces shown with the conditional before them ("&&", "||"); "!" and the message for
    // a refused line.
    struct {
        const wchar_t *Setdos;
        const wchar_t *Line;
        std::vector<std::wstring> Pieces;
    } cases[] = {
        {L"", L"a & b", {L"a ", L" b"}},
        {L"", L"a ^& b", {L"a ^& b"}},
        {L"", L"echo \"x & y\" & z", {L"echo \"x & y\" ", L" z"}},
        {L"", L"echo \"x ^\" & y\" & z", {L"echo \"x ^\" & y\" ", L" z"}},
        {L"", L"a&&b&", {L"a", L"&&b", L""}},
        {L"", L"a||b&&c", {L"a", L"||b", L"&&c"}},
        {L"", L"^^&x", {L"^^", L"x"}},
        {L"", L"a | b", {L"!pipes (\"|\") are not supported"}},
        {L"", L"a |& b", {L"!pipes (\"|&\") are not supported"}},
        {L"", L"a ^| \"|\" `|`", {L"a ^| \"|\" `|`"}},
        // Conditionals and pipes whatever the separator; all of them stop under /X-5.
        {L"/c~", L"a&&b~c&d", {L"a", L"&&b", L"c&d"}},
        {L"/c~", L"a||b|c", {L"!pipes (\"|\") are not supported"}},
        {L"/x-5", L"a&&b||c|d&e", {L"a&&b||c|d&e"}},
        {L"/x-6", L"a|b", {L"!pipes (\"|\") are not supported"}},
    };
    for (const auto &c : cases) {
        vsh::ResetShell(false);
        if (c.Setdos[0]) {
            ASSERT_EQ(0, vsh::RunSetdos(c.Setdos));
        }
        std::vector<vsh::LinePiece> pieces;
        std::wstring message;
        std::vector<std::wstring> shown;
        if (vsh::SplitCommands(c.Line, &pieces, &message) != 0) shown.push_back(L"!" + message);
        for (const vsh::LinePiece &piece : pieces)
            shown.push_back((piece.Connector == vsh::AFTER_SUCCESS   ? L"&&"
                             : piece.Connector == vsh::AFTER_FAILURE ? L"||"
                                                                     : L"") + piece.Text);
        EXPECT_EQ(c.Pieces, shown) << c.Line;
    }
}

TEST_F(HostCommandTest, WhatAnExpansionGaveUnderEachReading)
{
    // "echo [%V]" with V as given. Columns: expansion before parsing (operators and
    // escapes act, the documented leaning), operators only, escapes only, neither.
    // "!" marks a line that also wrote an error.
    struct {
        const wchar_t *Value;
        const wchar_t *Out[4];
    } cases[] = {
        {L"x&echo y", {L"[x|y]", L"[x|y]", L"[x&echo y]", L"[x&echo y]"}},
        {L"x&&echo y", {L"[x|y]", L"[x|y]", L"[x&&echo y]", L"[x&&echo y]"}},
        {L"x^&echo y", {L"[x&echo y]", L"[x^|y]", L"[x&echo y]", L"[x^&echo y]"}},
        {L"`a&b`", {L"[a&b]", L"[`a!", L"[a&b]", L"[`a&b`]"}},
        {L"\"a&b\"", {L"[\"a&b\"]", L"[\"a&b\"]", L"[\"a&b\"]", L"[\"a&b\"]"}},
        {L"a|b", {L"!", L"!", L"[a|b]", L"[a|b]"}},
        {L"a<b", {L"!", L"!", L"[a<b]", L"[a<b]"}},
        {L"a^", {L"[a]", L"[a^]", L"[a]", L"[a^]"}},  // escaping the typed "]"
        {L"a^qb ", {L"[a\"b ]", L"[a^qb ]", L"[a\"b ]", L"[a^qb ]"}},
    };
    for (const auto &c : cases) {
        for (int reading = 0; reading < 4; ++reading) {
            vsh::ResetShell(false);
            vsh::Shell.Reading.ExpandedOperatorsAct = reading == 0 || reading == 1;
            vsh::Shell.Reading.ExpandedEscapesAct = reading == 0 || reading == 2;
            vsh::SetVariable(L"V", c.Value);
            out.clear();
            err.clear();
            vsh::RunLine(L"echo [%V]");
            std::wstring shown = out;
            for (size_t at; (at = shown.find(L"\r\n")) != std::wstring::npos;)
                shown.replace(at, 2, at + 2 == shown.size() ? L"" : L"|");
            if (!err.empty()) shown += L"!";
            EXPECT_EQ(c.Out[reading], shown) << "value " << std::string(c.Value, c.Value + wcslen(c.Value))
                                             << ", reading " << reading;
        }
    }
}

TEST_F(HostCommandTest, ConditionalsFollowTheLastResult)
{
    const struct {
        const wchar_t *Line, *Output;
    } cases[] = {
        {L"echo a && echo b", L"a\r\nb\r\n"},
        {L"set nosuch && echo b", L""},
        {L"set nosuch || echo b", L"b\r\n"},
        {L"echo a || echo b", L"a\r\n"},
        {L"set nosuch && echo b && echo c & echo d", L"d\r\n"},
        {L"echo a | echo b", L""},
    };
    for (const auto &c : cases) {
        out.clear();
        Command(c.Line, 0);
        EXPECT_EQ(std::wstring(c.Output), out) << c.Line;
    }
}

TEST_F(HostCommandTest, ParseNameArgumentsAndRedirection)
{
    vsh::SetVariable(L"T", L"x > y ");
    struct {
        const wchar_t *Raw;
        const wchar_t *Name;
        const wchar_t *Args;
        int Redirect;
        const wchar_t *File;
    } cases[] = {
        {L"echo  hello  ", L"echo", L"hello", 0, L""},
        {L"*set X=1", L"set", L"X=1", 0, L""},
        {L"@echo hi", L"echo", L"hi", 0, L""},
        {L"echo a^  ", L"echo", L"a ", 0, L""},
        {L"echo %T%", L"echo", L"x > y ", 0, L""},
        {L"echo hi > out.txt", L"echo", L"hi", 1, L"out.txt"},
        {L"echo hi >>\"my file\" more", L"echo", L"hi  more", 2, L"my file"},
        {L"echo \"a > b\"", L"echo", L"\"a > b\"", 0, L""},
        {L"echo a^>b", L"echo", L"a>b", 0, L""},
        {L"echo", L"echo", L"", 0, L""},
    };
    for (const auto &c : cases) {
        vsh::MarkedText expanded;
        ASSERT_EQ(0, vsh::ExpandText(c.Raw, wcslen(c.Raw), 8191, &expanded, nullptr));
        vsh::ParsedCommand parsed;
        std::wstring message;
        ASSERT_EQ(0, vsh::ParseCommand(expanded, &parsed, &message)) << c.Raw;
        EXPECT_EQ(c.Name, parsed.Name) << c.Raw;
        EXPECT_EQ(c.Args, parsed.Arguments) << c.Raw;
        EXPECT_EQ(c.Redirect, parsed.Redirect) << c.Raw;
        EXPECT_EQ(c.File, parsed.RedirectFile) << c.Raw;
    }
    const wchar_t *refused[] = {L"sort < in", L"echo a >", L"echo a > \"\""};
    for (const wchar_t *raw : refused) {
        vsh::MarkedText expanded;
        ASSERT_EQ(0, vsh::ExpandText(raw, wcslen(raw), 8191, &expanded, nullptr));
        vsh::ParsedCommand parsed;
        std::wstring message;
        EXPECT_EQ(1, vsh::ParseCommand(expanded, &parsed, &message)) << raw;
        EXPECT_FALSE(message.empty());
    }
}

TEST_F(HostCommandTest, EachCommandExpandsJustBeforeItRuns)
{
    EXPECT_EQ(0, Command(L"set X=1 & echo %X% & set X=2 & echo %X%", 0));
    EXPECT_EQ(L"1\r\n2\r\n", out);
}

TEST_F(HostCommandTest, SetKeepsTheValueVerbatim)
{
    struct {
        const wchar_t *Line;
        const wchar_t *Value;
    } cases[] = {
        {L"set V=plain", L"plain"},
        {L"set V=  lead", L"  lead"},
        {L"set V=trail   ", L"trail"},
        {L"set V=trail^ ^ ", L"trail  "},
        {L"set V=a=b", L"a=b"},
        {L"set V=50^%", L"50%"},
        {L"set V=50%%", L"50%"},
        {L"set V=\"q & r\"", L"\"q & r\""},
        {L"set V=x^&y", L"x&y"},
    };
    for (const auto &c : cases) {
        ASSERT_EQ(0, Command(c.Line, 0)) << c.Line;
        std::wstring value;
        vsh::LookupVariable(L"v", &value);
        EXPECT_EQ(c.Value, value) << c.Line;
    }
    ASSERT_EQ(0, Command(L"set V=", 0));
    std::wstring value;
    EXPECT_EQ(vsh::LOOKUP_UNDEFINED, vsh::LookupVariable(L"V", &value));
}

TEST_F(HostCommandTest, ArrayCommands)
{
    EXPECT_EQ(0, Command(L"setarray A[2,3]", 0));
    EXPECT_EQ(0, Command(L"*set a[1,2]=x ^[1^] y^ ", 0));
    EXPECT_EQ(L"x [1] y ", Expand(L"%A[1,2]"));
    EXPECT_NE(0, Command(L"set A[2,0]=no", 0));
    EXPECT_NE(0, Command(L"set B[0,0]=no", 0));
    EXPECT_NE(0, Command(L"setarray A[1,1]", 0));
    EXPECT_EQ(0, Command(L"setarray C[2,2,2] D[3]", 0));
    EXPECT_EQ(0, Command(L"set C[1,1,1]=deep", 0));
    EXPECT_EQ(L"deep", Expand(L"%C[1,1,1]"));
    EXPECT_EQ(0, Command(L"unsetarray A", 0));
    EXPECT_NE(0, Command(L"unsetarray A", 0));
    EXPECT_EQ(0, Command(L"*unsetarray /Q A", 0));
    EXPECT_EQ(0, Command(L"unsetarray C, D", 0));
    EXPECT_EQ(nullptr, vsh::FindArray(L"D"));
    EXPECT_EQ(0u, out.size());
    EXPECT_NE(std::wstring::npos, err.find(L"vshell: array \"A\" does not exist"));
}

TEST_F(HostCommandTest, ErrorsGoToStandardErrorWithNonZeroResult)
{
    struct {
        const wchar_t *Line;
        const wchar_t *Message;
    } cases[] = {
        {L"nosuch a b", L"vshell: unknown command \"nosuch\"\r\n"},
        {L"echo %@nosuch[1]", L"vshell: unknown function \"@nosuch\"\r\n"},
        {L"echo a | more", L"vshell: pipes (\"|\") are not supported\r\n"},
        {L"exit x", L"vshell: bad exit status \"x\"\r\n"},
        {L"set =1", L"vshell: missing variable name in \"set =1\"\r\n"},
    };
    for (const auto &c : cases) {
        err.clear();
        EXPECT_NE(0, Command(c.Line, 0)) << c.Line;
        EXPECT_EQ(c.Message, err) << c.Line;
    }
    EXPECT_EQ(L"", out);
}

TEST_F(HostCommandTest, RedirectionReachesTheFileAndEndsWithTheCommand)
{
    vsh::CaptureOutput(nullptr, &err);
    char dir[] = "/tmp/vshell-test-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(dir));
    std::string file = std::string(dir) + "/out.txt";
    wchar_t wide[512];
    NativeToWide(file.c_str(), file.size(), wide, 512);
    std::wstring path = wide;

    EXPECT_EQ(0, Command((L"echo one > " + path + L" & echo two >> " + path).c_str(), 0));
    EXPECT_EQ(0, Command((L"echo three>>" + path).c_str(), 0));
    FILE *f = fopen(file.c_str(), "rb");
    ASSERT_NE(nullptr, f);
    char buffer[100] = {0};
    size_t got = fread(buffer, 1, sizeof buffer - 1, f);
    fclose(f);
    EXPECT_EQ("one\ntwo\nthree\n", std::string(buffer, got));
    EXPECT_NE(0, Command(L"echo x > /nonexistent-dir/f", 0));
    EXPECT_EQ(L"vshell: cannot open \"/nonexistent-dir/f\" for output\r\n", err);
    unlink(file.c_str());
    rmdir(dir);
}

TEST_F(HostCommandTest, ExitStopsTheRestOfTheLine)
{
    EXPECT_EQ(3, Command(L"exit 3 & echo not here", 0));
    EXPECT_TRUE(vsh::Shell.ExitRequested);
    EXPECT_EQ(3, vsh::Shell.ExitStatus);
    EXPECT_EQ(L"", out);
}


// Hostile lines from the language's special characters: expansion and parsing must
// neither crash nor overrun, a failed expansion leaves the buffer as it was, and the
// marks always match the text.
TEST_F(HostCommandTest, HostileLinesAreHandled)
{
    const wchar_t alphabet[] = L"%^&\"[]@<>|* ,=_xA1";
    const size_t count = sizeof alphabet / sizeof alphabet[0] - 1;
    std::wstring message;
    vsh::DefineArray(L"A[2,2]", &message);
    vsh::SetVariable(L"x", L"%x%^&\"");
    uint32_t seed = 12345;
    for (int round = 0; round < 20000; ++round) {
        std::wstring line;
        size_t len = (seed = seed * 1103515245u + 12345u) % 40;
        for (size_t i = 0; i < len; ++i) {
            seed = seed * 1103515245u + 12345u;
            line.push_back(alphabet[(seed >> 8) % count]);
        }
        wchar_t buffer[HOST_BUFFER_LEN];
        wcscpy(buffer, line.c_str());
        if (ExpandVariables(buffer, 1) != 0) EXPECT_EQ(line, buffer);
        else EXPECT_LT(wcslen(buffer), (size_t)HOST_BUFFER_LEN);

        std::vector<vsh::LinePiece> pieces;
        vsh::SplitCommands(line, &pieces, &message);
        for (const vsh::LinePiece &piece : pieces) {
            vsh::MarkedText expanded;
            if (vsh::ExpandText(piece.Text.c_str(), piece.Text.size(), 8191, &expanded, &message) != 0)
                continue;
            ASSERT_EQ(expanded.Text.size(), expanded.Literal.size());
            vsh::ParsedCommand parsed;
            vsh::ParseCommand(expanded, &parsed, &message);
        }
    }
}

}  // namespace
