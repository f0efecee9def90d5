/* Makes chosen system calls fail for the end-to-end cases that need a failure no
 * file system gives on demand. Loaded with LD_PRELOAD by run.py for a case that has a
 * NAME.preload file: into the native shell, and for the Windows builds into every Linux
 * process of Wine (its loader, its wineserver, the program), so that Wine's own calls
 * fail. Steered by the case's NAME.env:
 *   VESK_FAIL_OPEN=NAME  opening a path whose last component is NAME fails with EIO,
 *                        as a directory on a failing disk does
 *   VESK_FAIL_STATX=1    statx fails with ENOSYS, as in sandboxes that refuse it
 *   VESK_FAIL_LIST=NAME:K:ERR;...
 *                        reading the names of directory NAME fails with errno ERR (EIO,
 *                        ESTALE, EACCES, ENOENT or a number) once K of them, "." and ".."
 *                        not counted, have been read: through getdents64 (the Linux
 *                        layer) or readdir (Wine)
 *   VESK_FAIL_STAT=NAME:ERR;...
 *                        every status call of a path whose last component is NAME fails
 *                        with errno ERR (stat, lstat, fstatat, statx, and the time64
 *                        forms 32-bit Wine calls)
 * Only paths of those names are touched, so a name that only the scan meets leaves
 * Wine's other processes alone. */
#define _GNU_SOURCE
#include <dirent.h>
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

/* Declares real, the function of that name the shim stands in front of. */
#define REAL(result, arguments, name) \
    static result(*real) arguments;   \
    if (real == NULL) real = (result(*) arguments)dlsym(RTLD_NEXT, name)

static int IsLastComponent(const char *path, const char *name)
{
    if (path == NULL || name == NULL || name[0] == '\0') return 0;
    size_t end = strlen(path);
    while (end > 1 && path[end - 1] == '/') --end;
    size_t start = end;
    while (start > 0 && path[start - 1] != '/') --start;
    return end - start == strlen(name) && memcmp(path + start, name, end - start) == 0;
}

/* --- rules ------------------------------------------------------------------------ */

enum { MAX_RULES = 16, MAX_STREAMS = 64 };

struct Rule {
    char Name[64];
    int Listing;  /* a VESK_FAIL_LIST rule, else VESK_FAIL_STAT */
    long After;   /* names read before the failure */
    int Error;
};

static struct Rule Rules[MAX_RULES];
static int RuleCount, ListRules;
static pthread_once_t RulesRead = PTHREAD_ONCE_INIT;

static void ReadRulesOf(const char *variable, int listing)
{
    static const struct { const char *Name; int Value; } known[] = {
        {"EIO", EIO}, {"ESTALE", ESTALE}, {"EACCES", EACCES}, {"ENOENT", ENOENT}};
    const char *text = getenv(variable);
    while (text != NULL && *text != '\0' && RuleCount < MAX_RULES) {
        struct Rule *rule = &Rules[RuleCount];
        char error[16] = "";
        int read = listing ? sscanf(text, "%63[^:;]:%ld:%15[^;]", rule->Name, &rule->After, error)
                           : sscanf(text, "%63[^:;]:%15[^;]", rule->Name, error);
        if (read == (listing ? 3 : 2)) {
            rule->Listing = listing;
            rule->Error = atoi(error) > 0 ? atoi(error) : EIO;
            for (size_t i = 0; i < sizeof known / sizeof known[0]; ++i)
                if (strcmp(error, known[i].Name) == 0) rule->Error = known[i].Value;
            ++RuleCount;
            ListRules += listing;
        }
        text = strchr(text, ';');
        if (text != NULL) ++text;
    }
}

static void ReadRules(void)
{
    ReadRulesOf("VESK_FAIL_LIST", 1);
    ReadRulesOf("VESK_FAIL_STAT", 0);
}

static const struct Rule *RuleFor(const char *path, int listing)
{
    pthread_once(&RulesRead, ReadRules);
    for (int i = 0; i < RuleCount; ++i)
        if (Rules[i].Listing == listing && IsLastComponent(path, Rules[i].Name)) return &Rules[i];
    return NULL;
}

/* --- listings ---------------------------------------------------------------------- */

/* How many names each open listing has read: a stream is a directory descriptor
 * (getdents64) or a DIR (readdir), claimed at its first read and given back at its
 * close, so that a number used again starts again. Streams of other directories are
 * kept too (without a rule), so that their reads ask /proc only once. */
struct Stream {
    const void *Key;
    const struct Rule *Rule;
    long Read;
};

static struct Stream Streams[MAX_STREAMS];
static pthread_mutex_t StreamLock = PTHREAD_MUTEX_INITIALIZER;

