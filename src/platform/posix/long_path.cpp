// The error the Linux layer reports through GetLastError, and the way every call of
// the layer turns a wide path into bytes and opens it, whatever its length.
#include "posix_layer.h"

#include "text/native_text.h"
#include "text/wide_format.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

namespace {

DWORD LastError = 0;

/// Each errno the layer meets and the Windows error nearest to it. The first row of a
/// code gives that code's text (DescribeSystemError).
const struct {
    int Errno;
    DWORD Code;
} ERRNO_CODES[] = {
    {ENOENT, ERROR_FILE_NOT_FOUND},
    {ENOTDIR, ERROR_PATH_NOT_FOUND},
    {EACCES, ERROR_ACCESS_DENIED},
    {EPERM, ERROR_ACCESS_DENIED},
    {ENOMEM, ERROR_NOT_ENOUGH_MEMORY},
    {EMFILE, ERROR_TOO_MANY_OPEN_FILES},
    {ENFILE, ERROR_TOO_MANY_OPEN_FILES},
    {EIO, ERROR_IO_DEVICE},
    {ENAMETOOLONG, ERROR_FILENAME_EXCED_RANGE},
    {ELOOP, ERROR_CANT_RESOLVE_FILENAME},
    {ESTALE, ERROR_FILE_INVALID},
    {ENOTCONN, ERROR_NETNAME_DELETED},
    {ECONNABORTED, ERROR_NETNAME_DELETED},
    {ECONNRESET, ERROR_NETNAME_DELETED},
    {EHOSTDOWN, ERROR_UNEXP_NET_ERR},
    {EHOSTUNREACH, ERROR_UNEXP_NET_ERR},
    {ENETDOWN, ERROR_UNEXP_NET_ERR},
    {ENETUNREACH, ERROR_UNEXP_NET_ERR},
    {EREMOTEIO, ERROR_UNEXP_NET_ERR},
    {ENOLINK, ERROR_UNEXP_NET_ERR},
    {ETIMEDOUT, ERROR_SEM_TIMEOUT},
    {EUCLEAN, ERROR_FILE_CORRUPT},
    {EBADMSG, ERROR_FILE_CORRUPT},
    {EOVERFLOW, ERROR_ARITHMETIC_OVERFLOW},
    {ENODEV, ERROR_DEV_NOT_EXIST},
    {ENXIO, ERROR_DEV_NOT_EXIST},
    {ENOMEDIUM, ERROR_NOT_READY},
    {EBADF, ERROR_INVALID_HANDLE},
    {EINVAL, ERROR_INVALID_PARAMETER},
    {EBUSY, ERROR_BUSY},
    {EINTR, ERROR_OPERATION_ABORTED},
    {ENOSYS, ERROR_NOT_SUPPORTED},
    {EOPNOTSUPP, ERROR_NOT_SUPPORTED},
    {ENOSPC, ERROR_DISK_FULL},
    {EROFS, ERROR_WRITE_PROTECT},
    {EFBIG, ERROR_FILE_TOO_LARGE},
    {EXDEV, ERROR_NOT_SAME_DEVICE},
    {ENOKEY, ERROR_ENCRYPTION_FAILED},
    {EKEYEXPIRED, ERROR_ENCRYPTION_FAILED},
};

/// Codes of errnos no row names: the bit Windows leaves to applications, so no system
/// code is ever taken for one.
const DWORD UNMAPPED_ERRNO = 0x20000000u;

}  // namespace

