// Windows side of the shell's operating-system layer.
#if defined(_WIN32)

#include "os.h"

#ifndef WIN32_LEAN_AND_MEAN
#  define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <io.h>
#include <string.h>

namespace vsh {

namespace {

std::wstring FromUtf8(const char *bytes, size_t len)
{
    if (len == 0) return std::wstring();
    int need = MultiByteToWideChar(CP_UTF8, 0, bytes, (int)len, NULL, 0);
    if (need <= 0) return std::wstring();
    std::wstring out((size_t)need, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, bytes, (int)len, &out[0], need);
    return out;
}

std::wstring LastErrorText(void)
{
    DWORD code = GetLastError();
    wchar_t *message = NULL;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                       FORMAT_MESSAGE_IGNORE_INSERTS,
                   NULL, code, 0, (LPWSTR)&message, 0, NULL);
    std::wstring text;
    if (message) {
        text = message;
        LocalFree(message);
        while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' '))
            text.pop_back();
    }
    if (text.empty()) {
        wchar_t number[32];
        wsprintfW(number, L"error %lu", (unsigned long)code);
        text = number;
    }
    return text;
}

}  // namespace

void *OsStdHandle(int stream)
{
    return GetStdHandle(stream == 2 ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
}

int OsWrite(void *handle, const wchar_t *text, size_t len)
{
    if (!handle || handle == INVALID_HANDLE_VALUE || !text) return -1;
    DWORD mode;
    if (GetConsoleMode(handle, &mode)) {
        while (len) {
            DWORD chunk = len > 8192 ? 8192 : (DWORD)len, written = 0;
            if (!WriteConsoleW(handle, text, chunk, &written, NULL) || !written) return -1;
            text += written;
            len -= written;
        }
        return 0;
    }
    // Not a console: UTF-8 bytes, in pieces that never split a surrogate pair.
    char bytes[4 * 2048 + 8];
    while (len) {
        size_t chunk = len > 2048 ? 2048 : len;
        if (chunk < len && text[chunk - 1] >= 0xD800 && text[chunk - 1] <= 0xDBFF) --chunk;
        int n = WideCharToMultiByte(CP_UTF8, 0, text, (int)chunk, bytes, (int)sizeof bytes, NULL,
                                    NULL);
        if (n <= 0) return -1;
        const char *p = bytes;
        while (n > 0) {
            DWORD written = 0;
            if (!WriteFile(handle, p, (DWORD)n, &written, NULL) || !written) return -1;
            p += written;
            n -= (int)written;
        }
        text += chunk;
        len -= chunk;
    }
    return 0;
}

int OsIsConsole(void *handle)
{
    DWORD mode;
    return handle && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) ? 1 : 0;
}

int OsStdinIsConsole(void) { return OsIsConsole(GetStdHandle(STD_INPUT_HANDLE)); }

int OsReadStdinLine(std::wstring *line)
{
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    if (!in || in == INVALID_HANDLE_VALUE) return -1;
    line->clear();
    DWORD mode;
    if (GetConsoleMode(in, &mode)) {
        bool any = false;
        for (;;) {
            wchar_t c;
            DWORD got = 0;
            if (!ReadConsoleW(in, &c, 1, &got, NULL) || got == 0) break;
            any = true;
            if (c == L'\n') break;
            if (c == 26 && line->empty()) return -1;  // Ctrl+Z: end of input
            line->push_back(c);
        }
        if (!any) return -1;
    } else {
        std::string bytes;
        bool any = false;
        for (;;) {
            char c;
            DWORD got = 0;
            if (!ReadFile(in, &c, 1, &got, NULL) || got == 0) break;
            any = true;
            if (c == '\n') break;
            bytes += c;
        }
        if (!any) return -1;
        *line = FromUtf8(bytes.data(), bytes.size());
    }
    if (!line->empty() && line->back() == L'\r') line->pop_back();
    return 0;
}

int OsReadTextFile(const wchar_t *path, std::wstring *text)
{
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) return -1;
    std::string bytes;
    char buffer[65536];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file, buffer, sizeof buffer, &got, NULL)) {
            CloseHandle(file);
            return -1;
        }
        if (got == 0) break;
        bytes.append(buffer, got);
    }
    CloseHandle(file);
    size_t skip = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    *text = FromUtf8(bytes.data() + skip, bytes.size() - skip);
    return 0;
}

std::wstring OsCurrentDirectory(void)
{
    DWORD need = GetCurrentDirectoryW(0, NULL);
    if (need == 0) return std::wstring();
    std::wstring dir((size_t)need, L'\0');
    DWORD got = GetCurrentDirectoryW(need, &dir[0]);
    if (got == 0 || got >= need) return std::wstring();
    dir.resize(got);
    return dir;
}

