// Linux side of the shell's operating-system layer.
#if !defined(_WIN32)

#include "os.h"
#include "platform/native_text.h"

#include <errno.h>
#include <stdint.h>
#include <stdlib.h>
#include <unistd.h>

namespace {

int HandleFd(void *handle) { return (int)((intptr_t)handle - 1); }

int WriteAll(int fd, const char *bytes, size_t len)
{
    while (len) {
        ssize_t n = write(fd, bytes, len);
        if (n < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        bytes += n;
        len -= (size_t)n;
    }
    return 0;
}

}  // namespace

void *OsStdHandle(int stream) { return (void *)(intptr_t)(stream + 1); }

int OsWrite(void *handle, const wchar_t *text, size_t len)
{
    int fd = HandleFd(handle);
    if (fd < 0 || !text) return -1;
    // Encode in pieces through a fixed buffer; "\r\n" becomes "\n" on the way.
    char bytes[4096];
    size_t used = 0;
    int result = 0;
    for (size_t i = 0; i < len; ++i) {
        wchar_t c = text[i];
        if (c == L'\r' && i + 1 < len && text[i + 1] == L'\n') continue;
        if (used + 8 > sizeof bytes) {
            if (WriteAll(fd, bytes, used) != 0) result = -1;
            used = 0;
        }
        wchar_t one[2] = {c, L'\0'};
        if (c == L'\0') {
            bytes[used++] = '\0';
            continue;
        }
        used += WideToNative(one, bytes + used, sizeof bytes - used);
    }
    if (used && WriteAll(fd, bytes, used) != 0) result = -1;
    return result;
}

int OsIsConsole(void *handle)
{
    int fd = HandleFd(handle);
    return fd >= 0 && isatty(fd) ? 1 : 0;
}

#endif
