// The few helpers of platform.h on Windows; every other call the plug-in makes is the
// real Win32 one.
#include "platform.h"
#include "text/case_fold.h"
#include "text/wide_format.h"

#include <winternl.h>

#include <conio.h>
#include <stdlib.h>
#include <wchar.h>

namespace {

// A path in the form that lifts the classic MAX_PATH limit: "\\?\C:\..." or
// "\\?\UNC\server\share\...". The "\\?\" form is taken literally by Windows, so the
// path is made absolute and canonical first (GetFullPathNameW turns '/' into '\' and
// resolves "." and ".."). Returns a malloc'ed text for a long absolute path, or null
// when the path can be used as it is (short, relative, already prefixed) or on failure.
wchar_t *LongPathForm(const wchar_t *path)
{
    size_t len = wcslen(path);
    if (len < MAX_PATH) return nullptr;
    if (wcsncmp(path, L"\\\\?\\", 4) == 0) return nullptr;
    bool unc = IsPathSeparator(path[0]) && IsPathSeparator(path[1]);
    bool drive = ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z')) &&
                 path[1] == L':' && IsPathSeparator(path[2]);
    if (!unc && !drive) return nullptr;

    DWORD need = GetFullPathNameW(path, 0, nullptr, nullptr);
    if (need == 0) return nullptr;
    wchar_t *full = (wchar_t *)malloc(need * sizeof(wchar_t));
    if (!full) return nullptr;
    DWORD got = GetFullPathNameW(path, need, full, nullptr);
    if (got == 0 || got >= need) {
        free(full);
        return nullptr;
    }
    // The prefix replaces the two leading backslashes of a network path.
    const wchar_t *prefix = unc ? L"\\\\?\\UNC\\" : L"\\\\?\\";
    const wchar_t *rest = unc ? full + 2 : full;
    size_t total = wcslen(prefix) + wcslen(rest) + 1;
    wchar_t *out = (wchar_t *)malloc(total * sizeof(wchar_t));
    if (out) {
        wcscpy(out, prefix);
        wcscat(out, rest);
    }
    free(full);
    return out;
}

}  // namespace

HANDLE FindFirstFileLong(const wchar_t *searchPath, WIN32_FIND_DATAW *data)
{
    if (!searchPath || !data) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    wchar_t *longForm = LongPathForm(searchPath);
    const wchar_t *path = longForm ? longForm : searchPath;
    // Basic information skips the short 8.3 name (never used here) and a large fetch
    // asks for bigger batches per call: both faster on big directories since Windows 7.
    // Older systems refuse either with ERROR_INVALID_PARAMETER, and then the classic
    // call answers, with its own error for a path that really is wrong. The entries'
    // names come back bare, whichever form opened the listing.
    HANDLE h = FindFirstFileExW(path, FindExInfoBasic, data, FindExSearchNameMatch, nullptr,
                                FIND_FIRST_EX_LARGE_FETCH);
    if (h == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        if (error == ERROR_INVALID_PARAMETER || error == ERROR_NOT_SUPPORTED)
            h = FindFirstFileW(path, data);
        else
            SetLastError(error);
    }
    free(longForm);
    return h;
}

HANDLE CreateFileLong(const wchar_t *path, DWORD access, DWORD share, DWORD disposition,
                      DWORD flags)
{
    if (path == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    wchar_t *longForm = LongPathForm(path);
    HANDLE h = CreateFileW(longForm ? longForm : path, access, share, nullptr, disposition, flags,
                           nullptr);
    DWORD error = GetLastError();
    free(longForm);
    SetLastError(error);
    return h;
}

namespace {

typedef NTSTATUS(NTAPI *NtCreateFileCall)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES,
                                          PIO_STATUS_BLOCK, PLARGE_INTEGER, ULONG, ULONG, ULONG,
                                          ULONG, PVOID, ULONG);
typedef ULONG(NTAPI *StatusToErrorCall)(NTSTATUS);

/// The two calls of ntdll (part of every Windows, and of Wine) that open a name relative
/// to a handle, looked up once; null when they cannot be.
struct NativeCalls {
    bool Looked;
    NtCreateFileCall CreateFile;
    StatusToErrorCall StatusToError;
};

const NativeCalls *Native()
{
    static NativeCalls calls;
    if (!calls.Looked) {
        calls.Looked = true;
        HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
        if (ntdll != nullptr) {
            calls.CreateFile = (NtCreateFileCall)(void (*)(void))GetProcAddress(ntdll, "NtCreateFile");
            calls.StatusToError =
                (StatusToErrorCall)(void (*)(void))GetProcAddress(ntdll, "RtlNtStatusToDosError");
        }
    }
    return &calls;
}

}  // namespace

HANDLE CreateFileBelow(HANDLE directory, const wchar_t *name, DWORD access)
{
    const NativeCalls *native = Native();
    size_t len = name != nullptr ? wcslen(name) : 0;
    if (native->CreateFile == nullptr || native->StatusToError == nullptr ||
        directory == INVALID_HANDLE_VALUE || directory == nullptr || len == 0 ||
        len >= MAX_PATH) {
        SetLastError(ERROR_INVALID_HANDLE);
        return INVALID_HANDLE_VALUE;
    }
    // One name, looked up in the directory itself: a separator or a dot name would lead
    // elsewhere.
    if (wcspbrk(name, L"\\/") != nullptr || wcscmp(name, L".") == 0 || wcscmp(name, L"..") == 0) {
        SetLastError(ERROR_INVALID_NAME);
        return INVALID_HANDLE_VALUE;
    }
    UNICODE_STRING objectName;
    objectName.Buffer = const_cast<wchar_t *>(name);
    objectName.Length = (USHORT)(len * sizeof(wchar_t));
    objectName.MaximumLength = objectName.Length;
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &objectName, OBJ_CASE_INSENSITIVE, directory, nullptr);
    IO_STATUS_BLOCK status;
    HANDLE handle = INVALID_HANDLE_VALUE;
    // As CreateFileW with backup semantics opens a directory: it adds the right to read
    // attributes and to wait, and opens for backup intent; the name is taken as listed,
    // with no trailing dot or blank cut off.
    NTSTATUS result = native->CreateFile(
        &handle, access | FILE_READ_ATTRIBUTES | SYNCHRONIZE, &attributes, &status, nullptr, 0,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_OPEN,
        FILE_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT | FILE_OPEN_FOR_BACKUP_INTENT, nullptr, 0);
    if (result < 0) {
        SetLastError(native->StatusToError(result));
        return INVALID_HANDLE_VALUE;
    }
    return handle;
}

// Every request brings whole records, and the handle tells its identity at any time.
void SetHandleListingNeeds(HANDLE, unsigned) {}

bool IsRootlessAbsolutePath(const wchar_t *) { return false; }

void PutConsoleChar(wchar_t c) { _putwch(c); }

void DescribeSystemError(DWORD error, wchar_t *out, size_t capacity)
{
    if (out == nullptr || capacity == 0) return;
    out[0] = L'\0';
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, error, 0, out, (DWORD)capacity, nullptr);
    // The message ends in ".\r\n"; the caller puts it inside a line of its own.
    while (length > 0 && (out[length - 1] == L'\n' || out[length - 1] == L'\r' ||
                          out[length - 1] == L' ' || out[length - 1] == L'.'))
        --length;
    if (length == 0) {
        FormatWide(out, capacity, L"error %lu", (unsigned long)error);
        return;
    }
    out[length] = L'\0';
    for (DWORD i = 0; i < length; ++i)
        if (out[i] == L'\r' || out[i] == L'\n') out[i] = L' ';
}
