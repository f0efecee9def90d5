// Linux stand-ins for the Win32 calls the plug-in makes. They present a Linux tree the
// way Wine presents it to a Windows program (attributes, times, sizes, names), so that
// the native build and the Windows builds under Wine agree on what they find.
#include "platform.h"

#include "native_text.h"
#include "wide_format.h"
#include "text/case_fold.h"

#include <algorithm>
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <langinfo.h>
#include <limits.h>
#include <locale.h>
#include <pwd.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/types.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>
#include <wctype.h>

namespace {

// Windows error codes the layer reports through GetLastError.
enum : DWORD {
    kErrorFileNotFound = 2,
    kErrorPathNotFound = 3,
    kErrorAccessDenied = 5,
    kErrorInvalidHandle = 6,
    kErrorTooManyOpenFiles = 4,
    kErrorIoDevice = 1117,
    kErrorNotEnoughMemory = 8,
    kErrorNoMoreFiles = 18,
    kErrorInvalidParameter = 87,
    kErrorInsufficientBuffer = ERROR_INSUFFICIENT_BUFFER,
    kErrorInvalidFlags = 1004,
    kErrorNoneMapped = 1332,
};

DWORD g_lastError = 0;

void SetError(DWORD code) { g_lastError = code; }

DWORD ErrorFromErrno(int e)
{
    switch (e) {
    case ENOENT: return kErrorFileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP: return kErrorPathNotFound;
    case EACCES:
    case EPERM: return kErrorAccessDenied;
    case ENOMEM: return kErrorNotEnoughMemory;
    case EMFILE:
    case ENFILE: return kErrorTooManyOpenFiles;
    case EIO: return kErrorIoDevice;
    default: return kErrorInvalidParameter;
    }
}

// Tags at the start of every heap record the layer hands out as a HANDLE or as a
// security block, so that a record of the wrong kind is refused rather than misread.
enum : uint32_t {
    kFindTag = 0x444E4946u,     // "FIND"
    kFileTag = 0x454C4946u,     // "FILE"
    kSecurityTag = 0x31445356u, // "VSD1"
    kSidTag = 0x44495356u,      // "VSID"
};

// A wide path as the bytes Linux wants. Short paths stay on the stack; longer ones
// (the plug-in's buffers hold up to 16384 characters) go to the heap.
struct NativePath {
    char Inline[1024];
    char *Text;  // Inline or heap; null when out of memory
};

bool MakeNativePath(const wchar_t *path, NativePath *out)
{
    size_t need = WideToNative(path, out->Inline, sizeof out->Inline);
    if (need < sizeof out->Inline) {
        out->Text = out->Inline;
        return true;
    }
    out->Text = (char *)malloc(need + 1);
    if (!out->Text) return false;
    WideToNative(path, out->Text, need + 1);
    return true;
}

void FreeNativePath(NativePath *p)
{
    if (p->Text && p->Text != p->Inline) free(p->Text);
    p->Text = nullptr;
}

// open() for paths longer than the kernel takes in one call (PATH_MAX bytes): the walk's
// paths run to 16383 characters, as Windows allows in the \\?\ form. The leading part
// is then opened a run of whole components at a time, each relative to the one before.
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
        if (fs && statfs(path, fs) != 0) return -1;
        return stat(path, st);
    }
    int fd = OpenLongPath(path, O_PATH | O_CLOEXEC);
    if (fd < 0) return -1;
    int result = (fs && fstatfs(fd, fs) != 0) ? -1 : fstat(fd, st);
    int saved = errno;
    close(fd);
    errno = saved;
    return result;
}

// ---- Case folding -------------------------------------------------------------------

// Names are compared by their upper-case forms as Windows file systems compare them:
// the fold is the shared simple mapping of the Basic Multilingual Plane, never the
// user's locale (under "C" glibc folds ASCII only).
// Locales the layer keeps for the life of the library. The shell unloads the plug-in
// before it exits, so they are released then rather than reported as leaks.
struct CachedLocales {
    locale_t User = (locale_t)0;
    ~CachedLocales()
    {
        if (User) freelocale(User);
    }
};
CachedLocales Locales;

inline uint32_t FoldChar(uint32_t c) { return UpperCaseOf(c); }

// Decodes the character at s (a NUL-terminated byte name) as NativeToWide does: a
// byte that does not start valid UTF-8 stands for itself as U+DC00 + byte. Returns the
// code point and moves s past it.
inline uint32_t DecodeNameChar(const unsigned char *&s)
{
    unsigned char b = s[0];
    if (b < 0x80) {
        ++s;
        return b;
    }
    size_t n;
    uint32_t v, min;
    if ((b & 0xE0) == 0xC0) n = 2, v = b & 0x1F, min = 0x80;
    else if ((b & 0xF0) == 0xE0) n = 3, v = b & 0x0F, min = 0x800;
    else if ((b & 0xF8) == 0xF0) n = 4, v = b & 0x07, min = 0x10000;
    else n = 0, v = 0, min = 0;
    bool ok = n != 0;
    for (size_t i = 1; ok && i < n; ++i) {
        // The terminator is no continuation byte, so this never reads past the name.
        if ((s[i] & 0xC0) != 0x80) ok = false;
        else v = (v << 6) | (s[i] & 0x3F);
    }
    if (ok && (v < min || v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF))) ok = false;
    if (!ok) {
        ++s;
        return 0xDC00u + b;
    }
    s += n;
    return v;
}

// Order of two byte names: by their upper-case forms, and for names equal but for
// case, by their exact characters, so that the order never depends on the disk.
int CompareNames(const char *a, const char *b)
{
    const unsigned char *p = (const unsigned char *)a, *q = (const unsigned char *)b;
    int tie = 0;
    for (;;) {
        uint32_t ca, cb;
        if (*p < 0x80 && *q < 0x80) {
            ca = *p++;
            cb = *q++;
        } else {
            ca = DecodeNameChar(p);
            cb = DecodeNameChar(q);
        }
        if (ca != cb) {
            uint32_t ua = FoldChar(ca), ub = FoldChar(cb);
            if (ua != ub) return ua < ub ? -1 : 1;
            if (!tie) tie = ca < cb ? -1 : 1;
        } else if (ca == 0) {
            return tie;
        }
    }
}

// Windows wildcard match of a wide name against a pattern of '*' and '?', ignoring
// case. Iterative with one back-track point, so no pattern can make it slow.
bool MatchWild(const wchar_t *pattern, const wchar_t *name)
{
    const wchar_t *starP = nullptr, *starN = nullptr;
    while (*name) {
        if (*pattern == L'*') {
            starP = ++pattern;
            starN = name;
        } else if (*pattern == L'?' ||
                   (*pattern && FoldChar((uint32_t)*pattern) == FoldChar((uint32_t)*name))) {
            ++pattern;
            ++name;
        } else if (starP) {
            pattern = starP;
            name = ++starN;
        } else {
            return false;
        }
    }
    while (*pattern == L'*') ++pattern;
    return *pattern == 0;
}

