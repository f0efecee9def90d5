// Directory listings: FindFirstFileW and its kin, and a directory read through its own
// handle (GetFileInformationByHandleEx), both over getdents64 and both the same way.
#include "posix_layer.h"

#include "text/native_text.h"

#include <algorithm>
#include <stddef.h>
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdint.h>
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
// The names are read whole at the listing's first request, since the order (and so which
// of two equal files comes first) needs them all. Only what sorting needs is held: one
// pool of bytes with each name and the type the listing gave (and its inode, where the
// directory's identity is to be told from its entries), and one array of offsets. What
// an entry shows as is read when the listing comes to it, a batch of BATCH stat'ed
// entries at a time, through the open directory: a walk keeps a listing open for every
// level it is below, and a large directory then costs its names while the levels below
// it are walked, not a record per entry. The first batch is read at the first request,
// so that a directory whose names may be read but not looked up is denied there; an
// entry past it shows as it is when its batch is read (gone since: left out). The
// directory is opened with open and read with getdents64 rather than opendir. Nothing
// is asked of the directory itself unless its identity is: it is in the statx of its
// entry in the parent, which the walk then holds.
//
// A listing with entries still to read keeps its directory's descriptor, and so does a
// directory handle kept for opening its subdirectories through it (Holders, below). At
// most KeptLimit() listings hold one: a descriptor per level of a deep walk would run out
// under the usual soft limit long before the deepest path the plug-in accepts. When one
// more needs a descriptor, the listing that has held one longest reads all its remaining
// entries at once and lets its descriptor go. A directory is never reopened by its path
// to resume a listing: the path may name another directory by then.
//
// A listing asked for no record of its subdirectories (HANDLE_LISTING_NO_DIRECTORY_RECORDS)
// stats no entry whose type the listing gives as a directory: a walk that offers no
// directory reads nothing of their records but the directory bit and the hidden one,
// which the type and the name tell, and learns their identities from their own listings
// (listed_identity.cpp). The type a listing gives is what the entry is: a link shows as
// one, and is stat'ed.

/// The entries a batch stats at most (entries left unread by waiving cost nothing).
const size_t BATCH = 64;

/// Not an index: no entry is stat'ed in spite of its waived type.
const size_t NO_INDEX = SIZE_MAX;

struct Snapshot {
    char *Pool;         // the entries' byte names, each NUL-terminated after its prefix
    size_t PoolUsed, PoolSize;
    size_t Prefix;      // bytes before each name: the type, after the inode with Inodes
    bool Inodes;
    uint32_t *Order;    // offsets into Pool, in listing order from index First
    size_t First, Count;
    int Fd;             // the directory while its listing may still need it; else -1
    bool Taken;         // the names have been read
    bool Held;          // in Holders
    bool Opener;        // held with its path, to open subdirectories through
    bool Waive;         // entries the listing types as directories are not stat'ed
    size_t WholeIndex;  // an entry of a waived type stat'ed all the same, or NO_INDEX
    EntryInfo *Info;    // the stat'ed entries of the batch, in listing order
    size_t InfoSize, InfoUsed, InfoNext;
    size_t Next;        // index (from First) of the entry to deliver next
    size_t BatchEnd;    // index past the entries whose status Info holds
};

/// The waived entry being delivered, of whichever listing: it is read as soon as it is
/// made, and a deep walk then holds no such record per level.
EntryInfo WaivedEntry;

struct FindRecord {
    uint32_t Tag;
    Snapshot Names;
};

// A directory opened with backup semantics; its descriptor is in Names.
struct DirectoryRecord {
    uint32_t Tag;
    unsigned Needs;    // HANDLE_LISTING_ bits
    bool Refused;      // VESK_TEST_REFUSE_HANDLE_LISTING was set at the open
    bool HasIdentity;  // Inode and Device are the directory's, for FileIdInfo
    uint64_t Inode, Device;
    Snapshot Names;
};

// The listings that hold a descriptor, in the order they came to hold it. A directory
// handle comes in at its open, with its path, so that its subdirectories are opened
// through it: the kernel then looks up one name rather than the whole path again. A
// walk opens a directory's subdirectories while that directory is listed, so the
// directories it still needs are among those that came last, and the first is the one
// it comes back to last. At most KeptLimit() are held (an eighth of the descriptors the
// process may hold, and no more than KEPT_MOST); all let theirs go at once when an open
// finds no descriptor free.