/* The stream of key (the directory open as fd) when a rule makes it fail, else null. */
static struct Stream *FailingStream(const void *key, int fd)
{
    pthread_once(&RulesRead, ReadRules);
    if (ListRules == 0) return NULL;
    struct Stream *found = NULL, *unused = NULL;
    pthread_mutex_lock(&StreamLock);
    for (int i = 0; i < MAX_STREAMS && found == NULL; ++i) {
        if (Streams[i].Key == key) found = &Streams[i];
        else if (Streams[i].Key == NULL && unused == NULL) unused = &Streams[i];
    }
    if (found == NULL && unused != NULL) {
        char link[64], path[4096];
        snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
        ssize_t len = readlink(link, path, sizeof path - 1);
        path[len > 0 ? len : 0] = '\0';
        *unused = (struct Stream){key, len > 0 ? RuleFor(path, 1) : NULL, 0};
        found = unused;
    }
    pthread_mutex_unlock(&StreamLock);
    return found != NULL && found->Rule != NULL ? found : NULL;
}

static void ForgetStream(const void *key)
{
    if (ListRules == 0) return;
    pthread_mutex_lock(&StreamLock);
    for (int i = 0; i < MAX_STREAMS; ++i)
        if (Streams[i].Key == key) Streams[i].Key = NULL;
    pthread_mutex_unlock(&StreamLock);
}

static int IsDots(const char *name)
{
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

static int FailsNow(const struct Stream *stream)
{
    if (stream == NULL || stream->Read < stream->Rule->After) return 0;
    errno = stream->Rule->Error;
    return 1;
}

#define FD_KEY(fd) ((const void *)(intptr_t)((fd) + 1))

ssize_t getdents64(int fd, void *buffer, size_t size)
{
    REAL(ssize_t, (int, void *, size_t), "getdents64");
    struct Stream *stream = FailingStream(FD_KEY(fd), fd);
    if (FailsNow(stream)) return -1;
    ssize_t filled = real(fd, buffer, size);
    if (stream == NULL || filled <= 0) return filled;
    /* Keeps the records up to the last name allowed; the next call fails. A record is
     * ino (8 bytes), off (8), reclen (2), type (1) and the name on every architecture. */
    ssize_t kept = 0;
    while (kept < filled && stream->Read < stream->Rule->After) {
        unsigned short reclen;
        memcpy(&reclen, (char *)buffer + kept + 16, sizeof reclen);
        if (!IsDots((char *)buffer + kept + 19)) ++stream->Read;
        kept += reclen;
    }
    return kept;
}

/* Wine lists with readdir on 64-bit and readdir64 on 32-bit. */
#define FAILING_READDIR(type, name)                                                     \
    type *name(DIR *dir)                                                               \
    {                                                                                  \
        REAL(type *, (DIR *), #name);                                                  \
        struct Stream *stream = FailingStream(dir, dirfd(dir));                        \
        if (FailsNow(stream)) return NULL;                                             \
        type *entry = real(dir);                                                       \
        if (stream != NULL && entry != NULL && !IsDots(entry->d_name)) ++stream->Read; \
        return entry;                                                                  \
    }

FAILING_READDIR(struct dirent, readdir)
FAILING_READDIR(struct dirent64, readdir64)

int closedir(DIR *dir)
{
    REAL(int, (DIR *), "closedir");
    ForgetStream(dir);
    return real(dir);
}

int close(int fd)
{
    REAL(int, (int), "close");
    ForgetStream(FD_KEY(fd));
    return real(fd);
}

/* --- status calls ------------------------------------------------------------------- */

/* The buffers pass through untouched, so every form is declared with void *, the
 * 32-bit time64 ones too, which no header of this build declares. */
#define FAIL_BY_RULE(path)                                   \
    const struct Rule *rule = RuleFor(path, 0);              \
    if (rule != NULL) {                                      \
        errno = rule->Error;                                 \
        return -1;                                           \
    }

#define FAILING_STAT(name)                          \
    int name(const char *path, void *out)           \
    {                                               \
        REAL(int, (const char *, void *), #name);   \
        FAIL_BY_RULE(path)                          \
        return real(path, out);                     \
    }

#define FAILING_STATAT(name)                                  \
    int name(int dir, const char *path, void *out, int flags) \
    {                                                         \
        REAL(int, (int, const char *, void *, int), #name);   \
        FAIL_BY_RULE(path)                                    \
        return real(dir, path, out, flags);                   \
    }

#if defined(__LP64__)
FAILING_STAT(stat)
FAILING_STAT(lstat)
FAILING_STATAT(fstatat)
#else
FAILING_STAT(__stat64_time64)
FAILING_STAT(__lstat64_time64)
FAILING_STATAT(__fstatat64_time64)
#endif

int statx(int dir, const char *path, int flags, unsigned int mask, void *out)
{
    REAL(int, (int, const char *, int, unsigned int, void *), "statx");
    if (getenv("VESK_FAIL_STATX") != NULL) {
        errno = ENOSYS;
        return -1;
    }
    FAIL_BY_RULE(path)
    return real(dir, path, flags, mask, out);
}

/* --- opens -------------------------------------------------------------------------- */

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
        if (IsLastComponent(path, getenv("VESK_FAIL_OPEN"))) {                          \
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