// ---- Times --------------------------------------------------------------------------

const int64_t kSecondsTo1970 = 11644473600LL;  // from 1601-01-01 to 1970-01-01
const uint64_t kTicksPerSecond = 10000000ULL;
const uint64_t kTicksPerDay = 864000000000ULL;
const uint64_t kMaxFileTime = 0x7FFFFFFFFFFFFFFFULL;

inline uint64_t FileTimeValue(const FILETIME *ft)
{
    return ((uint64_t)ft->dwHighDateTime << 32) | ft->dwLowDateTime;
}

inline FILETIME MakeFileTime(uint64_t v)
{
    FILETIME ft;
    ft.dwLowDateTime = (DWORD)v;
    ft.dwHighDateTime = (DWORD)(v >> 32);
    return ft;
}

// A Unix time with nanoseconds as a file time. Never clamped into a real date: a time
// before 1601 becomes the tick count's two's complement, as Wine makes it (a value with
// the top bit set, which no conversion accepts), and one past what 64 bits of ticks hold
// the largest tick count, itself past the year 30827. Every step is checked before it
// is taken, since the seconds may be anything a file system stores.
FILETIME UnixToFileTime(int64_t sec, int64_t nsec)
{
    if (nsec < 0 || nsec >= 1000000000) nsec = 0;
    int64_t whole, ticks;
    int64_t fraction = nsec / 100;
    bool over = __builtin_add_overflow(sec, kSecondsTo1970, &whole);
    // Below 1601 the fraction is borrowed from the next second up, so that a tick count
    // that just fits is not lost to an intermediate product that does not.
    if (!over && whole < 0 && fraction > 0) {
        whole += 1;
        fraction -= (int64_t)kTicksPerSecond;
    }
    over = over || __builtin_mul_overflow(whole, (int64_t)kTicksPerSecond, &ticks) ||
           __builtin_add_overflow(ticks, fraction, &ticks);
    if (over) return MakeFileTime(sec < 0 ? kMaxFileTime + 1 : kMaxFileTime);
    return MakeFileTime((uint64_t)ticks);
}

// Days from 1970-01-01 of a proleptic Gregorian date, and back (Howard Hinnant's
// algorithms, valid far beyond the years a file time can hold).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = (unsigned)(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + (int64_t)doe - 719468;
}

