// Date ranges (/[D...]) and time-of-day ranges (/[T...]), with the time and date readers
// they share.
#include <stddef.h>

#include "plugin/shared_services.h"
#include "ranges/range_internal.h"
#include "ranges/range_parsers.h"
#include "text/case_fold.h"

/// A bound of a date range written without a time of day.
static const uint32_t NO_TIME = UINT32_MAX;
static const uint32_t SECONDS_PER_DAY = 86400;

uint32_t ReadNumber32(const wchar_t **cursor)
{
    uint64_t value = 0;
    const wchar_t *p = *cursor;
    for (; IsAsciiDigit(*p); ++p) {
        value = value * 10 + (uint64_t)(*p - L'0');
        if (value > UINT32_MAX) value = (uint64_t)UINT32_MAX + 1;  // stays "too large"
    }
    *cursor = p;
    return value > UINT32_MAX ? UINT32_MAX : (uint32_t)value;
}

void ReadNow(SYSTEMTIME *now)
{
    if (RangeHooks.Now)
        *now = *RangeHooks.Now;
    else
        GetLocalTime(now);
}

int ParseTimeOfDay(const wchar_t **cursor, uint32_t *seconds, int *hasSeconds)
{
    if (!cursor || !*cursor || !seconds) return -1;
    const wchar_t *p = *cursor;
    if (!IsAsciiDigit(*p)) return 1;
    uint32_t hour = ReadNumber32(&p);
    if (hour > 23) return 1;
    if ((*p != L':' && *p != L'.') || !IsAsciiDigit(p[1])) return 1;
    ++p;
    uint32_t minute = ReadNumber32(&p);
    if (minute > 59) return 1;
    uint32_t second = 0;
    int withSeconds = 0;
    if (*p == L':' || *p == L'.') {
        if (!IsAsciiDigit(p[1])) return 1;
        ++p;
        second = ReadNumber32(&p);
        if (second > 59) return 1;
        withSeconds = 1;
    }
    wchar_t marker = *p;
    if (marker == L'a' || marker == L'A' || marker == L'p' || marker == L'P') {
        if (hour < 1 || hour > 12) return 1;
        hour %= 12;
        if (marker == L'p' || marker == L'P') hour += 12;
        ++p;
        if (*p == L'm' || *p == L'M') ++p;
    }
    *seconds = hour * 3600 + minute * 60 + second;
    if (hasSeconds) *hasSeconds = withSeconds;
    *cursor = p;
    return 0;
}

int LocaleDateOrder(void)
{
    if (RangeHooks.DateOrder >= 0 && RangeHooks.DateOrder <= 2) return RangeHooks.DateOrder;
    wchar_t text[1024];
    text[0] = L'\0';
    if (GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_IDATE, text, 1024) == 0) return 0;
    text[1023] = L'\0';
    const wchar_t *p = text;
    if (!IsAsciiDigit(*p)) return 0;
    uint32_t order = ReadNumber32(&p);
    return order <= 2 ? (int)order : 0;
}

static bool IsLeapYear(uint32_t year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

static uint32_t MonthLength(uint32_t year, uint32_t month)
{
    static const uint8_t lengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month == 2 && IsLeapYear(year)) return 29;
    return lengths[month - 1];
}

static bool IsDateSeparator(wchar_t c) { return c == L'/' || c == L'-' || c == L'.'; }

int ParseDate(const wchar_t **cursor, uint32_t *day)
{
    if (!cursor || !*cursor || !day) return -1;
    const wchar_t *p = *cursor;
    uint32_t numbers[3];
    for (int i = 0; i < 3; ++i) {
        if (i > 0) {
            if (!IsDateSeparator(*p)) return 1;
            ++p;
        }
        if (!IsAsciiDigit(*p)) return 1;
        numbers[i] = ReadNumber32(&p);
    }

    uint32_t year, month, dayOfMonth;
    int order = numbers[0] >= 1601 && numbers[0] <= 9999 ? 2 : LocaleDateOrder();
    if (order == 1) {
        dayOfMonth = numbers[0];
        month = numbers[1];
        year = numbers[2];
    } else if (order == 2) {
        year = numbers[0];
        month = numbers[1];
        dayOfMonth = numbers[2];
    } else {
        month = numbers[0];
        dayOfMonth = numbers[1];
        year = numbers[2];
    }
    if (year < 80)
        year += 2000;
    else if (year < 100)
        year += 1900;
    if (year < 1601 || year > 9999) return 1;
    if (month < 1 || month > 12) return 1;
    if (dayOfMonth < 1 || dayOfMonth > MonthLength(year, month)) return 1;
    *day = DayNumber(year, month, dayOfMonth);
    *cursor = p;
    return 0;
}

