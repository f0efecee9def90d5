// Helpers of the range filter tests: a fixed clock and locale order, captured messages,
// and synthetic find records.
#ifndef VESK_RANGE_TEST_UTIL_H
#define VESK_RANGE_TEST_UTIL_H

#include <gtest/gtest.h>

#include <stdlib.h>
#include <time.h>
#include <wctype.h>

#include <string>
#include <vector>

#include "messages.h"
#include "test_time.h"
#include "ranges/calendar.h"
#include "ranges/date_range.h"
#include "ranges/owner_lookup.h"
#include "ranges/range_internal.h"
#include "ranges/range_list.h"
#include "ranges/range_match.h"
#include "ranges/range_option.h"
#include "ranges/size_range.h"
#include "ranges/text_range.h"
#include "ranges/time_range.h"
#include "ranges/weekday_range.h"

namespace rangetest {

/// 2024-05-15 (a Wednesday) 13:45:27 local time, the "now" of the parser tests.
inline const SYSTEMTIME &FixedNow()
{
    static const SYSTEMTIME now = {2024, 5, 3, 15, 13, 45, 27, 0};
    return now;
}

/// Fixes the clock and the locale order for every test of a suite; frees the list.
class RangeTest : public testing::Test {
protected:
    void SetUp() override
    {
        RangeHooks.Now = &FixedNow();
        RangeHooks.DateOrder = 0;
        RangeHooks.FailAllocations = 0;
    }
    void TearDown() override
    {
        FreeRanges(&List);
        RangeHooks.Now = nullptr;
        RangeHooks.DateOrder = -1;
        RangeHooks.FailAllocations = 0;
    }
    RangeList List = nullptr;
};

/// Number of nodes in a list.
inline int Length(const RangeFilter *list)
{
    int n = 0;
    for (; list; list = list->Next) ++n;
    return n;
}

/// Runs parse (a callable returning the parser's result) with the shell's standard
/// error captured, exactly as the messages were written.
template <typename F>
int Captured(F parse, std::wstring *err)
{
    err->clear();
    vsh::CaptureOutput(nullptr, err);
    int result = parse();
    vsh::CaptureOutput(nullptr, nullptr);
    return result;
}

/// Upper-case copy, as a message quotes its argument.
inline std::wstring Upper(std::wstring text)
{
    for (auto &c : text) c = (wchar_t)towupper((wint_t)c);
    return text;
}

/// Windows file time of a UTC calendar moment.
inline FILETIME FileTimeUtc(int year, int month, int day, int hour, int minute, int second)
{
    uint64_t ticks = FileTimeOf(year, month, day, hour, minute, second);
    FILETIME ft;
    ft.dwLowDateTime = (DWORD)ticks;
    ft.dwHighDateTime = (DWORD)(ticks >> 32);
    return ft;
}

/// A find record named name with the given size and all three times at when.
inline WIN32_FIND_DATAW FindData(const wchar_t *name, uint64_t size, FILETIME when)
{
    WIN32_FIND_DATAW data = {};
    data.nFileSizeHigh = (DWORD)(size >> 32);
    data.nFileSizeLow = (DWORD)size;
    data.ftCreationTime = data.ftLastAccessTime = data.ftLastWriteTime = when;
    wcsncpy(data.cFileName, name, MAX_PATH - 1);
    return data;
}

using ::ZoneGuard;

}  // namespace rangetest

#endif
