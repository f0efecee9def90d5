// Windows side of the shell's operating-system layer.
#if defined(_WIN32)

#include "os.h"

#ifndef WIN32_LEAN_AND_MEAN
#  define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

void *OsStdHandle(int stream)
{
    return GetStdHandle(stream == 2 ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
}

int OsWrite(void *handle, const wchar_t *text, size_t len)
{
    if (!handle || handle == INVALID_HANDLE_VALUE || !text) return -1;
    DWORD mode;
    if (GetConsoleMode(handle, &mode)) {
        while (len) {
            DWORD chunk = len > 8192 ? 8192 : (DWORD)len, written = 0;
            if (!WriteConsoleW(handle, text, chunk, &written, NULL) || !written) return -1;
            text += written;
            len -= written;
        }
        return 0;
    }
    // Not a console: UTF-8 bytes, in pieces that never split a surrogate pair.
    char bytes[4 * 2048 + 8];
    while (len) {
        size_t chunk = len > 2048 ? 2048 : len;
        if (chunk < len && text[chunk - 1] >= 0xD800 && text[chunk - 1] <= 0xDBFF) --chunk;
        int n = WideCharToMultiByte(CP_UTF8, 0, text, (int)chunk, bytes, (int)sizeof bytes, NULL,
                                    NULL);
        if (n <= 0) return -1;
        DWORD written = 0;
        const char *p = bytes;
        while (n > 0) {
            if (!WriteFile(handle, p, (DWORD)n, &written, NULL) || !written) return -1;
            p += written;
            n -= (int)written;
        }
        text += chunk;
        len -= chunk;
    }
    return 0;
}

int OsIsConsole(void *handle)
{
    DWORD mode;
    return handle && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) ? 1 : 0;
}

#endif