const size_t KEPT_MOST = 32;

struct Holder {
    Snapshot *Names;
    size_t Len;  // of Path, without trailing separators ("/" stays); 0: not an opener
    char Path[512];
};

Holder Holders[KEPT_MOST];
size_t HolderCount = 0;

/// How many listings may hold a descriptor, worked out once.
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

/// Opens the absolute path (a directory) through the held directory that holds it, or
/// -2 when none does; otherwise as open, -1 with errno.
int OpenThroughKept(const char *path, int flags)
{
    if (path[0] != '/') return -2;
    size_t len = TrimmedLength(path);
    size_t slash = len;
    while (slash > 0 && path[slash - 1] != '/') --slash;
    if (slash == 0 || slash == len) return -2;
    size_t parentLen = slash > 1 ? slash - 1 : 1;
    for (size_t i = HolderCount; i-- > 0;) {
        const Holder *k = &Holders[i];
        if (k->Len == parentLen && k->Names->Fd >= 0 && memcmp(k->Path, path, parentLen) == 0)
            return openat(k->Names->Fd, path + slash, flags);
    }
    return -2;
}

/// The type (DT_) the listing gave for the name at offset.
unsigned char ListedType(const Snapshot *s, uint32_t offset)
{
    return (unsigned char)s->Pool[offset - 1];
}

/// The inode the listing gave for the name at offset (only with s->Inodes).
uint64_t ListedInode(const Snapshot *s, uint32_t offset)
{
    uint64_t inode;
    memcpy(&inode, s->Pool + offset - s->Prefix, sizeof inode);
    return inode;
}

uint32_t OffsetAt(const Snapshot *s, size_t i) { return s->Order[s->First + i]; }

/// True when entry i is stat'ed: not waived for its type.
bool IsStated(const Snapshot *s, size_t i)
{
    return !s->Waive || i == s->WholeIndex || ListedType(s, OffsetAt(s, i)) != DT_DIR;
}

/// Reads what entry i of s shows as into the next free slot of Info, and adds what it
/// is to evidence (null: none wanted). False when s's names cannot be looked up and
/// first says that denies the listing.
bool ReadOneEntry(Snapshot *s, size_t i, bool first, ListedEvidence *evidence)
{
    uint32_t offset = OffsetAt(s, i);
    EntryInfo *e = &s->Info[s->InfoUsed++];
    EntrySelf self;
    int got = ReadEntry(s->Fd, s->Pool + offset, e, &self);
    if (got == ENTRY_DIRECTORY_DENIED) {
        if (first) return false;
        // The directory's permissions changed since its first batch was read: the
        // listing goes on, and this entry is told as one whose status failed.
        e->Error = ERROR_ACCESS_DENIED;
    }
    e->Name = got == ENTRY_LEFT_OUT ? LEFT_OUT : offset;
    if (evidence != nullptr && s->Inodes)
        AddListedEvidence(evidence, ListedInode(s, offset), &self);
    return true;
}

/// Reads the next batch: the entries from BatchEnd on, up to limit stat'ed ones (Info has
/// room for them). first: the listing's first batch, where a denied lookup denies the
/// listing and the entries tell evidence. 0, or ERROR_ACCESS_DENIED.
DWORD ReadBatch(Snapshot *s, size_t limit, bool first, ListedEvidence *evidence)
{
    s->InfoUsed = s->InfoNext = 0;
    size_t i = s->BatchEnd, firstWaived = NO_INDEX;
    for (; i < s->Count && s->InfoUsed < limit; ++i) {
        if (!IsStated(s, i)) {
            if (firstWaived == NO_INDEX) firstWaived = i;
            continue;
        }
        if (!ReadOneEntry(s, i, first, evidence)) return ERROR_ACCESS_DENIED;
    }
    s->BatchEnd = i;
    // Names that may be read but not looked up make a denied listing, which only a
    // status shows: a listing that stat'ed nothing reads its first subdirectory in full.
    if (first && s->InfoUsed == 0 && firstWaived != NO_INDEX) {
        s->WholeIndex = firstWaived;
        if (!ReadOneEntry(s, firstWaived, true, evidence)) return ERROR_ACCESS_DENIED;
    }
    return 0;
}

