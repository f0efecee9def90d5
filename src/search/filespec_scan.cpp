#include <stdlib.h>
#include <string.h>

#include "plugin/host_api.h"
#include "plugin/result_codes.h"
#include "plugin/shared_services.h"
#include "search/directory_walk.h"

namespace {

const wchar_t FULLWIDTH_SEMICOLON = 0xFF1B;

/// Characters of the file system name buffer, terminator included.
enum { FS_NAME_LEN = 1024 };

bool IsAsciiLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

/// Copies text into dest (capacity characters, terminator included). False, with dest
/// empty, when it does not fit.
bool CopyBounded(wchar_t *dest, size_t capacity, const wchar_t *text)
{
    size_t len = wcsnlen(text, capacity);
    if (len >= capacity) {
        dest[0] = L'\0';
        return false;
    }
    wmemcpy(dest, text, len + 1);
    return true;
}

/// The buffers of one VeskFiles2 call, in one block so that a deep host stack is not
/// needed for them.
struct ScanBuffers {
    wchar_t DirName[PATH_BUFFER_LEN];
    wchar_t WildSpec[PATH_BUFFER_LEN];
    wchar_t Work[PATH_BUFFER_LEN];
    wchar_t FileSystem[FS_NAME_LEN];
};

/// Fills root (capacity characters) with the volume's root of path: a drive root, a
/// network share root, or a rootless absolute path as it stands. False when path has no
/// root of any of these forms or it does not fit.
bool VolumeRoot(const wchar_t *path, wchar_t *root, size_t capacity)
{
    if (IsAsciiLetter(path[0]) && path[1] == L':' && IsPathSeparator(path[2])) {
        root[0] = path[0];
        root[1] = L':';
        root[2] = path[2];
        root[3] = L'\0';
        return true;
    }
    if (IsPathSeparator(path[0]) && IsPathSeparator(path[1])) {
        size_t i = 0;
        int separators = 0;
        for (; path[i] != L'\0' && separators < 4; ++i)
            if (IsPathSeparator(path[i])) ++separators;
        if (i >= capacity) return false;
        wmemcpy(root, path, i);
        root[i] = L'\0';
        return true;
    }
    if (IsRootlessAbsolutePath(path)) return CopyBounded(root, capacity, path);
    return false;
}

/// Ends dir (len characters, in a PATH_BUFFER_LEN buffer) with a separator, as the walk
/// appends names to it. RESULT_OK, or RESULT_FAILED after the message when there is no
/// room for one (and so none for names).
int EndWithSeparator(wchar_t *dir, size_t len)
{
    if (len == 0 || IsPathSeparator(dir[len - 1])) return RESULT_OK;
    if (len + 1 >= PATH_BUFFER_LEN) return ReportError(L"File specification too long\r\n");
    dir[len] = VESK_PATH_SEP;
    dir[len + 1] = L'\0';
    return RESULT_OK;
}

}  // namespace

int MaskSemicolons(wchar_t *text)
{
    if (text == nullptr) return 0;
    int changed = 0;
    for (wchar_t *p = text; *p != L'\0'; ++p)
        if (*p == L';') {
            *p = FULLWIDTH_SEMICOLON;
            ++changed;
        }
    return changed;
}

int UnmaskSemicolons(wchar_t *text)
{
    if (text == nullptr) return 0;
    int changed = 0;
    for (wchar_t *p = text; *p != L'\0'; ++p)
        if (*p == FULLWIDTH_SEMICOLON) {
            *p = L';';
            ++changed;
        }
    return changed;
}

int VolumeFileSystem(const wchar_t *path, wchar_t *buffer)
{
    if (path == nullptr || buffer == nullptr) return RESULT_MISSING_ARGUMENT;
    wchar_t *root = (wchar_t *)malloc(PATH_BUFFER_LEN * sizeof(wchar_t));
    if (root == nullptr) return RESULT_FAILED;
    int result = RESULT_FAILED;
    if (VolumeRoot(path, root, PATH_BUFFER_LEN)) {
        wchar_t volumeName[FS_NAME_LEN];
        buffer[0] = L'\0';
        if (GetVolumeInformationW(root, volumeName, FS_NAME_LEN, nullptr, nullptr, nullptr,
                                  buffer, FS_NAME_LEN)) {
            buffer[FS_NAME_LEN - 1] = L'\0';
            if (buffer[0] != L'\0') result = RESULT_OK;
        }
    }
    free(root);
    return result;
}

