#include <gtest/gtest.h>

#include <string>

#include "range_test_util.h"

namespace {

using rangetest::Captured;
using rangetest::Length;
using rangetest::Upper;

const uint32_t NONE = UINT32_MAX;
// The fixed now: 2024-05-15 13:45:27.
const uint32_t MINUTE_NOW = 13 * 3600 + 45 * 60;
const uint32_t TODAY = DayNumber(2024, 5, 15);

uint32_t Day(uint32_t y, uint32_t m, uint32_t d) { return DayNumber(y, m, d); }

class RangeDateTest : public rangetest::RangeTest {};

TEST_F(RangeDateTest, TimeOfDayForms)
{
    struct {
        const wchar_t *Text;
        uint32_t Seconds;
        int HasSeconds;
        size_t Used;
    } cases[] = {
        {L"0:00", 0, 0, 4},
        {L"23:59:59", 86399, 1, 8},
        {L"9:30", 34200, 0, 4},
        {L"9:5", 32700, 0, 3},
        {L"09.30.15", 34215, 1, 8},
        {L"9:30.15", 34215, 1, 7},
        {L"9:30pm", 77400, 0, 6},
        {L"9:30PM", 77400, 0, 6},
        {L"9:30p", 77400, 0, 5},
        {L"9:30a", 34200, 0, 5},
        {L"9:30Am", 34200, 0, 6},
        {L"12:00am", 0, 0, 7},
        {L"12:00pm", 43200, 0, 7},
        {L"12:30:15am", 1815, 1, 10},
        {L"1:00PM", 46800, 0, 6},
        {L"9:30:15pm", 77415, 1, 9},
        {L"9:30 pm", 34200, 0, 4},   // a blank ends the time before the marker
        {L"9:30pmx", 77400, 0, 6},
        {L"9:30,10:00", 34200, 0, 4},
    };
    for (const auto &c : cases) {
        const wchar_t *cursor = c.Text;
        uint32_t seconds = 7;
        int has = 7;
        EXPECT_EQ(0, ParseTimeOfDay(&cursor, &seconds, &has)) << c.Text;
        EXPECT_EQ(c.Seconds, seconds) << c.Text;
        EXPECT_EQ(c.HasSeconds, has) << c.Text;
        EXPECT_EQ(c.Used, (size_t)(cursor - c.Text)) << c.Text;
    }
    const wchar_t *bad[] = {L"24:00",  L"9",      L"9:",      L"9:x",     L"9:60", L"9:00:",
                            L"9:00:60", L"13:00pm", L"0:30am", L"x",       L"",     L":30",
                            L"99999999999:00", L"9::00", L"9:00:x"};
    for (const wchar_t *b : bad) {
        const wchar_t *cursor = b;
        uint32_t seconds = 7;
        EXPECT_EQ(1, ParseTimeOfDay(&cursor, &seconds, nullptr)) << b;
    }
    const wchar_t *cursor = L"9:00";
    uint32_t seconds = 0;
    EXPECT_EQ(-1, ParseTimeOfDay(nullptr, &seconds, nullptr));
    EXPECT_EQ(-1, ParseTimeOfDay(&cursor, nullptr, nullptr));
    EXPECT_EQ(0, ParseTimeOfDay(&cursor, &seconds, nullptr));  // the flag is optional
}

TEST_F(RangeDateTest, DatesInEveryLocaleOrder)
{
    const uint32_t BAD = 0;
    struct {
        const wchar_t *Text;
        uint32_t MonthDayYear, DayMonthYear, YearMonthDay;
    } cases[] = {
        {L"2024-05-01", Day(2024, 5, 1), Day(2024, 5, 1), Day(2024, 5, 1)},
        {L"2024-05/01", Day(2024, 5, 1), Day(2024, 5, 1), Day(2024, 5, 1)},
        {L"1601.1.1", Day(1601, 1, 1), Day(1601, 1, 1), Day(1601, 1, 1)},
        {L"9999-12-31", Day(9999, 12, 31), Day(9999, 12, 31), Day(9999, 12, 31)},
        {L"1/2/24", Day(2024, 1, 2), Day(2024, 2, 1), Day(2001, 2, 24)},
        {L"24-1-1", BAD, Day(2001, 1, 24), Day(2024, 1, 1)},
        {L"5/1/79", Day(2079, 5, 1), Day(2079, 1, 5), BAD},
        {L"5/1/80", Day(1980, 5, 1), Day(1980, 1, 5), BAD},
        {L"5/1/99", Day(1999, 5, 1), Day(1999, 1, 5), BAD},
        {L"5/1/0", Day(2000, 5, 1), Day(2000, 1, 5), BAD},
        {L"5/1/100", BAD, BAD, BAD},
        {L"5/1/1600", BAD, BAD, BAD},
        {L"12/31/9999", Day(9999, 12, 31), BAD, BAD},
        {L"2/29/2024", Day(2024, 2, 29), BAD, BAD},
        {L"29.2.2024", BAD, Day(2024, 2, 29), BAD},
        {L"29.2.2023", BAD, BAD, BAD},
        {L"2/29/1900", BAD, BAD, BAD},
        {L"2/29/2000", Day(2000, 2, 29), BAD, BAD},
        {L"2024-02-30", BAD, BAD, BAD},
        {L"2023-02-29", BAD, BAD, BAD},
        {L"2024-04-31", BAD, BAD, BAD},
        {L"2024-13-01", BAD, BAD, BAD},
        {L"2024-00-10", BAD, BAD, BAD},
        {L"2024-01-00", BAD, BAD, BAD},
        {L"1600-01-01", BAD, BAD, BAD},
        // Every day a file time reaches: a five-digit first number is a year too.
        {L"10000-01-01", Day(10000, 1, 1), Day(10000, 1, 1), Day(10000, 1, 1)},
        {L"30828-09-14", Day(30828, 9, 14), Day(30828, 9, 14), Day(30828, 9, 14)},
        {L"9/14/30828", Day(30828, 9, 14), BAD, BAD},
        {L"14.9.30828", BAD, Day(30828, 9, 14), BAD},
        {L"30828-09-15", BAD, BAD, BAD},
        {L"30828-10-01", BAD, BAD, BAD},
        {L"30829-01-01", BAD, BAD, BAD},
        {L"1/1/30829", BAD, BAD, BAD},
        {L"99999999999-1-1", BAD, BAD, BAD},
        {L"1-1-99999999999", BAD, BAD, BAD},
        {L"2024-05", BAD, BAD, BAD},
        {L"2024--05-01", BAD, BAD, BAD},
        {L"2024-05-", BAD, BAD, BAD},
        {L"/2024", BAD, BAD, BAD},
        {L"2024 05 01", BAD, BAD, BAD},
        {L"", BAD, BAD, BAD},
    };
    for (int order = 0; order < 3; ++order) {
        RangeHooks.DateOrder = order;
        EXPECT_EQ(order, LocaleDateOrder());
        for (const auto &c : cases) {
            uint32_t expected = order == 0 ? c.MonthDayYear
                                : order == 1 ? c.DayMonthYear : c.YearMonthDay;
            const wchar_t *cursor = c.Text;
            uint32_t day = 7;
            int result = ParseDate(&cursor, &day);
            if (expected == BAD) {
                EXPECT_EQ(1, result) << c.Text << " order " << order;
                EXPECT_EQ(7u, day);
            } else {
                EXPECT_EQ(0, result) << c.Text << " order " << order;
                EXPECT_EQ(expected, day) << c.Text << " order " << order;
                EXPECT_EQ(L'\0', *cursor) << c.Text;
            }
        }
    }
    const wchar_t *cursor = L"2024-5-1x";
    uint32_t day = 0;
    EXPECT_EQ(0, ParseDate(&cursor, &day));
    EXPECT_EQ(L'x', *cursor);
    EXPECT_EQ(-1, ParseDate(nullptr, &day));
    EXPECT_EQ(-1, ParseDate(&cursor, nullptr));
}

TEST_F(RangeDateTest, LocaleOrderComesFromTheUserLocale)
{
    // The C locale writes dates month first; an order the tests set out of range is
    // ignored in favour of the locale.
    const char *old = getenv("LC_ALL");
    std::string saved = old ? old : "";
    setenv("LC_ALL", "C", 1);
    for (int hook : {-1, 3}) {
        RangeHooks.DateOrder = hook;
        EXPECT_EQ(0, LocaleDateOrder());
    }
    if (old)
        setenv("LC_ALL", saved.c_str(), 1);
    else
        unsetenv("LC_ALL");
}

struct TimeCase {
    const wchar_t *Text;
    uint16_t Which;
    uint32_t First, Last;
};

TEST_F(RangeDateTest, TimeRanges)
{
    const TimeCase cases[] = {
        {L"w]", 0, MINUTE_NOW, MINUTE_NOW + 59},
        {L"9:00,17:30]", 0, 32400, 63059},
        {L"9:00:00,17:30:15]", 0, 32400, 63015},
        {L"5:00pm,9:00am]", 0, 32400, 61259},
        {L"12:00am,12:00pm]", 0, 0, 43259},
        {L"-30]", 0, MINUTE_NOW - 1800, MINUTE_NOW + 59},
        {L"22:00,+180]", 0, 3600, 79259},
        {L"9:00+30]", 0, 32400, 34259},
        {L"9:00-30]", 0, 30600, 32459},
        {L"+5]", 0, MINUTE_NOW, MINUTE_NOW + 300 + 59},
        {L"+1440]", 0, MINUTE_NOW, MINUTE_NOW + 59},
        // A huge count wraps like any other, computed without a 32-bit overflow.
        {L"+4294967295]", 0, MINUTE_NOW, 64859},
        {L"+99999999999999999999]", 0, MINUTE_NOW, 64859},
        // Minutes back stop at midnight, also when 60 × n overflows 32 bits.
        {L"-825]", 0, 0, MINUTE_NOW + 59},
        {L"-824]", 0, 60, MINUTE_NOW + 59},
        {L"-71582789]", 0, 0, MINUTE_NOW + 59},
        {L"-4294967295]", 0, 0, MINUTE_NOW + 59},
        {L",]", 0, MINUTE_NOW, MINUTE_NOW + 59},
        {L":]", 0, MINUTE_NOW, MINUTE_NOW + 59},
        {L"c:8:00]", 2, 28800, MINUTE_NOW + 59},
        {L"C=8:00]", 2, 28800, MINUTE_NOW + 59},
        {L"a=9:00,10:00]", 1, 32400, 36059},
        {L"W9:00,10:00]", 0, 32400, 36059},
        {L"9:00,10:00:30]", 0, 32400, 36030},
        {L"10:00:30,9:00]", 0, 32400, 36030},
        {L"9:00:30,10:00]", 0, 32430, 36059},
        {L"9.30.15,10.00]", 0, 34215, 36059},
        {L"9:30pm]", 0, MINUTE_NOW, 77459},
        {L"1:00a2:00p]", 0, 3600, 50459},
        {L"23:59,+1]", 0, 0, 86399},
        {L"23:59:30,+1]", 0, 30, 86370},
    };
    for (const auto &c : cases) {
        std::wstring text = c.Text;
        RangeList list = nullptr;
        ASSERT_EQ(0, ParseTimeRange(&text[0], 1, &list)) << c.Text;
        ASSERT_EQ(1, Length(list)) << c.Text;
        const TimeRange *node = (const TimeRange *)list;
        EXPECT_EQ(L'T', node->Head.Kind);
        EXPECT_EQ(1, node->Negate);
        EXPECT_EQ(c.Which, node->WhichTime) << c.Text;
        EXPECT_EQ(c.First, node->FirstSecond) << c.Text;
        EXPECT_EQ(c.Last, node->LastSecond) << c.Text;
        FreeRanges(&list);
    }
}

TEST_F(RangeDateTest, EmptyTimeAndDateRangesAddNothing)
{
    std::wstring a = L"]", b = L"]";
    EXPECT_EQ(0, ParseTimeRange(&a[0], 0, &List));
    EXPECT_EQ(0, ParseDateRange(&b[0], 0, &List));
    EXPECT_EQ(nullptr, List);
    EXPECT_EQ(-1, ParseTimeRange(nullptr, 0, &List));
    EXPECT_EQ(-1, ParseDateRange(&a[0], 0, nullptr));
}

TEST_F(RangeDateTest, BadTimeRangesQuoteTheTextUpperCased)
{
    const wchar_t *cases[] = {L"24:00]",       L"13:00pm]",  L"0:30am]",    L"9]",
                              L"x]",           L"9:00,,10:00]", L"9:00,10:00", L"",
                              L"@9:00]",       L"9:00,10:00,]", L"ww]",     L"12:00 pm]",
                              L"+]",           L"-x]",       L"9:00,+]",    L"9:00]]"};
    for (const wchar_t *c : cases) {
        std::wstring text = c;
        std::wstring err;
        EXPECT_EQ(1, Captured([&] { return ParseTimeRange(&text[0], 0, &List); }, &err)) << c;
        std::wstring upper = Upper(c);
        EXPECT_EQ(upper, text);
        EXPECT_NE(std::wstring::npos, err.find(L"Vesk plugin: Bad time range: \"" + upper +
                                              L"\"\r\n"))
            << err;
    }
    EXPECT_EQ(nullptr, List);
}

struct DateCase {
    const wchar_t *Text;
    uint16_t Which;
    uint32_t FirstDay, LastDay, FirstSecond, LastSecond;
};

void ExpectDateRanges(const DateCase *cases, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        const DateCase &c = cases[i];
        std::wstring text = c.Text;
        RangeList list = nullptr;
        ASSERT_EQ(0, ParseDateRange(&text[0], 0, &list)) << c.Text;
        ASSERT_EQ(1, Length(list)) << c.Text;
        const DateRange *node = (const DateRange *)list;
        EXPECT_EQ(L'D', node->Head.Kind);
        EXPECT_EQ(0, node->Negate);
        EXPECT_EQ(c.Which, node->WhichTime) << c.Text;
        EXPECT_EQ(c.FirstDay, node->FirstDay) << c.Text;
        EXPECT_EQ(c.LastDay, node->LastDay) << c.Text;
        EXPECT_EQ(c.FirstSecond, node->FirstSecond) << c.Text;
        EXPECT_EQ(c.LastSecond, node->LastSecond) << c.Text;
        FreeRanges(&list);
    }
}