/// The optional file-time letter and the optional ':' or '=' after it.
static uint16_t ReadWhichTime(const wchar_t **cursor)
{
    const wchar_t *p = *cursor;
    uint16_t which = TIME_LAST_WRITE;
    switch (*p) {
    case L'W': case L'w': which = TIME_LAST_WRITE; ++p; break;
    case L'A': case L'a': which = TIME_LAST_ACCESS; ++p; break;
    case L'C': case L'c': which = TIME_CREATION; ++p; break;
    default: break;
    }
    if (*p == L':' || *p == L'=') ++p;
    *cursor = p;
    return which;
}

/// True for "+n" or "-n" at p; reads n and leaves *sign at '+' or '-'.
static bool ReadRelative(const wchar_t **cursor, wchar_t *sign, uint32_t *n)
{
    const wchar_t *p = *cursor;
    if ((*p != L'+' && *p != L'-') || !IsAsciiDigit(p[1])) return false;
    *sign = *p++;
    *n = ReadNumber32(&p);
    *cursor = p;
    return true;
}

// Minutes forward wrap past midnight; minutes back stop at midnight. 64-bit, so that no
// count of minutes can overflow on the way.
static uint32_t MoveSeconds(uint32_t from, wchar_t sign, uint32_t minutes)
{
    uint64_t delta = (uint64_t)minutes * 60;
    if (sign == L'-') return delta >= from ? 0 : (uint32_t)(from - delta);
    uint64_t to = from + delta;
    return (uint32_t)(to >= SECONDS_PER_DAY ? to % SECONDS_PER_DAY : to);
}

// Days back stop at day 0, before any real date; days forward stop at the last day
// number rather than wrapping round to the distant past.
static uint32_t MoveDays(uint32_t from, wchar_t sign, uint32_t days)
{
    if (sign == L'-') return days >= from ? 0 : from - days;
    uint64_t to = (uint64_t)from + days;
    return to > UINT32_MAX ? UINT32_MAX : (uint32_t)to;
}

static bool IsClosing(const wchar_t *p) { return p[0] == L']' && p[1] == L'\0'; }

int ParseTimeRange(wchar_t *text, int negate, RangeList *list)
{
    if (!text || !list) return -1;
    if (IsClosing(text)) return 0;

    SYSTEMTIME now;
    ReadNow(&now);
    uint32_t currentMinute = (uint32_t)now.wHour * 3600 + (uint32_t)now.wMinute * 60;

    const wchar_t *p = text;
    uint16_t which = ReadWhichTime(&p);
    uint32_t first = 0, last = 0, n = 0;
    int firstHasSeconds = 0, lastHasSeconds = 0;
    wchar_t sign = 0;
    bool bad = false;

    if (IsAsciiDigit(*p))
        bad = ParseTimeOfDay(&p, &first, &firstHasSeconds) != 0;
    else if (ReadRelative(&p, &sign, &n))
        first = MoveSeconds(currentMinute, sign, n);
    else if (*p == L',' || *p == L']')
        first = currentMinute;
    else
        bad = true;

    if (!bad) {
        if (*p == L',') ++p;
        if (IsAsciiDigit(*p))
            bad = ParseTimeOfDay(&p, &last, &lastHasSeconds) != 0;
        else if (ReadRelative(&p, &sign, &n))
            last = MoveSeconds(first, sign, n);
        else if (*p == L']')
            last = currentMinute;
        else
            bad = true;
    }
    if (!bad) {
        if (first > last) {
            uint32_t swap = first;
            first = last;
            last = swap;
            lastHasSeconds = firstHasSeconds;
        }
        // An upper bound without seconds covers its whole minute.
        if (!lastHasSeconds) last += 59;
        bad = !IsClosing(p);
    }
    if (bad) return ReportError(L"Bad time range: \"%s\"\r\n", UpperCaseText(text));

    TimeRange *node = (TimeRange *)NewRangeNode(sizeof(TimeRange), 0, L'T');
    if (!node) return ReportError(L"Can't allocate time range structure\r\n");
    node->Negate = negate ? 1 : 0;
    node->WhichTime = which;
    node->FirstSecond = first;
    node->LastSecond = last;
    PushRange(list, &node->Head);
    return 0;
}

