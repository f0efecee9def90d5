// The error the Linux layer reports through GetLastError, and the way every call of
// the layer turns a wide path into bytes and opens it, whatever its length.
#include "posix_layer.h"

#include "text/native_text.h"

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

}  // namespace

namespace vesk_posix {

void SetError(DWORD code) { LastError = code; }

DWORD ErrorFromErrno(int e)
{
    switch (e) {
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM: return ERROR_ACCESS_DENIED;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case EMFILE:
    case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case EIO: return ERROR_IO_DEVICE;
    default: return ERROR_INVALID_PARAMETER;
    }
}


bool MakeNativePath(const wchar_t *path, NativePath *out)
{
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

void SetLastError(DWORD code) { LastError = code; }
