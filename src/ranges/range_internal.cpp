// Readers shared by the range parsers.
#include "ranges/range_internal.h"

#include <wctype.h>

#include "plugin/shared_services.h"
#include "ranges/range_list.h"

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
    if (RangeHooks.Now != nullptr)
        *now = *RangeHooks.Now;
    else
        GetLocalTime(now);
}

/// True for "+n" or "-n" at p; reads n and leaves *sign at '+' or '-'.
bool ReadRelative(const wchar_t **cursor, wchar_t *sign, uint32_t *n)
{
    const wchar_t *p = *cursor;
    if ((*p != L'+' && *p != L'-') || !IsAsciiDigit(p[1])) return false;
    *sign = *p++;
    *n = ReadNumber32(&p);
    *cursor = p;
    return true;
}

bool IsClosing(const wchar_t *p) { return p[0] == L']' && p[1] == L'\0'; }

uint16_t ReadTimeLetter(const wchar_t **cursor)
{
    switch (towupper((wint_t)**cursor)) {
    case L'W': ++*cursor; return TIME_LAST_WRITE;
    case L'A': ++*cursor; return TIME_LAST_ACCESS;
    case L'C': ++*cursor; return TIME_CREATION;
    default: return TIME_LAST_WRITE;
    }
}

/// The optional file-time letter and the optional ':' or '=' after it.
uint16_t ReadWhichTime(const wchar_t **cursor)
{
    uint16_t which = ReadTimeLetter(cursor);
    if (IsValueSeparator(**cursor)) ++*cursor;
    return which;
}
