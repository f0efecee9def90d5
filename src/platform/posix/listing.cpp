// Directory listings: FindFirstFileW and its kin, and a directory read through its own
// handle (GetFileInformationByHandleEx), both over getdents64.
#include "posix_layer.h"

#include "text/native_text.h"

#include <algorithm>
#include <stddef.h>
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

using namespace vesk_posix;

namespace {

// Order: "." and ".." first, then by upper-case name (exact order on ties); what
// each entry shows as is read by ReadEntry.
//
// The names are read whole when the listing is taken (one pool of bytes, one array of
// offsets), and every entry is stat'ed then too, through the open directory, which is
// closed at once unless it is among the few kept (KeptDirectories, below): a walk keeps
// a listing open for every level it is below, and a descriptor per level would run out
// under the usual soft limit long before the deepest path the plug-in accepts. The
// directory is opened with open and read with getdents64 rather than opendir. Nothing is
// asked of the directory itself unless its identity is: it is in the statx of its entry
// in the parent, which the walk then holds.
//
// A listing asked for no record of its subdirectories (HANDLE_LISTING_NO_DIRECTORY_RECORDS)
// stats no entry whose type the listing gives as a directory: a walk that offers no
// directory reads nothing of their records but the directory bit and the hidden one,
// which the type and the name tell, and learns their identities from their own listings
// (listed_identity.cpp). The type a listing gives is what the entry is: a link shows as
// one, and is stat'ed.

/// Before each name in the pool: the inode and type the listing gave for it.
const size_t NAME_PREFIX = sizeof(uint64_t) + 1;

struct Snapshot {
    char *Pool;         // the entries' byte names, each NUL-terminated after its prefix
    size_t PoolUsed, PoolSize;
    uint32_t *Order;    // offsets into Pool, in listing order from index First
    size_t First, Count, OrderSize;
    EntryInfo *Info;    // Count entries, in listing order
    size_t Next;        // index in Info of the entry to deliver next
};

struct FindRecord {
    uint32_t Tag;
    Snapshot Names;
};

// A directory opened with backup semantics: the descriptor until the listing is taken
// (or, kept, until the handle is closed).
struct DirectoryRecord {
    uint32_t Tag;
    int Fd;
    bool Taken;
    bool Kept;         // in KeptDirectories: Fd stays open after the listing is taken
    unsigned Needs;    // HANDLE_LISTING_ bits
    bool Refused;      // VESK_TEST_REFUSE_HANDLE_LISTING was set at the open
    bool HasIdentity;  // Inode and Device are the directory's, for FileIdInfo
    uint64_t Inode, Device;
    Snapshot Names;
};

// Directories whose descriptor stays open after their listing is taken, the most
// recently opened last, so that their subdirectories are opened through them: the
// kernel then looks up one name rather than the whole path again. A walk opens a
// directory's subdirectories while that directory is listed, so the directories it
// still needs are among those opened last. At most KEPT_MOST are kept (an eighth of the
// descriptors the process may hold, if that is fewer): deeper levels are opened by their
// paths as before. A kept descriptor goes when its handle is closed, and all go at once
// when an open finds no descriptor free.

const size_t KEPT_MOST = 32;

struct KeptDirectory {
    DirectoryRecord *Record;
    size_t Len;  // of Path, without trailing separators ("/" stays)
    char Path[512];
};

KeptDirectory KeptDirectories[KEPT_MOST];
size_t KeptCount = 0;

/// How many directories may be kept, worked out once.
size_t KeptLimit()
{
    static size_t limit = KEPT_MOST + 1;
    if (limit > KEPT_MOST) {
        struct rlimit nofile;
        limit = KEPT_MOST;
        if (getrlimit(RLIMIT_NOFILE, &nofile) == 0 && nofile.rlim_cur != RLIM_INFINITY &&
            nofile.rlim_cur / 8 < limit)
            limit = (size_t)(nofile.rlim_cur / 8);
    }
    return limit;
}

/// The length of path without its trailing separators, "/" itself kept.
size_t TrimmedLength(const char *path)
{
    size_t len = strlen(path);
    while (len > 1 && path[len - 1] == '/') --len;
    return len;
}

/// Opens the absolute path (a directory) through the kept directory that holds it, or
/// -2 when none does; otherwise as open, -1 with errno.
int OpenThroughKept(const char *path, int flags)
{
    if (path[0] != '/') return -2;
    size_t len = TrimmedLength(path);
    size_t slash = len;
    while (slash > 0 && path[slash - 1] != '/') --slash;
    if (slash == 0 || slash == len) return -2;
    size_t parentLen = slash > 1 ? slash - 1 : 1;
    for (size_t i = KeptCount; i-- > 0;) {
        const KeptDirectory *k = &KeptDirectories[i];
        if (k->Len == parentLen && k->Record->Fd >= 0 && memcmp(k->Path, path, parentLen) == 0)
            return openat(k->Record->Fd, path + slash, flags);
    }
    return -2;
}

/// Keeps r, opened at path, when there is room.
void KeepDirectory(DirectoryRecord *r, const char *path)
{
    size_t len = TrimmedLength(path);
    if (path[0] != '/' || KeptCount >= KeptLimit() || len >= sizeof KeptDirectories[0].Path)
        return;
    KeptDirectory *k = &KeptDirectories[KeptCount++];
    k->Record = r;
    k->Len = len;
    memcpy(k->Path, path, len);
    r->Kept = true;
}

/// Lets r go from the kept directories.
void ReleaseKept(DirectoryRecord *r)
{
    if (!r->Kept) return;
    r->Kept = false;
    for (size_t i = KeptCount; i-- > 0;)
        if (KeptDirectories[i].Record == r) {
            memmove(&KeptDirectories[i], &KeptDirectories[i + 1],
                    (KeptCount - i - 1) * sizeof KeptDirectories[0]);
            --KeptCount;
            return;
        }
}

/// Closes the descriptor of every kept directory whose listing has been taken, for an
/// open that found none free.
bool ReleaseKeptDescriptors()
{
    bool released = false;
    for (size_t i = 0; i < KeptCount; ++i) {
        DirectoryRecord *r = KeptDirectories[i].Record;
        if (r->Taken && r->Fd >= 0) {
            close(r->Fd);
            r->Fd = -1;
            released = true;
        }
    }
    return released;
}

void FreeSnapshot(Snapshot *s)
{
    free(s->Pool);
    free(s->Order);
    free(s->Info);
    memset(s, 0, sizeof *s);
}

bool GrowOrder(Snapshot *s)
{
    size_t size = s->OrderSize ? s->OrderSize * 2 : 64;
    uint32_t *p = (uint32_t *)realloc(s->Order, size * sizeof *p);
    if (p == nullptr) return false;
    s->Order = p;
    s->OrderSize = size;
    return true;
}

// Appends a name with the inode and type the listing gave to the pool; returns the
// name's offset, or -1 when out of memory.
int64_t AddName(Snapshot *s, const char *name, size_t len, uint64_t inode, unsigned char type)
{
    size_t need = NAME_PREFIX + len + 1;
    if (s->PoolUsed + need > s->PoolSize) {
        size_t size = s->PoolSize ? s->PoolSize * 2 : 1024;
        while (size < s->PoolUsed + need) size *= 2;
        // Offsets are 32-bit (the largest is kept for "left out"): a listing of more
        // than 4 GB of names is refused.
        if (size > LEFT_OUT) {
            if (s->PoolUsed + need > LEFT_OUT) return -1;
            size = LEFT_OUT;
        }
        char *p = (char *)realloc(s->Pool, size);
        if (p == nullptr) return -1;
        s->Pool = p;
        s->PoolSize = size;
    }
    char *at = s->Pool + s->PoolUsed;
    memcpy(at, &inode, sizeof inode);
    at[sizeof inode] = (char)type;
    memcpy(at + NAME_PREFIX, name, len + 1);
    s->PoolUsed += need;
    return (int64_t)(at + NAME_PREFIX - s->Pool);
}

/// The inode the listing gave for the name at offset.
uint64_t ListedInode(const Snapshot *s, uint32_t offset)
{
    uint64_t inode;
    memcpy(&inode, s->Pool + offset - NAME_PREFIX, sizeof inode);
    return inode;
}

/// The type (DT_) the listing gave for the name at offset.
unsigned char ListedType(const Snapshot *s, uint32_t offset)
{
    return (unsigned char)s->Pool[offset - 1];
}

/// Where the names of "." and ".." went in the pool (-1: not listed), how many order
/// slots are used (slots 0 and 1 are kept for the two), and the inode "." was listed
/// with (0 when it was not), listed or left out.
struct NameCount {
    int64_t Dot, DotDot;
    size_t Used;
    uint64_t DotInode;
};

/// Reads every name of fd that pattern (null: all) matches into s. 0, or the error.
DWORD ReadNames(int fd, const wchar_t *pattern, bool withDots, Snapshot *s, NameCount *names)
{
    names->Dot = names->DotDot = -1;
    names->Used = 2;
    names->DotInode = 0;
    if (!GrowOrder(s)) return ERROR_NOT_ENOUGH_MEMORY;
    wchar_t wide[MAX_PATH];
    alignas(struct dirent64) char block[16384];
    ssize_t filled = 0, at = 0;
    for (;;) {
        if (at >= filled) {
            filled = getdents64(fd, block, sizeof block);
            at = 0;
            if (filled < 0) return ErrorFromErrno(errno);
            if (filled == 0) return 0;
        }
        const struct dirent64 *e = (const struct dirent64 *)(block + at);
        at += e->d_reclen;
        const char *name = e->d_name;
        bool isDot = name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0));
        if (isDot && !name[1]) names->DotInode = (uint64_t)e->d_ino;
        if (isDot && !withDots) continue;
        size_t len = strlen(name);
        // A name too long for cFileName cannot be delivered whole, so it is left out.
        // (Linux names hold at most 255 bytes, so this needs no decoding in practice.)
        if (len >= MAX_PATH && NativeToWide(name, len, nullptr, 0) >= MAX_PATH) continue;
        if (pattern != nullptr) {
            NativeToWide(name, len, wide, MAX_PATH);
            if (!MatchWild(pattern, wide)) continue;
        }
        int64_t offset = AddName(s, name, len, (uint64_t)e->d_ino, e->d_type);
        if (offset < 0) return ERROR_NOT_ENOUGH_MEMORY;
        if (isDot && !name[1]) {
            names->Dot = offset;
        } else if (isDot) {
            names->DotDot = offset;
        } else {
            if (names->Used == s->OrderSize && !GrowOrder(s)) return ERROR_NOT_ENOUGH_MEMORY;
            s->Order[names->Used++] = (uint32_t)offset;
        }
    }
}

