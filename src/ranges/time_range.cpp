// Time-of-day ranges (/[T...]) and the time-of-day reader the date ranges share.
#include "ranges/time_range.h"

#include "plugin/result_codes.h"
#include "plugin/shared_services.h"
#include "ranges/range_internal.h"
#include "ranges/range_list.h"
#include "text/case_fold.h"

namespace {

const uint32_t SECONDS_PER_DAY = 86400;

// Minutes forward wrap past midnight; minutes back stop at midnight. 64-bit, so that no
// count of minutes can overflow on the way.
uint32_t MoveSeconds(uint32_t from, wchar_t sign, uint32_t minutes)
{
    uint64_t delta = (uint64_t)minutes * 60;
    if (sign == L'-') return delta >= from ? 0 : (uint32_t)(from - delta);
    uint64_t to = from + delta;
    return (uint32_t)(to >= SECONDS_PER_DAY ? to % SECONDS_PER_DAY : to);
}

}  // namespace

int ParseTimeOfDay(const wchar_t **cursor, uint32_t *seconds, int *hasSeconds)
{
    if (cursor == nullptr || *cursor == nullptr || seconds == nullptr)
        return RESULT_MISSING_ARGUMENT;
    const wchar_t *p = *cursor;
    if (!IsAsciiDigit(*p)) return RESULT_FAILED;
    uint32_t hour = ReadNumber32(&p);
    if (hour > 23) return RESULT_FAILED;
    if ((*p != L':' && *p != L'.') || !IsAsciiDigit(p[1])) return RESULT_FAILED;
    ++p;
    uint32_t minute = ReadNumber32(&p);
    if (minute > 59) return RESULT_FAILED;
    uint32_t second = 0;
    int withSeconds = 0;
    if (*p == L':' || *p == L'.') {
        if (!IsAsciiDigit(p[1])) return RESULT_FAILED;
        ++p;
        second = ReadNumber32(&p);
        if (second > 59) return RESULT_FAILED;
        withSeconds = 1;
    }
    wchar_t marker = *p;
    if (marker == L'a' || marker == L'A' || marker == L'p' || marker == L'P') {
        if (hour < 1 || hour > 12) return RESULT_FAILED;
        hour %= 12;
        if (marker == L'p' || marker == L'P') hour += 12;
        ++p;
        if (*p == L'm' || *p == L'M') ++p;
    }
    *seconds = hour * 3600 + minute * 60 + second;
    if (hasSeconds != nullptr) *hasSeconds = withSeconds;
    *cursor = p;
    return RESULT_OK;
}

int ParseTimeRange(wchar_t *text, int negate, RangeList *list)
{
    if (text == nullptr || list == nullptr) return RESULT_MISSING_ARGUMENT;
    if (IsClosing(text)) return RESULT_OK;

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
    if (node == nullptr) return ReportError(L"Can't allocate time range structure\r\n");
    node->Negate = negate ? 1 : 0;
    node->WhichTime = which;
    node->FirstSecond = first;
    node->LastSecond = last;
    PushRange(list, &node->Head);
    return RESULT_OK;
}
