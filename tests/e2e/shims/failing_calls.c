/* Makes chosen system calls fail for the end-to-end cases that need a failure no
 * file system gives on demand. Loaded with LD_PRELOAD by run.py for a case that has a
 * NAME.preload file; steered by its NAME.env:
 *   VESK_FAIL_OPEN=NAME  opening a path whose last component is NAME fails with EIO,
 *                        as a directory on a failing disk does
 *   VESK_FAIL_STATX=1    statx fails with ENOSYS, as in sandboxes that refuse it */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

static int Refused(const char *path)
{
    const char *name = getenv("VESK_FAIL_OPEN");
    if (name == NULL || name[0] == '\0' || path == NULL) return 0;
    size_t end = strlen(path);
    while (end > 1 && path[end - 1] == '/') --end;
    size_t start = end;
    while (start > 0 && path[start - 1] != '/') --start;
    return end - start == strlen(name) && memcmp(path + start, name, end - start) == 0;
}

static mode_t ModeOf(int flags, va_list ap)
{
    return (flags & (O_CREAT | O_TMPFILE)) ? va_arg(ap, mode_t) : 0;
}

#define FAILING_OPEN(function, ...)                                                     \
    {                                                                                   \
        va_list ap;                                                                     \
        va_start(ap, flags);                                                            \
        mode_t mode = ModeOf(flags, ap);                                                \
        va_end(ap);                                                                     \
        if (Refused(path)) {                                                            \
            errno = EIO;                                                                \
            return -1;                                                                  \
        }                                                                               \
        static int (*real)();                                                           \
        if (real == NULL) real = (int (*)())dlsym(RTLD_NEXT, function);                 \
        return real(__VA_ARGS__, mode);                                                 \
    }

int open(const char *path, int flags, ...) FAILING_OPEN("open", path, flags)
int open64(const char *path, int flags, ...) FAILING_OPEN("open64", path, flags)
int openat(int dir, const char *path, int flags, ...) FAILING_OPEN("openat", dir, path, flags)
int openat64(int dir, const char *path, int flags, ...) FAILING_OPEN("openat64", dir, path, flags)

int statx(int dir, const char *path, int flags, unsigned int mask, struct statx *out)
{
    if (getenv("VESK_FAIL_STATX") != NULL) {
        errno = ENOSYS;
        return -1;
    }
    static int (*real)(int, const char *, int, unsigned int, struct statx *);
    if (real == NULL) real = (int (*)(int, const char *, int, unsigned int, struct statx *))dlsym(RTLD_NEXT, "statx");
    return real(dir, path, flags, mask, out);
}
