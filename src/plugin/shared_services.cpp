#include "plugin/shared_services.h"

#include <stdarg.h>
#include <wctype.h>

#include "platform/platform.h"
#include "text/wide_format.h"
#include "plugin/host_api.h"
#include "plugin/plugin.h"
#include "text/display_width.h"

void *StdErrHandle(void) { return GetStdHandle(STD_ERROR_HANDLE); }

int PrintErrorPrefix(void)
{
    void *err = StdErrHandle();
    Qprintf(err, L"%s plugin: ", PLUGIN_NAME);

    wchar_t buffer[HOST_BUFFER_LEN] = L"%_batch";
    // A failed expansion leaves the variable's name in the buffer; that is no batch file.
    if (ExpandVariables(buffer, 1) != 0 || buffer[0] == L'0' || buffer[0] == L'\0') return 0;
    // Each variable on its own: brackets around them in one expression would meet an
    // escape character or separator the user chose.
    FormatText(buffer, HOST_BUFFER_LEN, L"%s", L"%_batchname");
    if (ExpandVariables(buffer, 1) != 0) return 0;
    wchar_t line[HOST_BUFFER_LEN] = L"%_batchline";
    if (ExpandVariables(line, 1) != 0) return 0;
    // The batch file's name is plain text; it may well contain a '%'.
    Qprintf(err, L"%s [%s]  ", buffer, line);
    return 0;
}

namespace {

/// Formats a line into message (capacity characters) with every control code shown as
/// CONTROL_PLACEHOLDER, the line's own end kept: a name may hold any character, and one
/// that ends the line or steers the console must not act. A line cut to fit still ends.
void FormatMaskedLine(wchar_t *message, int capacity, const wchar_t *format, va_list args)
{
    int length = FormatWideV(message, (size_t)capacity, format, args);
    const bool cut = length >= capacity;
    int body = cut ? capacity - 1 : length;
    if (body >= 2 && message[body - 2] == L'\r' && message[body - 1] == L'\n') body -= 2;
    // A placeholder may stand for a surrogate pair: the line can only get shorter.
    int kept = (int)MaskControls(message, (size_t)body);
    if (cut) {
        if (kept > capacity - 3) kept = capacity - 3;
        message[kept] = L'\r';
        message[kept + 1] = L'\n';
        message[kept + 2] = L'\0';
    } else {
        wmemmove(message + kept, message + body, (size_t)(length - body) + 1);
    }
}

}  // namespace

int ReportError(const wchar_t *format, ...)
{
    // A message may quote a whole argument (up to MAX_ARG_LEN) beside its own words.
    static wchar_t message[2 * HOST_BUFFER_LEN];
    PrintErrorPrefix();
    if (format == nullptr) return 1;
    va_list args;
    va_start(args, format);
    FormatMaskedLine(message, (int)(sizeof message / sizeof message[0]), format, args);
    va_end(args);
    Qprintf(StdErrHandle(), L"%s", message);
    return 1;
}

void PrintTrace(const wchar_t *format, ...)
{
    // A line quotes up to two paths of the longest the walk builds.
    static wchar_t line[2 * PATH_BUFFER_LEN + 64];
    if (format == nullptr) return;
    va_list args;
    va_start(args, format);
    FormatMaskedLine(line, (int)(sizeof line / sizeof line[0]), format, args);
    va_end(args);
    Printf(L"%s", line);
}

namespace {

int DigitValue(wchar_t c, int base)
{
    int v;
    if (c >= L'0' && c <= L'9')
        v = c - L'0';
    else if (c >= L'a' && c <= L'f')
        v = c - L'a' + 10;
    else if (c >= L'A' && c <= L'F')
        v = c - L'A' + 10;
    else
        return -1;
    return v < base ? v : -1;
}

} // namespace

int ParseNumber(const wchar_t *text, uint32_t *result)
{
    if (text == nullptr || result == nullptr) return -1;
    const wchar_t *p = text;
    int base = 10;
    if (p[0] == L'0' && (p[1] == L'x' || p[1] == L'X') && DigitValue(p[2], 16) >= 0) {
        base = 16;
        p += 2;
    } else if (DigitValue(p[0], 10) < 0) {
        return -1;
    }
    // Our own digit loop rather than wcstoul: its unsigned long is 64 bits on Linux,
    // and in base 16 it would take a second "0x" ("0x0x5") as part of the number.
    uint64_t value = 0;
    for (; *p != L'\0'; ++p) {
        int digit = DigitValue(*p, base);
        if (digit < 0) return -1;
        value = value * (uint64_t)base + (uint64_t)digit;
        if (value > 0xFFFFFFFFull) return -1;
    }
    *result = (uint32_t)value;
    return 0;
}

bool IsValueSeparator(wchar_t c) { return c == L':' || c == L'='; }

