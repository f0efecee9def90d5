#include "plugin/tokenizer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// "<null>" stands for an argument that received no character.
std::vector<std::wstring> Tokens(const std::wstring &text, int mode)
{
    std::vector<std::wstring> out;
    int n = TokenizeArgs(text.c_str(), mode);
    if (n < 0) return {L"<error>"};
    EXPECT_EQ(n, HostArgs.ArgCount);
    for (int i = 0; i < HostArgs.ArgCount; ++i) {
        if (HostArgs.Args[i] == nullptr) {
            EXPECT_EQ(0, HostArgs.ArgLengths[i]);
            out.push_back(L"<null>");
            continue;
        }
        // The invariant every reader relies on: length characters, then a terminator.
        EXPECT_EQ((size_t)HostArgs.ArgLengths[i], wcslen(HostArgs.Args[i]));
        out.push_back(std::wstring(HostArgs.Args[i], (size_t)HostArgs.ArgLengths[i]));
    }
    return out;
}

struct TokenCase {
    const wchar_t *Text;
    int Mode;
    std::vector<std::wstring> Expected;
};

const TokenCase TokenCases[] = {
    {L"", 5, {}},
    {L"   \t  ", 5, {}},
    {L"   ", 2, {}},
    {L"10 largest arr *.txt", 5, {L"10", L"largest", L"arr", L"*.txt"}},
    {L"  a   b  ", 1, {L"a", L"b"}},
    {L"a\tb\nc", 1, {L"a", L"b", L"c"}},
    // Quotes vanish; quoted blanks at the ends of an argument go, those inside stay.
    {L"\"  spaced name  \"", 5, {L"spaced name"}},
    {L"pre\"fix mid\"post next", 5, {L"prefix midpost", L"next"}},
    {L"a \"unbalanced rest of  text", 5, {L"a", L"unbalanced rest of  text"}},
    {L"\"\"", 5, {}},
    {L"a \"\" b", 5, {L"a", L"b"}},
    // Switch splitting.
    {L"/R/F/V:100", 5, {L"/R", L"/F", L"/V:100"}},
    {L"//", 5, {L"//"}},
    {L"///", 5, {L"//", L"/"}},
    {L"/A:RH/R", 5, {L"/A:RH", L"/R"}},
    {L"/[d2024/05/01]", 5, {L"/[d2024", L"/05", L"/01]"}},
    {L"/[d\"2024/05/01\"]", 5, {L"/[d2024/05/01]"}},
    {L"c:/dir/file", 5, {L"c:/dir/file"}},
    {L"/R/F", 1, {L"/R/F"}},
    {L"a,b", 5, {L"a,b"}},
    // Comma mode.
    {L"a,,b", 2, {L"a", L"<null>", L"b"}},
    {L"a,", 2, {L"a"}},
    {L",a", 2, {L"<null>", L"a"}},
    {L"a , b", 2, {L"a", L"b"}},
    {L"x y,z", 2, {L"x y", L"z"}},
    {L"\"a,b\",c", 2, {L"a,b", L"c"}},
    {L",,", 2, {L"<null>", L"<null>"}},
    {L"*.txt,L,,1,W", 2, {L"*.txt", L"L", L"<null>", L"1", L"W"}},
    // Mode 0 keeps everything but leading and trailing white space as one argument.
    {L"  a b, c/d  ", 0, {L"a b, c/d"}},
};

TEST(TokenizerTest, SplitsByModeTable)
{
    for (const TokenCase &c : TokenCases) {
        SCOPED_TRACE(testing::Message() << "mode " << c.Mode << " text [" << std::wstring(c.Text).size()
                                        << " chars]");
        EXPECT_EQ(c.Expected, Tokens(c.Text, c.Mode));
    }
}

