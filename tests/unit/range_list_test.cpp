#include "ranges/calendar.h"
#include "ranges/range_list.h"
#include "ranges/range_match.h"

#include <gtest/gtest.h>

#include <stddef.h>

#include <string>

#include "range_test_util.h"

namespace {

// Days since 1970-01-01 of a proleptic Gregorian date, computed by era arithmetic,
// independently of the table the plug-in uses.
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = (unsigned)(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + (int64_t)doe - 719468;
}

TEST(RangeDayNumberTest, KnownDays)
{
    EXPECT_EQ(1u, DayNumber(1601, 1, 1));
    EXPECT_EQ(7u, DayNumber(1601, 1, 7));
    EXPECT_EQ(134775u, DayNumber(1970, 1, 1));
    EXPECT_EQ(145732u, DayNumber(2000, 1, 1));
    EXPECT_EQ(6u, DayNumber(2000, 1, 1) % 7);  // Saturday
    EXPECT_EQ(1u, DayNumber(1601, 1, 1) % 7);  // Monday
}

TEST(RangeDayNumberTest, EveryDayFrom1601To9999AgreesWithCivilCalendar)
{
    const int64_t origin = DaysFromCivil(1601, 1, 1);
    int64_t previous = 0;
    for (int64_t year = 1601; year <= 9999; ++year) {
        for (unsigned month = 1; month <= 12; ++month) {
            int64_t next = month == 12 ? DaysFromCivil(year + 1, 1, 1)
                                       : DaysFromCivil(year, month + 1, 1);
            unsigned length = (unsigned)(next - DaysFromCivil(year, month, 1));
            for (unsigned day = 1; day <= length; ++day) {
                int64_t civil = DaysFromCivil(year, month, day);
                uint32_t got = DayNumber((uint32_t)year, month, day);
                ASSERT_EQ((uint32_t)(civil - origin + 1), got) << year << "-" << month << "-" << day;
                // 1970-01-01 was a Thursday; the day number modulo 7 is the weekday.
                ASSERT_EQ((uint32_t)(((civil % 7) + 7 + 4) % 7), got % 7);
                ASSERT_EQ(previous + 1, (int64_t)got);
                previous = got;
            }
        }
    }
}

TEST(RangeListTest, NodesArePushedAtTheFrontAndFreed)
{
    RangeList list = nullptr;
    const wchar_t kinds[] = {L'S', L'T', L'W'};
    for (wchar_t kind : kinds) {
        RangeFilter *node = NewRangeNode(sizeof(SizeRange), 0, kind);
        ASSERT_NE(nullptr, node);
        EXPECT_EQ(kind, node->Kind);
        PushRange(&list, node);
    }
    ASSERT_EQ(3, rangetest::Length(list));
    EXPECT_EQ(L'W', list->Kind);
    EXPECT_EQ(L'T', list->Next->Kind);
    EXPECT_EQ(L'S', list->Next->Next->Kind);
    FreeRanges(&list);
    EXPECT_EQ(nullptr, list);
    FreeRanges(&list);     // an empty list frees nothing
    FreeRanges(nullptr);   // and a missing one is ignored
    PushRange(nullptr, nullptr);
}

TEST(RangeListTest, NodeSizeRefusesOverflowAndTooSmallRecords)
{
    EXPECT_EQ(nullptr, NewRangeNode(1, 0, L'S'));
    EXPECT_EQ(nullptr, NewRangeNode(offsetof(TextRange, Pattern), SIZE_MAX / 2, L'I'));
    // A pattern node holds exactly the pattern; the sanitizer catches a write past it.
    RangeFilter *node = NewRangeNode(offsetof(TextRange, Pattern), 1, L'I');
    ASSERT_NE(nullptr, node);
    EXPECT_EQ(L'\0', ((TextRange *)node)->Pattern[0]);
    free(node);
}

TEST(RangeJoinPathTest, Table)
{
    const std::wstring sep(1, VESK_PATH_SEP);
    struct {
        const wchar_t *Directory;
        const wchar_t *Name;
        std::wstring Expected;
    } cases[] = {
        {L"dir", L"a.txt", L"dir" + sep + L"a.txt"},
        {L"dir\\", L"a.txt", L"dir\\a.txt"},
        {L"dir/", L"a.txt", L"dir/a.txt"},
        {L"C:", L"a.txt", L"C:a.txt"},
        {L"", L"a.txt", L"a.txt"},
        {L"dir", L"\\a.txt", L"dir\\a.txt"},
        {L"dir", L"/a.txt", L"dir/a.txt"},
        {L"dir", L"", L"dir" + sep},
    };
    for (const auto &c : cases) {
        wchar_t buffer[RANGE_PATH_LEN];
        wcscpy(buffer, c.Directory);
        EXPECT_EQ(0, JoinPath(buffer, c.Name)) << c.Directory;
        EXPECT_EQ(c.Expected, std::wstring(buffer)) << c.Directory;
    }
    wchar_t buffer[8] = L"x";
    EXPECT_EQ(-1, JoinPath(nullptr, L"a"));
    EXPECT_EQ(-1, JoinPath(buffer, nullptr));
}

TEST(RangeJoinPathTest, ResultThatWouldNotFitLeavesDirectoryUnchanged)
{
    static wchar_t buffer[RANGE_PATH_LEN];
    std::wstring directory(RANGE_PATH_LEN - 6, L'd');
    wcscpy(buffer, directory.c_str());
    EXPECT_EQ(-1, JoinPath(buffer, L"abcdef"));
    EXPECT_EQ(directory, std::wstring(buffer));
    // Exactly full: directory, separator and name use every slot but the terminator's.
    EXPECT_EQ(0, JoinPath(buffer, L"abcd"));
    EXPECT_EQ((size_t)RANGE_PATH_LEN - 1, wcslen(buffer));
}

}  // namespace
