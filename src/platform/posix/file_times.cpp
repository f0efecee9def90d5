// File times, calendar dates and the local time, as Windows converts them.
#include "posix_layer.h"

#include "text/gregorian.h"

#include <string.h>
#include <time.h>

namespace vesk_posix {

// A Unix time with nanoseconds as a file time. Never clamped into a real date: a time
// before 1601 becomes the tick count's two's complement, as Wine makes it (a value with
// the top bit set, which no conversion accepts), and one past what 64 bits of ticks hold
// the first value with the top bit set, just past the last time Windows converts. Every step is checked before it
// is taken, since the seconds may be anything a file system stores.
FILETIME UnixToFileTime(int64_t sec, int64_t nsec)
{
    if (nsec < 0 || nsec >= 1000000000) nsec = 0;
    int64_t whole, ticks;
    int64_t fraction = nsec / 100;
    bool over = __builtin_add_overflow(sec, SECONDS_TO_1970, &whole);
    // Below 1601 the fraction is borrowed from the next second up, so that a tick count
    // that just fits is not lost to an intermediate product that does not.
    if (!over && whole < 0 && fraction > 0) {
        whole += 1;
        fraction -= (int64_t)TICKS_PER_SECOND;
    }
    over = over || __builtin_mul_overflow(whole, (int64_t)TICKS_PER_SECOND, &ticks) ||
           __builtin_add_overflow(ticks, fraction, &ticks);
    if (over) return MakeFileTime(MAX_FILE_TIME + 1);
    return MakeFileTime((uint64_t)ticks);
}

// Days from 1970-01-01 of a proleptic Gregorian date, and back (Howard Hinnant's
// algorithms, valid far beyond the years a file time can hold).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = (unsigned)(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + (int64_t)doe - 719468;
}

void CivilFromDays(int64_t z, int64_t *y, unsigned *m, unsigned *d)
{
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = (unsigned)(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    *d = doy - (153 * mp + 2) / 5 + 1;
    *m = mp < 10 ? mp + 3 : mp - 9;
    *y = (int64_t)yoe + era * 400 + (*m <= 2);
}

bool IsValidSystemTime(const SYSTEMTIME *st)
{
    bool fields = st->wYear >= 1601 && st->wYear <= 30828 && st->wMonth >= 1 &&
                  st->wMonth <= 12 && st->wDay >= 1 &&
                  st->wDay <= MonthLength(st->wYear, st->wMonth) && st->wHour < 24 &&
                  st->wMinute < 60 && st->wSecond < 60 && st->wMilliseconds < 1000;
    if (!fields || st->wYear < 30828) return fields;
    // The last file time is 30828-09-14 02:48:05.4775807: nothing after it converts.
    uint64_t ticks = ((uint64_t)(DaysFromCivil(st->wYear, st->wMonth, st->wDay) + 134774) * 86400 +
                      st->wHour * 3600u + st->wMinute * 60u + st->wSecond) * TICKS_PER_SECOND +
                     st->wMilliseconds * 10000ull;
    return ticks <= MAX_FILE_TIME;
}

bool TmToSystemTime(const struct tm *tm, unsigned milliseconds, SYSTEMTIME *st)
{
    long year = (long)tm->tm_year + 1900;
    if (year < 1601 || year > 30828) return false;
    st->wYear = (WORD)year;
    st->wMonth = (WORD)(tm->tm_mon + 1);
    st->wDayOfWeek = (WORD)tm->tm_wday;
    st->wDay = (WORD)tm->tm_mday;
    st->wHour = (WORD)tm->tm_hour;
    st->wMinute = (WORD)tm->tm_min;
    // A leap second shows as :59, as Windows has no :60.
    st->wSecond = (WORD)(tm->tm_sec > 59 ? 59 : tm->tm_sec);
    st->wMilliseconds = (WORD)milliseconds;
    // A local time past the last file time is refused, as Windows refuses it.
    return IsValidSystemTime(st);
}

void SystemTimeToTm(const SYSTEMTIME *st, struct tm *tm)
{
    memset(tm, 0, sizeof *tm);
    tm->tm_year = st->wYear - 1900;
    tm->tm_mon = st->wMonth - 1;
    tm->tm_mday = st->wDay;
    tm->tm_hour = st->wHour;
    tm->tm_min = st->wMinute;
    tm->tm_sec = st->wSecond;
    int64_t days = DaysFromCivil(st->wYear, st->wMonth, st->wDay);
    tm->tm_wday = (int)(((days % 7) + 7 + 4) % 7);  // 1970-01-01 was a Thursday
    tm->tm_yday = (int)(days - DaysFromCivil(st->wYear, 1, 1));
    tm->tm_isdst = -1;
}

}  // namespace vesk_posix

