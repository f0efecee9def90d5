// The date stamp of column 2 of the VESK array: one file time as ISO 8601 text or in
// the user's locale, in UTC, in true local time or in the "dumb" local time of DIR.
#include "commands/date_stamp.h"

#include "platform/platform.h"
#include "plugin/host_api.h"
#include "plugin/result_codes.h"
#include "ranges/local_time.h"

namespace {

/// Text of a stamp whose time cannot be converted or formatted (ConvertFileTime refuses
/// it, or the locale cannot write it). It stands alone: no
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

}  // namespace

int FormatDateStamp(wchar_t *out, const wchar_t *separator, int dateOnly, uint64_t fileTime,
                    int trueLocal, int utc, int iso)
{
    if (out == nullptr || separator == nullptr) return RESULT_MISSING_ARGUMENT;

    wchar_t timeText[TEXT_BUFFER_LEN];
    timeText[0] = L'\0';
    SYSTEMTIME st = {};
    out[0] = L'\0';

    if (!ConvertFileTime(fileTime, trueLocal, utc, &st)) {
        AppendBounded(out, InvalidTimeText);
        return RESULT_OK;
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
            return RESULT_OK;
        }
        out[TEXT_BUFFER_LEN - 1] = L'\0';
        if (!dateOnly) {
            if (GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &st, nullptr, timeText,
                               TEXT_BUFFER_LEN) == 0) {
                out[0] = L'\0';
                AppendBounded(out, InvalidTimeText);
                return RESULT_OK;
            }
            timeText[TEXT_BUFFER_LEN - 1] = L'\0';
            AppendBounded(out, separator);
            AppendBounded(out, timeText);
        }
    }

    if (utc) AppendBounded(out, L" UTC");
    return RESULT_OK;
}
