#include "plugin/shell_syntax.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host_test_util.h"
#include "plugin/host_api.h"
#include "plugin/shell_line.h"

namespace {

ShellSyntax Syntax(wchar_t escape, wchar_t separator, const char *off)
{
    ShellSyntax syntax = {escape, separator, 0, 0};
    for (const char *p = off; *p; ++p) syntax.Off |= 1u << (*p - '0');
    return syntax;
}

// The settings every escaping case is run under, in the order of the columns below.
const ShellSyntax Settings[] = {
    Syntax(L'^', L'&', ""),      // the defaults
    Syntax(L'^', L'~', ""),      // setdos /c~
    Syntax(L'!', L'&', ""),      // setdos /e!
    Syntax(L'^', L'&', "3"),     // no variable expansion
    Syntax(L'^', L'&', "4"),     // no nested expansion
    Syntax(L'^', L'&', "5"),     // no separator
    Syntax(L'^', L'&', "6"),     // no redirection
    Syntax(L'^', L'&', "7"),     // no quoting
    Syntax(L'^', L'&', "8"),     // no escape character
    Syntax(L'!', L'~', "38"),    // several at once
    Syntax(L'^', L'&', "5678"),  // the escape off, and what it would have escaped plain
};
const char *const SettingNames[] = {"default", "/c~", "/e!", "/x-3", "/x-4", "/x-5",
                                    "/x-6", "/x-7", "/x-8", "/e! /c~ /x-38", "/x-5678"};
const int SETTINGS = sizeof Settings / sizeof Settings[0];

// What a case expects: the escaped text, or "?N" for the problem N.
std::wstring Outcome(const ShellSyntax &syntax, int target, const std::wstring &text)
{
    wchar_t out[64];
    wchar_t culprit = 0;
    int problem = EscapeForShell(&syntax, target, text.c_str(), out, 64, &culprit);
    if (problem != ESCAPE_FINE) return L"?" + std::to_wstring(problem);
    return out;
}

struct Row {
    const wchar_t *Text;
    const wchar_t *Expected[SETTINGS];
};

void CheckTable(int target, const Row *rows, size_t count)
{
    for (size_t r = 0; r < count; ++r)
        for (int k = 0; k < SETTINGS; ++k)
            EXPECT_EQ(std::wstring(rows[r].Expected[k]), Outcome(Settings[k], target, rows[r].Text))
                << "text \"" << std::string(rows[r].Text, rows[r].Text + wcslen(rows[r].Text))
                << "\" under " << SettingNames[k];
}

#define NEEDS L"?2"
#define EDGE L"?3"
#define LETTER L"?4"
#define SEP L"?6"
#define REDIR L"?7"
#define QUOTE L"?8"
#define ARG L"?9"

TEST(ShellSyntaxTest, CommandLineEscapesWhatTheSettingsMakeSpecial)
{
    // Columns: default, /c~, /e!, /x-3, /x-4, /x-5, /x-6, /x-7, /x-8, /e! /c~ /x-38,
    // /x-5678. While the escape works, everything some setting could make special is
    // escaped; while it is off, only what a feature in force makes syntax is refused.
    const Row rows[] = {
        {L"a%b", {L"a%%b", L"a%%b", L"a%%b", L"a%b", L"a%%b", L"a%%b", L"a%%b", L"a%%b", L"a%%b", L"a%b", L"a%%b"}},
        // "&" alone is syntax only as the separator; "&&" is a conditional whatever it is.
        {L"a&b", {L"a^&b", L"a^&b", L"a!&b", L"a^&b", L"a^&b", L"a^&b", L"a^&b", L"a^&b", SEP, L"a&b", L"a&b"}},
        {L"a&&b", {L"a^&^&b", L"a^&^&b", L"a!&!&b", L"a^&^&b", L"a^&^&b", L"a^&^&b", L"a^&^&b", L"a^&^&b", SEP, SEP, L"a&&b"}},
        {L"a~b", {L"a~b", L"a^~b", L"a~b", L"a~b", L"a~b", L"a~b", L"a~b", L"a~b", L"a~b", SEP, L"a~b"}},
        // Switched off, the escape character is an ordinary one.
        {L"a^b", {L"a^^b", L"a^^b", L"a^b", L"a^^b", L"a^^b", L"a^^b", L"a^^b", L"a^^b", L"a^b", L"a^b", L"a^b"}},
        {L"a!b", {L"a!b", L"a!b", L"a!!b", L"a!b", L"a!b", L"a!b", L"a!b", L"a!b", L"a!b", L"a!b", L"a!b"}},
        {L"a<b", {L"a^<b", L"a^<b", L"a!<b", L"a^<b", L"a^<b", L"a^<b", L"a^<b", L"a^<b", REDIR, REDIR, L"a<b"}},
        {L"a|b", {L"a^|b", L"a^|b", L"a!|b", L"a^|b", L"a^|b", L"a^|b", L"a^|b", L"a^|b", SEP, SEP, L"a|b"}},
        {L"a>b", {L"a^>b", L"a^>b", L"a!>b", L"a^>b", L"a^>b", L"a^>b", L"a^>b", L"a^>b", REDIR, REDIR, L"a>b"}},
        {L"a\"b", {L"a^\"b", L"a^\"b", L"a!\"b", L"a^\"b", L"a^\"b", L"a^\"b", L"a^\"b", L"a^\"b", QUOTE, QUOTE, L"a\"b"}},
        {L"a`b", {L"a^`b", L"a^`b", L"a!`b", L"a^`b", L"a^`b", L"a^`b", L"a^`b", L"a^`b", QUOTE, QUOTE, L"a`b"}},
        // Harmless in a value; escaped while an escape is at hand, as before.
        {L"[1,2](x)", {L"^[1^,2^]^(x^)", L"^[1^,2^]^(x^)", L"![1!,2!]!(x!)", L"^[1^,2^]^(x^)",
                       L"^[1^,2^]^(x^)", L"^[1^,2^]^(x^)", L"^[1^,2^]^(x^)", L"^[1^,2^]^(x^)",
                       L"[1,2](x)", L"[1,2](x)", L"[1,2](x)"}},
        {L";='~$#", {L";='~$#", L";='^~$#", L";='~$#", L";='~$#", L";='~$#", L";='~$#", L";='~$#", L";='~$#", L";='~$#", SEP, L";='~$#"}},
        // Blanks inside stay; blanks at the ends are escaped, or cannot be kept.
        {L" a b ", {L"^ a b^ ", L"^ a b^ ", L"! a b! ", L"^ a b^ ", L"^ a b^ ", L"^ a b^ ", L"^ a b^ ", L"^ a b^ ", EDGE, EDGE, EDGE}},
        {L"\ta", {L"^\ta", L"^\ta", L"!\ta", L"^\ta", L"^\ta", L"^\ta", L"^\ta", L"^\ta", EDGE, EDGE, EDGE}},
        // A line end would end the command: only the escape's letter codes carry it.
        {L"a\nb\r", {L"a^nb^r", L"a^nb^r", L"a!nb!r", L"a^nb^r", L"a^nb^r", L"a^nb^r", L"a^nb^r", L"a^nb^r", NEEDS, NEEDS, NEEDS}},
        // Letters that are escape codes are never escaped.
        {L"qsckrntebfg", {L"qsckrntebfg", L"qsckrntebfg", L"qsckrntebfg", L"qsckrntebfg", L"qsckrntebfg",
                          L"qsckrntebfg", L"qsckrntebfg", L"qsckrntebfg", L"qsckrntebfg", L"qsckrntebfg", L"qsckrntebfg"}},
        {L"", {L"", L"", L"", L"", L"", L"", L"", L"", L"", L"", L""}},
        {L"%@upper[x]", {L"%%@upper^[x^]", L"%%@upper^[x^]", L"%%@upper![x!]", L"%@upper^[x^]",
                         L"%%@upper^[x^]", L"%%@upper^[x^]", L"%%@upper^[x^]", L"%%@upper^[x^]",
                         L"%%@upper[x]", L"%@upper[x]", L"%%@upper[x]"}},
    };
    CheckTable(FOR_COMMAND_LINE, rows, sizeof rows / sizeof rows[0]);
}

TEST(ShellSyntaxTest, FunctionArgumentEscapesItsOwnSyntax)
{
    // The service expands "%" whatever /X-3 says; "]" "[" "," end an argument that no
    // quotes hold, and with the escape off the rows' rule decides the rest.
    const Row rows[] = {
        {L"a%b", {L"a%%b", L"a%%b", L"a%%b", L"a%%b", L"a%%b", L"a%%b", L"a%%b", L"a%%b", L"a%%b", L"a%%b", L"a%%b"}},
        {L"a]b", {L"a^]b", L"a^]b", L"a!]b", L"a^]b", L"a^]b", L"a^]b", L"a^]b", L"a^]b", ARG, ARG, ARG}},
        {L"a,b", {L"a^,b", L"a^,b", L"a!,b", L"a^,b", L"a^,b", L"a^,b", L"a^,b", L"a^,b", ARG, ARG, ARG}},
        {L"a\"b", {L"a^\"b", L"a^\"b", L"a!\"b", L"a^\"b", L"a^\"b", L"a^\"b", L"a^\"b", L"a^\"b", QUOTE, QUOTE, L"a\"b"}},
        {L"a&b|c", {L"a^&b^|c", L"a^&b^|c", L"a!&b!|c", L"a^&b^|c", L"a^&b^|c", L"a^&b^|c", L"a^&b^|c",
                    L"a^&b^|c", SEP, SEP, L"a&b|c"}},
        {L"a^b", {L"a^^b", L"a^^b", L"a^b", L"a^^b", L"a^^b", L"a^^b", L"a^^b", L"a^^b", L"a^b", L"a^b", L"a^b"}},
        {L"a b ", {L"a b^ ", L"a b^ ", L"a b! ", L"a b^ ", L"a b^ ", L"a b^ ", L"a b^ ", L"a b^ ", EDGE, EDGE, EDGE}},
    };
    CheckTable(FOR_FUNCTION_ARGUMENT, rows, sizeof rows / sizeof rows[0]);

    // Between the quotes the caller writes while quoting is on, only what ends them (and
    // a back quote, as in a row) is syntax once the escape is off.
    const Row quoted[] = {
        {L"a]b,c[", {L"a^]b^,c^[", L"a^]b^,c^[", L"a!]b!,c![", L"a^]b^,c^[", L"a^]b^,c^[", L"a^]b^,c^[",
                     L"a^]b^,c^[", L"a^]b^,c^[", L"a]b,c[", L"a]b,c[", L"a]b,c["}},
        {L"a&b|c<d", {L"a^&b^|c^<d", L"a^&b^|c^<d", L"a!&b!|c!<d", L"a^&b^|c^<d", L"a^&b^|c^<d",
                      L"a^&b^|c^<d", L"a^&b^|c^<d", L"a^&b^|c^<d", L"a&b|c<d", L"a&b|c<d", L"a&b|c<d"}},
        {L"a\"b", {L"a^\"b", L"a^\"b", L"a!\"b", L"a^\"b", L"a^\"b", L"a^\"b", L"a^\"b", L"a^\"b", QUOTE, QUOTE, L"a\"b"}},
        {L"a`b", {L"a^`b", L"a^`b", L"a!`b", L"a^`b", L"a^`b", L"a^`b", L"a^`b", L"a^`b", QUOTE, QUOTE, L"a`b"}},
        {L" a%b ", {L"^ a%%b^ ", L"^ a%%b^ ", L"! a%%b! ", L"^ a%%b^ ", L"^ a%%b^ ", L"^ a%%b^ ", L"^ a%%b^ ",
                    L"^ a%%b^ ", L" a%%b ", L" a%%b ", L" a%%b "}},
    };
    CheckTable(FOR_QUOTED_ARGUMENT, quoted, sizeof quoted / sizeof quoted[0]);
}

TEST(ShellSyntaxTest, RefusalsNameTheCulpritAndBoundsHold)
{
    // A separator that is a letter code cannot be escaped to itself.
    ShellSyntax letter = Syntax(L'^', L'q', "");
    wchar_t out[16];
    wchar_t culprit = 0;
    EXPECT_EQ(ESCAPE_LETTER_CODE, EscapeForShell(&letter, FOR_COMMAND_LINE, L"aqb", out, 16, &culprit));
    EXPECT_EQ(L'q', culprit);
    EXPECT_STREQ(L"", out);
    ShellSyntax noEscape = Syntax(L'^', L'&', "8");
    EXPECT_EQ(ESCAPE_REDIRECTION_SYNTAX, EscapeForShell(&noEscape, FOR_COMMAND_LINE, L"x>y", out, 16, &culprit));
    EXPECT_EQ(L'>', culprit);
    // A switched-off escape character is ordinary only as the escape: "<" still redirects,
    // "," still ends a function's argument.
    ShellSyntax angle = Syntax(L'<', L'&', "8"), comma = Syntax(L',', L'&', "8");
    EXPECT_EQ(ESCAPE_REDIRECTION_SYNTAX, EscapeForShell(&angle, FOR_COMMAND_LINE, L"<in", out, 16, nullptr));
    EXPECT_EQ(ESCAPE_FINE, EscapeForShell(&comma, FOR_COMMAND_LINE, L"a,b", out, 16, nullptr));
    EXPECT_EQ(ESCAPE_ARGUMENT_SYNTAX, EscapeForShell(&comma, FOR_FUNCTION_ARGUMENT, L"a,b", out, 16, nullptr));
    EXPECT_EQ(ESCAPE_FINE, EscapeForShell(&comma, FOR_QUOTED_ARGUMENT, L"a,b", out, 16, nullptr));

    // "a%b" needs four characters and a terminator; nothing past capacity is touched.
    const ShellSyntax def = DefaultShellSyntax();
    wmemset(out, L'#', 16);
    EXPECT_EQ(ESCAPE_NO_ROOM, EscapeForShell(&def, FOR_COMMAND_LINE, L"a%b", out, 4, &culprit));
    EXPECT_STREQ(L"", out);
    EXPECT_EQ(L'#', out[4]);
    EXPECT_EQ(ESCAPE_FINE, EscapeForShell(&def, FOR_COMMAND_LINE, L"a%b", out, 5, nullptr));
    EXPECT_STREQ(L"a%%b", out);
    EXPECT_EQ(ESCAPE_NO_ROOM, EscapeForShell(&def, FOR_COMMAND_LINE, L"x", nullptr, 8, nullptr));
    EXPECT_EQ(ESCAPE_FINE, EscapeForShell(nullptr, FOR_COMMAND_LINE, nullptr, out, 1, nullptr));
    std::wstring hostile(HOST_BUFFER_LEN, L'&');
    std::wstring big(2 * HOST_BUFFER_LEN + 1, L'#');
    EXPECT_EQ(ESCAPE_FINE, EscapeForShell(&def, FOR_COMMAND_LINE, hostile.c_str(), &big[0], big.size(), nullptr));
    EXPECT_EQ(ESCAPE_NO_ROOM, EscapeForShell(&def, FOR_COMMAND_LINE, hostile.c_str(), &big[0], big.size() - 1, nullptr));

    wchar_t why[256];
    EXPECT_NE(nullptr, wcsstr(DescribeEscapeProblem(ESCAPE_NEEDS_ESCAPE, L'>', why, 256), L"\">\""));
    EXPECT_NE(nullptr, wcsstr(DescribeEscapeProblem(ESCAPE_NEEDS_ESCAPE, L'\n', why, 256), L"U+000A"));
    // A refusal names the feature that makes the character syntax.
    const struct {
        int Problem;
        const wchar_t *Feature;
    } features[] = {{ESCAPE_SEPARATOR_SYNTAX, L"/X5"}, {ESCAPE_REDIRECTION_SYNTAX, L"/X6"},
                    {ESCAPE_QUOTING_SYNTAX, L"/X7"}, {ESCAPE_ARGUMENT_SYNTAX, L"/X7"}};
    for (const auto &f : features)
        EXPECT_NE(nullptr, wcsstr(DescribeEscapeProblem(f.Problem, L'|', why, 256), f.Feature));

    // Percents doubled for the shell's second reading of a function's result.
    EXPECT_EQ(0, DoublePercents(L"100%done%.txt", out, 16));
    EXPECT_STREQ(L"100%%done%%.txt", out);
    EXPECT_EQ(-1, DoublePercents(L"100%done%.txt", out, 15));
    EXPECT_STREQ(L"", out);
}

// ---- Through the stand-in shell ------------------------------------------------------

class ShellSyntaxShellTest : public ShellTest {};

/// Stores text in VESKARR[0,column] through a line of the plug-in's builder: the shell's
/// result, or -1 when the builder refused the line.
int StoreCell(const ShellSyntax &syntax, int column, const wchar_t *text)
{
    wchar_t buffer[HOST_BUFFER_LEN];
    ShellLine line;
    BeginCommandLine(&line, &syntax, L"set", buffer, HOST_BUFFER_LEN);
    AddLineSyntax(&line, L" VESKARR[0,%d]=", column);
    AddLineValue(&line, text);
    return line.Problem != 0 ? -1 : RunCommandLine(&line);
}

TEST_F(ShellSyntaxShellTest, ReadsTheExpansionStateOnce)
{
    // Both documented forms of "all on"; anything but digits of features is unknown,
    // never taken for the defaults.
    struct {
        const wchar_t *Expansion;
        uint32_t Off, Unknown;
    } cases[] = {
        {L"", 0, 0}, {L"0", 0, 0}, {L"4", 1u << 4, 0}, {L"38", (1u << 3) | (1u << 8), 0},
        {L"0100000000", 0, UNKNOWN_FEATURES}, {L"%_expansion", 0, UNKNOWN_FEATURES},
        {L"x4", 0, UNKNOWN_FEATURES}, {L"04", 0, UNKNOWN_FEATURES},
    };
    for (auto c : cases) {
        vsh::SetVariable(L"_expansion", c.Expansion);
        ShellSyntax syntax = ReadShellSyntax();
        std::string shown(c.Expansion, c.Expansion + wcslen(c.Expansion));
        EXPECT_EQ(c.Off, syntax.Off) << shown;
        EXPECT_EQ(c.Unknown, syntax.Unknown) << shown;
    }
}

TEST_F(ShellSyntaxShellTest, EscapedTextRoundTripsThroughTheShell)
{
    const wchar_t *texts[] = {
        L"plain", L"100% & more", L"%PATH% and %%x", L"a^b|c<d>e", L"(x) `y` \"z\" [1,2]",
        L"  both ends  ", L"\t tab lead", L"trail \t", L"one,two", L"&&&&", L"%", L"^", L"[",
        L"C:\\Program Files (x86)\\a&b [1]\\100%.txt", L"100%done%.txt", L"%@upper[x]",
    };
    const ShellSyntax syntax = ReadShellSyntax();
    for (const wchar_t *text : texts) {
        Command(L"unsetarray /q VESKARR", 0);
        ASSERT_EQ(0, Command(L"setarray VESKARR[1,3]", 0));
        err.clear();
        EXPECT_EQ(0, StoreCell(syntax, 1, text));
        EXPECT_EQ(L"", err) << text;
        // The cell itself, not an expansion of it: that may read it again.
        vsh::ArrayVariable *array = vsh::FindArray(L"VESKARR");
        ASSERT_NE(nullptr, array);
        EXPECT_EQ(std::wstring(text), array->Cells[1]) << text;
    }
}

// The settings as the shell itself holds them: each text is stored exactly through a real
// "set" line, or refused; nothing in it ever runs.
TEST_F(ShellSyntaxShellTest, EveryTextStoredExactlyOrRefusedUnderEverySetting)
{
    const struct {
        std::vector<const wchar_t *> Commands;
        wchar_t Escape, Separator;
        uint32_t Off;
    } settings[] = {
        {{}, L'^', L'&', 0},
        {{L"setdos /c~"}, L'^', L'~', 0},
        {{L"setdos /e~"}, L'~', L'&', 0},
        {{L"setdos /e!", L"setdos /c$"}, L'!', L'$', 0},
        {{L"setdos /x-3"}, L'^', L'&', 1u << 3},
        {{L"setdos /x-4"}, L'^', L'&', 1u << 4},
        {{L"setdos /x-5"}, L'^', L'&', 1u << 5},
        {{L"setdos /x-6"}, L'^', L'&', 1u << 6},
        {{L"setdos /x-7"}, L'^', L'&', 1u << 7},
        {{L"setdos /x-8"}, L'^', L'&', 1u << 8},
        {{L"setdos /x-38"}, L'^', L'&', (1u << 3) | (1u << 8)},
        {{L"setdos /c~", L"setdos /x-5"}, L'^', L'~', 1u << 5},
        {{L"setdos /x-5678"}, L'^', L'&', 0xFu << 5},
        {{L"setdos /c~ /x-8"}, L'^', L'~', 1u << 8},
        {{L"setdos /e, /x-8"}, L',', L'&', 1u << 8},
    };
    const wchar_t *texts[] = {
        L"a&set PWNED=yes", L"x~set PWNED=yes", L"y$set PWNED=yes", L"100%done%.txt",
        L"%@upper[x]", L"%PATH%", L"a|b", L"<in", L">out", L"\"q\"", L"`bq`", L" lead",
        L"trail ", L"a^b", L"a~b", L"a!b", L"[1,2]", L"(p)", L"line\nbreak", L"tab\tin",
        L"~$Report.docx", L"PROGRA~1", L"it's;=!", L"Monday, 1 May", L"x&&set PWNED=yes",
    };
    for (const auto &s : settings) {
        std::string where;
        for (const wchar_t *c : s.Commands) where += std::string(c, c + wcslen(c)) + " ";
        for (const wchar_t *text : texts) {
            vsh::ResetShell(false);
            for (const wchar_t *c : s.Commands) ASSERT_EQ(0, Command(c, 0)) << where;
            const ShellSyntax syntax = ReadShellSyntax();
            ASSERT_EQ(s.Escape, syntax.Escape) << where;
            ASSERT_EQ(s.Separator, syntax.Separator) << where;
            ASSERT_EQ(s.Off, syntax.Off) << where;

            wchar_t escaped[HOST_BUFFER_LEN];
            int problem = EscapeForShell(&syntax, FOR_COMMAND_LINE, text, escaped,
                                         HOST_BUFFER_LEN, nullptr);
            std::string shown(text, text + wcslen(text));
            if (problem != ESCAPE_FINE) {
                // Refused only where the settings leave no way: the escape is off.
                EXPECT_TRUE(IsFeatureOff(&syntax, FEATURE_ESCAPE)) << where << shown;
                continue;
            }
            ASSERT_EQ(0, Command(L"setarray VESKARR[1,3]", 0)) << where;
            err.clear();
            EXPECT_EQ(0, StoreCell(syntax, 0, text)) << where << shown;
            EXPECT_EQ(L"", err) << where << shown;
            vsh::ArrayVariable *array = vsh::FindArray(L"VESKARR");
            ASSERT_NE(nullptr, array);
            EXPECT_EQ(std::wstring(text), array->Cells[0]) << where << shown;
            std::wstring value;
            EXPECT_EQ(vsh::LOOKUP_UNDEFINED, vsh::LookupVariable(L"PWNED", &value))
                << where << shown;
        }
    }
}

}  // namespace