TEST(TokenizerTest, NullTextLeavesHostArgsUntouched)
{
    ASSERT_EQ(2, TokenizeArgs(L"keep me", 1));
    EXPECT_EQ(-1, TokenizeArgs(nullptr, 1));
    EXPECT_EQ(2, HostArgs.ArgCount);
    EXPECT_STREQ(L"me", HostArgs.Args[1]);
}

TEST(TokenizerTest, RetokenizingClearsEarlierArguments)
{
    ASSERT_EQ(3, TokenizeArgs(L"a b c", 1));
    ASSERT_EQ(1, TokenizeArgs(L"z", 1));
    EXPECT_EQ(nullptr, HostArgs.Args[1]);
    EXPECT_EQ(0, HostArgs.ArgLengths[2]);
}

TEST(TokenizerTest, ArgumentCountLimit)
{
    struct {
        int Given;
        int Kept;
    } cases[] = {{1023, 1023}, {1024, 1024}, {1025, 1024}, {3000, 1024}};
    for (auto c : cases) {
        std::wstring text;
        for (int i = 0; i < c.Given; ++i) text += (i == c.Given - 1) ? L"z " : L"a ";
        EXPECT_EQ(c.Kept, TokenizeArgs(text.c_str(), 1)) << c.Given;
        EXPECT_EQ(c.Kept, HostArgs.ArgCount);
        EXPECT_STREQ(c.Given == c.Kept ? L"z" : L"a", HostArgs.Args[c.Kept - 1]);
    }
    // In comma mode the extra fields are empty as well as beyond the limit.
    std::wstring commas(2000, L',');
    EXPECT_EQ(1024, TokenizeArgs(commas.c_str(), 2));
}

TEST(TokenizerTest, OverflowAtTheLastSlot)
{
    // One argument takes its characters and a terminator; the last slot stays free.
    std::wstring fits(MAX_ARG_LEN - 1, L'x');
    ASSERT_EQ(1, TokenizeArgs(fits.c_str(), 5));
    EXPECT_EQ(MAX_ARG_LEN - 1, HostArgs.ArgLengths[0]);

    testing::internal::CaptureStderr();
    std::wstring tooLong(MAX_ARG_LEN, L'x');
    EXPECT_EQ(-1, TokenizeArgs(tooLong.c_str(), 5));
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(0, HostArgs.ArgCount);
    EXPECT_NE(std::string::npos, err.find("Vesk plugin: Buffer overflow: b = 8191, MAX_ARG_LEN = 8192 \n"))
        << err;

    // Two arguments: each terminator costs a slot.
    std::wstring two = std::wstring(4095, L'a') + L" " + std::wstring(4095, L'b');
    EXPECT_EQ(2, TokenizeArgs(two.c_str(), 1));
    std::wstring twoOver = std::wstring(4095, L'a') + L" " + std::wstring(4096, L'b');
    testing::internal::CaptureStderr();
    EXPECT_EQ(-1, TokenizeArgs(twoOver.c_str(), 1));
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(0, HostArgs.ArgCount);
}

TEST(TokenizerTest, HostileInputStaysInBounds)
{
    // Patterns that stress every rule at the size limits; the sanitizer build checks
    // that nothing is read or written out of bounds.
    const wchar_t *units[] = {L",", L"/", L"\"", L" ", L"//", L"/a/", L"a,", L" \" ", L"\t,\""};
    for (const wchar_t *unit : units) {
        for (int mode = 0; mode < 8; ++mode) {
            std::wstring text;
            while (text.size() < 3 * MAX_ARG_LEN) text += unit;
            testing::internal::CaptureStderr();
            int n = TokenizeArgs(text.c_str(), mode);
            testing::internal::GetCapturedStderr();
            EXPECT_LE(n, MAX_ARGS);
            EXPECT_GE(n, -1);
            for (int i = 0; i < HostArgs.ArgCount; ++i) {
                if (HostArgs.Args[i] == nullptr) continue;
                EXPECT_EQ((size_t)HostArgs.ArgLengths[i], wcslen(HostArgs.Args[i]));
            }
        }
    }
}

} // namespace
