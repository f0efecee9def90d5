// The console and the few files the plug-in opens, as Win32 handles.
#include "posix_layer.h"

#include "text/native_text.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

using namespace vesk_posix;

namespace {

struct FileRecord {
    uint32_t Tag;
    int Fd;
};

// Standard handles are small numbers (descriptor plus one); records live on the heap,
// far above them.
bool IsFdHandle(HANDLE h) { return (uintptr_t)h > 0 && (uintptr_t)h <= 0x10000; }

FileRecord *AsFileRecord(HANDLE h)
{
    if (h == nullptr || h == INVALID_HANDLE_VALUE || IsFdHandle(h)) return nullptr;
    FileRecord *r = (FileRecord *)h;
    return r->Tag == FILE_TAG ? r : nullptr;
}

}  // namespace

HANDLE GetStdHandle(DWORD which)
{
    switch (which) {
    case STD_INPUT_HANDLE: return VESK_FD_HANDLE(0);
    case STD_OUTPUT_HANDLE: return VESK_FD_HANDLE(1);
    case STD_ERROR_HANDLE: return VESK_FD_HANDLE(2);
    default:
        SetError(ERROR_INVALID_HANDLE);
        return INVALID_HANDLE_VALUE;
    }
}

HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD, void *, DWORD disposition, DWORD flags,
                   HANDLE)
{
    if (name == nullptr || !*name) {
        SetError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    int mode = (access & GENERIC_WRITE) ? ((access & GENERIC_READ) ? O_RDWR : O_WRONLY) : O_RDONLY;
    int fd;
    if (_wcsicmp(name, L"CONOUT$") == 0) {
        // The console is the controlling terminal, whatever the standard handles are.
        fd = open("/dev/tty", mode | O_NOCTTY | O_CLOEXEC);
    } else {
        // Only existing files are opened: the plug-in creates nothing.
        if (disposition != OPEN_EXISTING) {
            SetError(ERROR_INVALID_PARAMETER);
            return INVALID_HANDLE_VALUE;
        }
        NativePath p;
        if (!MakeNativePath(name, &p)) {
            SetError(ERROR_NOT_ENOUGH_MEMORY);
            return INVALID_HANDLE_VALUE;
        }
        // Backup semantics are how Windows opens a directory, and the plug-in asks for
        // them only to list one or to tell what it is.
        if (flags & FILE_FLAG_BACKUP_SEMANTICS) {
            HANDLE directory = OpenDirectoryHandle(p.Text, (access & FILE_LIST_DIRECTORY) != 0);
            FreeNativePath(&p);
            return directory;
        }
        fd = OpenLongPath(p.Text, mode | O_NOCTTY | O_CLOEXEC);
        FreeNativePath(&p);
    }
    if (fd < 0) {
        SetError(ErrorFromErrno(errno));
        return INVALID_HANDLE_VALUE;
    }
    FileRecord *r = (FileRecord *)malloc(sizeof *r);
    if (r == nullptr) {
        close(fd);
        SetError(ERROR_NOT_ENOUGH_MEMORY);
        return INVALID_HANDLE_VALUE;
    }
    r->Tag = FILE_TAG;
    r->Fd = fd;
    return (HANDLE)r;
}

HANDLE CreateFileLong(const wchar_t *path, DWORD access, DWORD share, DWORD disposition,
                      DWORD flags)
{
    // The layer's CreateFileW takes paths of any length already.
    return CreateFileW(path, access, share, nullptr, disposition, flags, nullptr);
}

BOOL GetConsoleScreenBufferInfo(HANDLE console, CONSOLE_SCREEN_BUFFER_INFO *info)
{
    int fd;
    if (IsFdHandle(console)) {
        fd = VeskHandleFd(console);
    } else if (FileRecord *r = AsFileRecord(console)) {
        fd = r->Fd;
    } else {
        SetError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    struct winsize ws;
    if (info == nullptr || ioctl(fd, TIOCGWINSZ, &ws) != 0 || ws.ws_col == 0) {
        SetError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    SHORT cols = (SHORT)(ws.ws_col > 0x7FFF ? 0x7FFF : ws.ws_col);
    SHORT rows = (SHORT)(ws.ws_row > 0x7FFF ? 0x7FFF : ws.ws_row);
    memset(info, 0, sizeof *info);
    info->dwSize.X = cols;
    info->dwSize.Y = rows;
    info->wAttributes = 0x7;
    info->srWindow.Right = (SHORT)(cols - 1);
    info->srWindow.Bottom = (SHORT)(rows ? rows - 1 : 0);
    info->dwMaximumWindowSize = info->dwSize;
    return TRUE;
}

BOOL CloseHandle(HANDLE h)
{
    // The standard handles belong to the process; closing them is a no-op here.
    if (IsFdHandle(h)) return TRUE;
    if (CloseDirectoryHandle(h)) return TRUE;
    FileRecord *r = AsFileRecord(h);
    if (r == nullptr) {
        SetError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    close(r->Fd);
    r->Tag = 0;
    free(r);
    return TRUE;
}

void PutConsoleChar(wchar_t c)
{
    // -2: not tried yet; -1: there is no terminal. Kept open for the process's life,
    // as the spinner writes one character at a time.
    static int ttyFd = -2;
    if (ttyFd == -2) ttyFd = open("/dev/tty", O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (ttyFd < 0) return;
    wchar_t one[2] = {c, 0};
    char bytes[8];
    size_t n = WideToNative(one, bytes, sizeof bytes);
    if (n < sizeof bytes) {
        ssize_t w;
        do w = write(ttyFd, bytes, n);
        while (w < 0 && errno == EINTR);
    }
}