TEST_F(RangeDateTest, DateRanges)
{
    const DateCase cases[] = {
        {L"w]", 0, TODAY, TODAY, 0, NONE},
        {L"2024-05-01]", 0, Day(2024, 5, 1), TODAY, 0, NONE},
        {L"-7]", 0, TODAY - 7, TODAY, 0, NONE},
        {L"+1]", 0, TODAY, TODAY + 1, 0, NONE},
        {L"2024-05-01@08:00,2024-05-03@17:00]", 0, Day(2024, 5, 1), Day(2024, 5, 3), 28800, 61259},
        {L"2024-05-01,+2@12:00]", 0, Day(2024, 5, 1), Day(2024, 5, 3), 0, 43259},
        {L"2024-05-01+2]", 0, Day(2024, 5, 1), Day(2024, 5, 3), 0, NONE},
        {L"2024-05-01-3]", 0, Day(2024, 4, 28), Day(2024, 5, 1), 0, NONE},
        {L"2024-05-01@23:59:59,]", 0, Day(2024, 5, 1), TODAY, 86399, NONE},
        {L"2024-05-01,2024-05-01@23:59:59]", 0, Day(2024, 5, 1), Day(2024, 5, 1), 0, 86399},
        {L"-7@12:00]", 0, TODAY - 7, TODAY, 43200, NONE},
        {L"a=2024-01-01]", 1, Day(2024, 1, 1), TODAY, 0, NONE},
        {L"C:2024-01-01]", 2, Day(2024, 1, 1), TODAY, 0, NONE},
        {L"1/2/24]", 0, Day(2024, 1, 2), TODAY, 0, NONE},
        {L",]", 0, TODAY, TODAY, 0, NONE},
        // Days back stop at day 0; days forward stop at the last day number instead of
        // wrapping round into the past.
        {L"-4294967295]", 0, 0, TODAY, 0, NONE},
        {L"-99999999999999]", 0, 0, TODAY, 0, NONE},
        {L"+4294967295]", 0, TODAY, UINT32_MAX, 0, NONE},
        {L"2024-05-01,+4294967295]", 0, Day(2024, 5, 1), UINT32_MAX, 0, NONE},
        {L"2024-05-01,-4294967295]", 0, 0, Day(2024, 5, 1), 0, NONE},
    };
    ExpectDateRanges(cases, sizeof cases / sizeof cases[0]);
}

