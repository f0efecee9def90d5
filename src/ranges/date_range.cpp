// Date ranges (/[D...]) and the date reader.
#include "ranges/date_range.h"

#include "plugin/result_codes.h"
#include "plugin/shared_services.h"
#include "ranges/calendar.h"
#include "ranges/range_hooks.h"
#include "ranges/range_internal.h"
#include "ranges/range_list.h"
#include "ranges/time_range.h"
#include "text/case_fold.h"

namespace {

/// A bound of a date range written without a time of day.
const uint32_t NO_TIME = UINT32_MAX;

/// The dates a file time reaches: 1 January 1601 to 14 September 30828.
const uint32_t FIRST_YEAR = 1601, LAST_YEAR = 30828, LAST_MONTH = 9, LAST_DAY = 14;

bool IsDateSeparator(wchar_t c) { return c == L'/' || c == L'-' || c == L'.'; }

// Days back stop at day 0, before any real date; days forward stop at the last day
// number rather than wrapping round to the distant past.
uint32_t MoveDays(uint32_t from, wchar_t sign, uint32_t days)
{
    if (sign == L'-') return days >= from ? 0 : from - days;
    uint64_t to = (uint64_t)from + days;
    return to > UINT32_MAX ? UINT32_MAX : (uint32_t)to;
}

}  // namespace

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

int ParseDate(const wchar_t **cursor, uint32_t *day)
{
    if (cursor == nullptr || *cursor == nullptr || day == nullptr) return RESULT_MISSING_ARGUMENT;
    const wchar_t *p = *cursor;
    uint32_t numbers[3];
    for (int i = 0; i < 3; ++i) {
        if (i > 0) {
            if (!IsDateSeparator(*p)) return RESULT_FAILED;
            ++p;
        }
        if (!IsAsciiDigit(*p)) return RESULT_FAILED;
        numbers[i] = ReadNumber32(&p);
    }

    // A first number that can only be a year puts the year first, whatever the locale:
    // every year a file time reaches, five-digit ones too, since no month or day has
    // four or five digits.
    uint32_t year, month, dayOfMonth;
    int order = numbers[0] >= FIRST_YEAR && numbers[0] <= LAST_YEAR ? 2 : LocaleDateOrder();
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
    if (year < FIRST_YEAR || year > LAST_YEAR) return RESULT_FAILED;
    if (month < 1 || month > 12) return RESULT_FAILED;
    if (dayOfMonth < 1 || dayOfMonth > MonthLength(year, month)) return RESULT_FAILED;
    // The last file time falls on 14 September 30828; no file has a later date.
    if (year == LAST_YEAR && (month > LAST_MONTH || (month == LAST_MONTH && dayOfMonth > LAST_DAY)))
        return RESULT_FAILED;
    *day = DayNumber(year, month, dayOfMonth);
    *cursor = p;
    return RESULT_OK;
}

namespace {

/// One bound of a date range: a date or a day count relative to base, then an optional
/// '@' and time of day. A bound of ',' or ']' is today. False when malformed.
bool ReadDateBound(const wchar_t **cursor, uint32_t base, uint32_t today, bool first,
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

}  // namespace

int ParseDateRange(wchar_t *text, int negate, RangeList *list)
{
    if (text == nullptr || list == nullptr) return RESULT_MISSING_ARGUMENT;
    if (IsClosing(text)) return RESULT_OK;

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
    if (node == nullptr) return ReportError(L"Can't allocate date range structure\r\n");
    node->Negate = negate ? 1 : 0;
    node->WhichTime = which;
    node->FirstDay = firstDay;
    node->LastDay = lastDay;
    node->FirstSecond = firstSecond;
    node->LastSecond = lastSecond;
    PushRange(list, &node->Head);
    return RESULT_OK;
}