int OsChangeDirectory(const wchar_t *path) { return SetCurrentDirectoryW(path) ? 0 : -1; }

int OsFullPath(const wchar_t *path, wchar_t *result, size_t capacity)
{
    if (!result || capacity == 0) return -1;
    result[0] = L'\0';
    if (!path || !*path) return -1;
    DWORD got = GetFullPathNameW(path, (DWORD)capacity, result, NULL);
    if (got == 0 || got >= capacity) {
        result[0] = L'\0';
        return -1;
    }
    return 0;
}

int OsFileStamp(const wchar_t *path, unsigned long long *size, unsigned long long *written)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!path || !*path || !GetFileAttributesExW(path, GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return -1;
    *size = ((unsigned long long)data.nFileSizeHigh << 32) | data.nFileSizeLow;
    *written = ((unsigned long long)data.ftLastWriteTime.dwHighDateTime << 32) |
               data.ftLastWriteTime.dwLowDateTime;
    return 0;
}

int OsPathKind(const wchar_t *path)
{
    if (!path || !*path) return 0;
    DWORD attributes = GetFileAttributesW(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) return 0;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? 1 : 2;
}

int OsDriveReady(int drive)
{
    if (drive < 1 || drive > 26) return 0;
    wchar_t root[4] = {(wchar_t)(L'A' + drive - 1), L':', L'\\', L'\0'};
    UINT type = GetDriveTypeW(root);
    if (type == DRIVE_UNKNOWN || type == DRIVE_NO_ROOT_DIR) return 0;
    // A drive with removable media and none inserted fails here; no dialog for it.
    UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    BOOL ok = GetVolumeInformationW(root, NULL, 0, NULL, NULL, NULL, NULL, 0);
    SetErrorMode(oldMode);
    return ok ? 1 : 0;
}

int OsBeginRedirect(const wchar_t *file, int append, Redirect *saved)
{
    saved->Active = 0;
    HANDLE handle = CreateFileW(file, append ? FILE_APPEND_DATA : GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                                append ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (handle == INVALID_HANDLE_VALUE) return -1;
    saved->Saved = (long long)(intptr_t)GetStdHandle(STD_OUTPUT_HANDLE);
    SetStdHandle(STD_OUTPUT_HANDLE, handle);
    saved->Active = 1;
    return 0;
}

void OsEndRedirect(Redirect *saved)
{
    if (!saved->Active) return;
    HANDLE current = GetStdHandle(STD_OUTPUT_HANDLE);
    SetStdHandle(STD_OUTPUT_HANDLE, (HANDLE)(intptr_t)saved->Saved);
    CloseHandle(current);
    saved->Active = 0;
}

std::wstring OsExecutableDirectory(void)
{
    std::wstring path(32768, L'\0');
    DWORD got = GetModuleFileNameW(NULL, &path[0], (DWORD)path.size());
    if (got == 0 || got >= path.size()) return std::wstring();
    path.resize(got);
    size_t cut = path.find_last_of(L"\\/");
    return cut == std::wstring::npos ? std::wstring() : path.substr(0, cut + 1);
}

const wchar_t *OsDefaultPluginName(void) { return L"vesk.dll"; }

void *OsLoadLibrary(const wchar_t *path, std::wstring *error)
{
    // The plug-in's own imports (TakeCmd.dll) are searched for beside it, which the
    // altered search path does only for a full path.
    std::vector<wchar_t> full(32768);
    DWORD got = GetFullPathNameW(path, (DWORD)full.size(), full.data(), NULL);
    HMODULE library = got > 0 && got < full.size()
                          ? LoadLibraryExW(full.data(), NULL, LOAD_WITH_ALTERED_SEARCH_PATH)
                          : LoadLibraryW(path);
    if (!library && error) *error = LastErrorText();
    return (void *)library;
}

void *OsFindExport(void *library, const char *name)
{
    return (void *)GetProcAddress((HMODULE)library, name);
}

void OsFreeLibrary(void *library)
{
    if (library) FreeLibrary((HMODULE)library);
}

std::vector<std::wstring> OsEnvironment(void)
{
    std::vector<std::wstring> all;
    wchar_t *block = GetEnvironmentStringsW();
    if (!block) return all;
    for (const wchar_t *p = block; *p; p += wcslen(p) + 1) {
        // Entries such as "=C:=C:\dir" are the system's per-drive directories.
        if (*p != L'=') all.push_back(p);
    }
    FreeEnvironmentStringsW(block);
    return all;
}

}  // namespace vsh

#endif
