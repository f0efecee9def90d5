#include "plugin/shell_line.h"

#include <gtest/gtest.h>

#include <string>

#include "host_test_util.h"
#include "plugin/host_api.h"

namespace {

ShellSyntax Syntax(wchar_t escape, wchar_t separator, const char *off, uint32_t unknown = 0)
{
    ShellSyntax syntax = {escape, separator, 0, unknown};
    for (const char *p = off; *p; ++p) syntax.Off |= 1u << (*p - '0');
    return syntax;
}

/// "set A[0,1]=value" as the builder writes it, or "?N" for the problem N.
std::wstring SetLine(const ShellSyntax &syntax, const wchar_t *value)
{
    wchar_t buffer[HOST_BUFFER_LEN];
    ShellLine line;
    BeginCommandLine(&line, &syntax, L"set", buffer, HOST_BUFFER_LEN);
    AddLineSyntax(&line, L" A[%d,%d]=", 0, 1);
    AddLineValue(&line, value);
    return line.Problem != 0 ? L"?" + std::to_wstring(line.Problem) : std::wstring(buffer);
}

std::wstring Expression(const ShellSyntax &syntax, const wchar_t *value)
{
    wchar_t buffer[HOST_BUFFER_LEN];
    ShellLine line;
    BeginExpression(&line, &syntax, buffer, HOST_BUFFER_LEN);
    AddLineSyntax(&line, L"%%@descript[");
    AddLineValue(&line, value);
    AddLineSyntax(&line, L"]");
    return line.Problem != 0 ? L"?" + std::to_wstring(line.Problem) : std::wstring(buffer);
}

#define ESCAPE_CLASH L"?100"
#define SEPARATOR_CLASH L"?101"
#define UNKNOWN_LINE L"?102"

// The line's own syntax against the live settings: a separator among its characters is
// escaped; the escape character, or a separator nothing can escape, refuses the line.
TEST(ShellLineTest, OwnSyntaxAgainstTheSettings)
{
    const struct {
        ShellSyntax Syntax;
        const wchar_t *Set, *Expression;
    } cases[] = {
        {Syntax(L'^', L'&', ""), L"*set A[0,1]=x^&y", L"%@descript[x^&y]"},
        {Syntax(L'^', L'&', "1"), L"set A[0,1]=x^&y", L"%@descript[x^&y]"},
        {Syntax(L'^', L'[', ""), L"*set A^[0,1]=x^&y", L"%@descript[x^&y]"},
        {Syntax(L'^', L'/', ""), L"*set A[0,1]=x^&y", L"%@descript[x^&y]"},
        {Syntax(L'^', L'=', "5"), L"*set A[0,1]=x^&y", L"%@descript[x^&y]"},
        {Syntax(L'^', L'[', "8"), SEPARATOR_CLASH, L"%@descript[x&y]"},
        {Syntax(L'^', L'*', ""), SEPARATOR_CLASH, L"%@descript[x^&y]"},
        {Syntax(L'^', L'*', "1"), L"set A[0,1]=x^&y", L"%@descript[x^&y]"},
        {Syntax(L'*', L'&', ""), ESCAPE_CLASH, L"%@descript[x*&y]"},
        {Syntax(L'*', L'&', "1"), L"set A[0,1]=x*&y", L"%@descript[x*&y]"},
        {Syntax(L'[', L'&', ""), ESCAPE_CLASH, ESCAPE_CLASH},
        {Syntax(L'@', L'&', ""), L"*set A[0,1]=x@&y", ESCAPE_CLASH},
        {Syntax(L'=', L'&', ""), ESCAPE_CLASH, L"%@descript[x=&y]"},
        {Syntax(L'=', L'&', "8"), L"?6", L"?6"},  // "&" is the separator
        {Syntax(L'^', L'&', "", UNKNOWN_ESCAPE), UNKNOWN_LINE, UNKNOWN_LINE},
        {Syntax(L'^', L'&', "", UNKNOWN_FEATURES), L"?5", L"?5"},
    };
    for (const auto &c : cases) {
        std::string where = std::string(1, (char)c.Syntax.Escape) + " " +
                            std::string(1, (char)c.Syntax.Separator) + " " +
                            std::to_string(c.Syntax.Off) + " " + std::to_string(c.Syntax.Unknown);
        EXPECT_EQ(std::wstring(c.Set), SetLine(c.Syntax, L"x&y")) << where;
        EXPECT_EQ(std::wstring(c.Expression), Expression(c.Syntax, L"x&y")) << where;
    }
    // What needs no escaping is written under unknown features as it is.
    EXPECT_EQ(L"*set A[0,1]=plain.txt", SetLine(Syntax(L'^', L'&', "", UNKNOWN_FEATURES), L"plain.txt"));
}

// A function's argument is quoted while quoting is surely on: then only what ends the
// quotes is syntax once the escape is off.
TEST(ShellLineTest, ArgumentsAreQuotedWhileQuotingIsOn)
{
    const struct {
        ShellSyntax Syntax;
        const wchar_t *Value, *Expression;
    } cases[] = {
        {Syntax(L'^', L'&', ""), L" a]b,c ", L"%@descript[\"^ a^]b^,c^ \"]"},
        {Syntax(L'^', L'&', "8"), L" a]b,c&d|e ", L"%@descript[\" a]b,c&d|e \"]"},
        {Syntax(L'^', L'&', "8"), L"a\"b", L"?8"},
        {Syntax(L'^', L'&', "45678"), L"a&b\"c", L"%@descript[a&b\"c]"},
        {Syntax(L'^', L'&', "45678"), L"a]b", L"?9"},
        {Syntax(L'^', L'&', "", UNKNOWN_FEATURES), L"a]b", L"?5"},
        {Syntax(L'^', L'&', "", UNKNOWN_FEATURES), L"plain", L"%@descript[plain]"},
    };
    for (const auto &c : cases) {
        wchar_t buffer[HOST_BUFFER_LEN];
        ShellLine line;
        BeginExpression(&line, &c.Syntax, buffer, HOST_BUFFER_LEN);
        AddLineSyntax(&line, L"%%@descript[");
        AddLineArgument(&line, c.Value);
        AddLineSyntax(&line, L"]");
        EXPECT_EQ(std::wstring(c.Expression),
                  line.Problem != 0 ? L"?" + std::to_wstring(line.Problem) : std::wstring(buffer));
    }
}

TEST(ShellLineTest, BoundsAndMessages)
{
    const ShellSyntax def = DefaultShellSyntax();
    // "*set A[0,1]=" is 12 characters: 8191 is the longest line.
    std::wstring value(HOST_BUFFER_LEN - 1 - 12, L'v');
    EXPECT_EQ((size_t)HOST_BUFFER_LEN - 1, SetLine(def, value.c_str()).size());
    value += L"v";
    EXPECT_EQ(L"?1", SetLine(def, value.c_str()));
    wchar_t small[8];
    ShellLine line;
    BeginCommandLine(&line, &def, L"unsetarray", small, 8);
    EXPECT_EQ(ESCAPE_NO_ROOM, line.Problem);
    EXPECT_STREQ(L"", small);
    EXPECT_EQ(LINE_NOT_RUN, RunCommandLine(&line));
    BeginExpression(&line, &def, nullptr, 0);
    EXPECT_EQ(LINE_NOT_RUN, ExpandExpression(&line));

    wchar_t why[512];
    const ShellSyntax star = {L'*', L'&', 0, 0};
    BeginCommandLine(&line, &star, L"set", small, 8);
    EXPECT_NE(nullptr, wcsstr(DescribeLineProblem(&line, why, 512), L"escape character \"*\""));
}

// ---- Through the stand-in shell ------------------------------------------------------

class ShellLineShellTest : public ShellTest {};

// Lines that pass the checks run as written: the array is made and filled, and a
// separator inside the line's own syntax is taken for the character it is.
TEST_F(ShellLineShellTest, BuiltLinesRunUnderTheirSettings)
{
    const wchar_t *settings[] = {L"setdos /c[", L"setdos /c/", L"setdos /c]", L"setdos /x-1 /e*",
                                 L"setdos /e~ /c!"};
    for (const wchar_t *setdos : settings) {
        vsh::ResetShell(false);
        ASSERT_EQ(0, Command(setdos, 0));
        const ShellSyntax syntax = ReadShellSyntax();
        wchar_t buffer[HOST_BUFFER_LEN];
        ShellLine line;
        BeginCommandLine(&line, &syntax, L"setarray", buffer, HOST_BUFFER_LEN);
        AddLineSyntax(&line, L" B[1,3]");
        err.clear();
        EXPECT_EQ(0, RunCommandLine(&line)) << setdos;
        BeginCommandLine(&line, &syntax, L"set", buffer, HOST_BUFFER_LEN);
        AddLineSyntax(&line, L" B[0,2]=");
        AddLineValue(&line, L"u*s [1]/2!~&&x");
        EXPECT_EQ(0, RunCommandLine(&line)) << setdos;
        EXPECT_EQ(L"", err) << setdos;
        vsh::ArrayVariable *array = vsh::FindArray(L"B");
        ASSERT_NE(nullptr, array) << setdos;
        EXPECT_EQ(L"u*s [1]/2!~&&x", array->Cells[2]) << setdos;
    }
}

}  // namespace
