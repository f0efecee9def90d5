// What the files of the Linux layer share: the error they report, the paths they
// open, the names they compare and the times they convert. Private to src/platform/posix.
#ifndef VESK_POSIX_LAYER_H
#define VESK_POSIX_LAYER_H

#include "platform/platform.h"

#include <stdint.h>
#include <sys/stat.h>
#include <sys/statfs.h>

namespace vesk_posix {

/// The volume serial of every directory's identity (FileIdInfo): the file ids carry
/// the device.
const uint64_t LINUX_VOLUME_SERIAL = 1;

/// Sets what GetLastError returns next.
void SetError(DWORD code);

/// The Windows error code closest to errno value e.
DWORD ErrorFromErrno(int e);

// Tags at the start of every heap record the layer hands out as a HANDLE or as a
// security block, so that a record of the wrong kind is refused rather than misread.
enum : uint32_t {
    FIND_TAG = 0x444E4946u,     // "FIND"
    FILE_TAG = 0x454C4946u,     // "FILE"
    DIRECTORY_TAG = 0x52494456u, // "VDIR"
    SECURITY_TAG = 0x31445356u, // "VSD1"
    SID_TAG = 0x44495356u,      // "VSID"
};

// A wide path as the bytes Linux wants. Short paths stay on the stack; longer ones
// (the plug-in's paths run to PATH_BUFFER_LEN - 1 characters) go to the heap.
struct NativePath {
    char Inline[1024];
    char *Text;  // Inline or heap; null when out of memory
};

/// Fills out with path as bytes; false when out of memory. FreeNativePath releases it.
bool MakeNativePath(const wchar_t *path, NativePath *out);
void FreeNativePath(NativePath *p);

/// open() of a path of any length; the descriptor (the caller closes it) or -1 with errno.
int OpenLongPath(const char *path, int flags);

/// stat() and statfs() (when fs is not null) of a path of any length; 0 or -1 with errno.
int StatLongPath(const char *path, struct stat *st, struct statfs *fs);

/// What a delivered entry needs besides its name, read through the open directory when
/// the listing comes to the entry (a batch at a time).
struct EntryInfo {
    uint32_t Name;  // offset into the listing's pool of names; LEFT_OUT when not delivered
    DWORD Error;    // not 0: the entry's status failed with this code; only Name is valid
    bool Waived;    // a subdirectory whose status was not read: only Name and Attributes
                    // (the directory bit, and hidden by its name) are valid
    DWORD Attributes;
    uint64_t Size;
    FILETIME Write, Access, Creation;
    uint64_t Inode, Device;  // of what the entry shows as: a directory link's own
};

const uint32_t LEFT_OUT = 0xFFFFFFFFu;

/// True for a name Linux hides by convention: one beginning with "." (not "." or "..").
inline bool IsHiddenName(const char *name)
{
    return name[0] == '.' && name[1] != 0 && !(name[1] == '.' && name[2] == 0);
}

/// What an entry is in itself (a link, not what it leads to), from its first status.
struct EntrySelf {
    bool Known;       // its status was read
    bool SameDevice;  // neither a directory nor a mount point that may be: it lies on the
                      // file system of the directory that holds it
    uint64_t Inode, Device;
};

/// ReadEntry's results.
enum { ENTRY_READ = 0, ENTRY_LEFT_OUT = 1, ENTRY_FAILED = 2, ENTRY_DIRECTORY_DENIED = 3 };

/// Reads what the entry called name in dirfd shows as into out (all but Name), and what
/// it is in itself into self. ENTRY_LEFT_OUT for an entry that is not to be listed (gone
/// since the directory was read, a link to nothing); ENTRY_FAILED with out->Error set
/// when its status cannot be read (the listing delivers it as an unreadable entry), errno
/// still telling why; ENTRY_DIRECTORY_DENIED when dirfd lets its names be read but not
/// looked up (read permission without search permission): the listing as a whole is
/// denied.
int ReadEntry(int dirfd, const char *name, EntryInfo *out, EntrySelf *self);

/// What a directory's own listing tells of its identity, so that a directory whose
/// entry in its parent was not stat'ed costs no status call of its own. The inode is
/// its "." entry's; the device is that of its entries that lie on its file system, and
/// it counts only while every such entry's listed inode is its status's inode: a file
/// system whose listing gives other numbers (a FUSE file system gives one number for
/// all) or whose entries show several devices (an overlay of several file systems)
/// tells nothing this way.
struct ListedEvidence {
    uint64_t DotInode;  // 0: no "." entry was listed
    uint64_t Device;
    bool HasDevice;
    bool Conflict;
};

/// Adds an entry listed with inode listedInode that showed itself as self.
void AddListedEvidence(ListedEvidence *evidence, uint64_t listedInode, const EntrySelf *self);

/// The directory's inode and device when its listing told them beyond doubt; false
/// when a status of the directory itself must tell them.
bool ListedIdentity(const ListedEvidence *evidence, uint64_t *inode, uint64_t *device);

/// Counts one status call (statx, fstatat, fstat, stat) the layer makes.
void CountStatusCall(void);

/// A test seam, named as one: the status calls the layer has made since the process
/// started, so that a test can count what a walk costs.
uint64_t StatusCallsForTests(void);

/// A directory handle for CreateFileW with backup semantics. Its descriptor is kept until
/// the listing has read every entry's status (or, among the few held to open
/// subdirectories through, until the handle is closed or its place is needed); the
/// handle frees what the listing holds. Not listable (no right to list asked): a handle
/// that only tells what the directory is (its identity and path), opened as a path, so a
/// directory whose names may not be read is still known. INVALID_HANDLE_VALUE with the
/// error set when path cannot be opened as a directory.
HANDLE OpenDirectoryHandle(const char *path, bool listable);

/// Releases h when it is a directory handle; false (nothing done) for any other handle.
bool CloseDirectoryHandle(HANDLE h);

/// Order of two byte names as a listing sorts them: below, at or above 0.
int CompareNames(const char *a, const char *b);

/// True when the wide name matches pattern ('*' and '?', case ignored).
bool MatchWild(const wchar_t *pattern, const wchar_t *name);

const int64_t SECONDS_TO_1970 = 11644473600LL;  // from 1601-01-01 to 1970-01-01
const uint64_t TICKS_PER_SECOND = 10000000ULL;
const uint64_t TICKS_PER_DAY = 864000000000ULL;
const uint64_t MAX_FILE_TIME = 0x7FFFFFFFFFFFFFFFULL;

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

/// A Unix time with nanoseconds as a file time (see file_times.cpp for the edges).
FILETIME UnixToFileTime(int64_t sec, int64_t nsec);

/// UnixToFileTime, inline for the times every file has: from 1970 to past the year 2200
/// nothing can overflow, and the edges are left to the whole conversion.
inline FILETIME UnixToFileTimeFast(int64_t sec, int64_t nsec)
{
    if (sec < 0 || sec >= ((int64_t)1 << 33) || nsec < 0 || nsec >= 1000000000)
        return UnixToFileTime(sec, nsec);
    return MakeFileTime((uint64_t)(sec + SECONDS_TO_1970) * TICKS_PER_SECOND + (uint64_t)nsec / 100);
}

/// Days from 1970-01-01 of a proleptic Gregorian date.
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d);

/// True when every field of st is in range and the date is one a file time holds
/// (1601-01-01 to 30828-09-14 02:48:05.477).
bool IsValidSystemTime(const SYSTEMTIME *st);

/// st as a struct tm with the day of the week and of the year worked out.
void SystemTimeToTm(const SYSTEMTIME *st, struct tm *tm);

}  // namespace vesk_posix

#endif
