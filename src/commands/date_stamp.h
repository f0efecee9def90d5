// The date stamp of a file time, as the table and the array show it.
#ifndef VESK_DATE_STAMP_H
#define VESK_DATE_STAMP_H

#include <stdint.h>
#include <wchar.h>

/// Characters of a size or stamp text buffer, terminator included.
enum { TEXT_BUFFER_LEN = 1024 };

/// Writes the stamp of fileTime (a Windows file time) into out (TEXT_BUFFER_LEN
/// characters). A stamp that would be longer (a separator of nearly TEXT_BUFFER_LEN
/// characters) is cut at TEXT_BUFFER_LEN - 1 characters. A time that cannot be converted
/// or formatted gives the text "(invalid time)" alone. RESULT_OK, or
/// RESULT_MISSING_ARGUMENT without touching anything when out or separator is null.
int FormatDateStamp(wchar_t *out, const wchar_t *separator, int dateOnly, uint64_t fileTime,
                    int trueLocal, int utc, int iso);

#endif