/// A name's first eight bytes as CompareNames orders them, for sorting without reading
/// the pool: ASCII letters folded, the bytes past the name's end 0, packed so that the
/// larger number sorts later. Known: how many leading bytes the number stands for (it
/// stops at a byte of a longer character, whose fold only CompareNames knows).
struct SortKey {
    uint64_t Prefix;
    uint32_t Offset;
    uint32_t Known;
};

SortKey MakeSortKey(const char *pool, uint32_t offset)
{
    SortKey key = {0, offset, 8};
    const unsigned char *name = (const unsigned char *)pool + offset;
    for (uint32_t i = 0; i < 8; ++i) {
        uint32_t c = name[i];
        if (c >= 0x80) {
            key.Known = i;
            if (i > 0) key.Prefix <<= 8 * (8 - i);
            break;
        }
        key.Prefix = (key.Prefix << 8) | (c - ((c - 'a' < 26u) << 5));
        if (c == 0) {
            key.Prefix <<= 8 * (7 - i);
            break;
        }
    }
    return key;
}

/// Puts the names in listing order: "." and ".." first, the rest sorted. Most names
/// differ in their first eight bytes: those are compared as one number, the rest by
/// CompareNames.
void SortNames(Snapshot *s, const NameCount *names)
{
    const char *pool = s->Pool;
    size_t count = names->Used - 2;
    // Most directories hold a few dozen names: their keys need no allocation.
    SortKey few[128];
    SortKey *keys = count <= 128 ? few : (SortKey *)malloc(count * sizeof(SortKey));
    if (keys == nullptr) {
        std::sort(s->Order + 2, s->Order + names->Used, [pool](uint32_t a, uint32_t b) {
            return CompareNames(pool + a, pool + b) < 0;
        });
    } else {
        for (size_t i = 0; i < count; ++i) keys[i] = MakeSortKey(pool, s->Order[2 + i]);
        std::sort(keys, keys + count, [pool](const SortKey &a, const SortKey &b) {
            uint64_t differ = a.Prefix ^ b.Prefix;
            if (differ != 0 && (uint32_t)__builtin_clzll(differ) / 8 < std::min(a.Known, b.Known))
                return a.Prefix < b.Prefix;
            return CompareNames(pool + a.Offset, pool + b.Offset) < 0;
        });
        for (size_t i = 0; i < count; ++i) s->Order[2 + i] = keys[i].Offset;
        if (keys != few) free(keys);
    }
    s->First = 2;
    if (names->DotDot >= 0) s->Order[--s->First] = (uint32_t)names->DotDot;
    if (names->Dot >= 0) s->Order[--s->First] = (uint32_t)names->Dot;
    s->Count = names->Used - s->First;
}

