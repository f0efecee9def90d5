#include "commands/summary_table.h"

#include "commands/stored_rows.h"

#include <gtest/gtest.h>

#include <string>

#include "commands/date_stamp.h"
#include "plugin/host_api.h"
#include "search/result_list.h"

namespace {

struct WidthCase {
    int Count;
    int WhichStamp;
    uint32_t Requested;
    int Screen;
    uint32_t Name, Size, Stamp;
    TableWidths Expected;  // W, R, N, S, T
};

TEST(SummaryTableTest, TableWidths)
{
    const WidthCase cases[] = {
        // /V:80, stamps of 19, sizes of 5, ten rows: 80 - 19 - 5 - 1 - 7.
        {10, 0, 80, 0, 60, 5, 19, {80, 1, 48, 5, 19}},
        // The name column shrinks to the longest name, never below 10.
        {10, 0, 80, 0, 20, 5, 19, {80, 1, 20, 5, 19}},
        {10, 0, 80, 0, 5, 5, 19, {80, 1, 10, 5, 19}},
        {10, 0, 80, 0, 0, 5, 19, {80, 1, 10, 5, 19}},
        // No width asked for: the measured console, else 100.
        {10, 0, 0, 120, 200, 5, 19, {120, 1, 88, 5, 19}},
        {10, 0, 0, 0, 200, 5, 19, {100, 1, 68, 5, 19}},
        // The asked-for width wins over the console.
        {10, 0, 90, 200, 200, 5, 19, {90, 1, 58, 5, 19}},
        // Too narrow: 30 for names, or the longest name when shorter (at least 10).
        {10, 0, 80, 0, 100, 20, 60, {80, 1, 30, 20, 60}},
        {10, 0, 80, 0, 25, 20, 60, {80, 1, 25, 20, 60}},
        {10, 0, 80, 0, 3, 20, 60, {80, 1, 10, 20, 60}},
        // Row number width follows the highest row number.
        {11, 0, 80, 0, 100, 5, 19, {80, 2, 47, 5, 19}},
        {100, 0, 80, 0, 100, 5, 19, {80, 2, 47, 5, 19}},
        {101, 0, 80, 0, 100, 5, 19, {80, 3, 46, 5, 19}},
        {1000, 0, 80, 0, 100, 5, 19, {80, 3, 46, 5, 19}},
        {1001, 0, 80, 0, 100, 5, 19, {80, 4, 45, 5, 19}},
        {1, 0, 80, 0, 100, 5, 19, {80, 1, 48, 5, 19}},
        // Size at least "Size"; stamp at least its title.
        {1, 0, 80, 0, 100, 1, 3, {80, 1, 58, 4, 10}},
        {1, 1, 80, 0, 100, 0, 0, {80, 1, 61, 4, 7}},
        {1, 2, 80, 0, 100, 0, 0, {80, 1, 57, 4, 11}},
        // Texts of the largest possible size never make the arithmetic overflow.
        {1, 0, 1024, 0, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, {1024, 1, 30, 1024, 1024}},
    };
    for (const WidthCase &c : cases) {
        TableWidths w = {-1, -1, -1, -1, -1};
        ASSERT_EQ(0, ComputeTableWidths(c.Count, c.WhichStamp, c.Requested, c.Screen, c.Name,
                                        c.Size, c.Stamp, &w));
        EXPECT_EQ(c.Expected.W, w.W) << "count " << c.Count << " width " << c.Requested;
        EXPECT_EQ(c.Expected.R, w.R) << "count " << c.Count;
        EXPECT_EQ(c.Expected.N, w.N) << "count " << c.Count << " name " << c.Name;
        EXPECT_EQ(c.Expected.S, w.S) << "size " << c.Size;
        EXPECT_EQ(c.Expected.T, w.T) << "stamp " << c.Stamp;
    }
    EXPECT_EQ(-1, ComputeTableWidths(1, 0, 80, 0, 1, 1, 1, nullptr));
}

TEST(SummaryTableTest, PrintRunBounds)
{
    struct {
        int N;
        wchar_t C;
        std::string Expected;
    } cases[] = {{0, L'-', ""}, {-5, L'-', ""}, {1, L'x', "x"}, {3, L' ', "   "}};
    for (const auto &c : cases) {
        testing::internal::CaptureStdout();
        PrintRun(c.N, c.C);
        EXPECT_EQ(c.Expected, testing::internal::GetCapturedStdout()) << c.N;
    }
    // A run longer than the buffer is cut, not overrun.
    testing::internal::CaptureStdout();
    PrintRun(HOST_BUFFER_LEN + 100, L'-');
    EXPECT_EQ((size_t)HOST_BUFFER_LEN - 1, testing::internal::GetCapturedStdout().size());
}

TEST(SummaryTableTest, AddCommasResultCodes)
{
    wchar_t text[TEXT_BUFFER_LEN];
    EXPECT_EQ(-1, AddCommas(nullptr));

    // Longer than the work buffer allows: unchanged.
    std::wstring tooLong(8183, L'1');
    std::wstring big(tooLong.size() + 1, L'\0');
    wcscpy(&big[0], tooLong.c_str());
    EXPECT_EQ(1, AddCommas(&big[0]));
    EXPECT_EQ(tooLong, big.c_str());

    // 1000 digits grouped need more than 1024 characters: unchanged.
    std::wstring digits(1000, L'9');
    wcscpy(text, digits.c_str());
    EXPECT_EQ(3, AddCommas(text));
    EXPECT_EQ(digits, text);

    // Short numbers are grouped by the shell: longer than before, same digits in order.
    wcscpy(text, L"1234567");
    EXPECT_EQ(0, AddCommas(text));
    std::wstring grouped = text;
    EXPECT_GT(grouped.size(), 7u);
    std::wstring onlyDigits;
    for (wchar_t c : grouped)
        if (c >= L'0' && c <= L'9') onlyDigits += c;
    EXPECT_EQ(L"1234567", onlyDigits);

    wcscpy(text, L"999");
    EXPECT_EQ(0, AddCommas(text));
    EXPECT_STREQ(L"999", text);
}

/// The shell's grouping of a number, for expectations.
std::string Grouped(const wchar_t *number)
{
    wchar_t text[TEXT_BUFFER_LEN];
    wcscpy(text, number);
    AddCommas(text);
    std::string out;
    for (const wchar_t *p = text; *p; ++p) out += (char)*p;
    return out;
}

struct SummaryCase {
    int Found, Count;
    uint32_t Mask, Values;
    int Mode;
    std::string Expected;
};

TEST(SummaryTableTest, SummaryNounsAndCounts)
{
    const std::string g1234 = Grouped(L"1234");
    const SummaryCase cases[] = {
        {0, 0, 0x10, 0, 1, "No matching files found.\n"},
        {0, 0, 0x10, 0x10, 1, "No matching directories found.\n"},
        {0, 0, 0, 0, 3, "No matching items found.\n"},
        {1, 1, 0x10, 0, 1, "1 largest file vesked into X[1,3].\n"},
        {1, 1, 0x10, 0x10, 2, "1 smallest directory vesked into X[1,3].\n"},
        {1, 1, 0, 0, 4, "1 newest item vesked into X[1,3].\n"},
        {2, 2, 0x10, 0, 3, "2 oldest files vesked into X[2,3].\n"},
        {2, 2, 0x11, 0x10, 1, "2 largest directories vesked into X[2,3].\n"},
        {2, 2, 0x01, 0x01, 4, "2 newest items vesked into X[2,3].\n"},
        {1234, 1234, 0x10, 0, 1, g1234 + " largest files vesked into X[1234,3].\n"},
        // Found but none stored: never "No matching".
        {3, 0, 0x10, 0, 1, "3 matching files found, none stored.\n"},
        {1, 0, 0x10, 0x10, 1, "1 matching directory found, none stored.\n"},
    };
    for (const SummaryCase &c : cases) {
        testing::internal::CaptureStdout();
        EXPECT_EQ(0, PrintSummary(c.Mask, c.Values, c.Mode, L"X", c.Found, c.Count));
        EXPECT_EQ(c.Expected, testing::internal::GetCapturedStdout());
    }
}

std::string Padded(const std::string &text, int width, bool left)
{
    if ((int)text.size() >= width) return text;
    std::string pad((size_t)width - text.size(), ' ');
    return left ? text + pad : pad + text;
}

TEST(SummaryTableTest, TablePrintsTheHeldTextsAndCutsLongNames)
{
    std::string longName = "d";
    for (int i = 0; i < 99; ++i) longName += (char)('a' + i % 26);
    std::wstring wideLong(longName.begin(), longName.end());
    // Texts the shell would change if the table read them back: a nested reference and
    // a function call must print as they are.
    const std::wstring cells[3][3] = {
        {L"100%done%.txt", L"12,345", L"2026-12-06 13:15:52"},
        {wideLong, L"7", L"2026-01-05 09:03:07"},
        {L"%@upper[x]", L"0", L"2026-07-01 08:00:00"},
    };
    StoredRows rows;
    ASSERT_EQ(0, InitStoredRows(&rows, 3));
    for (const auto &cell : cells)
        ASSERT_EQ(0, AddStoredRow(&rows, cell[0].c_str(), cell[1].c_str(), cell[2].c_str()));
    EXPECT_EQ(1, AddStoredRow(&rows, L"x", L"1", L"s")) << "no room beyond the capacity";
    // An array of the same name holding other texts is not what the table shows.
    Command(L"*unsetarray /Q TBL", 0);
    ASSERT_EQ(0, Command(L"*setarray TBL[3,3]", 0));
    ASSERT_EQ(0, Command(L"*set TBL[0,0]=other", 0));

    testing::internal::CaptureStdout();
    EXPECT_EQ(0, PrintResultTable(0, 80, &rows));
    std::string out = testing::internal::GetCapturedStdout();

    // W 80, R 1, S 6, T 19: N = 80 - 19 - 6 - 1 - 7 = 47.
    std::string expected = " \n" + std::string(1, ' ') + "  " + Padded("Filename", 47, true) +
                           "  " + Padded("Size", 6, false) + "  " +
                           Padded("Last Write", 19, false) + "\n";
    expected += " " + std::string("  ") + std::string(47, '-') + "  " + std::string(6, '-') +
                "  " + std::string(19, '-') + "\n";
    expected += "0  " + Padded("100%done%.txt", 47, true) + "  " + Padded("12,345", 6, false) +
                "  2026-12-06 13:15:52\n";
    expected += "1  ..." + longName.substr(longName.size() - 44) + "  " + Padded("7", 6, false) +
                "  2026-01-05 09:03:07\n";
    expected += "2  " + Padded("%@upper[x]", 47, true) + "  " + Padded("0", 6, false) +
                "  2026-07-01 08:00:00\n";
    expected += "\n";
    EXPECT_EQ(expected, out);
    FreeStoredRows(&rows);
    EXPECT_EQ(0, rows.Count);
    EXPECT_EQ(nullptr, rows.Rows);

    // Nothing held, or nothing at all: no table.
    testing::internal::CaptureStdout();
    EXPECT_EQ(-1, PrintResultTable(0, 80, &rows));
    EXPECT_EQ(-1, PrintResultTable(0, 80, nullptr));
    EXPECT_EQ("", testing::internal::GetCapturedStdout());
    Command(L"*unsetarray /Q TBL", 0);
}

TEST(SummaryTableTest, ColumnsAreSizedAndPaddedInConsoleCells)
{
    // A stamp in a Japanese date format and a wide name: the stamp column is as wide as
    // the stamp shows (12 cells, not 9 characters), the name pads to 10 cells.
    StoredRows rows;
    ASSERT_EQ(0, InitStoredRows(&rows, 2));
    ASSERT_EQ(0, AddStoredRow(&rows, L"\u4e2d\u6587.txt", L"1", L"2024\u5e745\u67081\u65e5"));
    ASSERT_EQ(0, AddStoredRow(&rows, L"ab", L"22", L"2024-05-01"));
    testing::internal::CaptureStdout();
    EXPECT_EQ(0, PrintResultTable(0, 80, &rows));
    std::string out = testing::internal::GetCapturedStdout();
    std::string expected = " \n   Filename    Size    Last Write\n"
                           "   ----------  ----  ------------\n"
                           "0  \xe4\xb8\xad\xe6\x96\x87.txt       1  "
                           "2024\xe5\xb9\xb4" "5\xe6\x9c\x88" "1\xe6\x97\xa5\n"
                           "1  ab            22    2024-05-01\n\n";
    EXPECT_EQ(expected, out);
    FreeStoredRows(&rows);
}

TEST(SummaryTableTest, LongestPathIsCutWithinItsBuffers)
{
    // A path as long as the walk makes them, with a wide character where the cut falls.
    std::wstring name(16370, L'x');
    name += L"\u4e2d";
    name += std::wstring(45, L'y');
    StoredRows rows;
    ASSERT_EQ(0, InitStoredRows(&rows, 1));
    ASSERT_EQ(0, AddStoredRow(&rows, name.c_str(), L"1", L"2024-05-01 12:00:00"));
    testing::internal::CaptureStdout();
    EXPECT_EQ(0, PrintResultTable(0, 80, &rows));
    std::string out = testing::internal::GetCapturedStdout();
    // N = 80 - 19 - 4 - 1 - 7 = 49: "...", a blank for the half of the wide character,
    // and the 45 cells of the end.
    EXPECT_NE(std::string::npos, out.find("0  ... " + std::string(45, 'y') + "     1  "));
    FreeStoredRows(&rows);
}

}  // namespace

