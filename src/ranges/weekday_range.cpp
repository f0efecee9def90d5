// Day-of-the-week ranges (/[W...]).
#include "ranges/weekday_range.h"

#include <wctype.h>

#include "plugin/result_codes.h"
#include "plugin/shared_services.h"
#include "ranges/range_internal.h"
#include "ranges/range_list.h"
#include "text/case_fold.h"

enum { WEEKDAYS = 62, WEEKEND = 65, ALL_DAYS = 127, TOKEN_LEN = 1024 };

namespace {

const wchar_t *const DayNames[7] = {L"Sun", L"Mon", L"Tue", L"Wed",
                                    L"Thu", L"Fri", L"Sat"};

bool EndsToken(wchar_t c)
{
    return c == L'\0' || iswspace((wint_t)c) || c == L';' || c == L'-' || c == L'.' ||
           c == L',' || c == L']';
}

bool IsItemSeparator(wchar_t c) { return iswspace((wint_t)c) || c == L',' || c == L';'; }

}  // namespace

int WeekdayIndex(const wchar_t *token)
{
    if (token == nullptr) return -1;
    if (IsAsciiDigit(token[0])) {
        const wchar_t *p = token;
        uint32_t number = ReadNumber32(&p);
        if (*p != L'\0' || number > 7) return -1;
        return (int)(number % 7);
    }
    if (token[0] == L'\0' || token[1] == L'\0') return -1;
    for (int day = 0; day < 7; ++day)
        if (_wcsnicmp(token, DayNames[day], 2) == 0) return day;
    return -1;
}

int ReadWeekdayToken(const wchar_t *text, int *length)
{
    if (length != nullptr) *length = 0;
    if (text == nullptr || length == nullptr) return -1;
    wchar_t token[TOKEN_LEN];
    size_t copied = 0, run = 0;
    for (; !EndsToken(text[run]); ++run)
        if (copied < TOKEN_LEN - 1) token[copied++] = text[run];
    token[copied] = L'\0';
    // The length is the whole run, so the reader steps past all of it: a run cut at the
    // buffer's size would otherwise leave its tail to be read as a day of its own.
    *length = run > (size_t)INT32_MAX ? INT32_MAX : (int)run;
    if (run >= TOKEN_LEN) return -1;
    if (_wcsicmp(token, L"weekday") == 0 || _wcsicmp(token, L"weekdays") == 0) return WEEKDAYS;
    if (_wcsicmp(token, L"weekend") == 0 || _wcsicmp(token, L"weekends") == 0) return WEEKEND;
    return WeekdayIndex(token);
}

namespace {

/// Days from start to end, forward through the week, wrapping from Saturday to Sunday.
unsigned DaySpan(int start, int end)
{
    unsigned mask = 0;
    for (int day = start;; day = (day + 1) % 7) {
        mask |= 1u << day;
        if (day == end) break;
    }
    return mask;
}

bool IsDayIndex(int value) { return value >= 0 && value <= 6; }

/// The set of days the item list names, or -1 when it is malformed.
int ReadDaySet(const wchar_t *p)
{
    unsigned set = 0;
    if (*p == L'\0') return 0;
    // At least one item is read: "W:]" is an empty token, not an empty list.
    do {
        int length = 0;
        int value = ReadWeekdayToken(p, &length);
        if (value < 0) return -1;
        p += length;
        int end = value;
        if (IsDayIndex(value) && (*p == L'-' || (p[0] == L'.' && p[1] == L'.'))) {
            p += *p == L'-' ? 1 : 2;
            end = ReadWeekdayToken(p, &length);
            if (!IsDayIndex(end)) return -1;
            p += length;
            if (*p == L'-' || *p == L'.') return -1;
        }
        while (IsItemSeparator(*p)) ++p;
        set |= IsDayIndex(value) ? DaySpan(value, end) : (unsigned)value;
    } while (*p != L'\0' && !(p[0] == L']' && p[1] == L'\0'));
    return (int)set;
}

}  // namespace

int ParseWeekdayRange(wchar_t *text, int negate, RangeList *list)
{
    if (text == nullptr || list == nullptr) return RESULT_MISSING_ARGUMENT;
    if (text[0] == L']' && text[1] == L'\0') return RESULT_OK;

    const wchar_t *p = text;
    uint16_t which = ReadTimeLetter(&p);
    int set = -1;
    if (IsValueSeparator(*p)) set = ReadDaySet(p + 1);
    if (set < 0) return ReportError(L"Bad day-of-the-week range: \"%s\"\r\n", UpperCaseText(text));
    if (negate) set ^= ALL_DAYS;
    if ((set & ALL_DAYS) == 0)
        return ReportError(L"Empty day-of-the-week range: \"%s\"\r\n", UpperCaseText(text));

    WeekdayRange *node = (WeekdayRange *)NewRangeNode(sizeof(WeekdayRange), 0, L'W');
    if (node == nullptr) return ReportError(L"Can't allocate DOW range structure\r\n");
    node->WhichTime = which;
    node->DayMask = (uint16_t)(set & ALL_DAYS);
    PushRange(list, &node->Head);
    return RESULT_OK;
}