/// Reads every entry of s not read yet, after those of the batch not yet delivered, so
/// that its descriptor may go. False when out of memory (the descriptor is still needed).
bool ReadRest(Snapshot *s)
{
    if (!s->Taken || s->BatchEnd >= s->Count) return true;
    size_t rest = 0;
    for (size_t i = s->BatchEnd; i < s->Count; ++i) rest += IsStated(s, i);
    size_t pending = s->InfoUsed - s->InfoNext;
    if (pending + rest > s->InfoSize) {
        EntryInfo *info = (EntryInfo *)malloc((pending + rest) * sizeof(EntryInfo));
        if (info == nullptr) return false;
        memcpy(info, s->Info + s->InfoNext, pending * sizeof(EntryInfo));
        free(s->Info);
        s->Info = info;
        s->InfoSize = pending + rest;
    } else {
        memmove(s->Info, s->Info + s->InfoNext, pending * sizeof(EntryInfo));
    }
    s->InfoUsed = pending;
    s->InfoNext = 0;
    for (size_t i = s->BatchEnd; i < s->Count; ++i)
        if (IsStated(s, i)) ReadOneEntry(s, i, false, nullptr);
    s->BatchEnd = s->Count;
    return true;
}

/// Takes s out of Holders.
void Unhold(Snapshot *s)
{
    if (!s->Held) return;
    s->Held = s->Opener = false;
    for (size_t i = HolderCount; i-- > 0;)
        if (Holders[i].Names == s) {
            memmove(&Holders[i], &Holders[i + 1], (HolderCount - i - 1) * sizeof Holders[0]);
            --HolderCount;
            return;
        }
}

/// Closes s's descriptor, which it no longer needs.
void LetDescriptorGo(Snapshot *s)
{
    Unhold(s);
    if (s->Fd >= 0) close(s->Fd);
    s->Fd = -1;
}

/// Lets the descriptor of the held listing at index i go, once it has read its
/// remaining entries. False when it cannot: its names are not read yet, or no memory.
bool LetHolderGo(size_t i)
{
    Snapshot *s = Holders[i].Names;
    if (!s->Taken || !ReadRest(s)) return false;
    LetDescriptorGo(s);
    return true;
}

/// Enters s in Holders, with path (length len, 0 for none) to open through; when all
/// places are taken, the listing held longest gives up its own. False when none can.
bool Hold(Snapshot *s, const char *path, size_t len)
{
    if (s->Held) return true;
    if (HolderCount >= KeptLimit()) {
        size_t i = 0;
        while (i < HolderCount && !LetHolderGo(i)) ++i;
        if (i == HolderCount) return false;
    }
    Holder *k = &Holders[HolderCount++];
    k->Names = s;
    k->Len = len;
    if (len > 0) memcpy(k->Path, path, len);
    s->Held = true;
    s->Opener = len > 0;
    return true;
}

/// Holds r's directory, opened at path, to open its subdirectories through.
void KeepDirectory(DirectoryRecord *r, const char *path)
{
    size_t len = TrimmedLength(path);
    if (path[0] == '/' && len < sizeof Holders[0].Path) Hold(&r->Names, path, len);
}

/// Closes the descriptor of every held listing whose names have been read (each reads
/// its remaining entries first), for an open that found none free.
bool ReleaseKeptDescriptors()
{
    bool released = false;
    for (size_t i = 0; i < HolderCount;) {
        if (LetHolderGo(i))
            released = true;
        else
            ++i;
    }
    return released;
}

/// After the batch that s has just read: its descriptor stays while it has entries left
/// to read (held; or, when no place can be made, they are all read now) or while it is
/// held to open through; otherwise it goes.
void SettleDescriptor(Snapshot *s)
{
    // Out of memory for the rest: the descriptor stays, unheld, until the last batch.
    if (s->BatchEnd < s->Count && !Hold(s, nullptr, 0) && !ReadRest(s)) return;
    if (s->BatchEnd >= s->Count && !s->Opener) LetDescriptorGo(s);
}

/// Frees what s read, leaving its descriptor as it is.
void FreeNames(Snapshot *s)
{
    free(s->Pool);
    free(s->Order);
    free(s->Info);
    s->Pool = nullptr;
    s->Order = nullptr;
    s->Info = nullptr;
    s->PoolUsed = s->PoolSize = s->First = s->Count = 0;
    s->InfoSize = s->InfoUsed = s->InfoNext = s->Next = s->BatchEnd = 0;
}

