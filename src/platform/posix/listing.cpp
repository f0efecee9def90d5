// Directory listings: FindFirstFileW and its kin, and a directory read through its own
// handle (GetFileInformationByHandleEx), both over the same snapshot of its names
// (snapshot.h). A directory handle may open its subdirectories below it, each by its one
// name (CreateFileBelow): a walk then costs the kernel one lookup per directory, however
// deep the tree.
#include "snapshot.h"

#include "text/native_text.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#if defined(__SSE2__)
#  include <emmintrin.h>
#endif

using namespace vesk_posix;

namespace {

struct FindRecord {
    uint32_t Tag;
    Snapshot Names;
};

// A directory opened with backup semantics; its descriptor is in Names. One opened
// below another keeps it (Parent) until both are closed: when the walk comes back from
// a subdirectory to a directory whose descriptor went to the budget, the subdirectory's
// ".." gives it back, checked to be that directory, with no path looked up again.
struct DirectoryRecord {
    uint32_t Tag;
    unsigned Needs;    // HANDLE_LISTING_ bits
    bool Refused;      // opened only to tell what the directory is: it lists nothing
    bool Closed;       // its handle is closed; kept while handles opened below it are open
    uint32_t Children; // handles opened below it and not closed
    DirectoryRecord *Parent;  // the handle it was opened below; null for a path open
    Snapshot Names;
};

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
        data->dwFileAttributes = UNREADABLE_ENTRY_ATTRIBUTES;
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

/// Writes the len bytes of name, when all are ASCII, as characters to out; false (out
/// then holds a part) when one is not.
bool WidenAscii(const char *name, size_t len, WCHAR *out)
{
    size_t i = 0;
#if defined(__SSE2__)
    // Names of a few dozen characters are common: sixteen bytes a step.
    const __m128i zero = _mm_setzero_si128();
    for (; i + 16 <= len; i += 16) {
        __m128i bytes = _mm_loadu_si128((const __m128i *)(name + i));
        if (_mm_movemask_epi8(bytes) != 0) return false;
        __m128i low = _mm_unpacklo_epi8(bytes, zero), high = _mm_unpackhi_epi8(bytes, zero);
        static_assert(sizeof(WCHAR) == 4, "the Linux layer's characters are four bytes");
        _mm_storeu_si128((__m128i *)(out + i), _mm_unpacklo_epi16(low, zero));
        _mm_storeu_si128((__m128i *)(out + i + 4), _mm_unpackhi_epi16(low, zero));
        _mm_storeu_si128((__m128i *)(out + i + 8), _mm_unpacklo_epi16(high, zero));
        _mm_storeu_si128((__m128i *)(out + i + 12), _mm_unpackhi_epi16(high, zero));
    }
#endif
    for (; i < len; ++i) {
        unsigned char c = (unsigned char)name[i];
        if (c >= 0x80) return false;
        out[i] = (WCHAR)c;
    }
    return true;
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
    // Most names are ASCII, widened as they stand; any other is decoded whole.
    size_t capacity = (room - nameOffset) / sizeof(WCHAR);
    WCHAR *nameOut = (WCHAR *)(out + nameOffset);
    size_t len = EntryNameLength(s, e);
    size_t chars = len < capacity && WidenAscii(name, len, nameOut)
                       ? len
                       : NativeToWide(name, len, nameOut, capacity);
    nameOut[chars < capacity ? chars : capacity - 1] = 0;
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
        MarkRecordUnreadable(out, e->Error);
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
    uint64_t inode = e->Inode;
    uint64_t device = e->Device;
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
    r->Names.Inode = (uint64_t)st.st_ino;
    r->Names.Device = ((uint64_t)major(st.st_dev) << 32) | minor(st.st_dev);
    return true;
}

/// GetFileInformationByHandleEx's directory classes: as many records as fit in size.
BOOL ReadDirectoryRecords(DirectoryRecord *r, FILE_INFO_BY_HANDLE_CLASS infoClass, void *info,
                          DWORD size)
{
    Snapshot *s = &r->Names;
    if (!s->Taken) {
        if (s->Fd < 0) {
            SetError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        ListedEvidence evidence;
        bool identity = (r->Needs & HANDLE_LISTING_KEEPS_IDENTITY) && !s->HasIdentity;
        DWORD error = TakeSnapshot(s, nullptr, false,
                                   (r->Needs & HANDLE_LISTING_NO_DIRECTORY_RECORDS) != 0,
                                   identity, &evidence);
        if (error == 0 && identity) {
            // What a part of the listing tells is not what the whole would: the entries
            // past the first batch may lie on another device. A listing larger than its
            // first batch asks the directory itself.
            bool whole = s->BatchEnd >= s->Count;
            s->HasIdentity = (whole && ListedIdentity(&evidence, &s->Inode, &s->Device)) ||
                             ReadHandleStatus(r);
        }
        SettleDescriptor(s);
        if (error != 0) {
            SetError(error);
            return FALSE;
        }
    }
    BYTE *out = (BYTE *)info;
    size_t used = 0;
    DWORD *previous = nullptr;
    for (;;) {
        const EntryInfo *e = CurrentEntry(s);
        if (e == nullptr) break;
        size_t taken = FillDirectoryRecord(infoClass, s, e, out + used, size - used);
        if (taken == 0) break;  // delivered by the next call
        Advance(s);
        if (previous != nullptr) *previous = (DWORD)(out + used - (BYTE *)previous);
        previous = (DWORD *)(out + used);
        used += taken;
    }
    // A walk keeps the handle of every directory it is below: one read to its end holds
    // nothing of its entries.
    if (Delivered(s)) FreeNames(s);
    if (used == 0) {
        SetError(s->Next < s->Count ? ERROR_MORE_DATA : ERROR_NO_MORE_FILES);
        return FALSE;
    }
    return TRUE;
}

/// A directory record for the open descriptor fd (closed when no record can be made),
/// opened below parent (null: by its path). INVALID_HANDLE_VALUE with the error set.
HANDLE NewDirectoryRecord(int fd, bool listable, DirectoryRecord *parent)
{
    DirectoryRecord *r = (DirectoryRecord *)calloc(1, sizeof *r);
    if (r == nullptr) {
        close(fd);
        SetError(ERROR_NOT_ENOUGH_MEMORY);
        return INVALID_HANDLE_VALUE;
    }
    r->Tag = DIRECTORY_TAG;
    r->Names.Fd = fd;
    // A handle that may not list refuses the directory classes.
    r->Refused = !listable;
    r->Parent = parent;
    if (parent != nullptr) ++parent->Children;
    // A listable handle may open its subdirectories: its descriptor stays, counted.
    r->Names.Opener = listable;
    if (listable) Hold(&r->Names);
    return (HANDLE)r;
}

/// Gives r's parent its descriptor back from r's "..", when the parent's went to the
/// budget, r is still open and ".." is the directory the parent was (a link leads
/// elsewhere: the parent then opens by path what it still opens).
void RestoreParent(DirectoryRecord *r)
{
    DirectoryRecord *parent = r->Parent;
    if (parent == nullptr || parent->Closed || parent->Names.Fd >= 0 || r->Names.Fd < 0 ||
        !parent->Names.HasIdentity)
        return;
    int fd = openat(r->Names.Fd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    struct stat st;
    CountStatusCall();
    bool same = fstat(fd, &st) == 0 && (uint64_t)st.st_ino == parent->Names.Inode &&
                (((uint64_t)major(st.st_dev) << 32) | minor(st.st_dev)) == parent->Names.Device;
    if (!same) {
        close(fd);
        return;
    }
    parent->Names.Fd = fd;
    if (!Hold(&parent->Names)) LetDescriptorGo(&parent->Names);
}

/// Frees r, whose handle is closed and below which no handle is open, and its parent
/// when that was only kept for it.
void FreeDirectoryRecord(DirectoryRecord *r)
{
    while (r != nullptr) {
        DirectoryRecord *parent = r->Parent;
        LetDescriptorGo(&r->Names);
        FreeNames(&r->Names);
        r->Tag = 0;
        free(r);
        if (parent == nullptr || --parent->Children != 0 || !parent->Closed) return;
        r = parent;
    }
}

}  // namespace

namespace vesk_posix {

HANDLE OpenDirectoryHandle(const char *path, bool listable)
{
    // A path descriptor needs no right to read the names: a folder denied is still known.
    const int flags = (listable ? O_RDONLY : O_PATH) | O_DIRECTORY | O_CLOEXEC;
    int fd = OpenLongPath(path, flags);
    if (fd < 0 && (errno == EMFILE || errno == ENFILE) && ReleaseKeptDescriptors())
        fd = OpenLongPath(path, flags);
    if (fd < 0) {
        SetError(ErrorFromErrno(errno));
        return INVALID_HANDLE_VALUE;
    }
    return NewDirectoryRecord(fd, listable, nullptr);
}

bool CloseDirectoryHandle(HANDLE h)
{
    DirectoryRecord *r = AsDirectoryRecord(h);
    if (r == nullptr) return false;
    RestoreParent(r);
    if (r->Children == 0) {
        FreeDirectoryRecord(r);
        return true;
    }
    LetDescriptorGo(&r->Names);
    FreeNames(&r->Names);
    r->Closed = true;
    r->Tag = 0;
    return true;
}

}  // namespace vesk_posix

HANDLE CreateFileBelow(HANDLE directory, const wchar_t *name, DWORD access)
{
    DirectoryRecord *parent = AsDirectoryRecord(directory);
    if (parent == nullptr || parent->Names.Fd < 0 || name == nullptr || name[0] == L'\0') {
        SetError(ERROR_INVALID_HANDLE);
        return INVALID_HANDLE_VALUE;
    }
    NativePath p;
    if (!MakeNativePath(name, &p)) {
        SetError(ERROR_NOT_ENOUGH_MEMORY);
        return INVALID_HANDLE_VALUE;
    }
    bool listable = (access & FILE_LIST_DIRECTORY) != 0;
    const int flags = (listable ? O_RDONLY : O_PATH) | O_DIRECTORY | O_CLOEXEC;
    // One name, looked up in the directory itself: "a/b" or ".." would be another.
    int fd = -1;
    errno = EINVAL;
    if (strchr(p.Text, '/') == nullptr && strcmp(p.Text, ".") != 0 && strcmp(p.Text, "..") != 0) {
        fd = openat(parent->Names.Fd, p.Text, flags);
        if (fd < 0 && (errno == EMFILE || errno == ENFILE)) {
            parent->Names.Pinned = true;
            if (ReleaseKeptDescriptors()) fd = openat(parent->Names.Fd, p.Text, flags);
            parent->Names.Pinned = false;
        }
    }
    int openErrno = errno;
    FreeNativePath(&p);
    if (fd < 0) {
        SetError(ErrorFromErrno(openErrno));
        return INVALID_HANDLE_VALUE;
    }
    return NewDirectoryRecord(fd, listable, parent);
}

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
        if (!r->Names.HasIdentity && !(r->Names.HasIdentity = ReadHandleStatus(r))) return FALSE;
        FILE_ID_INFO *id = (FILE_ID_INFO *)info;
        // The device as the entries' statx gives it, so that the two ids compare. It is
        // part of every file id, so one serial serves all Linux file systems: a mount
        // point looks like any directory in its parent's listing, and the walk gives its
        // entries the volume of the level that lists them; with one serial a file has
        // one identity whichever way the walk reached it.
        uint64_t inode = r->Names.Inode;
        uint64_t device = r->Names.Device;
        id->VolumeSerialNumber = LINUX_VOLUME_SERIAL;
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
