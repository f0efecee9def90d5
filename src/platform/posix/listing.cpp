// Directory listings: FindFirstFileW and its kin over getdents64.
#include "posix_layer.h"

#include "text/native_text.h"

#include <algorithm>
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace vesk_posix;

namespace {

// Order: "." and ".." first, then by upper-case name (exact order on ties); what
// each entry shows as is read by ReadEntry.
//
// The names are read whole when the listing opens (one pool of bytes, one array of
// offsets), and every entry is stat'ed then too, through the open directory, which is
// closed before the listing is handed out: a walk keeps a listing open for every level
// it is below, and a descriptor per level would run out under the usual soft limit long
// before the deepest path the plug-in accepts.

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
