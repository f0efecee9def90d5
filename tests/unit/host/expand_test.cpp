#include "host_test_util.h"

#include <string>
#include <vector>

#include "expand.h"

namespace {

using HostExpandTest = ShellTest;

TEST_F(HostExpandTest, Forms)
{
    vsh::SetVariable(L"Name", L"value");
    vsh::SetVariable(L"n_1$", L"x");
    struct {
        const wchar_t *In;
        const wchar_t *Out;
    } cases[] = {
        {L"%name%", L"value"},
        {L"%NAME", L"value"},
        {L"%name.txt", L"value.txt"},
        {L"<%name%>", L"<value>"},
        {L"%[name]", L"value"},
        {L"%[name]%[name]", L"valuevalue"},
        {L"%n_1$%", L"x"},
        {L"%undefined%|", L"|"},
        {L"%%", L"%"},
        {L"%%name%%", L"%name%"},
        {L"100%", L"100%"},
        {L"% x", L"% x"},
        {L"a^&b^^c^%name%", L"a&b^c%name%"},
        {L"end^", L"end^"},
        {L"\"%name% ^\"\"", L"\"value \"\""},
        {L"%_4ver %_build %_cmdproc", L"33.00 61 TCC"},
        {L"%_batch|%_transient|%_pipe|%_expansion|%_dname",
         L"0|0|0||DESCRIPT.ION"},
        {L"%@comma[1234567]", L"1,234,567"},
        {L"%@COMMA[%@comma[1234]]", L"1,234"},
        {L"%@comma[%name%]", L"value"},
        {L"%@comma[12^]34]", L"12]34"},
        {L"%@name", L"%@name"},
        {L"%1|%*|%0", L"||"},
    };
    for (const auto &c : cases) EXPECT_EQ(c.Out, Expand(c.In)) << c.In;
}

TEST_F(HostExpandTest, SetOverridesInternalVariable)
{
    vsh::SetVariable(L"_4ver", L"9.00");
    EXPECT_EQ(L"9.00", Expand(L"%_4ver"));
}

TEST_F(HostExpandTest, CwdsEndsInSeparator)
{
    std::wstring cwds = Expand(L"%_cwds");
    ASSERT_FALSE(cwds.empty());
    EXPECT_EQ(L'/', cwds.back());
    if (cwds.size() > 1) {
        EXPECT_NE(L'/', cwds[cwds.size() - 2]) << cwds;
    }
}

TEST_F(HostExpandTest, ExpandedTextIsOnlyReadAgainForPercentForms)
{
    vsh::SetVariable(L"A", L"%B% ^& > x");
    vsh::SetVariable(L"B", L"ok");
    EXPECT_EQ(L"ok ^& > x", Expand(L"%A%"));

    vsh::MarkedText out;
    ASSERT_EQ(vsh::EXPAND_OK, vsh::ExpandText(L"%A%>^>", 6, 100, &out, nullptr));
    EXPECT_EQ(L"ok ^& > x>>", out.Text);
    // What the variable gave is marked as such, for the readings to decide; the typed
    // ">" is typed and the escaped one literal.
    std::vector<char> expected(9, vsh::EXPANDED);
    expected.push_back(vsh::TYPED);
    expected.push_back(vsh::LITERAL);
    EXPECT_EQ(expected, out.Literal);
}

TEST_F(HostExpandTest, FunctionResultsUnderBothReadings)
{
    // A result holding "%%": read again it gives "%"; variables are read again either way.
    vsh::SetVariable(L"P", L"%%");
    struct {
        bool Reread;
        const wchar_t *Setdos;
        const wchar_t *Function, *Variable;
    } cases[] = {
        {true, L"", L"%", L"%"},
        {false, L"", L"%%", L"%"},
        {true, L"/x-4", L"%%", L"%%"},
        {false, L"/x-4", L"%%", L"%%"},
    };
    for (const auto &c : cases) {
        ASSERT_EQ(0, Command((std::wstring(L"setdos /x0 ") + c.Setdos).c_str(), 0));
        vsh::Shell.Reading.RereadFunctionResults = c.Reread;
        EXPECT_EQ(c.Function, Expand(L"%@upper[%%%%]")) << c.Reread << c.Setdos;
        EXPECT_EQ(c.Variable, Expand(L"%P")) << c.Reread << c.Setdos;
    }
}

TEST_F(HostExpandTest, Arrays)
{
    std::wstring message;
    ASSERT_EQ(0, vsh::DefineArray(L"LIST[2,3]", &message)) << message;
    vsh::ArrayVariable *list = vsh::FindArray(L"list");
    ASSERT_NE(nullptr, list);
    list->Cells[5] = L"last";
    vsh::SetVariable(L"i", L"1");
    vsh::SetVariable(L"LIST", L"plain");
    struct {
        const wchar_t *In;
        const wchar_t *Out;
    } cases[] = {
        {L"%LIST[1,2]", L"last"},
        {L"%list[ 1 , 2 ]", L"last"},
        {L"%LIST[%i,2]", L"last"},
        {L"%LIST[0,0]|", L"|"},
        {L"%LIST", L"plain"},
        {L"%LIST%[1,2]", L"plain[1,2]"},
        {L"%LIST[2,0]", L"<failed>"},
        {L"%LIST[0,3]", L"<failed>"},
        {L"%LIST[1]", L"<failed>"},
        {L"%LIST[a,b]", L"<failed>"},
        {L"%LIST[1,2", L"<failed>"},
        {L"%i[1,2]", L"1[1,2]"},
    };
    for (const auto &c : cases) EXPECT_EQ(c.Out, Expand(c.In)) << c.In;
}

TEST_F(HostExpandTest, ArrayDeclarations)
{
    struct {
        const wchar_t *Declaration;
        int Result;
    } cases[] = {
        {L"A[3]", 0},           {L"B[2,3,4]", 0},      {L"C[2,2,2,2]", 0},   {L"D[2,2,2,2,2]", 1},
        {L"E[0,3]", 1},         {L"F[1048577]", 1},    {L"G[1024,1024]", 0}, {L"H[1024,1025]", 1},
        {L"I[65536,65536]", 1}, {L"[2]", 1},           {L"J 2", 1},          {L"K[2", 1},
        {L"L[-1]", 1},          {L"M-N[2]", 1},        {L"A[3]", 1},
    };
    for (const auto &c : cases) {
        std::wstring message;
        EXPECT_EQ(c.Result, vsh::DefineArray(c.Declaration, &message)) << c.Declaration;
        EXPECT_EQ(c.Result != 0, !message.empty()) << c.Declaration;
    }
    ASSERT_NE(nullptr, vsh::FindArray(L"b"));
    EXPECT_EQ(24u, vsh::FindArray(L"b")->Cells.size());
}

TEST_F(HostExpandTest, MalformedOrOverlongLeavesBufferUntouched)
{
    const wchar_t *bad[] = {L"x %@comma[12", L"%@comma[\"]\"", L"%[name", L"%@nosuch[1]"};
    for (const wchar_t *text : bad) {
        wchar_t buffer[HOST_BUFFER_LEN];
        wcscpy(buffer, text);
        EXPECT_NE(0, ExpandVariables(buffer, 1)) << text;
        EXPECT_STREQ(text, buffer);
    }

    // A result of 8191 characters fits the buffer; one more does not.
    vsh::SetVariable(L"BIG", std::wstring(8000, L'b'));
    std::wstring fits = L"%BIG%" + std::wstring(191, L'x');
    std::wstring result = Expand(fits);
    EXPECT_EQ(8191u, result.size());
    EXPECT_EQ(L"<failed>", Expand(fits + L"x"));

    // A buffer without a terminator within its 8192 characters is refused, not overrun.
    std::vector<wchar_t> full(HOST_BUFFER_LEN, L'a');
    EXPECT_NE(0, ExpandVariables(full.data(), 1));
    EXPECT_NE(0, ExpandVariables(nullptr, 1));
}

TEST_F(HostExpandTest, DeepNestingFailsInsteadOfExhaustingTheStack)
{
    std::wstring text;
    for (int i = 0; i < 2000; ++i) text += L"%@comma[";
    text += L"1";
    text += std::wstring(2000, L']');
    EXPECT_EQ(L"<failed>", Expand(text));
    EXPECT_EQ(L"1,000", Expand(L"%@comma[%@comma[%@comma[1000]]]"));
}

TEST_F(HostExpandTest, ClosingBracket)
{
    struct {
        const wchar_t *Text;
        size_t Close;
    } cases[] = {
        {L"[abc]", 4},       {L"[a[b]c]", 6},  {L"[a\"]\"]", 5}, {L"[a^]]", 4},
        {L"[a\"]", std::wstring::npos},        {L"[[a]", std::wstring::npos},
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.Close, vsh::FindClosingBracket(c.Text, wcslen(c.Text), 0)) << c.Text;
}

}  // namespace
