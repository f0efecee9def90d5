#include <gtest/gtest.h>

#include <string.h>

#include "plugin/host_api.h"
#include "text/case_fold.h"
#include "text/display_width.h"
#include "text/unicode_tables.h"

namespace {

struct Sample {
    uint32_t CodePoint;
    int Cells;
    uint32_t Upper;
    uint32_t Lower;
    int Letter;
    int Digit;
};

// Several hundred code points of every class, with what an independent Unicode database
// says of them.
const Sample Samples[] = {
#include "unicode_samples.inc"
};

TEST(TextTablesTest, AgreeWithAnIndependentDatabase)
{
    size_t checked = 0;
    for (const Sample &s : Samples) {
        SCOPED_TRACE(testing::Message() << "U+" << std::hex << s.CodePoint);
        EXPECT_EQ(CodePointCells(s.CodePoint), s.Cells);
        EXPECT_EQ(UpperCaseOf(s.CodePoint), s.Upper);
        EXPECT_EQ(LowerCaseOf(s.CodePoint), s.Lower);
        EXPECT_EQ(IsUnicodeLetter(s.CodePoint), s.Letter != 0);
        EXPECT_EQ(IsUnicodeDigit(s.CodePoint), s.Digit != 0);
        ++checked;
    }
    EXPECT_GT(checked, 500u);
}

TEST(TextTablesTest, EveryCodePointHasOneSoundEntry)
{
    // The paged tables cover the whole code space: cells 0 to 2, letters and digits only
    // in the Basic Multilingual Plane, never both, and mappings that stay in it.
    for (uint32_t c = 0; c <= 0x10FFFF; ++c) {
        int cells = CodePointCells(c);
        ASSERT_TRUE(cells >= 0 && cells <= 2) << std::hex << c;
        ASSERT_FALSE(IsUnicodeLetter(c) && IsUnicodeDigit(c)) << std::hex << c;
        if (c > 0xFFFF) {
            ASSERT_FALSE(IsUnicodeLetter(c) || IsUnicodeDigit(c)) << std::hex << c;
            ASSERT_EQ(UpperCaseOf(c), c);
        } else {
            ASSERT_LE(UpperCaseOf(c), 0xFFFFu);
            ASSERT_LE(LowerCaseOf(c), 0xFFFFu);
        }
        // A mark of no width joins; a wide character never does.
        if (cells == 0) {
            ASSERT_TRUE(JoinsPrevious(c)) << std::hex << c;
        } else if (cells == 2) {
            ASSERT_FALSE(JoinsPrevious(c)) << std::hex << c;
        }
    }
    EXPECT_EQ(CodePointCells(0x110000), 1);
    EXPECT_STREQ(UnicodeTablesVersion, "15.0.0");
}

TEST(TextTablesTest, KnownValues)
{
    // Cells.
    const struct {
        uint32_t C;
        int Cells;
    } cells[] = {{L'a', 1},    {0x00E9, 1}, {0x00AD, 1}, {0x0301, 0}, {0x200B, 0},
                 {0x200D, 0},  {0xFE0F, 0}, {0x1160, 0}, {0x11A8, 0}, {0x1100, 2},
                 {0x4E2D, 2},  {0x3000, 2}, {0xAC00, 2}, {0xFF21, 2}, {0xFF61, 1},
                 {0x1F600, 2}, {0x20000, 2}, {0x2FFFD, 2}, {0x0009, 1}, {0x009B, 1},
                 {0xDC80, 1},  {0x0903, 1}};
    for (const auto &c : cells) EXPECT_EQ(CodePointCells(c.C), c.Cells) << std::hex << c.C;
    EXPECT_TRUE(JoinsPrevious(0x0301));
    EXPECT_TRUE(JoinsPrevious(0x0903));  // a spacing mark: one cell, but not a base
    EXPECT_FALSE(JoinsPrevious(L'e'));

    // Case: simple one-to-one mappings of the BMP only, so lengths never change.
    const struct {
        uint32_t C, Upper;
    } upper[] = {{L'a', L'A'},     {0x00E9, 0x00C9}, {0x00DF, 0x00DF}, {0x00FF, 0x0178},
                 {0x0131, L'I'},   {0x03C2, 0x03A3}, {0x0444, 0x0424}, {0x01C6, 0x01C4},
                 {0x01C5, 0x01C4}, {0xFF41, 0xFF21}, {0x10428, 0x10428}, {L'1', L'1'},
                 {0x1F80, 0x1F88}, {0x0149, 0x0149}};
    for (const auto &u : upper) EXPECT_EQ(UpperCaseOf(u.C), u.Upper) << std::hex << u.C;
    EXPECT_EQ(LowerCaseOf(0x00C9), 0x00E9u);
    EXPECT_EQ(LowerCaseOf(0x0130), (uint32_t)L'i');
    EXPECT_EQ(LowerCaseOf(0x10400), 0x10400u);

    // Letters and digits the array-name check relies on.
    EXPECT_TRUE(IsUnicodeLetter(0x00E4));
    EXPECT_TRUE(IsUnicodeLetter(0x4E2D));
    EXPECT_TRUE(IsUnicodeLetter(0xAC00));
    EXPECT_FALSE(IsUnicodeLetter(0x1D400));  // two units on Windows, neither a letter
    EXPECT_FALSE(IsUnicodeLetter(L'_'));
    EXPECT_FALSE(IsUnicodeLetter(0x00D7));
    EXPECT_TRUE(IsUnicodeDigit(0x0663));
    EXPECT_FALSE(IsUnicodeDigit(0x00B2));
}

TEST(CaseFoldTest, TextsAndComparisons)
{
    wchar_t text[] = L"caf\u00e9 \u00e4rger stra\u00dfe \u0444";
    EXPECT_STREQ(UpperCaseText(text), L"CAF\u00c9 \u00c4RGER STRA\u00dfE \u0424");
    EXPECT_EQ(UpperCaseText(nullptr), nullptr);
    EXPECT_EQ(CompareIgnoringCase(L"descript.ion", L"DESCRIPT.ION"), 0);
    EXPECT_EQ(CompareIgnoringCase(L"\u00e9t\u00e9", L"\u00c9T\u00c9"), 0);
    EXPECT_LT(CompareIgnoringCase(L"abc", L"ABD"), 0);
    EXPECT_GT(CompareIgnoringCase(L"abcd", L"ABC"), 0);
    EXPECT_EQ(CompareIgnoringCaseN(L"abcX", L"ABCy", 3), 0);
}

TEST(CaseFoldTest, ShellWildcardFoldsBeyondAscii)
{
    EXPECT_EQ(WildcardComparison(L"CAF\u00c9*", L"caf\u00e9.txt", 1, 1), 0);
    EXPECT_EQ(WildcardComparison(L"*\u0424*", L"\u0444\u0430\u0439\u043b", 1, 1), 0);
    EXPECT_EQ(WildcardComparison(L"[\u00e0-\u00e9]x", L"\u00c8X", 0, 1), 0);
    EXPECT_NE(WildcardComparison(L"CAF\u00c9*", L"caf\u00e9.txt", 1, 0), 0);
    // No full mappings: the sharp s never matches "SS".
    EXPECT_NE(WildcardComparison(L"STRASSE", L"stra\u00dfe", 1, 1), 0);
}

TEST(DisplayWidthTest, Widths)
{
    EXPECT_EQ(DisplayWidth(L""), 0u);
    EXPECT_EQ(DisplayWidth(nullptr), 0u);
    EXPECT_EQ(DisplayWidth(L"abc"), 3u);
    EXPECT_EQ(DisplayWidth(L"\u4e2d\u6587.txt"), 8u);
    EXPECT_EQ(DisplayWidth(L"cafe\u0301"), 4u);
    EXPECT_EQ(DisplayWidth(L"\U0001F600x"), 3u);
    EXPECT_EQ(DisplayWidth(L"a\tb\x1b"), 4u);
}

std::wstring Cell(const wchar_t *text, int cells, CellFit fit)
{
    wchar_t out[64];
    EXPECT_EQ(FormatCell(out, 64, text, cells, fit), 0);
    return out;
}

TEST(DisplayWidthTest, CellsPadAndCutByConsoleCells)
{
    EXPECT_EQ(Cell(L"\u4e2d\u6587", 6, CELL_LEFT), L"\u4e2d\u6587  ");
    EXPECT_EQ(Cell(L"\u4e2d\u6587", 6, CELL_RIGHT), L"  \u4e2d\u6587");
    EXPECT_EQ(Cell(L"cafe\u0301", 6, CELL_LEFT), L"cafe\u0301  ");
    EXPECT_EQ(Cell(L"toolongtext", 4, CELL_RIGHT), L"toolongtext");
    // The cut keeps the end; a wide character that would be split leaves a blank.
    EXPECT_EQ(Cell(L"abcdefghij", 8, CELL_CUT_LEFT), L"...fghij");
    EXPECT_EQ(Cell(L"x\u4e2d\u6587\u5b57", 6, CELL_CUT_LEFT), L"... \u5b57");
    EXPECT_EQ(Cell(L"x\u4e2d\u6587\u5b57", 7, CELL_CUT_LEFT), L"x\u4e2d\u6587\u5b57");
    // A mark stays with its base: the base and its marks go together, or neither.
    EXPECT_EQ(Cell(L"abcde\u0301fgh", 7, CELL_CUT_LEFT), L"...e\u0301fgh");
    EXPECT_EQ(Cell(L"abcde\u0301fgh", 6, CELL_CUT_LEFT), L"...fgh");
    EXPECT_EQ(Cell(L"abc\u0915\u093efg", 6, CELL_CUT_LEFT), L"... fg");
    // Controls show as the placeholder, in cut and uncut cells alike.
    EXPECT_EQ(Cell(L"a\nb\tc\x1b]0;x\x07", 12, CELL_LEFT), L"a?b?c?]0;x? ");
    EXPECT_EQ(Cell(L"0123456789\u009b2J", 8, CELL_CUT_LEFT), L"...89?2J");
    EXPECT_EQ(Cell(L"abcdef", 2, CELL_CUT_LEFT), L"..");
}

TEST(DisplayWidthTest, SmallBuffersNeverOverrun)
{
    wchar_t out[8];
    wmemset(out, L'#', 8);
    EXPECT_EQ(FormatCell(out, 5, L"\u4e2d\u6587 long name", 20, CELL_LEFT), 1);
    EXPECT_EQ(out[4], L'\0');
    EXPECT_EQ(out[5], L'#');
    EXPECT_EQ(FormatCell(out, 1, L"abc", 3, CELL_RIGHT), 1);
    EXPECT_EQ(out[0], L'\0');
    EXPECT_EQ(FormatCell(nullptr, 4, L"a", 1, CELL_LEFT), -1);
    EXPECT_EQ(FormatCell(out, 4, nullptr, 1, CELL_LEFT), -1);
}

}  // namespace
