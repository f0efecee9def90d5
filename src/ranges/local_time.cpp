// The calendar time of a file time as a date stamp shows it.
#include "ranges/local_time.h"

namespace {

const uint64_t TICKS_PER_DAY = 864000000000ull;

/// No zone is that far from UTC (the widest offsets are some 15 hours, and even the C
/// library's zone strings stop at 25): a time at least this far from either end of the
/// valid file times is valid in local time too, without asking the system.
const uint64_t SAFE_MARGIN = 3 * TICKS_PER_DAY;

/// False when st lies after the last moment a file time holds, 30828-09-14 02:48:05.477:
/// a local time east of UTC can get there, and Windows versions differ on whether they
/// refuse it, so every build refuses it alike.
bool IsWithinLastFileTime(const SYSTEMTIME &st)
{
    const WORD last[7] = {30828, 9, 14, 2, 48, 5, 477};
    const WORD have[7] = {st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond,
                          st.wMilliseconds};
    for (int i = 0; i < 7; ++i)
        if (have[i] != last[i]) return have[i] < last[i];
    return true;
}

/// ConvertFileTime without the range checks.
bool ConvertSystemTime(uint64_t fileTime, int trueLocal, int utc, SYSTEMTIME *st)
{
    FILETIME ft;
    ft.dwLowDateTime = (DWORD)(fileTime & 0xFFFFFFFFu);
    ft.dwHighDateTime = (DWORD)(fileTime >> 32);
    if (utc) return FileTimeToSystemTime(&ft, st) != 0;
    if (trueLocal) {
        SYSTEMTIME universal;
        if (!FileTimeToSystemTime(&ft, &universal)) return false;
        return SystemTimeToTzSpecificLocalTime(nullptr, &universal, st) != 0;
    }
    FILETIME local;
    if (!FileTimeToLocalFileTime(&ft, &local)) return false;
    // Windows lets the local time wrap below 1601 instead of failing; the value is then
    // huge and the next step refuses it, but only when its top bit is set. Refuse the
    // wrap ourselves so that every system gives the same answer.
    uint64_t localTime = ((uint64_t)local.dwHighDateTime << 32) | local.dwLowDateTime;
    int64_t offset = (int64_t)(localTime - fileTime);
    if ((offset < 0 && localTime > fileTime) || (offset > 0 && localTime < fileTime)) return false;
    return FileTimeToSystemTime(&local, st) != 0;
}

}  // namespace

bool ConvertFileTime(uint64_t fileTime, int trueLocal, int utc, SYSTEMTIME *st)
{
    // Linux file systems hold times before 1601 and past the last file time: every build
    // refuses what Windows would refuse, and a local time pushed past either end too.
    if (!IsValidFileTime(fileTime)) return false;
    if (!ConvertSystemTime(fileTime, trueLocal, utc, st)) return false;
    return st->wYear >= 1601 && IsWithinLastFileTime(*st);
}

bool ShownLocalTime(uint64_t fileTime, int onNtfs, SYSTEMTIME *local)
{
    return ConvertFileTime(fileTime, onNtfs != 0, 0, local);
}

bool IsShownTimeValid(uint64_t fileTime, int onNtfs)
{
    if (fileTime >= SAFE_MARGIN && fileTime <= LAST_VALID_FILE_TIME - SAFE_MARGIN) return true;
    SYSTEMTIME local;
    return ShownLocalTime(fileTime, onNtfs, &local);
}