/// Reads what entry i of s shows as, through fd, and adds what it is to evidence.
/// False when fd's names cannot be looked up.
bool ReadOneEntry(int fd, Snapshot *s, size_t i, ListedEvidence *evidence)
{
    uint32_t offset = s->Order[s->First + i];
    EntryInfo *e = &s->Info[i];
    EntrySelf self;
    int got = ReadEntry(fd, s->Pool + offset, e, &self);
    if (got == ENTRY_DIRECTORY_DENIED) return false;
    e->Name = got == ENTRY_LEFT_OUT ? LEFT_OUT : offset;
    AddListedEvidence(evidence, ListedInode(s, offset), &self);
    return true;
}

/// Delivers entry i of s, a subdirectory, without its status.
void WaiveEntry(Snapshot *s, size_t i)
{
    uint32_t offset = s->Order[s->First + i];
    EntryInfo *e = &s->Info[i];
    memset(e, 0, sizeof *e);
    e->Name = offset;
    e->Waived = true;
    e->Attributes = FILE_ATTRIBUTE_DIRECTORY;
    if (IsHiddenName(s->Pool + offset)) e->Attributes |= FILE_ATTRIBUTE_HIDDEN;
}

/// Reads what every listed entry shows as, through fd; with waive, the entries the
/// listing gives as directories are not stat'ed. 0, or the error.
DWORD ReadEntries(int fd, Snapshot *s, bool waive, ListedEvidence *evidence)
{
    s->Info = (EntryInfo *)malloc((s->Count ? s->Count : 1) * sizeof(EntryInfo));
    if (s->Info == nullptr) return ERROR_NOT_ENOUGH_MEMORY;
    bool searched = false;
    size_t firstWaived = s->Count;
    for (size_t i = 0; i < s->Count; ++i) {
        if (waive && ListedType(s, s->Order[s->First + i]) == DT_DIR) {
            if (firstWaived == s->Count) firstWaived = i;
            WaiveEntry(s, i);
            continue;
        }
        if (!ReadOneEntry(fd, s, i, evidence)) return ERROR_ACCESS_DENIED;
        searched = true;
    }
    // Names that may be read but not looked up make a denied listing, which only a
    // status shows: a listing that stat'ed nothing reads its first subdirectory in full.
    if (!searched && firstWaived < s->Count && !ReadOneEntry(fd, s, firstWaived, evidence))
        return ERROR_ACCESS_DENIED;
    // The order has served: only the entries' records are read from here on.
    free(s->Order);
    s->Order = nullptr;
    s->Next = 0;
    return 0;
}

