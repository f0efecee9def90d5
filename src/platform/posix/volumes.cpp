// Volumes and the identity of directories.
#include "posix_layer.h"

#include "text/native_text.h"

#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/statfs.h>

using namespace vesk_posix;

namespace {

// Copies text into a caller's buffer of size characters; false when it does not fit.
bool CopyOut(const wchar_t *text, LPWSTR out, DWORD size)
{
    size_t len = wcslen(text);
    if (out == nullptr || len >= size) return false;
    wmemcpy(out, text, len + 1);
    return true;
}

const wchar_t *FileSystemName(long magic)
{
    const long MSDOS = 0x4d44, EXFAT = 0x2011BAB0;
    if (magic == MSDOS) return L"FAT32";
    if (magic == EXFAT) return L"exFAT";
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
    if (!MakeNativePath(root != nullptr ? root : L".", &p)) {
        SetError(ERROR_NOT_ENOUGH_MEMORY);
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
        if (cut == nullptr) {
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
    if (forced != nullptr) {
        NativeToWide(forced, strlen(forced), forcedWide, 64);
        name = forcedWide;
    }
    if (fileSystemName != nullptr && !CopyOut(name, fileSystemName, fileSystemNameSize)) {
        SetError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    // Linux volumes carry no label the layer could read cheaply; Windows shows an
    // unlabelled volume with an empty name.
    if (volumeName != nullptr && volumeNameSize) volumeName[0] = 0;
    if (serial != nullptr) serial[0] = (DWORD)((uint64_t)st.st_dev ^ ((uint64_t)st.st_dev >> 32));
    if (maxComponent != nullptr) maxComponent[0] = (DWORD)fs.f_namelen;
    // FILE_CASE_SENSITIVE_SEARCH | FILE_CASE_PRESERVED_NAMES | FILE_UNICODE_ON_DISK
    if (flags != nullptr) flags[0] = 0x7;
    return TRUE;
}

bool IsRootlessAbsolutePath(const wchar_t *path) { return (path != nullptr) && path[0] == L'/'; }