/// A name's first eight bytes as CompareNames orders them, and its offset in the pool.
/// ASCII letters are folded and the bytes past the name's end are 0, packed so that the
/// larger number sorts later; a byte of a longer character stands as it is and ends the
/// number, so that where two numbers first differ in such a byte, only CompareNames
/// knows the order. Twelve bytes: a listing holds one per name while it sorts.
struct __attribute__((packed, aligned(4))) SortKey {
    uint64_t Prefix;
    uint32_t Offset;
};
static_assert(sizeof(SortKey) == 12, "a sort key takes twelve bytes");

uint64_t SortPrefix(const unsigned char *name)
{
    uint64_t prefix = 0;
    for (unsigned i = 0; i < 8; ++i) {
        uint32_t c = name[i];
        if (c >= 0x80) return ((prefix << 8) | c) << 8 * (7 - i);
        prefix = (prefix << 8) | (c - ((c - 'a' < 26u) << 5));
        if (c == 0) return prefix << 8 * (7 - i);
    }
    return prefix;
}

/// The names read so far: where "." and ".." went in the pool (-1: not listed), the
/// others' keys, and the inode "." was listed with (0 when it was not), listed or left
/// out.
struct NameCount {
    int64_t Dot, DotDot;
    SortKey *Keys;
    size_t Used, Size;
    uint64_t DotInode;
};

// Appends a name with the type (and, with s->Inodes, the inode) the listing gave to the
// pool; returns the name's offset, or -1 when out of memory.
int64_t AddName(Snapshot *s, const char *name, size_t len, uint64_t inode, unsigned char type)
{
    size_t need = s->Prefix + len + 1;
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
    if (s->Inodes) memcpy(at, &inode, sizeof inode);
    at[s->Prefix - 1] = (char)type;
    memcpy(at + s->Prefix, name, len + 1);
    s->PoolUsed += need;
    return (int64_t)(at + s->Prefix - s->Pool);
}

/// Reads every name of s->Fd that pattern (null: all) matches into s and names. 0, or
/// the error.
DWORD ReadNames(Snapshot *s, const wchar_t *pattern, bool withDots, NameCount *names)
{
    names->Dot = names->DotDot = -1;
    names->Used = 0;
    names->Size = 16;
    names->DotInode = 0;
    names->Keys = (SortKey *)malloc(names->Size * sizeof(SortKey));
    if (names->Keys == nullptr) return ERROR_NOT_ENOUGH_MEMORY;
    wchar_t wide[MAX_PATH];
    alignas(struct dirent64) char block[16384];
    ssize_t filled = 0, at = 0;
    for (;;) {
        if (at >= filled) {
            filled = getdents64(s->Fd, block, sizeof block);
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
            if (names->Used == names->Size) {
                SortKey *p = (SortKey *)realloc(names->Keys, 2 * names->Size * sizeof(SortKey));
                if (p == nullptr) return ERROR_NOT_ENOUGH_MEMORY;
                names->Keys = p;
                names->Size *= 2;
            }
            names->Keys[names->Used].Prefix = SortPrefix((const unsigned char *)name);
            names->Keys[names->Used].Offset = (uint32_t)offset;
            ++names->Used;
        }
    }
}

/// Puts the names in listing order in s->Order, "." and ".." first and the rest sorted,
/// in the memory of the keys (names->Keys is s's from here on). Most names differ in an
/// ASCII byte of their first eight: those are compared as one number, the rest by
/// CompareNames.
void SortNames(Snapshot *s, NameCount *names)
{
    const char *pool = s->Pool;
    SortKey *keys = names->Keys;
    std::sort(keys, keys + names->Used, [pool](const SortKey &a, const SortKey &b) {
        uint64_t differ = a.Prefix ^ b.Prefix;
        if (differ != 0) {
            unsigned shift = 56 - ((unsigned)__builtin_clzll(differ) & ~7u);
            if ((((a.Prefix | b.Prefix) >> shift) & 0x80) == 0) return a.Prefix < b.Prefix;
        }
        return CompareNames(pool + a.Offset, pool + b.Offset) < 0;
    });
    // The offsets move down into the keys' own memory, two places kept ahead of them
    // for the dots: the offset of key i goes to bytes 8 + 4i, which no key after it
    // reaches, so each key is read before anything is written over it.
    char *bytes = (char *)keys;
    for (size_t i = 0; i < names->Used; ++i) {
        uint32_t offset = keys[i].Offset;
        memcpy(bytes + 8 + 4 * i, &offset, sizeof offset);
    }
    size_t slots = names->Used + 2;
    uint32_t *order = (uint32_t *)realloc(keys, slots * sizeof(uint32_t));
    s->Order = order != nullptr ? order : (uint32_t *)keys;
    names->Keys = nullptr;
    s->First = 2;
    if (names->DotDot >= 0) s->Order[--s->First] = (uint32_t)names->DotDot;
    if (names->Dot >= 0) s->Order[--s->First] = (uint32_t)names->Dot;
    s->Count = slots - s->First;
}

