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

}  // namespace