/// One bound of a date range: a date or a day count relative to base, then an optional
/// '@' and time of day. A bound of ',' or ']' is today. False when malformed.
static bool ReadDateBound(const wchar_t **cursor, uint32_t base, uint32_t today, bool first,
                          uint32_t *day, uint32_t *second, int *hasSeconds)
{
    const wchar_t *p = *cursor;
    wchar_t sign = 0;
    uint32_t n = 0;
    if (IsAsciiDigit(*p)) {
        if (ParseDate(&p, day) != 0) return false;
    } else if (ReadRelative(&p, &sign, &n)) {
        *day = MoveDays(base, sign, n);
    } else if (*p == L']' || (first && *p == L',')) {
        *day = today;
        *cursor = p;
        return true;
    } else {
        return false;
    }
    if (*p == L'@') {
        ++p;
        if (ParseTimeOfDay(&p, second, hasSeconds) != 0) return false;
    }
    *cursor = p;
    return true;
}

int ParseDateRange(wchar_t *text, int negate, RangeList *list)
{
    if (!text || !list) return -1;
    if (IsClosing(text)) return 0;

    SYSTEMTIME now;
    ReadNow(&now);
    uint32_t today = DayNumber(now.wYear, now.wMonth, now.wDay);

    const wchar_t *p = text;
    uint16_t which = ReadWhichTime(&p);
    uint32_t firstDay = 0, lastDay = 0;
    uint32_t firstSecond = NO_TIME, lastSecond = NO_TIME;
    int firstHasSeconds = 0, lastHasSeconds = 0;

    bool good = ReadDateBound(&p, today, today, true, &firstDay, &firstSecond, &firstHasSeconds);
    if (good) {
        if (*p == L',') ++p;
        good = ReadDateBound(&p, firstDay, today, false, &lastDay, &lastSecond, &lastHasSeconds);
    }
    if (good) good = IsClosing(p);
    if (!good) return ReportError(L"Bad date range: \"%s\"\r\n", UpperCaseText(text));

    // Bounds are put in order as the moments they name: a bound without a time starts at
    // midnight when it comes first, so a same-day range such as 1 May to 1 May 08:00:30 is
    // the morning as written, not turned round into the afternoon. Each time of day moves
    // with its day and its seconds flag, so 10 May 12:00 back to 1 May 08:00 spans 1 May
    // 08:00 to 10 May 12:00:59. A time with seconds is exact; one without covers its whole
    // minute; a last bound without a time runs to the end of its day.
    uint32_t firstStart = firstSecond == NO_TIME ? 0 : firstSecond;
    if (firstDay > lastDay || (firstDay == lastDay && firstStart > lastSecond)) {
        uint32_t swap = firstDay;
        firstDay = lastDay;
        lastDay = swap;
        swap = firstSecond;
        firstSecond = lastSecond;
        lastSecond = swap;
        int swapFlag = firstHasSeconds;
        firstHasSeconds = lastHasSeconds;
        lastHasSeconds = swapFlag;
    }
    if (firstSecond == NO_TIME) firstSecond = 0;
    if (lastSecond != NO_TIME && !lastHasSeconds) lastSecond += 59;

    DateRange *node = (DateRange *)NewRangeNode(sizeof(DateRange), 0, L'D');
    if (!node) return ReportError(L"Can't allocate date range structure\r\n");
    node->Negate = negate ? 1 : 0;
    node->WhichTime = which;
    node->FirstDay = firstDay;
    node->LastDay = lastDay;
    node->FirstSecond = firstSecond;
    node->LastSecond = lastSecond;
    PushRange(list, &node->Head);
    return 0;
}