/// Takes the listing of s->Fd into s: its names, their order, and the first batch of
/// statuses, with what the batch tells of the directory's identity in evidence (inodes:
/// the names keep their inodes for it). 0, or the error (s is then empty).
DWORD TakeSnapshot(Snapshot *s, const wchar_t *pattern, bool withDots, bool waive, bool inodes,
                   ListedEvidence *evidence)
{
    memset(evidence, 0, sizeof *evidence);
    s->Taken = true;
    s->Waive = waive;
    s->Inodes = inodes;
    s->Prefix = (inodes ? sizeof(uint64_t) : 0) + 1;
    s->WholeIndex = NO_INDEX;
    NameCount names;
    DWORD error = ReadNames(s, pattern, withDots, &names);
    if (error == 0) {
        evidence->DotInode = names.DotInode;
        SortNames(s, &names);
        s->InfoSize = std::min(std::max(s->Count, (size_t)1), BATCH);
        s->Info = (EntryInfo *)malloc(s->InfoSize * sizeof(EntryInfo));
        error = s->Info == nullptr ? ERROR_NOT_ENOUGH_MEMORY : ReadBatch(s, BATCH, true, evidence);
    }
    free(names.Keys);
    if (error != 0) FreeNames(s);
    return error;
}

/// A waived entry i of s (a subdirectory, unread) as it is delivered, in out.
void WaiveEntry(const Snapshot *s, size_t i, EntryInfo *out)
{
    uint32_t offset = OffsetAt(s, i);
    memset(out, 0, sizeof *out);
    out->Name = offset;
    out->Waived = true;
    out->Attributes = FILE_ATTRIBUTE_DIRECTORY;
    if (IsHiddenName(s->Pool + offset)) out->Attributes |= FILE_ATTRIBUTE_HIDDEN;
}

/// The entry to deliver next, read (a batch at a time) but not yet passed; null at the
/// end. Asked again before Advance, it gives the same entry.
const EntryInfo *CurrentEntry(Snapshot *s)
{
    for (;;) {
        if (s->Next >= s->Count) return nullptr;
        if (s->Next >= s->BatchEnd) {
            // Only the first batch can deny the listing: this one always reads.
            ReadBatch(s, s->InfoSize, false, nullptr);
            SettleDescriptor(s);
        }
        if (!IsStated(s, s->Next)) {
            WaiveEntry(s, s->Next, &WaivedEntry);
            return &WaivedEntry;
        }
        const EntryInfo *e = &s->Info[s->InfoNext];
        if (e->Name != LEFT_OUT) return e;
        ++s->InfoNext;
        ++s->Next;
    }
}

/// Passes the entry CurrentEntry gave.
void Advance(Snapshot *s)
{
    if (IsStated(s, s->Next)) ++s->InfoNext;
    ++s->Next;
}

