// Size ranges (/[S...]) and name exclusions (/[!...]).
#include "ranges/size_range.h"

#include <stddef.h>
#include <wctype.h>

#include "plugin/result_codes.h"
#include "plugin/shared_services.h"
#include "ranges/range_internal.h"
#include "ranges/range_list.h"
#include "text/case_fold.h"

enum : uint64_t { OPEN_SIZE = UINT64_MAX };

namespace {

/// Factor of a unit letter, 0 for a character that is none. Lower case counts in powers
/// of 1000, upper case in powers of 1024.
uint64_t UnitFactor(wchar_t c)
{
    switch (c) {
    case L'k': return 1000ull;
    case L'm': return 1000000ull;
    case L'g': return 1000000000ull;
    case L't': return 1000000000000ull;
    case L'p': return 1000000000000000ull;
    case L'K': return 1ull << 10;
    case L'M': return 1ull << 20;
    case L'G': return 1ull << 30;
    case L'T': return 1ull << 40;
    case L'P': return 1ull << 50;
    default: return 0;
    }
}

}  // namespace

int ParseSizeNumber(const wchar_t **cursor, uint64_t *value)
{
    if (cursor == nullptr || *cursor == nullptr || value == nullptr) return RESULT_MISSING_ARGUMENT;
    const wchar_t *p = *cursor;
    if (!IsAsciiDigit(*p)) return RESULT_FAILED;
    // A bound past 2^64-1 is no size a file can have, and wrapped it would be another
    // bound altogether (2^64 selecting nothing): refused, not taken modulo 2^64.
    uint64_t number = 0;
    bool fits = true;
    for (; IsAsciiDigit(*p); ++p) {
        uint64_t digit = (uint64_t)(*p - L'0');
        if (number > (UINT64_MAX - digit) / 10) fits = false;
        number = number * 10 + digit;
    }
    uint64_t factor = UnitFactor(*p);
    if (factor) {
        if (number > UINT64_MAX / factor) fits = false;
        number *= factor;
        ++p;
    }
    if (!fits) return SIZE_TOO_LARGE;
    *value = number;
    *cursor = p;
    return RESULT_OK;
}

int ParseSizeRange(wchar_t *text, int negate, RangeList *list)
{
    if (text == nullptr || list == nullptr) return RESULT_MISSING_ARGUMENT;
    const wchar_t *p = text;
    if (IsValueSeparator(*p)) ++p;
    if (p[0] == L']' && p[1] == L'\0') return RESULT_OK;

    uint64_t low = 0, high = OPEN_SIZE;
    bool relative = false;
    // A bound that cannot be held leaves the cursor on its digits, which the check of
    // the closing "]" then refuses.
    bool fits = true;
    if (IsAsciiDigit(*p) && ParseSizeNumber(&p, &low) != RESULT_OK) fits = false;
    if (fits && *p == L',') ++p;
    if (fits && *p == L'+' && IsAsciiDigit(p[1])) {
        ++p;
        relative = true;
    }
    if (fits && IsAsciiDigit(*p) && ParseSizeNumber(&p, &high) != RESULT_OK) fits = false;
    // A length that carries the upper bound past 2^64-1 cannot be held either.
    if (relative && high > OPEN_SIZE - low) fits = false;
    if (relative) high += low;
    if (low > high) {
        uint64_t swap = low;
        low = high;
        high = swap;
    }
    if (!fits || !(p[0] == L']' && p[1] == L'\0'))
        return ReportError(L"Bad size range: \"%s\"\r\n", UpperCaseText(text));

    SizeRange *node = (SizeRange *)NewRangeNode(sizeof(SizeRange), 0, L'S');
    if (node == nullptr) return ReportError(L"Can't allocate size range structure\r\n");
    node->Negate = negate ? 1 : 0;
    node->MinSize = low;
    node->MaxSize = high;
    PushRange(list, &node->Head);
    return RESULT_OK;
}

int AddExclusion(const wchar_t *pattern, RangeList *list)
{
    if (pattern == nullptr || list == nullptr) return RESULT_MISSING_ARGUMENT;
    size_t length = wcslen(pattern);
    ExclusionRange *node = (ExclusionRange *)NewRangeNode(offsetof(ExclusionRange, Pattern),
                                                          length + 1, L'!');
    if (node == nullptr) return ReportError(L"Can't allocate exclusion range structure\r\n");
    wmemcpy(node->Pattern, pattern, length + 1);
    PushRange(list, &node->Head);
    return RESULT_OK;
}

int ParseExclusionRange(wchar_t *text, RangeList *list)
{
    if (text == nullptr || list == nullptr) return RESULT_MISSING_ARGUMENT;
    size_t length = wcslen(text);
    // Only the option's final "]" closes it; one inside belongs to a pattern ([a-c]*).
    if (length > 0 && text[length - 1] == L']') --length;
    const wchar_t *p = text;
    const wchar_t *end = text + length;

    wchar_t pattern[RANGE_TEXT_LEN];
    while (p < end) {
        while (p < end && iswspace((wint_t)*p)) ++p;
        if (p == end) break;
        size_t used = 0;
        // Characters beyond the buffer are dropped; the pattern keeps its first 8191.
        for (; p < end && !iswspace((wint_t)*p); ++p)
            if (used < RANGE_TEXT_LEN - 1) pattern[used++] = *p;
        pattern[used] = L'\0';
        if (AddExclusion(pattern, list) != 0) return RESULT_FAILED;
    }
    return RESULT_OK;
}