namespace vesk_posix {

void SetError(DWORD code) { LastError = code; }

DWORD ErrorFromErrno(int e)
{
    for (const auto &row : ERRNO_CODES)
        if (row.Errno == e) return row.Code;
    // Never a code that means "not there": a failure nobody foresaw is reported.
    return UNMAPPED_ERRNO | ((DWORD)e & 0xFFFFu);
}

bool MakeNativePath(const wchar_t *path, NativePath *out)
{
    // Most paths are ASCII, narrowed character by character; any other is encoded whole.
    size_t len = 0;
    while (len < sizeof out->Inline && (uint32_t)path[len] - 1u < 0x7Fu) {
        out->Inline[len] = (char)path[len];
        ++len;
    }
    if (len < sizeof out->Inline && path[len] == 0) {
        out->Inline[len] = 0;
        out->Text = out->Inline;
        return true;
    }
    size_t need = WideToNative(path, out->Inline, sizeof out->Inline);
    if (need < sizeof out->Inline) {
        out->Text = out->Inline;
        return true;
    }
    out->Text = (char *)malloc(need + 1);
    if (out->Text == nullptr) return false;
    WideToNative(path, out->Text, need + 1);
    return true;
}

void FreeNativePath(NativePath *p)
{
    if (p->Text != nullptr && p->Text != p->Inline) free(p->Text);
    p->Text = nullptr;
}

// open() for paths longer than the kernel takes in one call (PATH_MAX bytes): the walk's
// paths run to PATH_BUFFER_LEN - 1 characters, as Windows allows in the \\?\ form. The
// leading part is then opened a run of whole components at a time, each relative to the
// one before.
int OpenLongPath(const char *path, int flags)
{
    if (strlen(path) < PATH_MAX) return open(path, flags);
    int dirfd = AT_FDCWD;
    const char *rest = path;
    if (*rest == '/') {
        dirfd = open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (dirfd < 0) return -1;
        while (*rest == '/') ++rest;
    }
    char step[PATH_MAX];
    int fd = -1;
    for (;;) {
        size_t left = strlen(rest);
        if (left < PATH_MAX) {
            fd = openat(dirfd, left ? rest : ".", flags);
            break;
        }
        const char *cut = rest + PATH_MAX - 1;
        while (cut > rest && *cut != '/') --cut;
        if (cut == rest) {  // one component longer than any name can be
            errno = ENAMETOOLONG;
            break;
        }
        memcpy(step, rest, (size_t)(cut - rest));
        step[cut - rest] = 0;
        int next = openat(dirfd, step, O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (next < 0) break;
        if (dirfd != AT_FDCWD) close(dirfd);
        dirfd = next;
        rest = cut;
        while (*rest == '/') ++rest;
    }
    int saved = errno;
    if (dirfd != AT_FDCWD) close(dirfd);
    errno = saved;
    return fd;
}

/// stat() and statfs() (when fs is not null) of a path of any length; 0 or -1 with errno.
int StatLongPath(const char *path, struct stat *st, struct statfs *fs)
{
    CountStatusCall();
    if (strlen(path) < PATH_MAX) {
        if (fs != nullptr && statfs(path, fs) != 0) return -1;
        return stat(path, st);
    }
    int fd = OpenLongPath(path, O_PATH | O_CLOEXEC);
    if (fd < 0) return -1;
    int result = (fs != nullptr && fstatfs(fd, fs) != 0) ? -1 : fstat(fd, st);
    int saved = errno;
    close(fd);
    errno = saved;
    return result;
}

}  // namespace vesk_posix

DWORD GetLastError(void) { return LastError; }

void DescribeSystemError(DWORD error, wchar_t *out, size_t capacity)
{
    if (out == nullptr || capacity == 0) return;
    int e = 0;
    if ((error & ~0xFFFFu) == UNMAPPED_ERRNO) e = (int)(error & 0xFFFFu);
    for (size_t i = 0; e == 0 && i < sizeof ERRNO_CODES / sizeof ERRNO_CODES[0]; ++i)
        if (ERRNO_CODES[i].Code == error) e = ERRNO_CODES[i].Errno;
    if (e == 0) {
        FormatWide(out, capacity, L"error %lu", (unsigned long)error);
        return;
    }
    const char *text = strerror(e);
    size_t n = NativeToWide(text, strlen(text), out, capacity);
    out[n < capacity ? n : capacity - 1] = L'\0';
}

void SetLastError(DWORD code) { LastError = code; }