void CivilFromDays(int64_t z, int64_t *y, unsigned *m, unsigned *d)
{
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = (unsigned)(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    *d = doy - (153 * mp + 2) / 5 + 1;
    *m = mp < 10 ? mp + 3 : mp - 9;
    *y = (int64_t)yoe + era * 400 + (*m <= 2);
}

bool IsLeap(int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

unsigned DaysInMonth(int64_t y, unsigned m)
{
    static const unsigned kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

bool IsValidSystemTime(const SYSTEMTIME *st)
{
    return st->wYear >= 1601 && st->wYear <= 30827 && st->wMonth >= 1 && st->wMonth <= 12 &&
           st->wDay >= 1 && st->wDay <= DaysInMonth(st->wYear, st->wMonth) && st->wHour < 24 &&
           st->wMinute < 60 && st->wSecond < 60 && st->wMilliseconds < 1000;
}

bool TmToSystemTime(const struct tm *tm, unsigned milliseconds, SYSTEMTIME *st)
{
    long year = (long)tm->tm_year + 1900;
    if (year < 1601 || year > 30827) return false;
    st->wYear = (WORD)year;
    st->wMonth = (WORD)(tm->tm_mon + 1);
    st->wDayOfWeek = (WORD)tm->tm_wday;
    st->wDay = (WORD)tm->tm_mday;
    st->wHour = (WORD)tm->tm_hour;
    st->wMinute = (WORD)tm->tm_min;
    // A leap second shows as :59, as Windows has no :60.
    st->wSecond = (WORD)(tm->tm_sec > 59 ? 59 : tm->tm_sec);
    st->wMilliseconds = (WORD)milliseconds;
    return true;
}

void SystemTimeToTm(const SYSTEMTIME *st, struct tm *tm)
{
    memset(tm, 0, sizeof *tm);
    tm->tm_year = st->wYear - 1900;
    tm->tm_mon = st->wMonth - 1;
    tm->tm_mday = st->wDay;
    tm->tm_hour = st->wHour;
    tm->tm_min = st->wMinute;
    tm->tm_sec = st->wSecond;
    int64_t days = DaysFromCivil(st->wYear, st->wMonth, st->wDay);
    tm->tm_wday = (int)(((days % 7) + 7 + 4) % 7);  // 1970-01-01 was a Thursday
    tm->tm_yday = (int)(days - DaysFromCivil(st->wYear, 1, 1));
    tm->tm_isdst = -1;
}

// ---- Directory listing --------------------------------------------------------------
//
// How a Linux entry shows:
// - order: "." and ".." first, then by upper-case name (exact order on ties);
// - attributes: directory 0x10; a link to a directory 0x410 with the link's own times;
//   a link to anything else as its target; dangling links left out; everything that is
//   not a directory carries archive 0x20; a name beginning with "." (not "." and "..")
//   is hidden 0x2; no write permission bit at all is read-only 0x1;
// - size: st_size, 0 for directories;
// - times: last write st_mtim, last access st_atim, creation the birth time where the
//   file system keeps one, else the last write time.
//
// The names are read whole when the listing opens (one pool of bytes, one array of
// offsets), and every entry is stat'ed then too, through the open directory, which is
// closed before the listing is handed out: a walk keeps a listing open for every level
// it is below, and a descriptor per level would run out under the usual soft limit long
// before the deepest path the plug-in accepts.

// What a delivered entry needs besides its name, read while the directory was open.
struct EntryInfo {
    uint32_t Name;  // offset into Pool; kLeftOut when the entry is not delivered
    DWORD Attributes;
    uint64_t Size;
    FILETIME Write, Access, Creation;
};

const uint32_t kLeftOut = 0xFFFFFFFFu;

struct FindRecord {
    uint32_t Tag;
    char *Pool;         // the entries' byte names, each NUL-terminated
    size_t PoolUsed, PoolSize;
    uint32_t *Order;    // offsets into Pool, in listing order from index First
    size_t First, Count, OrderSize;
    EntryInfo *Info;    // Count entries, in listing order
    size_t Next;        // index in Info of the entry to deliver next
    DirectoryId Id;     // of the listed directory
    bool HasId;
};

bool g_haveStatx = true;

struct EntryStat {
    mode_t Mode;
    uint64_t Size;
    struct timespec Access, Write, Birth;
    bool HasBirth;
};

// One stat of name in dirfd: statx where the kernel has it (one call that also brings
// the birth time), else fstatat.
bool StatEntry(int dirfd, const char *name, bool follow, EntryStat *out)
{
    int flags = (follow ? 0 : AT_SYMLINK_NOFOLLOW) | (name[0] ? 0 : AT_EMPTY_PATH);
    if (g_haveStatx) {
        struct statx sx;
        if (statx(dirfd, name, flags, STATX_BASIC_STATS | STATX_BTIME, &sx) == 0) {
            out->Mode = sx.stx_mode;
            out->Size = sx.stx_size;
            out->Access = {(time_t)sx.stx_atime.tv_sec, (long)sx.stx_atime.tv_nsec};
            out->Write = {(time_t)sx.stx_mtime.tv_sec, (long)sx.stx_mtime.tv_nsec};
            out->HasBirth = (sx.stx_mask & STATX_BTIME) != 0;
            if (out->HasBirth) out->Birth = {(time_t)sx.stx_btime.tv_sec, (long)sx.stx_btime.tv_nsec};
            return true;
        }
        // Some sandboxes refuse statx outright (ENOSYS, or EPERM from a seccomp filter);
        // fstatat then serves for the rest of the process.
        if (errno != ENOSYS && errno != EPERM) return false;
        g_haveStatx = false;
    }
    struct stat st;
    if (fstatat(dirfd, name, &st, flags) != 0) return false;
    out->Mode = st.st_mode;
    out->Size = (uint64_t)st.st_size;
    out->Access = st.st_atim;
    out->Write = st.st_mtim;
    out->HasBirth = false;
    return true;
}

void FreeFindRecord(FindRecord *r)
{
    free(r->Pool);
    free(r->Order);
    free(r->Info);
    r->Tag = 0;
    free(r);
}

bool GrowOrder(FindRecord *r)
{
    size_t size = r->OrderSize ? r->OrderSize * 2 : 256;
    uint32_t *p = (uint32_t *)realloc(r->Order, size * sizeof *p);
    if (!p) return false;
    r->Order = p;
    r->OrderSize = size;
    return true;
}

// Appends a name to the pool; returns its offset, or -1 when out of memory.
int64_t AddName(FindRecord *r, const char *name, size_t len)
{
    if (r->PoolUsed + len + 1 > r->PoolSize) {
        size_t size = r->PoolSize ? r->PoolSize * 2 : 8192;
        while (size < r->PoolUsed + len + 1) size *= 2;
        // Offsets are 32-bit (the largest is kept for "left out"): a listing of more
        // than 4 GB of names is refused.
        if (size > kLeftOut) {
            if (r->PoolUsed + len + 1 > kLeftOut) return -1;
            size = kLeftOut;
        }
        char *p = (char *)realloc(r->Pool, size);
        if (!p) return -1;
        r->Pool = p;
        r->PoolSize = size;
    }
    int64_t at = (int64_t)r->PoolUsed;
    memcpy(r->Pool + r->PoolUsed, name, len + 1);
    r->PoolUsed += len + 1;
    return at;
}

// Reads what the entry called name in dirfd shows as; false when the entry is to be
// left out (vanished, unreadable, a dangling link).
bool ReadEntry(int dirfd, const char *name, EntryInfo *out)
{
    EntryStat st;
    // "." is the open directory itself: no name to look up.
    bool self = name[0] == '.' && !name[1];
    if (!StatEntry(dirfd, self ? "" : name, false, &st)) return false;
    DWORD attrs = 0;
    if (S_ISLNK(st.Mode)) {
        EntryStat target;
        if (!StatEntry(dirfd, name, true, &target)) return false;
        if (S_ISDIR(target.Mode)) {
            // A directory link shows as Windows shows a directory symbolic link: the
            // link's own times, marked as a reparse point.
            attrs = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
            st.Mode = S_IFDIR | (st.Mode & 07777);
        } else {
            st = target;
        }
    }
    if (S_ISDIR(st.Mode)) {
        attrs |= FILE_ATTRIBUTE_DIRECTORY;
        st.Size = 0;
    } else {
        attrs |= FILE_ATTRIBUTE_ARCHIVE;
    }
    if (name[0] == '.' && strcmp(name, ".") != 0 && strcmp(name, "..") != 0)
        attrs |= FILE_ATTRIBUTE_HIDDEN;
    // From the permission bits, not access(): root may write anything, yet a file no
    // one may write is what Windows calls read-only.
    if (!(st.Mode & (S_IWUSR | S_IWGRP | S_IWOTH))) attrs |= FILE_ATTRIBUTE_READONLY;

    out->Attributes = attrs;
    out->Size = st.Size;
    out->Write = UnixToFileTime(st.Write.tv_sec, st.Write.tv_nsec);
    out->Access = UnixToFileTime(st.Access.tv_sec, st.Access.tv_nsec);
    out->Creation = st.HasBirth ? UnixToFileTime(st.Birth.tv_sec, st.Birth.tv_nsec) : out->Write;
    return true;
}

// Delivers the next entry that was read; false at the end.
bool DeliverNext(FindRecord *r, WIN32_FIND_DATAW *data)
{
    while (r->Next < r->Count) {
        const EntryInfo *e = &r->Info[r->Next++];
        if (e->Name == kLeftOut) continue;
        const char *name = r->Pool + e->Name;
        data->dwFileAttributes = e->Attributes;
        data->ftCreationTime = e->Creation;
        data->ftLastAccessTime = e->Access;
        data->ftLastWriteTime = e->Write;
        data->nFileSizeHigh = (DWORD)(e->Size >> 32);
        data->nFileSizeLow = (DWORD)e->Size;
        data->dwReserved0 = 0;
        data->dwReserved1 = 0;
        NativeToWide(name, strlen(name), data->cFileName, MAX_PATH);
        data->cAlternateFileName[0] = 0;
        return true;
    }
    return false;
}

}  // namespace

namespace {

/// Opens a listing as FindFirstFileW does; withDots false leaves "." and ".." out.
HANDLE OpenListing(LPCWSTR searchPath, WIN32_FIND_DATAW *data, bool withDots)
{
    if (!searchPath || !data || !*searchPath) {
        SetError(kErrorInvalidParameter);
        return INVALID_HANDLE_VALUE;
    }
    // The directory is everything before the last '/'. Only '/' separates: a Linux
    // name may hold a '\', and the paths the plug-in builds are native.
    const wchar_t *slash = wcsrchr(searchPath, L'/');
    const wchar_t *pattern = slash ? slash + 1 : searchPath;
    bool matchAll = wcscmp(pattern, L"*") == 0 || wcscmp(pattern, L"*.*") == 0;

    NativePath dir;
    if (!MakeNativePath(searchPath, &dir)) {
        SetError(kErrorNotEnoughMemory);
        return INVALID_HANDLE_VALUE;
    }
    if (slash) {
        // Cut the bytes after the last '/', keeping "/" itself for the root.
        char *cut = strrchr(dir.Text, '/');
        cut[cut == dir.Text ? 1 : 0] = 0;
    }
    // open and getdents64 rather than opendir, which spends a stat on every directory.
    int fd = OpenLongPath(slash ? dir.Text : ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    int openErrno = errno;
    FreeNativePath(&dir);
    if (fd < 0) {
        SetError(openErrno == ENOENT ? kErrorPathNotFound : ErrorFromErrno(openErrno));
        return INVALID_HANDLE_VALUE;
    }

    FindRecord *r = (FindRecord *)calloc(1, sizeof *r);
    if (!r) {
        close(fd);
        SetError(kErrorNotEnoughMemory);
        return INVALID_HANDLE_VALUE;
    }
    r->Tag = kFindTag;
    // Slots 0 and 1 are kept for "." and "..", which come before the sorted names.
    bool ok = GrowOrder(r);
    int64_t dot = -1, dotdot = -1;
    size_t count = 2;
    DWORD failure = kErrorNotEnoughMemory;
    wchar_t wide[MAX_PATH];
    alignas(struct dirent64) char block[16384];
    ssize_t filled = 0, at = 0;
    while (ok) {
        if (at >= filled) {
            filled = getdents64(fd, block, sizeof block);
            at = 0;
            if (filled <= 0) {
                if (filled < 0) {
                    ok = false;
                    failure = ErrorFromErrno(errno);
                }
                break;
            }
        }
        const struct dirent64 *e = (const struct dirent64 *)(block + at);
        at += e->d_reclen;
        const char *name = e->d_name;
        bool isDot = name[0] == '.' && (!name[1] || (name[1] == '.' && !name[2]));
        if (isDot && !withDots) continue;
        size_t len = strlen(name);
        // A name too long for cFileName cannot be delivered whole, so it is left out.
        // (Linux names hold at most 255 bytes, so this needs no decoding in practice.)
        if (len >= MAX_PATH && NativeToWide(name, len, nullptr, 0) >= MAX_PATH) continue;
        if (!matchAll) {
            NativeToWide(name, len, wide, MAX_PATH);
            if (!MatchWild(pattern, wide)) continue;
        }
        int64_t offset = AddName(r, name, len);
        if (offset < 0) {
            ok = false;
            break;
        }
        if (isDot && !name[1]) {
            dot = offset;
        } else if (isDot) {
            dotdot = offset;
        } else {
            if (count == r->OrderSize && !GrowOrder(r)) {
                ok = false;
                break;
            }
            r->Order[count++] = (uint32_t)offset;
        }
    }
    if (ok) {
        const char *pool = r->Pool;
        std::sort(r->Order + 2, r->Order + count, [pool](uint32_t a, uint32_t b) {
            return CompareNames(pool + a, pool + b) < 0;
        });
        r->First = 2;
        if (dotdot >= 0) r->Order[--r->First] = (uint32_t)dotdot;
        if (dot >= 0) r->Order[--r->First] = (uint32_t)dot;
        r->Count = count - r->First;
        r->Info = (EntryInfo *)malloc((r->Count ? r->Count : 1) * sizeof(EntryInfo));
        ok = r->Info != nullptr;
        failure = kErrorNotEnoughMemory;
    }
    if (ok) {
        for (size_t i = 0; i < r->Count; ++i) {
            const char *name = r->Pool + r->Order[r->First + i];
            EntryInfo *e = &r->Info[i];
            e->Name = ReadEntry(fd, name, e) ? r->Order[r->First + i] : kLeftOut;
        }
        struct stat self;
        r->HasId = fstat(fd, &self) == 0;
        if (r->HasId) {
            r->Id.Volume = (uint64_t)self.st_dev;
            r->Id.Index = (uint64_t)self.st_ino;
        }
        // The order has served: only the entries' records are read from here on.
        free(r->Order);
        r->Order = nullptr;
    }
    close(fd);
    if (!ok) {
        FreeFindRecord(r);
        SetError(failure);
        return INVALID_HANDLE_VALUE;
    }
    r->Next = 0;

    if (!DeliverNext(r, data)) {
        FreeFindRecord(r);
        SetError(kErrorFileNotFound);
        return INVALID_HANDLE_VALUE;
    }
    return (HANDLE)r;
}

}  // namespace

HANDLE FindFirstFileW(LPCWSTR searchPath, WIN32_FIND_DATAW *data)
{
    return OpenListing(searchPath, data, true);
}

BOOL FindNextFileW(HANDLE find, WIN32_FIND_DATAW *data)
{
    FindRecord *r = (FindRecord *)find;
    if (!r || find == INVALID_HANDLE_VALUE || r->Tag != kFindTag || !data) {
        SetError(kErrorInvalidHandle);
        return FALSE;
    }
    if (DeliverNext(r, data)) return TRUE;
    SetError(kErrorNoMoreFiles);
    return FALSE;
}

BOOL FindClose(HANDLE find)
{
    FindRecord *r = (FindRecord *)find;
    if (!r || find == INVALID_HANDLE_VALUE || r->Tag != kFindTag) {
        SetError(kErrorInvalidHandle);
        return FALSE;
    }
    FreeFindRecord(r);
    return TRUE;
}

HANDLE FindFirstFileLong(const wchar_t *searchPath, WIN32_FIND_DATAW *data)
{
    // Its callers skip "." and ".." unread, so they are not stat'ed: two calls saved on
    // every directory of a walk. A drive root lists without them on Windows too.
    return OpenListing(searchPath, data, false);
}

bool GetListingId(HANDLE find, const wchar_t *, DirectoryId *id)
{
    FindRecord *r = (FindRecord *)find;
    if (!r || find == INVALID_HANDLE_VALUE || r->Tag != kFindTag || !id || !r->HasId)
        return false;
    *id = r->Id;
    return true;
}

bool GetDirectoryId(const wchar_t *directory, DirectoryId *id)
{
    if (!directory || !id) return false;
    NativePath p;
    if (!MakeNativePath(directory, &p)) return false;
    struct stat st;
    bool ok = StatLongPath(p.Text[0] ? p.Text : ".", &st, nullptr) == 0;
    FreeNativePath(&p);
    if (!ok) return false;
    id->Volume = (uint64_t)st.st_dev;
    id->Index = (uint64_t)st.st_ino;
    return true;
}

bool IsRootlessAbsolutePath(const wchar_t *path) { return path && path[0] == L'/'; }

bool IsWideLetter(wchar_t c) { return IsUnicodeLetter((uint32_t)c); }

bool IsWideLetterOrDigit(wchar_t c)
{
    return IsUnicodeLetter((uint32_t)c) || IsUnicodeDigit((uint32_t)c);
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

// ---- Volumes ------------------------------------------------------------------------

namespace {

// Copies text into a caller's buffer of size characters; false when it does not fit.
bool CopyOut(const wchar_t *text, LPWSTR out, DWORD size)
{
    size_t len = wcslen(text);
    if (!out || len >= size) return false;
    wmemcpy(out, text, len + 1);
    return true;
}

const wchar_t *FileSystemName(long magic)
{
    const long kMsdos = 0x4d44, kExfat = 0x2011BAB0;
    if (magic == kMsdos) return L"FAT32";
    if (magic == kExfat) return L"exFAT";
    // Every other file system keeps its times in UTC, which is what the name "NTFS"
    // stands for to the plug-in: its stamps get the true local time.
    return L"NTFS";
}

}  // namespace

BOOL GetVolumeInformationW(LPCWSTR root, LPWSTR volumeName, DWORD volumeNameSize,
                           LPDWORD serial, LPDWORD maxComponent, LPDWORD flags,
                           LPWSTR fileSystemName, DWORD fileSystemNameSize)
{
    NativePath p;
    if (!MakeNativePath(root ? root : L".", &p)) {
        SetError(kErrorNotEnoughMemory);
        return FALSE;
    }
    if (!p.Text[0]) {
        FreeNativePath(&p);
        p.Text = p.Inline;
        strcpy(p.Inline, ".");
    }
    // The "root" is any path on the volume; a path that does not exist (yet) belongs
    // to the volume of its nearest existing ancestor.
    struct statfs fs;
    struct stat st;
    bool ok = false;
    int err = 0;
    for (;;) {
        if (StatLongPath(p.Text, &st, &fs) == 0) {
            ok = true;
            break;
        }
        err = errno;
        if (err != ENOENT && err != ENOTDIR) break;
        size_t len = strlen(p.Text);
        while (len > 1 && p.Text[len - 1] == '/') p.Text[--len] = 0;
        char *cut = strrchr(p.Text, '/');
        if (!cut) {
            if (strcmp(p.Text, ".") == 0) break;
            strcpy(p.Text, ".");  // the path is at least 2 bytes long here
        } else if (cut == p.Text) {
            if (!p.Text[1]) break;
            p.Text[1] = 0;
        } else {
            *cut = 0;
        }
    }
    FreeNativePath(&p);
    if (!ok) {
        SetError(ErrorFromErrno(err));
        return FALSE;
    }

    const wchar_t *name = FileSystemName((long)fs.f_type);
    // Test aid: VESK_FILESYSTEM, when set, replaces the file system name, so that the
    // FAT and exFAT paths can be tested on machines without such a volume.
    const char *forced = getenv("VESK_FILESYSTEM");
    wchar_t forcedWide[64];
    if (forced) {
        NativeToWide(forced, strlen(forced), forcedWide, 64);
        name = forcedWide;
    }
    if (fileSystemName && !CopyOut(name, fileSystemName, fileSystemNameSize)) {
        SetError(kErrorInsufficientBuffer);
        return FALSE;
    }
    // Linux volumes carry no label the layer could read cheaply; Windows shows an
    // unlabelled volume with an empty name.
    if (volumeName && volumeNameSize) volumeName[0] = 0;
    if (serial) serial[0] = (DWORD)((uint64_t)st.st_dev ^ ((uint64_t)st.st_dev >> 32));
    if (maxComponent) maxComponent[0] = (DWORD)fs.f_namelen;
    // FILE_CASE_SENSITIVE_SEARCH | FILE_CASE_PRESERVED_NAMES | FILE_UNICODE_ON_DISK
    if (flags) flags[0] = 0x7;
    return TRUE;
}

// ---- Time ---------------------------------------------------------------------------

BOOL FileTimeToSystemTime(const FILETIME *time, SYSTEMTIME *st)
{
    if (!time || !st) {
        SetError(kErrorInvalidParameter);
        return FALSE;
    }
    uint64_t v = FileTimeValue(time);
    // Windows refuses file times with the top bit set (past 30828-09-14).
    if (v > kMaxFileTime) {
        SetError(kErrorInvalidParameter);
        return FALSE;
    }
    uint64_t days = v / kTicksPerDay, rest = v % kTicksPerDay;
    int64_t y;
    unsigned m, d;
    // Day 0 of a file time is 1601-01-01, which is day -134774 from 1970.
    CivilFromDays((int64_t)days - 134774, &y, &m, &d);
    st->wYear = (WORD)y;
    st->wMonth = (WORD)m;
    st->wDay = (WORD)d;
    st->wDayOfWeek = (WORD)((days + 1) % 7);  // 1601-01-01 was a Monday
    uint64_t ms = rest / 10000;
    st->wHour = (WORD)(ms / 3600000);
    st->wMinute = (WORD)(ms / 60000 % 60);
    st->wSecond = (WORD)(ms / 1000 % 60);
    st->wMilliseconds = (WORD)(ms % 1000);
    return TRUE;
}

BOOL FileTimeToLocalFileTime(const FILETIME *utc, FILETIME *local)
{
    if (!utc || !local) {
        SetError(kErrorInvalidParameter);
        return FALSE;
    }
    // Windows moves every date by the offset in force now, not on that date.
    tzset();
    time_t now = time(nullptr);
    struct tm tm;
    if (!localtime_r(&now, &tm)) {
        SetError(kErrorInvalidParameter);
        return FALSE;
    }
    int64_t shift = (int64_t)tm.tm_gmtoff * (int64_t)kTicksPerSecond;
    uint64_t v = FileTimeValue(utc);
    if (v > kMaxFileTime || (shift < 0 && v < (uint64_t)-shift) ||
        (shift > 0 && v > kMaxFileTime - (uint64_t)shift)) {
        SetError(kErrorInvalidParameter);
        return FALSE;
    }
    *local = MakeFileTime((uint64_t)((int64_t)v + shift));
    return TRUE;
}

BOOL SystemTimeToTzSpecificLocalTime(const TIME_ZONE_INFORMATION *zone, const SYSTEMTIME *utc,
                                     SYSTEMTIME *local)
{
    // Only the current zone (from TZ) is known here; no zone records are built.
    if (zone || !utc || !local || !IsValidSystemTime(utc)) {
        SetError(kErrorInvalidParameter);
        return FALSE;
    }
    tzset();
    int64_t days = DaysFromCivil(utc->wYear, utc->wMonth, utc->wDay);
    time_t t = (time_t)(days * 86400 + utc->wHour * 3600 + utc->wMinute * 60 + utc->wSecond);
    struct tm tm;
    SYSTEMTIME out;
    if (!localtime_r(&t, &tm) || !TmToSystemTime(&tm, utc->wMilliseconds, &out)) {
        SetError(kErrorInvalidParameter);
        return FALSE;
    }
    *local = out;
    return TRUE;
}

void GetLocalTime(SYSTEMTIME *st)
{
    if (!st) return;
    tzset();
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    struct tm tm;
    time_t sec = now.tv_sec;
    if (!localtime_r(&sec, &tm) || !TmToSystemTime(&tm, (unsigned)(now.tv_nsec / 1000000), st))
        memset(st, 0, sizeof *st);
}

// ---- Locale -------------------------------------------------------------------------

namespace {

// The user's locale for dates and times, built from the environment (LC_ALL, LC_TIME,
// LC_CTYPE, LANG, and LOCPATH for where they live) without touching the process's own
// locale, and built again when those change. A locale that is not installed falls back
// to "C", as the C library does.
locale_t UserLocale()
{
    locale_t &loc = Locales.User;
    static char key[512];
    const char *names[5] = {getenv("LC_ALL"), getenv("LC_TIME"), getenv("LC_CTYPE"),
                            getenv("LANG"), getenv("LOCPATH")};
    char now[512];
    snprintf(now, sizeof now, "%s|%s|%s|%s|%s", names[0] ? names[0] : "",
             names[1] ? names[1] : "", names[2] ? names[2] : "", names[3] ? names[3] : "",
             names[4] ? names[4] : "");
    if (loc && strcmp(now, key) == 0) return loc;
    if (loc) freelocale(loc);
    loc = newlocale(LC_TIME_MASK | LC_CTYPE_MASK, "", (locale_t)0);
    if (!loc) loc = newlocale(LC_TIME_MASK | LC_CTYPE_MASK, "C", (locale_t)0);
    snprintf(key, sizeof key, "%s", now);
    return loc;
}

// Text in the locale's character set as wide text; false when it cannot be decoded
// or does not fit.
bool LocaleToWide(const char *text, locale_t loc, wchar_t *out, size_t capacity)
{
    if (!loc) return NativeToWide(text, strlen(text), out, capacity) < capacity;
    locale_t old = uselocale(loc);
    mbstate_t state;
    memset(&state, 0, sizeof state);
    const char *src = text;
    size_t n = mbsrtowcs(out, &src, capacity, &state);
    uselocale(old);
    if (n == (size_t)-1) return NativeToWide(text, strlen(text), out, capacity) < capacity;
    if (n >= capacity) {
        if (capacity) out[capacity - 1] = 0;
        return false;
    }
    return true;
}

const char *LangInfo(nl_item item)
{
    locale_t loc = UserLocale();
    const char *s = loc ? nl_langinfo_l(item, loc) : nl_langinfo(item);
    return s ? s : "";
}

// 0 month-day-year, 1 day-month-year, 2 year-month-day, read from the order of the
// fields in the locale's short date format.
int DateOrder()
{
    const char *fmt = LangInfo(D_FMT);
    int posM = -1, posD = -1, posY = -1, pos = 0;
    for (const char *p = fmt; *p; ++p) {
        if (*p != '%' || !p[1]) continue;
        ++p;
        while (*p == 'E' || *p == 'O' || *p == '-' || *p == '_' || *p == '0' || *p == '^' ||
               *p == '#')
            ++p;
        switch (*p) {
        case 'm': case 'b': case 'B': case 'h':
            if (posM < 0) posM = pos++;
            break;
        case 'd': case 'e':
            if (posD < 0) posD = pos++;
            break;
        case 'y': case 'Y': case 'C': case 'G': case 'g':
            if (posY < 0) posY = pos++;
            break;
        case 'F':
            return 2;
        case 'D':
            return 0;
        default:
            break;
        }
        if (!*p) break;
    }
    if (posY == 0 && posM >= 0) return 2;
    if (posD >= 0 && posM >= 0 && posD < posM) return 1;
    return 0;
}

// Long date pictures by date order. glibc keeps no long date picture, so one is built
// from the order with the locale's full names. Year-first locales put the day name
// last, as Windows does for most of them.
const wchar_t *LongDatePicture(int order)
{
    switch (order) {
    case 1: return L"dddd, d MMMM yyyy";
    case 2: return L"yyyy MMMM d, dddd";
    default: return L"dddd, MMMM d, yyyy";
    }
}

struct Output {
    wchar_t *Dest;
    size_t Capacity;  // 0: only measure
    size_t Length;
};

void Emit(Output *o, const wchar_t *text, size_t len)
{
    for (size_t i = 0; i < len; ++i) {
        if (o->Length + i + 1 < o->Capacity) o->Dest[o->Length + i] = text[i];
    }
    o->Length += len;
}

void EmitNumber(Output *o, unsigned value, int digits)
{
    wchar_t buf[16];
    int n = FormatWide(buf, 16, L"%0*u", digits, value);
    Emit(o, buf, (size_t)n);
}

void EmitLangInfo(Output *o, nl_item item)
{
    wchar_t buf[256];
    if (LocaleToWide(LangInfo(item), UserLocale(), buf, 256)) Emit(o, buf, wcslen(buf));
}

// Expands a Windows date or time picture (d dd ddd dddd M MM MMM MMMM y yy yyyy
// h hh H HH m mm s ss t tt, text in single quotes, '' for a quote).
void ExpandPicture(Output *o, const wchar_t *picture, const SYSTEMTIME *st, bool isDate)
{
    for (const wchar_t *p = picture; *p;) {
        wchar_t c = *p;
        if (c == L'\'') {
            ++p;
            while (*p) {
                if (*p == L'\'') {
                    if (p[1] != L'\'') {
                        ++p;
                        break;
                    }
                    ++p;
                }
                Emit(o, p, 1);
                ++p;
            }
            continue;
        }
        size_t run = 1;
        while (p[run] == c) ++run;
        bool known = true;
        if (isDate && c == L'd') {
            if (run == 1 || run == 2) EmitNumber(o, st->wDay, (int)run);
            else if (run == 3) EmitLangInfo(o, (nl_item)(ABDAY_1 + st->wDayOfWeek % 7));
            else EmitLangInfo(o, (nl_item)(DAY_1 + st->wDayOfWeek % 7));
        } else if (isDate && c == L'M') {
            if (run <= 2) EmitNumber(o, st->wMonth, (int)run);
            else if (run == 3) EmitLangInfo(o, (nl_item)(ABMON_1 + (st->wMonth - 1) % 12));
            else EmitLangInfo(o, (nl_item)(MON_1 + (st->wMonth - 1) % 12));
        } else if (isDate && c == L'y') {
            if (run <= 2) EmitNumber(o, st->wYear % 100u, (int)run);
            else EmitNumber(o, st->wYear, 4);
        } else if (!isDate && (c == L'h' || c == L'H')) {
            unsigned h = st->wHour;
            if (c == L'h') h = h % 12 ? h % 12 : 12;
            EmitNumber(o, h, run >= 2 ? 2 : 1);
        } else if (!isDate && c == L'm') {
            EmitNumber(o, st->wMinute, run >= 2 ? 2 : 1);
        } else if (!isDate && c == L's') {
            EmitNumber(o, st->wSecond, run >= 2 ? 2 : 1);
        } else if (!isDate && c == L't') {
            wchar_t marker[64];
            if (LocaleToWide(LangInfo(st->wHour < 12 ? AM_STR : PM_STR), UserLocale(), marker,
                             64))
                Emit(o, marker, run >= 2 ? wcslen(marker) : (wcslen(marker) ? 1 : 0));
        } else {
            known = false;
        }
        if (!known) Emit(o, p, run);
        p += run;
    }
}

// Hands a measured result to the caller as the Get*FormatW calls do: with outSize 0
// the size needed; otherwise the characters written with the terminator, or 0 when
// they do not fit.
int FinishOutput(const Output &o, LPWSTR out, int outSize)
{
    size_t need = o.Length + 1;
    if (need > 0x7FFFFFFF) {
        SetError(kErrorInsufficientBuffer);
        return 0;
    }
    if (outSize == 0) return (int)need;
    if ((size_t)outSize < need) {
        // Callers append to whatever is in the buffer, so leave it terminated.
        out[0] = 0;
        SetError(kErrorInsufficientBuffer);
        return 0;
    }
    out[o.Length] = 0;
    return (int)need;
}

int FormatPicture(const wchar_t *picture, const SYSTEMTIME *st, bool isDate, LPWSTR out,
                  int outSize)
{
    Output o{out, outSize > 0 ? (size_t)outSize : 0, 0};
    ExpandPicture(&o, picture, st, isDate);
    return FinishOutput(o, out, outSize);
}

// One of the locale's own formats (strftime's %x or %X) as the result of a
// Get*FormatW call.
int FormatStrftime(const char *format, const struct tm *tm, LPWSTR out, int outSize)
{
    locale_t loc = UserLocale();
    char narrow[256];
    wchar_t wide[256];
    size_t n = loc ? strftime_l(narrow, sizeof narrow, format, tm, loc)
                   : strftime(narrow, sizeof narrow, format, tm);
    narrow[n < sizeof narrow ? n : 0] = 0;
    if (!LocaleToWide(narrow, loc, wide, 256)) wide[0] = 0;
    Output o{out, outSize > 0 ? (size_t)outSize : 0, 0};
    Emit(&o, wide, wcslen(wide));
    return FinishOutput(o, out, outSize);
}

bool ValidFormatArgs(const SYSTEMTIME *st, LPWSTR out, int outSize)
{
    if (!st || outSize < 0 || (outSize > 0 && !out)) {
        SetError(kErrorInvalidParameter);
        return false;
    }
    return true;
}

}  // namespace

int GetDateFormatW(LCID, DWORD flags, const SYSTEMTIME *st, LPCWSTR picture, LPWSTR out,
                   int outSize)
{
    if (!ValidFormatArgs(st, out, outSize)) return 0;
    SYSTEMTIME day = *st;
    day.wHour = day.wMinute = day.wSecond = day.wMilliseconds = 0;
    if (!IsValidSystemTime(&day)) {
        SetError(kErrorInvalidParameter);
        return 0;
    }
    // The day of the week is worked out from the date, as Windows ignores the field.
    struct tm tm;
    SystemTimeToTm(&day, &tm);
    day.wDayOfWeek = (WORD)tm.tm_wday;
    if (picture) return FormatPicture(picture, &day, true, out, outSize);
    if (flags & DATE_LONGDATE) return FormatPicture(LongDatePicture(DateOrder()), &day, true, out, outSize);
    // The short date: the locale's own format.
    return FormatStrftime("%x", &tm, out, outSize);
}

int GetTimeFormatW(LCID, DWORD, const SYSTEMTIME *st, LPCWSTR picture, LPWSTR out, int outSize)
{
    if (!ValidFormatArgs(st, out, outSize)) return 0;
    if (st->wHour >= 24 || st->wMinute >= 60 || st->wSecond >= 60 || st->wMilliseconds >= 1000) {
        SetError(kErrorInvalidParameter);
        return 0;
    }
    if (picture) return FormatPicture(picture, st, false, out, outSize);
    struct tm tm;
    memset(&tm, 0, sizeof tm);
    tm.tm_hour = st->wHour;
    tm.tm_min = st->wMinute;
    tm.tm_sec = st->wSecond;
    tm.tm_year = 70;
    tm.tm_mday = 1;
    return FormatStrftime("%X", &tm, out, outSize);
}

int GetLocaleInfoW(LCID, DWORD item, LPWSTR out, int outSize)
{
    if (outSize < 0 || (outSize > 0 && !out)) {
        SetError(kErrorInvalidParameter);
        return 0;
    }
    wchar_t text[64];
    const wchar_t *value;
    switch (item) {
    case LOCALE_IDATE:  // short date order
    case 0x22:          // LOCALE_ILDATE, long date order: the same here
        text[0] = (wchar_t)(L'0' + DateOrder());
        text[1] = 0;
        value = text;
        break;
    case 0x20:          // LOCALE_SLONGDATE
        value = LongDatePicture(DateOrder());
        break;
    default:
        SetError(kErrorInvalidFlags);
        return 0;
    }
    Output o{out, outSize > 0 ? (size_t)outSize : 0, 0};
    Emit(&o, value, wcslen(value));
    return FinishOutput(o, out, outSize);
}

// ---- Console ------------------------------------------------------------------------

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
    if (!h || h == INVALID_HANDLE_VALUE || IsFdHandle(h)) return nullptr;
    FileRecord *r = (FileRecord *)h;
    return r->Tag == kFileTag ? r : nullptr;
}

}  // namespace

HANDLE GetStdHandle(DWORD which)
{
    switch (which) {
    case STD_INPUT_HANDLE: return VESK_FD_HANDLE(0);
    case STD_OUTPUT_HANDLE: return VESK_FD_HANDLE(1);
    case STD_ERROR_HANDLE: return VESK_FD_HANDLE(2);
    default:
        SetError(kErrorInvalidHandle);
        return INVALID_HANDLE_VALUE;
    }
}

HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD, void *, DWORD disposition, DWORD, HANDLE)
{
    if (!name || !*name) {
        SetError(kErrorPathNotFound);
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
            SetError(kErrorInvalidParameter);
            return INVALID_HANDLE_VALUE;
        }
        NativePath p;
        if (!MakeNativePath(name, &p)) {
            SetError(kErrorNotEnoughMemory);
            return INVALID_HANDLE_VALUE;
        }
        fd = OpenLongPath(p.Text, mode | O_NOCTTY | O_CLOEXEC);
        FreeNativePath(&p);
    }
    if (fd < 0) {
        SetError(ErrorFromErrno(errno));
        return INVALID_HANDLE_VALUE;
    }
    FileRecord *r = (FileRecord *)malloc(sizeof *r);
    if (!r) {
        close(fd);
        SetError(kErrorNotEnoughMemory);
        return INVALID_HANDLE_VALUE;
    }
    r->Tag = kFileTag;
    r->Fd = fd;
    return (HANDLE)r;
}

