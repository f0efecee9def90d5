// Dates and times in the user's locale, as GetDateFormatW and its kin give them.
#include "posix_layer.h"

#include "text/native_text.h"
#include "text/wide_format.h"

#include <langinfo.h>
#include <locale.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

using namespace vesk_posix;

namespace {

// Locales the layer keeps for the life of the library. The shell unloads the plug-in
// before it exits, so they are released then rather than reported as leaks.
struct CachedLocales {
    locale_t User = (locale_t)0;
    ~CachedLocales()
    {
        if (User != nullptr) freelocale(User);
    }
};
CachedLocales Locales;

// The user's locale for dates and times, built from the environment (LC_ALL, LC_TIME,
// LC_CTYPE, LANG, and LOCPATH for where they live) without touching the process's own
// locale, and built again when those change. A locale that is not installed falls back
// to "C", as the C library does.
locale_t UserLocale()
{
    locale_t &loc = Locales.User;
    static char key[512];
    const char *names[5] = {getenv("LC_ALL"), getenv("LC_TIME"), getenv("LC_CTYPE"),
                            getenv("LANG"), getenv("LOCPATH")};
    char now[512];
    for (const char *&name : names)
        if (name == nullptr) name = "";
    snprintf(now, sizeof now, "%s|%s|%s|%s|%s", names[0], names[1], names[2], names[3], names[4]);
    if (loc != nullptr && strcmp(now, key) == 0) return loc;
    if (loc != nullptr) freelocale(loc);
    loc = newlocale(LC_TIME_MASK | LC_CTYPE_MASK, "", (locale_t)0);
    if (loc == nullptr) loc = newlocale(LC_TIME_MASK | LC_CTYPE_MASK, "C", (locale_t)0);
    snprintf(key, sizeof key, "%s", now);
    return loc;
}

// Text in the locale's character set as wide text; false when it cannot be decoded
// or does not fit.
bool LocaleToWide(const char *text, locale_t loc, wchar_t *out, size_t capacity)
{
    if (loc == nullptr) return NativeToWide(text, strlen(text), out, capacity) < capacity;
    locale_t old = uselocale(loc);
    mbstate_t state;
    memset(&state, 0, sizeof state);
    const char *src = text;
    size_t n = mbsrtowcs(out, &src, capacity, &state);
    uselocale(old);
    if (n == (size_t)-1) return NativeToWide(text, strlen(text), out, capacity) < capacity;
    if (n >= capacity) {
        if (capacity) out[capacity - 1] = 0;
        return false;
    }
    return true;
}

const char *LangInfo(nl_item item)
{
    locale_t loc = UserLocale();
    const char *s = loc != nullptr ? nl_langinfo_l(item, loc) : nl_langinfo(item);
    return s != nullptr ? s : "";
}

// 0 month-day-year, 1 day-month-year, 2 year-month-day, read from the order of the
// fields in the locale's short date format.
int DateOrder()
{
    const char *fmt = LangInfo(D_FMT);
    int posM = -1, posD = -1, posY = -1, pos = 0;
    for (const char *p = fmt; *p; ++p) {
        if (*p != '%' || !p[1]) continue;
        ++p;
        while (*p == 'E' || *p == 'O' || *p == '-' || *p == '_' || *p == '0' || *p == '^' ||
               *p == '#')
            ++p;
        switch (*p) {
        case 'm': case 'b': case 'B': case 'h':
            if (posM < 0) posM = pos++;
            break;
        case 'd': case 'e':
            if (posD < 0) posD = pos++;
            break;
        case 'y': case 'Y': case 'C': case 'G': case 'g':
            if (posY < 0) posY = pos++;
            break;
        case 'F':
            return 2;
        case 'D':
            return 0;
        default:
            break;
        }
        if (!*p) break;
    }
    if (posY == 0 && posM >= 0) return 2;
    if (posD >= 0 && posM >= 0 && posD < posM) return 1;
    return 0;
}

// Long date pictures by date order. glibc keeps no long date picture, so one is built
// from the order with the locale's full names. Year-first locales put the day name
// last, as Windows does for most of them.
const wchar_t *LongDatePicture(int order)
{
    switch (order) {
    case 1: return L"dddd, d MMMM yyyy";
    case 2: return L"yyyy MMMM d, dddd";
    default: return L"dddd, MMMM d, yyyy";
    }
}

struct Output {
    wchar_t *Dest;
    size_t Capacity;  // 0: only measure
    size_t Length;
};

void Emit(Output *o, const wchar_t *text, size_t len)
{
    for (size_t i = 0; i < len; ++i) {
        if (o->Length + i + 1 < o->Capacity) o->Dest[o->Length + i] = text[i];
    }
    o->Length += len;
}

void EmitNumber(Output *o, unsigned value, int digits)
{
    wchar_t buf[16];
    int n = FormatWide(buf, 16, L"%0*u", digits, value);
    Emit(o, buf, (size_t)n);
}

void EmitLangInfo(Output *o, nl_item item)
{
    wchar_t buf[256];
    if (LocaleToWide(LangInfo(item), UserLocale(), buf, 256)) Emit(o, buf, wcslen(buf));
}

// Expands a Windows date or time picture (d dd ddd dddd M MM MMM MMMM y yy yyyy
// h hh H HH m mm s ss t tt, text in single quotes, '' for a quote).
void ExpandPicture(Output *o, const wchar_t *picture, const SYSTEMTIME *st, bool isDate)
{
    for (const wchar_t *p = picture; *p;) {
        wchar_t c = *p;
        if (c == L'\'') {
            ++p;
            while (*p) {
                if (*p == L'\'') {
                    if (p[1] != L'\'') {
                        ++p;
                        break;
                    }
                    ++p;
                }
                Emit(o, p, 1);
                ++p;
            }
            continue;
        }
        size_t run = 1;
        while (p[run] == c) ++run;
        bool known = true;
        if (isDate && c == L'd') {
            if (run == 1 || run == 2) EmitNumber(o, st->wDay, (int)run);
            else if (run == 3) EmitLangInfo(o, (nl_item)(ABDAY_1 + st->wDayOfWeek % 7));
            else EmitLangInfo(o, (nl_item)(DAY_1 + st->wDayOfWeek % 7));
        } else if (isDate && c == L'M') {
            if (run <= 2) EmitNumber(o, st->wMonth, (int)run);
            else if (run == 3) EmitLangInfo(o, (nl_item)(ABMON_1 + (st->wMonth - 1) % 12));
            else EmitLangInfo(o, (nl_item)(MON_1 + (st->wMonth - 1) % 12));
        } else if (isDate && c == L'y') {
            if (run <= 2) EmitNumber(o, st->wYear % 100u, (int)run);
            else EmitNumber(o, st->wYear, 4);
        } else if (!isDate && (c == L'h' || c == L'H')) {
            unsigned h = st->wHour;
            if (c == L'h') h = h % 12 ? h % 12 : 12;
            EmitNumber(o, h, run >= 2 ? 2 : 1);
        } else if (!isDate && c == L'm') {
            EmitNumber(o, st->wMinute, run >= 2 ? 2 : 1);
        } else if (!isDate && c == L's') {
            EmitNumber(o, st->wSecond, run >= 2 ? 2 : 1);
        } else if (!isDate && c == L't') {
            wchar_t marker[64];
            if (LocaleToWide(LangInfo(st->wHour < 12 ? AM_STR : PM_STR), UserLocale(), marker,
                             64))
                Emit(o, marker, run >= 2 ? wcslen(marker) : (wcslen(marker) ? 1 : 0));
        } else {
            known = false;
        }
        if (!known) Emit(o, p, run);
        p += run;
    }
}

// Hands a measured result to the caller as the Get*FormatW calls do: with outSize 0
// the size needed; otherwise the characters written with the terminator, or 0 when
// they do not fit.
int FinishOutput(const Output &o, LPWSTR out, int outSize)
{
    size_t need = o.Length + 1;
    if (need > 0x7FFFFFFF) {
        SetError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (outSize == 0) return (int)need;
    if ((size_t)outSize < need) {
        // Callers append to whatever is in the buffer, so leave it terminated.
        out[0] = 0;
        SetError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    out[o.Length] = 0;
    return (int)need;
}

int FormatPicture(const wchar_t *picture, const SYSTEMTIME *st, bool isDate, LPWSTR out,
                  int outSize)
{
    Output o{out, outSize > 0 ? (size_t)outSize : 0, 0};
    ExpandPicture(&o, picture, st, isDate);
    return FinishOutput(o, out, outSize);
}

// One of the locale's own formats (strftime's %x or %X) as the result of a
// Get*FormatW call.
int FormatStrftime(const char *format, const struct tm *tm, LPWSTR out, int outSize)
{
    locale_t loc = UserLocale();
    char narrow[256];
    wchar_t wide[256];
    size_t n = loc != nullptr ? strftime_l(narrow, sizeof narrow, format, tm, loc)
                   : strftime(narrow, sizeof narrow, format, tm);
    narrow[n < sizeof narrow ? n : 0] = 0;
    if (!LocaleToWide(narrow, loc, wide, 256)) wide[0] = 0;
    Output o{out, outSize > 0 ? (size_t)outSize : 0, 0};
    Emit(&o, wide, wcslen(wide));
    return FinishOutput(o, out, outSize);
}

bool ValidFormatArgs(const SYSTEMTIME *st, LPWSTR out, int outSize)
{
    if (st == nullptr || outSize < 0 || (outSize > 0 && out == nullptr)) {
        SetError(ERROR_INVALID_PARAMETER);
        return false;
    }
    return true;
}


}  // namespace

int GetDateFormatW(LCID, DWORD flags, const SYSTEMTIME *st, LPCWSTR picture, LPWSTR out,
                   int outSize)
{
    if (!ValidFormatArgs(st, out, outSize)) return 0;
    SYSTEMTIME day = *st;
    day.wHour = day.wMinute = day.wSecond = day.wMilliseconds = 0;
    if (!IsValidSystemTime(&day)) {
        SetError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    // The day of the week is worked out from the date, as Windows ignores the field.
    struct tm tm;
    SystemTimeToTm(&day, &tm);
    day.wDayOfWeek = (WORD)tm.tm_wday;
    if (picture != nullptr) return FormatPicture(picture, &day, true, out, outSize);
    if (flags & DATE_LONGDATE) return FormatPicture(LongDatePicture(DateOrder()), &day, true, out, outSize);
    // The short date: the locale's own format.
    return FormatStrftime("%x", &tm, out, outSize);
}

int GetTimeFormatW(LCID, DWORD, const SYSTEMTIME *st, LPCWSTR picture, LPWSTR out, int outSize)
{
    if (!ValidFormatArgs(st, out, outSize)) return 0;
    if (st->wHour >= 24 || st->wMinute >= 60 || st->wSecond >= 60 || st->wMilliseconds >= 1000) {
        SetError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (picture != nullptr) return FormatPicture(picture, st, false, out, outSize);
    struct tm tm;
    memset(&tm, 0, sizeof tm);
    tm.tm_hour = st->wHour;
    tm.tm_min = st->wMinute;
    tm.tm_sec = st->wSecond;
    tm.tm_year = 70;
    tm.tm_mday = 1;
    return FormatStrftime("%X", &tm, out, outSize);
}

int GetLocaleInfoW(LCID, DWORD item, LPWSTR out, int outSize)
{
    if (outSize < 0 || (outSize > 0 && out == nullptr)) {
        SetError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    wchar_t text[64];
    const wchar_t *value;
    switch (item) {
    case LOCALE_IDATE:  // short date order
    case 0x22:          // LOCALE_ILDATE, long date order: the same here
        text[0] = (wchar_t)(L'0' + DateOrder());
        text[1] = 0;
        value = text;
        break;
    case 0x20:          // LOCALE_SLONGDATE
        value = LongDatePicture(DateOrder());
        break;
    default:
        SetError(ERROR_INVALID_FLAGS);
        return 0;
    }
    Output o{out, outSize > 0 ? (size_t)outSize : 0, 0};
    Emit(&o, value, wcslen(value));
    return FinishOutput(o, out, outSize);
}
