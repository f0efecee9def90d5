#include <gtest/gtest.h>

#include <string.h>
#include <string>

#include "text/display_width.h"

namespace {

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
    // So do the bidirectional controls, each taking the one cell of its "?".
    EXPECT_EQ(Cell(L"invoice\u202Egpj.exe", 16, CELL_LEFT), L"invoice?gpj.exe ");
    EXPECT_EQ(Cell(L"\u061C\u200E\u200F\u202A\u202D\u2066\u2069x", 9, CELL_RIGHT), L" ???????x");
    EXPECT_EQ(Cell(L"abcdef\u2067g", 6, CELL_CUT_LEFT), L"...f?g");
}

// An emoji tag sequence: the flag of Scotland, U+1F3F4, the tags "gbsct", the cancel tag.
#define FLAG L"\U0001F3F4\U000E0067\U000E0062\U000E0073\U000E0063\U000E0074\U000E007F"

TEST(DisplayWidthTest, InvisibleFormatCharactersShowAsThePlaceholder)
{
    struct {
        const wchar_t *Text;
        const wchar_t *Shown;
        size_t Cells;
    } cases[] = {
        {L"a\u200Bb\u2060c\uFEFFd\u2062\U0001D173", L"a?b?c?d??", 9},
        {L"\U000E0001en", L"?en", 3},
        // Kept: the joiners, the soft hyphen, a prepended concatenation mark, the
        // variation selectors of an emoji and of an ideograph.
        {L"\u0915\u094D\u200D\u0937 \u200C", L"\u0915\u094D\u200D\u0937 \u200C", 3},
        {L"\U0001F468\u200D\U0001F469", L"\U0001F468\u200D\U0001F469", 4},
        {L"in\u00ADvoice \u0600\u0661", L"in\u00ADvoice \u0600\u0661", 10},
        {L"\u2764\uFE0F \u845B\U000E0100", L"\u2764\uFE0F \u845B\U000E0100", 4},
        // A flag keeps its tags; tags anywhere else, or not closed, show.
        {FLAG L".txt", FLAG L".txt", 6},
        {L"\U0001F3F4\uFE0F\U000E0067\U000E007F", L"\U0001F3F4\uFE0F\U000E0067\U000E007F", 2},
        {L"a\U000E0067\U000E0062\U000E007F", L"a???", 4},
        {L"\U0001F3F4\U000E0067\U000E0062", L"\U0001F3F4??", 4},
        {L"\U0001F3F4\U000E007F", L"\U0001F3F4?", 3},
        {L"\U0001F600\U000E0067\U000E007F", L"\U0001F600??", 4},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(c.Cells, DisplayWidth(c.Text)) << (const void *)c.Text;
        EXPECT_EQ(std::wstring(c.Shown), Cell(c.Text, 0, CELL_LEFT));
        std::wstring masked = c.Text;
        masked.resize(MaskControls(&masked[0], masked.size()));
        EXPECT_EQ(std::wstring(c.Shown), masked);
    }
    // A cut keeps a flag whole, its tags with it.
    EXPECT_EQ(Cell(L"abcdef" FLAG, 6, CELL_CUT_LEFT), L"...f" FLAG);
    EXPECT_EQ(Cell(L"abcdef" FLAG, 5, CELL_CUT_LEFT), L"..." FLAG);
    EXPECT_EQ(Cell(L"abcdef\u200B", 5, CELL_CUT_LEFT), L"...f?");
    // Only what length covers is masked; nothing after it moves.
    wchar_t text[] = L"a\u200Bb\u200Bc";
    EXPECT_EQ(3u, MaskControls(text, 3));
    EXPECT_EQ(std::wstring(L"a?b\u200Bc"), std::wstring(text));
}

TEST(DisplayWidthTest, CutInMiddleKeepsStartAndEnd)
{
    struct {
        const wchar_t *Text;
        size_t Capacity;
        const wchar_t *Out;
        int Result;
    } cases[] = {
        {L"short", 8, L"short", 0},
        {L"1234567", 8, L"1234567", 0},
        {L"12345678", 8, L"1...678", 1},
        {L"/root/abcdefghijklmnop/end", 16, L"/roo...mnop/end", 1},
    };
    for (const auto &c : cases) {
        wchar_t out[64];
        EXPECT_EQ(c.Result, CutInMiddle(out, c.Capacity, c.Text, wcslen(c.Text))) << c.Text;
        EXPECT_EQ(std::wstring(c.Out), out);
    }
    wchar_t small[4];
    EXPECT_EQ(-1, CutInMiddle(small, 4, L"text", 4));
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