using namespace vesk_posix;

BOOL FileTimeToSystemTime(const FILETIME *time, SYSTEMTIME *st)
{
    if (time == nullptr || st == nullptr) {
        SetError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    uint64_t v = FileTimeValue(time);
    // Windows refuses file times with the top bit set (past 30828-09-14).
    if (v > MAX_FILE_TIME) {
        SetError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    uint64_t days = v / TICKS_PER_DAY, rest = v % TICKS_PER_DAY;
    int64_t y;
    unsigned m, d;
    // Day 0 of a file time is 1601-01-01, which is day -134774 from 1970.
    CivilFromDays((int64_t)days - 134774, &y, &m, &d);
    st->wYear = (WORD)y;
    st->wMonth = (WORD)m;
    st->wDay = (WORD)d;
    st->wDayOfWeek = (WORD)((days + 1) % 7);  // 1601-01-01 was a Monday
    uint64_t ms = rest / 10000;
    st->wHour = (WORD)(ms / 3600000);
    st->wMinute = (WORD)(ms / 60000 % 60);
    st->wSecond = (WORD)(ms / 1000 % 60);
    st->wMilliseconds = (WORD)(ms % 1000);
    return TRUE;
}

BOOL FileTimeToLocalFileTime(const FILETIME *utc, FILETIME *local)
{
    if (utc == nullptr || local == nullptr) {
        SetError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // Windows moves every date by the offset in force now, not on that date.
    tzset();
    time_t now = time(nullptr);
    struct tm tm;
    if (localtime_r(&now, &tm) == nullptr) {
        SetError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    int64_t shift = (int64_t)tm.tm_gmtoff * (int64_t)TICKS_PER_SECOND;
    uint64_t v = FileTimeValue(utc);
    if (v > MAX_FILE_TIME || (shift < 0 && v < (uint64_t)-shift) ||
        (shift > 0 && v > MAX_FILE_TIME - (uint64_t)shift)) {
        SetError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *local = MakeFileTime((uint64_t)((int64_t)v + shift));
    return TRUE;
}

BOOL SystemTimeToTzSpecificLocalTime(const TIME_ZONE_INFORMATION *zone, const SYSTEMTIME *utc,
                                     SYSTEMTIME *local)
{
    // Only the current zone (from TZ) is known here; no zone records are built.
    if (zone != nullptr || utc == nullptr || local == nullptr || !IsValidSystemTime(utc)) {
        SetError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    tzset();
    int64_t days = DaysFromCivil(utc->wYear, utc->wMonth, utc->wDay);
    time_t t = (time_t)(days * 86400 + utc->wHour * 3600 + utc->wMinute * 60 + utc->wSecond);
    struct tm tm;
    SYSTEMTIME out;
    if (localtime_r(&t, &tm) == nullptr || !TmToSystemTime(&tm, utc->wMilliseconds, &out)) {
        SetError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *local = out;
    return TRUE;
}

void GetLocalTime(SYSTEMTIME *st)
{
    if (st == nullptr) return;
    tzset();
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    struct tm tm;
    time_t sec = now.tv_sec;
    if (localtime_r(&sec, &tm) == nullptr ||
        !TmToSystemTime(&tm, (unsigned)(now.tv_nsec / 1000000), st))
        memset(st, 0, sizeof *st);
}
