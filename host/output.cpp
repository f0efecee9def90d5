// The output services. Every call is written through at once (no buffering of our
// own), so standard output and standard error interleave exactly as they were called,
// and nothing is left behind when a plug-in writes to the console through another path.
#include "messages.h"
#include "os.h"
#include "text/wide_format.h"
#include "plugin/host_api.h"

#include <stdarg.h>
#include <stdlib.h>
#include <string.h>

namespace vsh {

namespace {

std::wstring *CapturedOut = nullptr;
std::wstring *CapturedErr = nullptr;

void WriteHandle(void *handle, const wchar_t *text, size_t len)
{
    if (CapturedOut && handle == OsStdHandle(1)) {
        CapturedOut->append(text, len);
        return;
    }
    if (CapturedErr && handle == OsStdHandle(2)) {
        CapturedErr->append(text, len);
        return;
    }
    OsWrite(handle, text, len);
}

// Formats and writes; a stack buffer covers nearly every call.
int WriteFormatted(void *handle, const wchar_t *format, va_list args)
{
    if (!format) return 0;
    wchar_t local[2048];
    const size_t localLen = sizeof local / sizeof local[0];
    va_list again;
    va_copy(again, args);
    int length = FormatWideV(local, localLen, format, args);
    if (length < 0) {
        va_end(again);
        return 0;
    }
    if ((size_t)length < localLen) {
        va_end(again);
        WriteHandle(handle, local, (size_t)length);
        return length;
    }
    wchar_t *big = (wchar_t *)malloc(((size_t)length + 1) * sizeof(wchar_t));
    if (!big) {
        va_end(again);
        WriteHandle(handle, local, localLen - 1);
        return (int)(localLen - 1);
    }
    FormatWideV(big, (size_t)length + 1, format, again);
    va_end(again);
    WriteHandle(handle, big, (size_t)length);
    free(big);
    return length;
}

}  // namespace

void CaptureOutput(std::wstring *out, std::wstring *err)
{
    CapturedOut = out;
    CapturedErr = err;
}

void WriteStream(int stream, const wchar_t *text, size_t len)
{
    WriteHandle(OsStdHandle(stream == 2 ? 2 : 1), text, len);
}

int ShellError(const wchar_t *format, ...)
{
    std::wstring line = L"vshell: ";
    wchar_t local[2048];
    va_list args;
    va_start(args, format);
    int length = FormatWideV(local, sizeof local / sizeof local[0], format, args);
    va_end(args);
    if (length > 0) line += local;
    WriteStream(2, line);
    return 1;
}

}  // namespace vsh

using vsh::OsStdHandle;

extern "C" {

HOST_SERVICE int HOST_CDECL Printf(const wchar_t *format, ...)
{
    va_list args;
    va_start(args, format);
    int n = vsh::WriteFormatted(OsStdHandle(1), format, args);
    va_end(args);
    return n;
}

HOST_SERVICE int HOST_CDECL Qprintf(void *handle, const wchar_t *format, ...)
{
    va_list args;
    va_start(args, format);
    int n = vsh::WriteFormatted(handle, format, args);
    va_end(args);
    return n;
}

// The caller sizes dest; as with the real service there is no bound to go by, so the
// whole output is written.
HOST_SERVICE int HOST_CDECL Sprintf(wchar_t *dest, const wchar_t *format, ...)
{
    if (!dest) return 0;
    if (!format) {
        dest[0] = L'\0';
        return 0;
    }
    va_list args;
    va_start(args, format);
    int n = FormatWideV(dest, (size_t)-1 / sizeof(wchar_t), format, args);
    va_end(args);
    return n;
}

HOST_SERVICE int HOST_CALL QPuts(const wchar_t *text)
{
    if (!text) return 0;
    size_t len = wcslen(text);
    vsh::WriteStream(1, text, len);
    return (int)len;
}

HOST_SERVICE int HOST_CALL CrLf(void)
{
    vsh::WriteStream(1, L"\r\n", 2);
    return 0;
}

}  // extern "C"
