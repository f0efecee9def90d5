#include "text/case_fold.h"

#include "text/unicode_tables.h"

uint32_t UpperCaseOf(uint32_t c)
{
    if (c < 0x80) return (c >= 'a' && c <= 'z') ? c - 32 : c;
    return c > 0xFFFF ? c : UnicodeUpper(c);
}

uint32_t LowerCaseOf(uint32_t c)
{
    if (c < 0x80) return (c >= 'A' && c <= 'Z') ? c + 32 : c;
    return c > 0xFFFF ? c : UnicodeLower(c);
}

bool IsUnicodeLetter(uint32_t c) { return (UnicodeProperties(c) & UNICODE_LETTER) != 0; }

bool IsUnicodeDigit(uint32_t c) { return (UnicodeProperties(c) & UNICODE_DIGIT) != 0; }

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
