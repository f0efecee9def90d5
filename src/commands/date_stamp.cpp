// The date stamp of column 2 of the VESK array: one file time as ISO 8601 text or in
// the user's locale, in UTC, in true local time or in the "dumb" local time of DIR.
#include "commands/date_stamp.h"

#include "platform/platform.h"
#include "plugin/host_api.h"

namespace {

/// Text of a stamp whose time cannot be converted or formatted (a time before 1601 or
/// after 30828-09-14, in UTC or once made local). It stands alone: no
/// separator and no " UTC" follow it, so it can never be taken for a real date.
const wchar_t InvalidTimeText[] = L"(invalid time)";

/// Appends text to out (TEXT_BUFFER_LEN characters) as far as it fits; the stamp is cut
/// at TEXT_BUFFER_LEN - 1 characters rather than overrun.
void AppendBounded(wchar_t *out, const wchar_t *text)
{
    size_t used = wcslen(out);
    while (*text != L'\0' && used < (size_t)TEXT_BUFFER_LEN - 1) out[used++] = *text++;
    out[used] = L'\0';
}

bool ConvertSystemTime(uint64_t fileTime, int trueLocal, int utc, SYSTEMTIME *st);

/// Converts fileTime by the one path the flags choose. Returns false when a step fails
/// or the time is not one Windows converts (1601 to 30828-09-14).
bool ConvertFileTime(uint64_t fileTime, int trueLocal, int utc, SYSTEMTIME *st)
{
    // Linux file systems hold times before 1601 and past the last file time: every build
    // refuses what Windows would refuse, and a local time pushed past either end too.
    if (!IsValidFileTime(fileTime)) return false;
    if (!ConvertSystemTime(fileTime, trueLocal, utc, st)) return false;
    return st->wYear >= 1601 && st->wYear <= 30828;
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
    // wrap ourselves so that every system gives the same text.
    uint64_t localTime = ((uint64_t)local.dwHighDateTime << 32) | local.dwLowDateTime;
    int64_t offset = (int64_t)(localTime - fileTime);
    if ((offset < 0 && localTime > fileTime) || (offset > 0 && localTime < fileTime)) return false;
    return FileTimeToSystemTime(&local, st) != 0;
}

}  // namespace

int FormatDateStamp(wchar_t *out, const wchar_t *separator, int dateOnly, uint64_t fileTime,
                    int trueLocal, int utc, int iso)
{
    if (out == nullptr || separator == nullptr) return -1;

    wchar_t timeText[TEXT_BUFFER_LEN];
    timeText[0] = L'\0';
    SYSTEMTIME st = {};
    out[0] = L'\0';

    if (!ConvertFileTime(fileTime, trueLocal, utc, &st)) {
        AppendBounded(out, InvalidTimeText);
        return 0;
    }

    if (iso) {
        // The date alone is at most 16 characters even for odd values, so the host's
        // unbounded Sprintf is safe here; the separator and time go through bounded
        // appends because the separator may be up to 1023 characters.
        Sprintf(out, L"%04d-%02d-%02d", (int)st.wYear, (int)st.wMonth, (int)st.wDay);
        if (!dateOnly) {
            AppendBounded(out, separator);
            Sprintf(timeText, L"%02d:%02d:%02d", (int)st.wHour, (int)st.wMinute,
                    (int)st.wSecond);
            AppendBounded(out, timeText);
        }
    } else {
        if (GetDateFormatW(LOCALE_USER_DEFAULT, DATE_LONGDATE, &st, nullptr, out,
                           TEXT_BUFFER_LEN) == 0) {
            out[0] = L'\0';
            AppendBounded(out, InvalidTimeText);
            return 0;
        }
        out[TEXT_BUFFER_LEN - 1] = L'\0';
        if (!dateOnly) {
            if (GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &st, nullptr, timeText,
                               TEXT_BUFFER_LEN) == 0) {
                out[0] = L'\0';
                AppendBounded(out, InvalidTimeText);
                return 0;
            }
            timeText[TEXT_BUFFER_LEN - 1] = L'\0';
            AppendBounded(out, separator);
            AppendBounded(out, timeText);
        }
    }

    if (utc) AppendBounded(out, L" UTC");
    return 0;
}
