// The date, time and weekday ranges and the ranking judge a file time as its default
// stamp shows it: in each zone, with each date's own offset, and never an
// "(invalid time)".
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "commands/date_stamp.h"
#include "plugin/host_api.h"
#include "range_test_util.h"
#include "ranges/local_time.h"
#include "search/result_list.h"

namespace {

using rangetest::ZoneGuard;

const char *const SYDNEY = "Australia/Sydney";
const char *const NEW_YORK = "America/New_York";
const char *const KIRITIMATI = "Pacific/Kiritimati";
const wchar_t INVALID[] = L"(invalid time)";

/// The file's default stamp in the ISO form (no /U, no /Z).
std::wstring DefaultStamp(uint64_t time, int onNtfs)
{
    wchar_t out[TEXT_BUFFER_LEN];
    FormatDateStamp(out, L" ", 0, time, onNtfs, 0, 1);
    return out;
}

/// Result of MatchRanges for one range option over a file with all three times at time.
int MatchOption(const std::wstring &option, uint64_t time, int onNtfs)
{
    std::vector<wchar_t> text(option.begin(), option.end());
    text.push_back(L'\0');
    RangeList list = nullptr;
    EXPECT_EQ(0, ParseRangeOption(text.data(), &list)) << option.c_str();
    FILETIME ft = {(DWORD)time, (DWORD)(time >> 32)};
    WIN32_FIND_DATAW data = rangetest::FindData(L"f", 1, ft);
    int result = MatchRanges(&data, list, L"/nonexistent/", onNtfs);
    FreeRanges(&list);
    return result;
}

TEST(LocalTimeTest, RangesAndRankingSeeWhatTheDefaultStampShows)
{
    // Stamp null: the volume takes today's offset (FAT), which the ranges must follow too,
    // whatever today is; the weekday is then read from the stamp's own date.
    struct {
        const char *Zone;
        int Y, Mo, D, H, Mi, S;  // UTC
        int OnNtfs;
        const wchar_t *Stamp, *Weekday, *OtherDay;
    } cases[] = {
        // The issue's example: July is winter in Sydney, ten hours ahead, all year round.
        {SYDNEY, 2024, 7, 15, 13, 30, 0, 1, L"2024-07-15 23:30:00", L"Mon", L"2024-07-16"},
        {SYDNEY, 2024, 1, 15, 13, 30, 0, 1, L"2024-01-16 00:30:00", L"Tue", L"2024-01-15"},
        {SYDNEY, 1601, 1, 1, 0, 0, 0, 1, L"1601-01-01 10:04:52", L"Mon", L"1601-01-02"},
        {SYDNEY, 30828, 9, 14, 0, 0, 0, 1, INVALID, nullptr, nullptr},
        {SYDNEY, 2024, 7, 15, 13, 30, 0, 0, nullptr, nullptr, nullptr},
        {NEW_YORK, 2024, 7, 15, 3, 30, 0, 1, L"2024-07-14 23:30:00", L"Sun", L"2024-07-15"},
        {NEW_YORK, 30828, 9, 14, 2, 0, 0, 1, L"30828-09-13 22:00:00", L"Wed", L"30828-09-14"},
        {NEW_YORK, 1601, 1, 1, 0, 0, 0, 1, INVALID, nullptr, nullptr},
        {NEW_YORK, 1601, 1, 1, 0, 0, 0, 0, INVALID, nullptr, nullptr},
        {NEW_YORK, 2024, 1, 15, 3, 30, 0, 0, nullptr, nullptr, nullptr},
        {KIRITIMATI, 2024, 7, 15, 10, 30, 0, 1, L"2024-07-16 00:30:00", L"Tue", L"2024-07-15"},
        {KIRITIMATI, 30828, 9, 13, 12, 0, 0, 1, L"30828-09-14 02:00:00", L"Thu", L"30828-09-13"},
        {KIRITIMATI, 30828, 9, 14, 0, 0, 0, 1, INVALID, nullptr, nullptr},
        {KIRITIMATI, 30828, 9, 14, 0, 0, 0, 0, INVALID, nullptr, nullptr},
        {KIRITIMATI, 1601, 1, 1, 0, 0, 0, 1, INVALID, nullptr, nullptr},
    };
    const wchar_t *const days[] = {L"Sun", L"Mon", L"Tue", L"Wed", L"Thu", L"Fri", L"Sat"};
    const uint64_t ordinary = FileTimeOf(2020, 1, 1, 12, 0, 0);
    for (const auto &c : cases) {
        ZoneGuard zone(c.Zone);
        const uint64_t time = FileTimeOf(c.Y, c.Mo, c.D, c.H, c.Mi, c.S);
        const std::wstring stamp = DefaultStamp(time, c.OnNtfs);
        const std::string where = std::string(c.Zone) + " " + std::to_string(c.Y) + "-" +
                                  std::to_string(c.Mo) + "-" + std::to_string(c.D) + " ntfs " +
                                  std::to_string(c.OnNtfs);
        if (c.Stamp != nullptr) {
            EXPECT_EQ(std::wstring(c.Stamp), stamp) << where;
        }
        const bool valid = stamp != INVALID;
        EXPECT_EQ(valid, IsShownTimeValid(time, c.OnNtfs)) << where;

        std::vector<std::pair<std::wstring, int>> options;
        if (valid) {
            size_t blank = stamp.find(L' ');
            std::wstring date = stamp.substr(0, blank), clock = stamp.substr(blank + 1);
            std::wstring weekday = c.Weekday != nullptr ? c.Weekday : L"";
            if (weekday.empty()) {
                SYSTEMTIME st;
                ASSERT_TRUE(ShownLocalTime(time, c.OnNtfs, &st)) << where;
                weekday = days[DayNumber(st.wYear, st.wMonth, st.wDay) % 7];
            }
            options = {{L"/[d" + date + L"," + date + L"]", 0},
                       {L"/![d" + date + L"," + date + L"]", 1},
                       {L"/[d" + date + L"@" + clock + L"," + date + L"@" + clock + L"]", 0},
                       {L"/[t" + clock + L"," + clock + L"]", 0},
                       {L"/![t" + clock + L"," + clock + L"]", 1},
                       {L"/[w:" + weekday + L"]", 0},
                       {L"/![w:" + weekday + L"]", 1}};
            if (c.OtherDay != nullptr)
                options.push_back({L"/[d" + std::wstring(c.OtherDay) + L"," + c.OtherDay + L"]", 1});
        } else {
            // Neither inside nor outside any range, negated or not.
            options = {{L"/[d1601-01-01,30828-09-14]", 1}, {L"/![d2024-01-01,2024-01-01]", 1},
                       {L"/[t0:00,23:59:59]", 1},          {L"/![t12:00,12:01]", 1},
                       {L"/[w:Mon-Sun]", 1},               {L"/![w:Sat]", 1}};
        }
        for (const auto &option : options)
            EXPECT_EQ(option.second, MatchOption(option.first, time, c.OnNtfs))
                << where << " " << std::string(option.first.begin(), option.first.end());

        // An "(invalid time)" never wins, oldest or newest, even offered first.
        for (int mode : {MODE_OLDEST, MODE_NEWEST}) {
            ResultList list = {};
            ASSERT_EQ(0, StartResults(&list, 1, mode));
            OfferResult(&list, NewFoundFile(L"row", 0, time, 0, c.OnNtfs));
            OfferResult(&list, NewFoundFile(L"ordinary", 0, ordinary, 0, c.OnNtfs));
            OrderResults(&list);
            bool rowWins = (mode == MODE_OLDEST) == (time < ordinary);
            EXPECT_EQ(valid && rowWins ? L"row" : L"ordinary", std::wstring(list.Head->Name))
                << where << " mode " << mode;
            ClearResults(&list);
        }
    }
}

}  // namespace
