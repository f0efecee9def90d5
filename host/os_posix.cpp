// Linux side of the shell's operating-system layer.
#if !defined(_WIN32)

#include "os.h"
#include "posix_path.h"
#include "text/native_text.h"

#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

extern char **environ;

namespace vsh {

namespace {

int HandleFd(void *handle) { return (int)((intptr_t)handle - 1); }

int WriteAll(int fd, const char *bytes, size_t len)
{
    while (len) {
        ssize_t n = write(fd, bytes, len);
        if (n < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        bytes += n;
        len -= (size_t)n;
    }
    return 0;
}

std::string ToNative(const wchar_t *text)
{
    size_t need = WideToNative(text, NULL, 0);
    std::string out(need + 1, '\0');
    WideToNative(text, &out[0], need + 1);
    out.resize(need);
    return out;
}

std::wstring FromNative(const char *bytes, size_t len)
{
    size_t need = NativeToWide(bytes, len, NULL, 0);
    std::wstring out(need + 1, L'\0');
    NativeToWide(bytes, len, &out[0], need + 1);
    out.resize(need);
    return out;
}

// A path the plug-in or a user typed may use '\' as separator; when the path as given
// names nothing, try it with '/'.
int StatEither(const wchar_t *path, struct stat *st)
{
    std::string native = ToNative(path);
    if (stat(native.c_str(), st) == 0) return 0;
    if (!wcschr(path, L'\\')) return -1;
    std::wstring slashed(path);
    for (wchar_t &c : slashed)
        if (c == L'\\') c = L'/';
    return stat(ToNative(slashed.c_str()).c_str(), st);
}

std::string ExistingNative(const wchar_t *path)
{
    struct stat st;
    std::string native = ToNative(path);
    if (stat(native.c_str(), &st) == 0 || !wcschr(path, L'\\')) return native;
    std::wstring slashed(path);
    for (wchar_t &c : slashed)
        if (c == L'\\') c = L'/';
    return ToNative(slashed.c_str());
}

}  // namespace

void *OsStdHandle(int stream) { return (void *)(intptr_t)(stream + 1); }

int OsWrite(void *handle, const wchar_t *text, size_t len)
{
    int fd = HandleFd(handle);
    if (fd < 0 || !text) return -1;
    // Encoded in pieces through a fixed buffer; "\r\n" becomes "\n" on the way.
    char bytes[4096];
    size_t used = 0;
    int result = 0;
    for (size_t i = 0; i < len; ++i) {
        wchar_t c = text[i];
        if (c == L'\r' && i + 1 < len && text[i + 1] == L'\n') continue;
        if (used + 8 > sizeof bytes) {
            if (WriteAll(fd, bytes, used) != 0) result = -1;
            used = 0;
        }
        if (c == L'\0') {
            bytes[used++] = '\0';
            continue;
        }
        wchar_t one[2] = {c, L'\0'};
        used += WideToNative(one, bytes + used, sizeof bytes - used);
    }
    if (used && WriteAll(fd, bytes, used) != 0) result = -1;
    return result;
}

int OsIsConsole(void *handle)
{
    int fd = HandleFd(handle);
    return fd >= 0 && isatty(fd) ? 1 : 0;
}

int OsStdinIsConsole(void) { return isatty(0) ? 1 : 0; }

int OsReadStdinLine(std::wstring *line)
{
    // Byte by byte from the descriptor, so nothing is read ahead of the line that a
    // later reader of standard input would miss.
    std::string bytes;
    char c;
    bool any = false;
    for (;;) {
        ssize_t n = read(0, &c, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        any = true;
        if (c == '\n') break;
        bytes += c;
    }
    if (!any) return -1;
    if (!bytes.empty() && bytes.back() == '\r') bytes.pop_back();
    *line = FromNative(bytes.data(), bytes.size());
    return 0;
}

int OsReadTextFile(const wchar_t *path, std::wstring *text)
{
    std::string native = ExistingNative(path);
    int fd = open(native.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return -1;
    struct stat st;
    if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        close(fd);
        return -1;
    }
    std::string bytes;
    char buffer[65536];
    for (;;) {
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            close(fd);
            return -1;
        }
        if (n == 0) break;
        bytes.append(buffer, (size_t)n);
    }
    close(fd);
    size_t skip = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    *text = FromNative(bytes.data() + skip, bytes.size() - skip);
    return 0;
}

int OsFileStamp(const wchar_t *path, unsigned long long *size, unsigned long long *written)
{
    struct stat st;
    if (stat(ExistingNative(path).c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return -1;
    *size = (unsigned long long)st.st_size;
    // Seconds and nanoseconds folded together: only equality is ever asked of it.
    *written = (unsigned long long)st.st_mtim.tv_sec * 1000000000ull +
               (unsigned long long)st.st_mtim.tv_nsec;
    return 0;
}

std::wstring OsCurrentDirectory(void)
{
    std::vector<char> buffer(4096);
    for (;;) {
        if (getcwd(buffer.data(), buffer.size())) return FromNative(buffer.data(), strlen(buffer.data()));
        if (errno != ERANGE || buffer.size() > (1u << 20)) return std::wstring();
        buffer.resize(buffer.size() * 2);
    }
}

int OsChangeDirectory(const wchar_t *path)
{
    wchar_t full[16384];
    std::wstring cwd = OsCurrentDirectory();
    if (NormalizePosixPath(cwd.c_str(), path, full, sizeof full / sizeof full[0]) != 0) return -1;
    return chdir(ToNative(full).c_str()) == 0 ? 0 : -1;
}

int OsFullPath(const wchar_t *path, wchar_t *result, size_t capacity)
{
    std::wstring cwd = OsCurrentDirectory();
    if (cwd.empty()) cwd = L"/";
    return NormalizePosixPath(cwd.c_str(), path, result, capacity);
}

int OsPathKind(const wchar_t *path)
{
    struct stat st;
    if (!path || !*path || StatEither(path, &st) != 0) return 0;
    return S_ISDIR(st.st_mode) ? 1 : 2;
}

int OsDriveReady(int) { return 0; }

int OsBeginRedirect(const wchar_t *file, int append, Redirect *saved)
{
    saved->Active = 0;
    // "out\list.txt" means a file in the directory out when that directory exists;
    // otherwise the backslash is part of the name, as Linux allows.
    std::string native = ToNative(file);
    if (wcschr(file, L'\\')) {
        std::wstring slashed(file);
        for (wchar_t &c : slashed)
            if (c == L'\\') c = L'/';
        size_t cut = slashed.rfind(L'/');
        struct stat st;
        std::string parent = ToNative(cut == 0 ? L"/" : slashed.substr(0, cut).c_str());
        if (stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) native = ToNative(slashed.c_str());
    }
    int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (append ? O_APPEND : O_TRUNC);
    int fd = open(native.c_str(), flags, 0666);
    if (fd < 0) return -1;
    int keep = fcntl(1, F_DUPFD_CLOEXEC, 3);
    if (keep < 0 || dup2(fd, 1) < 0) {
        if (keep >= 0) close(keep);
        close(fd);
        return -1;
    }
    close(fd);
    saved->Saved = keep;
    saved->Active = 1;
    return 0;
}

void OsEndRedirect(Redirect *saved)
{
    if (!saved->Active) return;
    dup2((int)saved->Saved, 1);
    close((int)saved->Saved);
    saved->Active = 0;
}

std::wstring OsExecutableDirectory(void)
{
    char buffer[PATH_MAX + 1];
    ssize_t n = readlink("/proc/self/exe", buffer, PATH_MAX);
    if (n <= 0) return std::wstring();
    std::wstring path = FromNative(buffer, (size_t)n);
    size_t cut = path.rfind(L'/');
    return cut == std::wstring::npos ? std::wstring() : path.substr(0, cut + 1);
}

const wchar_t *OsDefaultPluginName(void) { return L"vesk.so"; }

void *OsLoadLibrary(const wchar_t *path, std::wstring *error)
{
    std::string native = ToNative(path);
    // dlopen searches the library path for a bare name; a file in the current
    // directory is what a user means.
    if (!strchr(native.c_str(), '/')) native = "./" + native;
    void *library = dlopen(native.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library && error) {
        const char *why = dlerror();
        *error = why ? FromNative(why, strlen(why)) : std::wstring(L"cannot load");
    }
    return library;
}

void *OsFindExport(void *library, const char *name) { return dlsym(library, name); }

void OsFreeLibrary(void *library)
{
    if (library) dlclose(library);
}

std::vector<std::wstring> OsEnvironment(void)
{
    std::vector<std::wstring> all;
    for (char **e = environ; e && *e; ++e) all.push_back(FromNative(*e, strlen(*e)));
    return all;
}

}  // namespace vsh

#endif