int VeskFiles2(const wchar_t *fileSpec, const SearchOptions *options, ResultList *results)
{
    if (fileSpec == nullptr || fileSpec[0] == L'\0' || options == nullptr || results == nullptr)
        return RESULT_MISSING_ARGUMENT;
    if (wcsnlen(fileSpec, PATH_BUFFER_LEN) >= PATH_BUFFER_LEN)
        return ReportError(L"File specification too long\r\n");
    ScanBuffers *b = (ScanBuffers *)malloc(sizeof(ScanBuffers));
    if (b == nullptr) {
        ReportError(L"Cannot list \"%s\": not enough memory\r\n", fileSpec);
        return RESULT_SCAN_FAILED;
    }
    wchar_t *dirName = b->DirName;
    wchar_t *wildSpec = b->WildSpec;
    dirName[0] = L'\0';
    wildSpec[0] = L'\0';
    int onFat = 0;
    int onNtfs = 0;

    bool driveReady = true;
    if (IsAsciiLetter(fileSpec[0]) && fileSpec[1] == L':' && fileSpec[2] == L'\0') {
        int drive = (fileSpec[0] & ~0x20) - 64;
        driveReady = QueryDriveReady(drive) != 0;
    }
    if (driveReady) {
        // The true-name service takes a semicolon for a list separator of its own; the
        // list is ours, so it passes through masked.
        wcscpy(b->Work, fileSpec);
        MaskSemicolons(b->Work);
        if (QueryTrueName(b->Work, dirName) != 0) dirName[0] = L'\0';
        dirName[PATH_BUFFER_LEN - 1] = L'\0';
        UnmaskSemicolons(dirName);
    }
    if (dirName[0] == L'\0') wcscpy(dirName, fileSpec);

    if (VolumeFileSystem(dirName, b->FileSystem) == 0) {
        onFat = _wcsnicmp(b->FileSystem, L"FAT", 3) == 0;
        onNtfs = _wcsnicmp(b->FileSystem, L"NTFS", 4) == 0;
    }

    size_t split = 0;
    if (IsAsciiLetter(dirName[0]) && dirName[1] == L':') split = 2;
    size_t dirLen = 0;
    for (; dirName[dirLen] != L'\0'; ++dirLen)
        if (IsPathSeparator(dirName[dirLen])) split = dirLen + 1;

    int result = RESULT_OK;
    if (QueryIsDirectory(dirName)) {
        wcscpy(wildSpec, L"*");
        result = EndWithSeparator(dirName, dirLen);
    } else if (split > 0) {
        if (dirName[split] != L'\0') {
            wcscpy(wildSpec, dirName + split);
            dirName[split] = L'\0';
        } else {
            wcscpy(wildSpec, L"*");
        }
    } else {
        wcscpy(wildSpec, dirName);
        // The true-name service first: "%_cwds" comes back through the shell's nested
        // expansion, which changes a directory name holding "%".
        bool known = QueryTrueName(L".", dirName) == 0 && dirName[0] != L'\0';
        dirName[PATH_BUFFER_LEN - 1] = L'\0';
        if (!known) {
            wcscpy(dirName, L"%_cwds");
            known = ExpandVariables(dirName, 1) == 0;
            dirName[HOST_BUFFER_LEN - 1] = L'\0';
        }
        if (!known) {
            dirName[0] = L'\0';
        } else {
            result = EndWithSeparator(dirName, wcslen(dirName));
        }
    }

    if (result == RESULT_OK) {
        if (options->Debug) {
            PrintTrace(L"   * VeskFiles2( \"%s\" )\r\n", fileSpec);
            PrintTrace(L"DirName   : \"%s\"\r\n", dirName);
            PrintTrace(L"WildSpec  : \"%s\"\r\n", wildSpec);
        }
        result = VeskFiles(dirName, wildSpec, options, onFat, onNtfs, results);
    }
    free(b);
    return result;
}