TEST_F(RangeDateTest, BackwardBoundsSpanTheMomentsWritten)
{
    const uint32_t MAY1 = Day(2024, 5, 1), MAY10 = Day(2024, 5, 10);
    const DateCase cases[] = {
        // Different days: the times move with their days.
        {L"2024-05-10@12:00,2024-05-01@08:00]", 0, MAY1, MAY10, 28800, 43259},
        {L"2024-05-10,2024-05-01@08:00]", 0, MAY1, MAY10, 28800, NONE},
        {L"2024-05-10@12:00,2024-05-01]", 0, MAY1, MAY10, 0, 43259},
        {L"2024-05-10,2024-05-01]", 0, MAY1, MAY10, 0, NONE},
        // The has-seconds flag goes with its time.
        {L"2024-05-10@12:00:30,2024-05-01@08:00]", 0, MAY1, MAY10, 28800, 43230},
        {L"2024-05-10@12:00,2024-05-01@08:00:30]", 0, MAY1, MAY10, 28830, 43259},
        // Same day, later time first: the span between the two times.
        {L"2024-05-01@17:00,2024-05-01@08:00]", 0, MAY1, MAY1, 28800, 61259},
        {L"2024-05-01@08:00:30,2024-05-01@08:00]", 0, MAY1, MAY1, 28800, 28830},
        // Same day, the first bound without a time: from midnight, as written, not turned
        // round into the afternoon; a time with seconds is exact.
        {L"2024-05-01,2024-05-01@08:00]", 0, MAY1, MAY1, 0, 28859},
        {L"2024-05-01,2024-05-01@08:00:30]", 0, MAY1, MAY1, 0, 28830},
        {L"2024-05-01@0:00,2024-05-01@08:00]", 0, MAY1, MAY1, 0, 28859},
        {L"2024-05-01@17:00,2024-05-01]", 0, MAY1, MAY1, 61200, NONE},
        {L"2024-05-01,2024-05-01]", 0, MAY1, MAY1, 0, NONE},
        // A future first bound with the default second bound (today).
        {L"2024-05-20@10:00]", 0, TODAY, Day(2024, 5, 20), 0, 36059},
    };
    ExpectDateRanges(cases, sizeof cases / sizeof cases[0]);
}

