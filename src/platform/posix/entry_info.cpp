// What a Linux directory entry shows as in a listing: attributes, size and times.
#include "posix_layer.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

using namespace vesk_posix;

namespace {

// How a Linux entry shows:
// - attributes: directory 0x10; a link to a directory 0x410 with the link's own times;
//   a link to anything else as its target; dangling links left out; everything that is
//   not a directory carries archive 0x20; a name beginning with "." (not "." and "..")
//   is hidden 0x2; no write permission bit at all is read-only 0x1;
// - size: st_size, 0 for directories;
// - times: last write st_mtim, last access st_atim, creation the birth time where the
//   file system keeps one, else the last write time.

// Kernels before 5.8 do not say which entries are mount points.
#ifndef STATX_ATTR_MOUNT_ROOT
#  define STATX_ATTR_MOUNT_ROOT 0x00002000
#endif

bool HaveStatx = true;

uint64_t StatusCalls = 0;

struct EntryStat {
    mode_t Mode;
    uint64_t Inode, Device;
    uint64_t Size;
    struct timespec Access, Write, Birth;
    bool HasBirth;
    bool NoMountRoot;  // known not to be a mount point (a file can be one: a bind mount)
};

// One stat of name in dirfd: statx where the kernel has it (one call that also brings
// the birth time), else fstatat.
bool StatEntry(int dirfd, const char *name, bool follow, EntryStat *out)
{
    int flags = (follow ? 0 : AT_SYMLINK_NOFOLLOW) | (name[0] ? 0 : AT_EMPTY_PATH);
    if (HaveStatx) {
        struct statx sx;
        CountStatusCall();
        if (statx(dirfd, name, flags, STATX_BASIC_STATS | STATX_BTIME, &sx) == 0) {
            out->Mode = sx.stx_mode;
            out->Inode = sx.stx_ino;
            out->Device = ((uint64_t)sx.stx_dev_major << 32) | sx.stx_dev_minor;
            out->Size = sx.stx_size;
            out->Access = {(time_t)sx.stx_atime.tv_sec, (long)sx.stx_atime.tv_nsec};
            out->Write = {(time_t)sx.stx_mtime.tv_sec, (long)sx.stx_mtime.tv_nsec};
            out->HasBirth = (sx.stx_mask & STATX_BTIME) != 0;
            if (out->HasBirth) out->Birth = {(time_t)sx.stx_btime.tv_sec, (long)sx.stx_btime.tv_nsec};
            out->NoMountRoot = (sx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0 &&
                               (sx.stx_attributes & STATX_ATTR_MOUNT_ROOT) == 0;
            return true;
        }
        // Some sandboxes refuse statx outright (ENOSYS, or EPERM from a seccomp filter);
        // fstatat then serves for the rest of the process.
        if (errno != ENOSYS && errno != EPERM) return false;
        HaveStatx = false;
    }
    struct stat st;
    CountStatusCall();
    if (fstatat(dirfd, name, &st, flags) != 0) return false;
    out->Mode = st.st_mode;
    out->Inode = (uint64_t)st.st_ino;
    out->Device = ((uint64_t)major(st.st_dev) << 32) | minor(st.st_dev);
    out->Size = (uint64_t)st.st_size;
    out->Access = st.st_atim;
    out->Write = st.st_mtim;
    out->HasBirth = false;
    out->NoMountRoot = false;
    return true;
}

}  // namespace

namespace vesk_posix {

void CountStatusCall(void) { ++StatusCalls; }

uint64_t StatusCallsForTests(void) { return StatusCalls; }

int ReadEntry(int dirfd, const char *name, EntryInfo *out, EntrySelf *self)
{
    EntryStat st;
    out->Error = 0;
    out->Waived = false;
    self->Known = false;
    // "." is the open directory itself: no name to look up.
    bool isDot = name[0] == '.' && name[1] == 0;
    if (!StatEntry(dirfd, isDot ? "" : name, false, &st)) {
        // Gone since the directory was read: as if it had not been listed.
        if (errno == ENOENT) return ENTRY_LEFT_OUT;
        // Names that may be read but not looked up: the directory is denied to us.
        if (errno == EACCES) return ENTRY_DIRECTORY_DENIED;
        out->Error = ErrorFromErrno(errno);
        return ENTRY_FAILED;
    }
    self->Known = true;
    self->SameDevice = !S_ISDIR(st.Mode) && st.NoMountRoot;
    self->Inode = st.Inode;
    self->Device = st.Device;
    DWORD attrs = 0;
    if (S_ISLNK(st.Mode)) {
        EntryStat target;
        if (!StatEntry(dirfd, name, true, &target)) {
            // A link to nothing, or to a loop of links, holds nothing to find.
            if (errno == ENOENT || errno == ENOTDIR || errno == ELOOP) return ENTRY_LEFT_OUT;
            out->Error = ErrorFromErrno(errno);
            return ENTRY_FAILED;
        }
        if (S_ISDIR(target.Mode)) {
            // A directory link shows as Windows shows a directory symbolic link: the
            // link's own times and file id, marked as a reparse point.
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
    if (IsHiddenName(name)) attrs |= FILE_ATTRIBUTE_HIDDEN;
    // From the permission bits, not access(): root may write anything, yet a file no
    // one may write is what Windows calls read-only.
    if (!(st.Mode & (S_IWUSR | S_IWGRP | S_IWOTH))) attrs |= FILE_ATTRIBUTE_READONLY;

    out->Attributes = attrs;
    out->Inode = st.Inode;
    out->Device = st.Device;
    out->Size = st.Size;
    out->Write = UnixToFileTimeFast(st.Write.tv_sec, st.Write.tv_nsec);
    out->Access = UnixToFileTimeFast(st.Access.tv_sec, st.Access.tv_nsec);
    out->Creation = st.HasBirth ? UnixToFileTimeFast(st.Birth.tv_sec, st.Birth.tv_nsec) : out->Write;
    return ENTRY_READ;
}

}  // namespace vesk_posix

DWORD GetFileAttributesW(LPCWSTR path)
{
    if (path == nullptr || !*path) {
        SetError(ERROR_INVALID_PARAMETER);
        return INVALID_FILE_ATTRIBUTES;
    }
    NativePath p;
    if (!MakeNativePath(path, &p)) {
        SetError(ERROR_NOT_ENOUGH_MEMORY);
        return INVALID_FILE_ATTRIBUTES;
    }
    EntryInfo info;
    EntrySelf self;
    errno = 0;
    int got = ReadEntry(AT_FDCWD, p.Text, &info, &self);
    int readErrno = errno;
    // Hidden by its own name, as its directory's listing shows it.
    const char *slash = strrchr(p.Text, '/');
    bool hidden = IsHiddenName(slash != nullptr ? slash + 1 : p.Text);
    FreeNativePath(&p);
    if (got == ENTRY_READ)
        return (info.Attributes & ~(DWORD)FILE_ATTRIBUTE_HIDDEN) | (hidden ? FILE_ATTRIBUTE_HIDDEN : 0);
    SetError(got == ENTRY_FAILED ? info.Error
             : got == ENTRY_DIRECTORY_DENIED ? ERROR_ACCESS_DENIED
                                             : ErrorFromErrno(readErrno == 0 ? ENOENT : readErrno));
    return INVALID_FILE_ATTRIBUTES;
}
