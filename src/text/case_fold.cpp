#include "text/case_fold.h"

#include "text/unicode_tables.h"

namespace {

uint32_t LookUp(const CaseMapping *table, size_t count, uint32_t c)
{
    size_t lo = 0, hi = count;
    while (lo < hi) {
        size_t mid = lo + (hi - lo) / 2;
        if (table[mid].From < c) lo = mid + 1;
        else hi = mid;
    }
    return (lo < count && table[lo].From == c) ? table[lo].To : c;
}

}  // namespace

uint32_t UpperCaseOf(uint32_t c)
{
    if (c < 0x80) return (c >= 'a' && c <= 'z') ? c - 32 : c;
    if (c > 0xFFFF) return c;
    return LookUp(UpperMappings, UpperMappingsCount, c);
}

uint32_t LowerCaseOf(uint32_t c)
{
    if (c < 0x80) return (c >= 'A' && c <= 'Z') ? c + 32 : c;
    if (c > 0xFFFF) return c;
    return LookUp(LowerMappings, LowerMappingsCount, c);
}

bool IsUnicodeLetter(uint32_t c)
{
    if (c < 0x80) return (c | 32) >= 'a' && (c | 32) <= 'z';
    return c <= 0xFFFF && InRanges(LetterRanges, LetterRangesCount, c);
}

bool IsUnicodeDigit(uint32_t c)
{
    if (c < 0x80) return c >= '0' && c <= '9';
    return c <= 0xFFFF && InRanges(DigitRanges, DigitRangesCount, c);
}

wchar_t *UpperCaseText(wchar_t *text)
{
    if (text == nullptr) return text;
    for (wchar_t *p = text; *p; ++p) *p = (wchar_t)UpperCaseOf((uint32_t)*p);
    return text;
}

int CompareIgnoringCaseN(const wchar_t *a, const wchar_t *b, size_t n)
{
    for (size_t i = 0; i < n; ++i) {
        uint32_t ua = UpperCaseOf((uint32_t)a[i]), ub = UpperCaseOf((uint32_t)b[i]);
        if (ua != ub) return ua < ub ? -1 : 1;
        if (a[i] == 0) return 0;
    }
    return 0;
}

int CompareIgnoringCase(const wchar_t *a, const wchar_t *b)
{
    return CompareIgnoringCaseN(a, b, (size_t)-1);
}