TEST_F(RangeDateTest, DateRangesFollowTheLocaleOrder)
{
    struct {
        int Order;
        const wchar_t *Text;
        uint32_t FirstDay;
    } cases[] = {
        {0, L"1/2/24]", Day(2024, 1, 2)},
        {1, L"1/2/24]", Day(2024, 2, 1)},
        {2, L"24-1-1]", Day(2024, 1, 1)},
        {1, L"24-1-1]", Day(2001, 1, 24)},
        {0, L"5/1/80]", Day(1980, 5, 1)},
    };
    for (const auto &c : cases) {
        RangeHooks.DateOrder = c.Order;
        std::wstring text = c.Text;
        RangeList list = nullptr;
        ASSERT_EQ(0, ParseDateRange(&text[0], 0, &list)) << c.Text;
        EXPECT_EQ(c.FirstDay, ((const DateRange *)list)->FirstDay) << c.Text;
        FreeRanges(&list);
    }
    RangeHooks.DateOrder = 0;
    std::wstring text = L"24-1-1]";
    std::wstring err;
    EXPECT_EQ(1, Captured([&] { return ParseDateRange(&text[0], 0, &List); }, &err));
}

TEST_F(RangeDateTest, BadDateRangesQuoteTheTextUpperCased)
{
    const wchar_t *cases[] = {
        L"2024-02-30]",   L"2023-02-29]", L"@12:00]",      L"x1]",         L"2024-05-01@]",
        L"2024-05-01@25:00]", L"2024-05-01,,]", L"2024-05-01 ]", L"2024-05]", L"1600-01-01]",
        L"2024-05-01",    L"",            L",@12:00]",     L"2024-05-01,@8:00]", L"+]",
        L"-x]",           L"ww]",         L"2024-05-01@8]", L"2024-05-01]]"};
    for (const wchar_t *c : cases) {
        std::wstring text = c;
        std::wstring err;
        EXPECT_EQ(1, Captured([&] { return ParseDateRange(&text[0], 0, &List); }, &err)) << c;
        std::wstring upper = Upper(c);
        EXPECT_EQ(upper, text);
        EXPECT_NE(std::wstring::npos, err.find(L"Vesk plugin: Bad date range: \"" + upper +
                                              L"\"\r\n"))
            << err;
    }
    EXPECT_EQ(nullptr, List);
}