BOOL GetConsoleScreenBufferInfo(HANDLE console, CONSOLE_SCREEN_BUFFER_INFO *info)
{
    int fd;
    if (IsFdHandle(console)) {
        fd = VeskHandleFd(console);
    } else if (FileRecord *r = AsFileRecord(console)) {
        fd = r->Fd;
    } else {
        SetError(kErrorInvalidHandle);
        return FALSE;
    }
    struct winsize ws;
    if (!info || ioctl(fd, TIOCGWINSZ, &ws) != 0 || ws.ws_col == 0) {
        SetError(kErrorInvalidHandle);
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
    FileRecord *r = AsFileRecord(h);
    if (!r) {
        SetError(kErrorInvalidHandle);
        return FALSE;
    }
    close(r->Fd);
    r->Tag = 0;
    free(r);
    return TRUE;
}

// ---- Owner --------------------------------------------------------------------------

namespace {

struct SidRecord {
    uint32_t Tag;
    uint32_t Uid;
};

struct SecurityRecord {
    uint32_t Tag;
    SidRecord Owner;
};

}  // namespace

BOOL GetFileSecurityW(LPCWSTR path, SECURITY_INFORMATION, PSECURITY_DESCRIPTOR sd, DWORD length,
                      LPDWORD lengthNeeded)
{
    if (!path || !lengthNeeded) {
        SetError(kErrorInvalidParameter);
        return FALSE;
    }
    NativePath p;
    if (!MakeNativePath(path, &p)) {
        SetError(kErrorNotEnoughMemory);
        return FALSE;
    }
    struct stat st;
    // Follows links, as Windows reports the target's owner.
    bool ok = p.Text[0] && StatLongPath(p.Text, &st, nullptr) == 0;
    int err = p.Text[0] ? errno : ENOENT;
    FreeNativePath(&p);
    if (!ok) {
        *lengthNeeded = 0;
        SetError(ErrorFromErrno(err));
        return FALSE;
    }
    *lengthNeeded = sizeof(SecurityRecord);
    if (!sd || length < sizeof(SecurityRecord)) {
        SetError(kErrorInsufficientBuffer);
        return FALSE;
    }
    SecurityRecord rec;
    rec.Tag = kSecurityTag;
    rec.Owner.Tag = kSidTag;
    rec.Owner.Uid = (uint32_t)st.st_uid;
    memcpy(sd, &rec, sizeof rec);
    return TRUE;
}

BOOL GetSecurityDescriptorOwner(PSECURITY_DESCRIPTOR sd, PSID *owner, LPBOOL defaulted)
{
    SecurityRecord *rec = (SecurityRecord *)sd;
    if (!rec || !owner || rec->Tag != kSecurityTag) {
        SetError(kErrorInvalidParameter);
        return FALSE;
    }
    *owner = &rec->Owner;
    if (defaulted) *defaulted = FALSE;
    return TRUE;
}

BOOL LookupAccountSidW(LPCWSTR, PSID sid, LPWSTR name, LPDWORD nameSize, LPWSTR domain,
                       LPDWORD domainSize, SID_NAME_USE *use)
{
    SidRecord *s = (SidRecord *)sid;
    if (!s || !nameSize || !domainSize || s->Tag != kSidTag) {
        SetError(kErrorInvalidParameter);
        return FALSE;
    }
    wchar_t account[256];
    struct passwd pw, *found = nullptr;
    char stackBuf[4096];
    char *buf = stackBuf;
    size_t bufSize = sizeof stackBuf;
    int rc;
    // Entries with many fields may need more room than the stack buffer gives.
    while ((rc = getpwuid_r((uid_t)s->Uid, &pw, buf, bufSize, &found)) == ERANGE &&
           bufSize < (1u << 20)) {
        if (buf != stackBuf) free(buf);
        bufSize *= 4;
        buf = (char *)malloc(bufSize);
        if (!buf) break;
    }
    bool known = buf && rc == 0 && found && found->pw_name && found->pw_name[0];
    if (known) NativeToWide(found->pw_name, strlen(found->pw_name), account, 256);
    if (buf != stackBuf) free(buf);
    // Windows cannot name a SID without an account either: the lookup fails and the
    // owner text stays empty, so an owner pattern such as "*\*" does not select it.
    if (!known) {
        SetError((!buf || rc == ERANGE) ? kErrorNotEnoughMemory : kErrorNoneMapped);
        return FALSE;
    }

    // The domain of a local account is the computer name: the host name up to its
    // first dot, in upper case, as Windows shows it.
    char host[256];
    wchar_t machine[256];
    if (gethostname(host, sizeof host) != 0) host[0] = 0;
    host[sizeof host - 1] = 0;
    char *dot = strchr(host, '.');
    if (dot) *dot = 0;
    NativeToWide(host, strlen(host), machine, 256);
    for (wchar_t *c = machine; *c; ++c)
        if (*c >= L'a' && *c <= L'z') *c = (wchar_t)(*c - 32);

    DWORD needName = (DWORD)wcslen(account) + 1, needDomain = (DWORD)wcslen(machine) + 1;
    if (*nameSize < needName || *domainSize < needDomain || !name || !domain) {
        *nameSize = needName;
        *domainSize = needDomain;
        SetError(kErrorInsufficientBuffer);
        return FALSE;
    }
    wmemcpy(name, account, needName);
    wmemcpy(domain, machine, needDomain);
    *nameSize = needName - 1;
    *domainSize = needDomain - 1;
    if (use) *use = 1;  // SidTypeUser
    return TRUE;
}

// ---- User interface -----------------------------------------------------------------

int MessageBoxW(HWND, LPCWSTR text, LPCWSTR caption, unsigned)
{
    // No windows here: the box is its caption, a blank line and its text on standard
    // output, with Windows line ends as Linux ones.
    const wchar_t *parts[2] = {caption ? caption : L"Error", text ? text : L""};
    fflush(stdout);
    for (int i = 0; i < 2; ++i) {
        const wchar_t *p = parts[i];
        size_t need = WideToNative(p, nullptr, 0);
        char *bytes = (char *)malloc(need + 1);
        if (!bytes) break;
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
    if (!out) return 0;
    va_list args;
    va_start(args, format);
    int n = FormatWideV(out, 1024, format, args);
    va_end(args);
    return n < 1024 ? n : 1023;
}

DWORD GetLastError(void) { return g_lastError; }
