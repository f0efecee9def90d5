// The message box and the other small calls of the Windows user interface.
#include "posix_layer.h"

#include "text/native_text.h"
#include "text/wide_format.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>

int MessageBoxW(HWND, LPCWSTR text, LPCWSTR caption, unsigned)
{
    // No windows here: the box is its caption, a blank line and its text on standard
    // output, with Windows line ends as Linux ones.
    const wchar_t *parts[2] = {caption != nullptr ? caption : L"Error",
                               text != nullptr ? text : L""};
    fflush(stdout);
    for (int i = 0; i < 2; ++i) {
        const wchar_t *p = parts[i];
        size_t need = WideToNative(p, nullptr, 0);
        char *bytes = (char *)malloc(need + 1);
        if (bytes == nullptr) break;
        WideToNative(p, bytes, need + 1);
        for (size_t k = 0; k < need; ++k) {
            if (bytes[k] == '\r' && bytes[k + 1] == '\n') continue;
            fputc(bytes[k], stdout);
        }
        free(bytes);
        fputs(i == 0 ? "\n\n" : "\n", stdout);
    }
    fflush(stdout);
    return 1;  // IDOK
}

HWND GetForegroundWindow(void) { return nullptr; }

int wsprintfW(LPWSTR out, LPCWSTR format, ...)
{
    if (out == nullptr) return 0;
    va_list args;
    va_start(args, format);
    int n = FormatWideV(out, 1024, format, args);
    va_end(args);
    return n < 1024 ? n : 1023;
}