// Delivers the next entry; false at the end.
bool DeliverNext(Snapshot *s, WIN32_FIND_DATAW *data)
{
    const EntryInfo *e = CurrentEntry(s);
    if (e == nullptr) return false;
    Advance(s);
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
    const int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
    int fd = OpenLongPath(dir.Text, flags);
    if (fd < 0 && (errno == EMFILE || errno == ENFILE) && ReleaseKeptDescriptors())
        fd = OpenLongPath(dir.Text, flags);
    int openErrno = errno;
    FreeNativePath(&dir);
    if (fd < 0) {
        SetError(openErrno == ENOENT ? ERROR_PATH_NOT_FOUND : ErrorFromErrno(openErrno));
        return INVALID_HANDLE_VALUE;
    }
    FindRecord *r = (FindRecord *)calloc(1, sizeof *r);
    if (r == nullptr) {
        close(fd);
        SetError(ERROR_NOT_ENOUGH_MEMORY);
        return INVALID_HANDLE_VALUE;
    }
    r->Names.Fd = fd;
    ListedEvidence unused;
    DWORD error = TakeSnapshot(&r->Names, matchAll ? nullptr : pattern, withDots, false, false,
                               &unused);
    SettleDescriptor(&r->Names);
    if (error == 0 && !DeliverNext(&r->Names, data)) error = ERROR_FILE_NOT_FOUND;
    if (error != 0) {
        LetDescriptorGo(&r->Names);
        FreeNames(&r->Names);
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
    if (r->Names.Fd < 0) {
        SetError(ERROR_INVALID_PARAMETER);
        return false;
    }
    struct stat st;
    CountStatusCall();
    if (fstat(r->Names.Fd, &st) != 0) {
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
    if (!r->Names.Taken) {
        ListedEvidence evidence;
        bool identity = (r->Needs & HANDLE_LISTING_KEEPS_IDENTITY) && !r->HasIdentity;
        DWORD error = TakeSnapshot(&r->Names, nullptr, false,
                                   (r->Needs & HANDLE_LISTING_NO_DIRECTORY_RECORDS) != 0,
                                   identity, &evidence);
        if (error == 0 && identity) {
            // What a part of the listing tells is not what the whole would: the entries
            // past the first batch may lie on another device. A listing larger than its
            // first batch asks the directory itself.
            bool whole = r->Names.BatchEnd >= r->Names.Count;
            r->HasIdentity = (whole && ListedIdentity(&evidence, &r->Inode, &r->Device)) ||
                             ReadHandleStatus(r);
        }
        SettleDescriptor(&r->Names);
        if (error != 0) {
            SetError(error);
            return FALSE;
        }
    }
    BYTE *out = (BYTE *)info;
    size_t used = 0;
    DWORD *previous = nullptr;
    for (;;) {
        const EntryInfo *e = CurrentEntry(&r->Names);
        if (e == nullptr) break;
        size_t taken = FillDirectoryRecord(infoClass, &r->Names, e, out + used, size - used);
        if (taken == 0) break;  // delivered by the next call
        Advance(&r->Names);
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

HANDLE OpenDirectoryHandle(const char *path, bool listable)
{
    // A path descriptor needs no right to read the names: a folder denied is still known.
    const int flags = (listable ? O_RDONLY : O_PATH) | O_DIRECTORY | O_CLOEXEC;
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
    r->Names.Fd = fd;
    // A test seam, named as one: VESK_TEST_REFUSE_HANDLE_LISTING refuses the directory
    // classes, as file systems that only the classic listing serves do. A handle that
    // may not list refuses them always.
    r->Refused = !listable || getenv("VESK_TEST_REFUSE_HANDLE_LISTING") != nullptr;
    if (listable) KeepDirectory(r, path);
    return (HANDLE)r;
}

bool CloseDirectoryHandle(HANDLE h)
{
    DirectoryRecord *r = AsDirectoryRecord(h);
    if (r == nullptr) return false;
    LetDescriptorGo(&r->Names);
    FreeNames(&r->Names);
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
    if (r == nullptr || r->Names.Fd < 0) {
        SetError(ERROR_INVALID_HANDLE);
        return 0;
    }
    char link[32];
    snprintf(link, sizeof link, "/proc/self/fd/%d", r->Names.Fd);
    char target[PATH_MAX + 1];
    ssize_t len = readlink(link, target, sizeof target - 1);
    // A directory removed while open reads " (deleted)" after its old path; it holds
    // nothing, so being taken for another does not matter.
    if (len <= 0 || target[0] != '/' || (size_t)len >= sizeof target - 1) {
        SetError(len < 0 ? ErrorFromErrno(errno) : ERROR_PATH_NOT_FOUND);
        return 0;
    }
    target[len] = 0;
    // Decoded once: a buffer too small holds a cut text, and the size it needs is told.
    size_t chars = NativeToWide(target, (size_t)len, path, path != nullptr ? size : 0);
    return (DWORD)(path == nullptr || chars >= size ? chars + 1 : chars);
}

void SetHandleListingNeeds(HANDLE directory, unsigned needs)
{
    DirectoryRecord *r = AsDirectoryRecord(directory);
    if (r != nullptr && !r->Names.Taken) r->Needs |= needs;
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
    LetDescriptorGo(&r->Names);
    FreeNames(&r->Names);
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