/// The whole listing of fd in s, and what it tells of the directory's identity in
/// evidence; with waive, no status of the subdirectories the listing types as such.
/// 0, or the error (s is then empty).
DWORD TakeSnapshot(int fd, const wchar_t *pattern, bool withDots, bool waive, Snapshot *s,
                   ListedEvidence *evidence)
{
    NameCount names;
    memset(evidence, 0, sizeof *evidence);
    DWORD error = ReadNames(fd, pattern, withDots, s, &names);
    if (error == 0) {
        evidence->DotInode = names.DotInode;
        SortNames(s, &names);
        error = ReadEntries(fd, s, waive, evidence);
    }
    if (error != 0) FreeSnapshot(s);
    return error;
}

/// The next entry that was read, or null at the end.
const EntryInfo *NextEntry(Snapshot *s)
{
    while (s->Next < s->Count) {
        const EntryInfo *e = &s->Info[s->Next++];
        if (e->Name != LEFT_OUT) return e;
    }
    return nullptr;
}

// Delivers the next entry that was read; false at the end.
bool DeliverNext(Snapshot *s, WIN32_FIND_DATAW *data)
{
    const EntryInfo *e = NextEntry(s);
    if (e == nullptr) return false;
    const char *name = s->Pool + e->Name;
    if (e->Error != 0) {
        // An entry whose status failed: its name, and the error where Windows keeps
        // nothing (the attributes no entry can have mark it).
        memset(data, 0, sizeof *data);
        data->dwFileAttributes = INVALID_FILE_ATTRIBUTES;
        data->dwReserved1 = e->Error;
        NativeToWide(name, strlen(name), data->cFileName, MAX_PATH);
        return true;
    }
    data->dwFileAttributes = e->Attributes;
    data->ftCreationTime = e->Creation;
    data->ftLastAccessTime = e->Access;
    data->ftLastWriteTime = e->Write;
    data->nFileSizeHigh = (DWORD)(e->Size >> 32);
    data->nFileSizeLow = (DWORD)e->Size;
    data->dwReserved0 = (e->Attributes & FILE_ATTRIBUTE_REPARSE_POINT) ? IO_REPARSE_TAG_SYMLINK : 0;
    data->dwReserved1 = 0;
    NativeToWide(name, strlen(name), data->cFileName, MAX_PATH);
    data->cAlternateFileName[0] = 0;
    return true;
}