TEST_F(RangeDateTest, AllocationFailuresAreReported)
{
    RangeHooks.FailAllocations = 1;
    std::wstring t = L"9:00]", d = L"2024-05-01]";
    std::wstring err;
    EXPECT_EQ(1, Captured([&] { return ParseTimeRange(&t[0], 0, &List); }, &err));
    EXPECT_NE(std::wstring::npos, err.find(L"Can't allocate time range structure\r\n"));
    EXPECT_EQ(1, Captured([&] { return ParseDateRange(&d[0], 0, &List); }, &err));
    EXPECT_NE(std::wstring::npos, err.find(L"Can't allocate date range structure\r\n"));
    EXPECT_EQ(nullptr, List);
}

TEST_F(RangeDateTest, DefaultBoundsComeFromTheClock)
{
    RangeHooks.Now = nullptr;
    SYSTEMTIME before, after;
    RangeList list = nullptr;
    for (int attempt = 0; attempt < 3; ++attempt) {
        GetLocalTime(&before);
        std::wstring t = L"w]", d = L"w]";
        ASSERT_EQ(0, ParseTimeRange(&t[0], 0, &list));
        ASSERT_EQ(0, ParseDateRange(&d[0], 0, &list));
        GetLocalTime(&after);
        if (before.wMinute == after.wMinute && before.wDay == after.wDay) break;
        FreeRanges(&list);
    }
    ASSERT_EQ(2, Length(list));
    const DateRange *date = (const DateRange *)list;
    const TimeRange *time = (const TimeRange *)list->Next;
    EXPECT_EQ(DayNumber(after.wYear, after.wMonth, after.wDay), date->FirstDay);
    EXPECT_EQ((uint32_t)after.wHour * 3600 + after.wMinute * 60, time->FirstSecond);
    FreeRanges(&list);
}

// The ordering rule as files see it: each bound is a moment (a time with seconds exact,
// one without covering its minute, a missing time the start or end of its day), and the
// node accepts what lies between the two moments however they were written.
TEST_F(RangeDateTest, OrderedBoundsAgainstFilesAtKnownSeconds)
{
    ZoneGuard zone("UTC0");
    struct {
        const wchar_t *Text;
        int Day, Hour, Minute, Second;  // the file's local time in May 2024
        int Accepted;
    } cases[] = {
        // Same day, first bound without a time: from midnight to the time written, which
        // is exact with seconds and covers its minute without.
        {L"2024-05-01,2024-05-01@08:00:30]", 1, 0, 0, 0, 1},
        {L"2024-05-01,2024-05-01@08:00:30]", 1, 8, 0, 30, 1},
        {L"2024-05-01,2024-05-01@08:00:30]", 1, 8, 0, 31, 0},
        {L"2024-05-01,2024-05-01@08:00:30]", 1, 8, 0, 45, 0},
        {L"2024-05-01,2024-05-01@08:00:30]", 1, 23, 59, 59, 0},
        {L"2024-05-01,2024-05-01@08:00]", 1, 0, 0, 0, 1},
        {L"2024-05-01,2024-05-01@08:00]", 1, 8, 0, 59, 1},
        {L"2024-05-01,2024-05-01@08:00]", 1, 8, 1, 0, 0},
        {L"2024-05-01,2024-05-01@08:00]", 2, 0, 0, 0, 0},
        // Written in order with a time on both: a seconds bound is exact, one without
        // covers its minute.
        {L"2024-05-01@0:00,2024-05-01@08:00:30]", 1, 8, 0, 30, 1},
        {L"2024-05-01@0:00,2024-05-01@08:00:30]", 1, 8, 0, 31, 0},
        {L"2024-05-01@0:00,2024-05-01@08:00]", 1, 8, 0, 59, 1},
        {L"2024-05-01@0:00,2024-05-01@08:00]", 1, 8, 1, 0, 0},
        // Same day, later time first: the flags go with their times.
        {L"2024-05-01@17:00:10,2024-05-01@08:00]", 1, 8, 0, 0, 1},
        {L"2024-05-01@17:00:10,2024-05-01@08:00]", 1, 17, 0, 10, 1},
        {L"2024-05-01@17:00:10,2024-05-01@08:00]", 1, 17, 0, 11, 0},
        {L"2024-05-01@17:00,2024-05-01@08:00:30]", 1, 8, 0, 29, 0},
        {L"2024-05-01@17:00,2024-05-01@08:00:30]", 1, 17, 0, 59, 1},
        {L"2024-05-01@17:00,2024-05-01@08:00:30]", 1, 17, 1, 0, 0},
        // Different days written backwards: each time stays with its own day.
        {L"2024-05-10@12:00:15,2024-05-01@08:00]", 1, 7, 59, 59, 0},
        {L"2024-05-10@12:00:15,2024-05-01@08:00]", 1, 8, 0, 0, 1},
        {L"2024-05-10@12:00:15,2024-05-01@08:00]", 10, 12, 0, 15, 1},
        {L"2024-05-10@12:00:15,2024-05-01@08:00]", 10, 12, 0, 16, 0},
        {L"2024-05-10,2024-05-01@08:00:30]", 1, 8, 0, 29, 0},
        {L"2024-05-10,2024-05-01@08:00:30]", 10, 23, 59, 59, 1},
        {L"2024-05-10@12:00,2024-05-01]", 1, 0, 0, 0, 1},
        {L"2024-05-10@12:00,2024-05-01]", 10, 12, 0, 59, 1},
        {L"2024-05-10@12:00,2024-05-01]", 10, 12, 1, 0, 0},
        // Different days in order, no times: whole days.
        {L"2024-05-01,2024-05-10]", 1, 0, 0, 0, 1},
        {L"2024-05-01,2024-05-10]", 10, 23, 59, 59, 1},
        {L"2024-05-01,2024-05-10]", 11, 0, 0, 0, 0},
    };
    for (const auto &c : cases) {
        wchar_t text[64];
        wcsncpy(text, c.Text, 63);
        text[63] = L'\0';
        RangeList list = nullptr;
        ASSERT_EQ(0, ParseDateRange(text, 0, &list)) << c.Text;
        WIN32_FIND_DATAW data =
            rangetest::FindData(L"f", 1, rangetest::FileTimeUtc(2024, 5, c.Day, c.Hour, c.Minute, c.Second));
        EXPECT_EQ(c.Accepted ? 0 : 1, MatchRanges(&data, list, L"/nonexistent/", 1))
            << c.Text << " against 2024-05-" << c.Day << " " << c.Hour << ":" << c.Minute << ":"
            << c.Second;
        FreeRanges(&list);
    }
}

}  // namespace