/// The directory part of a search path as bytes ("." for a bare pattern), and where its
/// pattern starts. False when out of memory.
bool SplitSearchPath(LPCWSTR searchPath, NativePath *dir, const wchar_t **pattern)
{
    // The directory is everything before the last '/'. Only '/' separates: a Linux
    // name may hold a '\', and the paths the plug-in builds are native.
    const wchar_t *slash = wcsrchr(searchPath, L'/');
    *pattern = slash != nullptr ? slash + 1 : searchPath;
    if (slash == nullptr) {
        dir->Text = dir->Inline;
        strcpy(dir->Inline, ".");
        return true;
    }
    if (!MakeNativePath(searchPath, dir)) return false;
    // Cut the bytes after the last '/', keeping "/" itself for the root.
    char *cut = strrchr(dir->Text, '/');
    cut[cut == dir->Text ? 1 : 0] = 0;
    return true;
}

/// Opens a listing as FindFirstFileW does; withDots false leaves "." and ".." out.
HANDLE OpenListing(LPCWSTR searchPath, WIN32_FIND_DATAW *data, bool withDots)
{
    if (searchPath == nullptr || data == nullptr || !*searchPath) {
        SetError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    NativePath dir;
    const wchar_t *pattern;
    if (!SplitSearchPath(searchPath, &dir, &pattern)) {
        SetError(ERROR_NOT_ENOUGH_MEMORY);
        return INVALID_HANDLE_VALUE;
    }
    bool matchAll = wcscmp(pattern, L"*") == 0 || wcscmp(pattern, L"*.*") == 0;
    int fd = OpenLongPath(dir.Text, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    int openErrno = errno;
    FreeNativePath(&dir);
    if (fd < 0) {
        SetError(openErrno == ENOENT ? ERROR_PATH_NOT_FOUND : ErrorFromErrno(openErrno));
        return INVALID_HANDLE_VALUE;
    }
    FindRecord *r = (FindRecord *)calloc(1, sizeof *r);
    ListedEvidence unused;
    DWORD error = r != nullptr ? TakeSnapshot(fd, matchAll ? nullptr : pattern, withDots, false,
                                              &r->Names, &unused)
                               : ERROR_NOT_ENOUGH_MEMORY;
    close(fd);
    if (error == 0 && !DeliverNext(&r->Names, data)) error = ERROR_FILE_NOT_FOUND;
    if (error != 0) {
        if (r != nullptr) FreeSnapshot(&r->Names);
        free(r);
        SetError(error);
        return INVALID_HANDLE_VALUE;
    }
    r->Tag = FIND_TAG;
    return (HANDLE)r;
}

FindRecord *AsFindRecord(HANDLE find)
{
    FindRecord *r = (FindRecord *)find;
    if (r == nullptr || find == INVALID_HANDLE_VALUE || r->Tag != FIND_TAG) return nullptr;
    return r;
}

DirectoryRecord *AsDirectoryRecord(HANDLE h)
{
    DirectoryRecord *r = (DirectoryRecord *)h;
    if (r == nullptr || h == INVALID_HANDLE_VALUE || (uintptr_t)h <= 0x10000 ||
        r->Tag != DIRECTORY_TAG)
        return nullptr;
    return r;
}

/// A test seam, named as one: with VESK_TEST_ZERO_FILE_IDS set in the environment,
/// every file id the layer reports is 0, as some network file systems report them.
bool ZeroFileIds()
{
    static int zero = -1;
    if (zero < 0) zero = getenv("VESK_TEST_ZERO_FILE_IDS") != nullptr ? 1 : 0;
    return zero != 0;
}

/// Fills one directory record of infoClass at out (room bytes) from e; the bytes it
/// takes (8-aligned), or 0 when it does not fit.
size_t FillDirectoryRecord(FILE_INFO_BY_HANDLE_CLASS infoClass, const Snapshot *s,
                           const EntryInfo *e, BYTE *out, size_t room)
{
    const char *name = s->Pool + e->Name;
    size_t nameOffset = infoClass == FileIdExtdDirectoryInfo
                            ? offsetof(FILE_ID_EXTD_DIR_INFO, FileName)
                            : offsetof(FILE_ID_BOTH_DIR_INFO, FileName);
    if (room < nameOffset + sizeof(WCHAR)) return 0;
    // Decoded once, straight into its place: a name that does not fit is taken back.
    // Most names are ASCII, widened byte by byte; any other is decoded whole.
    size_t capacity = (room - nameOffset) / sizeof(WCHAR);
    WCHAR *nameOut = (WCHAR *)(out + nameOffset);
    size_t chars = 0;
    while (chars < capacity && (unsigned char)name[chars] - 1u < 0x7Fu) {
        nameOut[chars] = (WCHAR)name[chars];
        ++chars;
    }
    if (chars == capacity || name[chars] != 0)
        chars = NativeToWide(name, strlen(name), nameOut, capacity);
    else
        nameOut[chars] = 0;
    if (chars >= capacity) return 0;
    size_t need = (nameOffset + (chars + 1) * sizeof(WCHAR) + 7) & ~(size_t)7;
    if (need > room) need = room;
    memset(out, 0, nameOffset);
    // The two record kinds share their first fields, up to EaSize.
    FILE_ID_BOTH_DIR_INFO *both = (FILE_ID_BOTH_DIR_INFO *)out;
    both->FileNameLength = (DWORD)(chars * sizeof(WCHAR));
    if (e->Waived) {
        // Times that no file has mark what was not read; the size and id stay 0.
        both->FileAttributes = e->Attributes;
        both->CreationTime.QuadPart = (int64_t)WAIVED_RECORD_TIME;
        both->LastAccessTime.QuadPart = (int64_t)WAIVED_RECORD_TIME;
        both->LastWriteTime.QuadPart = (int64_t)WAIVED_RECORD_TIME;
        both->ChangeTime.QuadPart = (int64_t)WAIVED_RECORD_TIME;
        return need;
    }
    if (e->Error != 0) {
        // An entry whose status failed: the attributes no entry can have mark it, and
        // its error stands where a reparse point's tag would.
        both->FileAttributes = INVALID_FILE_ATTRIBUTES;
        both->EaSize = e->Error;
        return need;
    }
    both->CreationTime.QuadPart = (int64_t)FileTimeValue(&e->Creation);
    both->LastAccessTime.QuadPart = (int64_t)FileTimeValue(&e->Access);
    both->LastWriteTime.QuadPart = (int64_t)FileTimeValue(&e->Write);
    both->ChangeTime = both->LastWriteTime;
    both->EndOfFile.QuadPart = (int64_t)e->Size;
    both->AllocationSize = both->EndOfFile;
    both->FileAttributes = e->Attributes;
    DWORD tag = (e->Attributes & FILE_ATTRIBUTE_REPARSE_POINT) ? IO_REPARSE_TAG_SYMLINK : 0;
    both->EaSize = tag;
    uint64_t inode = ZeroFileIds() ? 0 : e->Inode;
    uint64_t device = ZeroFileIds() ? 0 : e->Device;
    if (infoClass == FileIdExtdDirectoryInfo) {
        FILE_ID_EXTD_DIR_INFO *extd = (FILE_ID_EXTD_DIR_INFO *)out;
        extd->ReparsePointTag = tag;
        memcpy(extd->FileId.Identifier, &inode, 8);
        memcpy(extd->FileId.Identifier + 8, &device, 8);
    } else {
        both->FileId.QuadPart = (int64_t)inode;
    }
    return need;
}

/// The identity of r's directory from the status of its descriptor. False (with the
/// error set) when there is none to ask, or it fails.
bool ReadHandleStatus(DirectoryRecord *r)
{
    if (r->Fd < 0) {
        SetError(ERROR_INVALID_PARAMETER);
        return false;
    }
    struct stat st;
    CountStatusCall();
    if (fstat(r->Fd, &st) != 0) {
        SetError(ErrorFromErrno(errno));
        return false;
    }
    r->Inode = (uint64_t)st.st_ino;
    r->Device = ((uint64_t)major(st.st_dev) << 32) | minor(st.st_dev);
    return true;
}

/// GetFileInformationByHandleEx's directory classes: as many records as fit in size.
BOOL ReadDirectoryRecords(DirectoryRecord *r, FILE_INFO_BY_HANDLE_CLASS infoClass, void *info,
                          DWORD size)
{
    if (!r->Taken) {
        ListedEvidence evidence;
        DWORD error = TakeSnapshot(r->Fd, nullptr, false,
                                   (r->Needs & HANDLE_LISTING_NO_DIRECTORY_RECORDS) != 0, &r->Names,
                                   &evidence);
        if (error == 0 && (r->Needs & HANDLE_LISTING_KEEPS_IDENTITY) && !r->HasIdentity) {
            r->HasIdentity = ListedIdentity(&evidence, &r->Inode, &r->Device) ||
                             ReadHandleStatus(r);
        }
        if (!r->Kept) {
            close(r->Fd);
            r->Fd = -1;
        }
        r->Taken = true;
        if (error != 0) {
            SetError(error);
            return FALSE;
        }
    }
    BYTE *out = (BYTE *)info;
    size_t used = 0;
    DWORD *previous = nullptr;
    for (;;) {
        size_t at = r->Names.Next;
        const EntryInfo *e = NextEntry(&r->Names);
        if (e == nullptr) break;
        size_t taken = FillDirectoryRecord(infoClass, &r->Names, e, out + used, size - used);
        if (taken == 0) {
            r->Names.Next = at;  // delivered by the next call
            break;
        }
        if (previous != nullptr) *previous = (DWORD)(out + used - (BYTE *)previous);
        previous = (DWORD *)(out + used);
        used += taken;
    }
    if (used == 0) {
        SetError(r->Names.Next < r->Names.Count ? ERROR_MORE_DATA : ERROR_NO_MORE_FILES);
        return FALSE;
    }
    return TRUE;
}

}  // namespace

namespace vesk_posix {

HANDLE OpenDirectoryHandle(const char *path)
{
    const int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
    int fd = OpenThroughKept(path, flags);
    if (fd == -2) fd = OpenLongPath(path, flags);
    if (fd < 0 && (errno == EMFILE || errno == ENFILE) && ReleaseKeptDescriptors())
        fd = OpenLongPath(path, flags);
    if (fd < 0) {
        SetError(ErrorFromErrno(errno));
        return INVALID_HANDLE_VALUE;
    }
    DirectoryRecord *r = (DirectoryRecord *)calloc(1, sizeof *r);
    if (r == nullptr) {
        close(fd);
        SetError(ERROR_NOT_ENOUGH_MEMORY);
        return INVALID_HANDLE_VALUE;
    }
    r->Tag = DIRECTORY_TAG;
    r->Fd = fd;
    // A test seam, named as one: VESK_TEST_REFUSE_HANDLE_LISTING refuses the directory
    // classes, as file systems that only the classic listing serves do.
    r->Refused = getenv("VESK_TEST_REFUSE_HANDLE_LISTING") != nullptr;
    KeepDirectory(r, path);
    return (HANDLE)r;
}

bool CloseDirectoryHandle(HANDLE h)
{
    DirectoryRecord *r = AsDirectoryRecord(h);
    if (r == nullptr) return false;
    ReleaseKept(r);
    if (r->Fd >= 0) close(r->Fd);
    FreeSnapshot(&r->Names);
    r->Tag = 0;
    free(r);
    return true;
}

}  // namespace vesk_posix

BOOL GetFileInformationByHandleEx(HANDLE file, FILE_INFO_BY_HANDLE_CLASS infoClass, void *info,
                                  DWORD size)
{
    DirectoryRecord *r = AsDirectoryRecord(file);
    if (r == nullptr || info == nullptr) {
        SetError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (infoClass == FileIdInfo) {
        if (size < sizeof(FILE_ID_INFO)) {
            SetError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        // Asked once: of the descriptor before the listing is taken, or kept from the
        // listing when it was asked to (HANDLE_LISTING_KEEPS_IDENTITY).
        if (!r->HasIdentity && !(r->HasIdentity = ReadHandleStatus(r))) return FALSE;
        FILE_ID_INFO *id = (FILE_ID_INFO *)info;
        // The device as the entries' statx gives it, so that the two ids compare. It is
        // part of every file id, so one serial serves all Linux file systems: a mount
        // point looks like any directory in its parent's listing, and the walk gives its
        // entries the volume of the level that lists them; with one serial a file has
        // one identity whichever way the walk reached it.
        uint64_t inode = r->Inode;
        uint64_t device = r->Device;
        id->VolumeSerialNumber = LINUX_VOLUME_SERIAL;
        if (ZeroFileIds()) inode = device = 0;
        memcpy(id->FileId.Identifier, &inode, 8);
        memcpy(id->FileId.Identifier + 8, &device, 8);
        return TRUE;
    }
    bool directoryClass =
        infoClass == FileIdBothDirectoryInfo || infoClass == FileIdExtdDirectoryInfo;
    if (!r->Refused && directoryClass)
        return ReadDirectoryRecords(r, infoClass, info, size);
    SetError(ERROR_INVALID_PARAMETER);
    return FALSE;
}

DWORD GetFinalPathNameByHandleW(HANDLE file, LPWSTR path, DWORD size, DWORD)
{
    DirectoryRecord *r = AsDirectoryRecord(file);
    if (r == nullptr || r->Fd < 0) {
        SetError(ERROR_INVALID_HANDLE);
        return 0;
    }
    // A test seam, named as one: VESK_TEST_NO_RESOLVED_PATHS refuses, as a system
    // without /proc, or a file system that cannot tell a handle's path, does.
    if (getenv("VESK_TEST_NO_RESOLVED_PATHS") != nullptr) {
        SetError(ERROR_NOT_SUPPORTED);
        return 0;
    }
    char link[32];
    snprintf(link, sizeof link, "/proc/self/fd/%d", r->Fd);
    char target[PATH_MAX + 1];
    ssize_t len = readlink(link, target, sizeof target - 1);
    // A directory removed while open reads " (deleted)" after its old path; it holds
    // nothing, so being taken for another does not matter.
    if (len <= 0 || target[0] != '/' || (size_t)len >= sizeof target - 1) {
        SetError(len < 0 ? ErrorFromErrno(errno) : ERROR_PATH_NOT_FOUND);
        return 0;
    }
    target[len] = 0;
    size_t need = NativeToWide(target, (size_t)len, nullptr, 0) + 1;
    if (path == nullptr || need > size) return (DWORD)need;
    NativeToWide(target, (size_t)len, path, size);
    return (DWORD)(need - 1);
}

void SetHandleListingNeeds(HANDLE directory, unsigned needs)
{
    DirectoryRecord *r = AsDirectoryRecord(directory);
    if (r != nullptr && !r->Taken) r->Needs |= needs;
}

HANDLE FindFirstFileW(LPCWSTR searchPath, WIN32_FIND_DATAW *data)
{
    return OpenListing(searchPath, data, true);
}

BOOL FindNextFileW(HANDLE find, WIN32_FIND_DATAW *data)
{
    FindRecord *r = AsFindRecord(find);
    if (r == nullptr || data == nullptr) {
        SetError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (DeliverNext(&r->Names, data)) return TRUE;
    SetError(ERROR_NO_MORE_FILES);
    return FALSE;
}

BOOL FindClose(HANDLE find)
{
    FindRecord *r = AsFindRecord(find);
    if (r == nullptr) {
        SetError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    FreeSnapshot(&r->Names);
    r->Tag = 0;
    free(r);
    return TRUE;
}

HANDLE FindFirstFileLong(const wchar_t *searchPath, WIN32_FIND_DATAW *data)
{
    // Its callers skip "." and ".." unread, so they are not stat'ed: two calls saved on
    // every directory of a walk. A drive root lists without them on Windows too.
    return OpenListing(searchPath, data, false);
}
