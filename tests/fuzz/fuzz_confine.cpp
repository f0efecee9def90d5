// The fence of the whole-command targets, linked with -Wl,--wrap for each function
// below: a fuzzed line may change directory, read files, redirect output and list
// directories only inside the fixed tree, so no input can write, walk or block outside
// it (root bypasses permissions, so nothing else would stop it).
#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "fuzz_support.h"
#include "text/native_text.h"
#include "platform/platform.h"

namespace vsh {
struct Redirect;
}

namespace {

std::string Native(const wchar_t *path)
{
    std::string out(4 * wcslen(path) + 8, '\0');
    size_t n = WideToNative(path, &out[0], out.size());
    out.resize(n);
    return out;
}

std::string TreeNative(void) { return Native(FuzzTree().c_str()); }

bool HasParentStep(const std::wstring &path)
{
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find(L'/', start);
        if (end == std::wstring::npos) end = path.size();
        if (path.compare(start, end - start, L"..") == 0) return true;
        start = end + 1;
    }
    return false;
}

bool InsideTree(const std::string &resolved)
{
    std::string tree = TreeNative();
    return resolved.compare(0, tree.size(), tree) == 0 &&
           (resolved.size() == tree.size() || resolved[tree.size()] == '/');
}

bool CurrentDirectoryInside(void)
{
    char cwd[PATH_MAX];
    return getcwd(cwd, sizeof cwd) && InsideTree(cwd);
}

}  // namespace

extern "C" {

HANDLE __real__Z17FindFirstFileLongPKwP17_WIN32_FIND_DATAW(LPCWSTR, WIN32_FIND_DATAW *);
HANDLE __wrap__Z17FindFirstFileLongPKwP17_WIN32_FIND_DATAW(LPCWSTR path, WIN32_FIND_DATAW *data)
{
    if (path) {
        std::wstring p = path;
        const std::wstring &tree = FuzzTree();
        bool inside = p.compare(0, tree.size(), tree) == 0 &&
                      (p.size() == tree.size() || p[tree.size()] == L'/');
        if (p.empty() || p[0] != L'/') inside = CurrentDirectoryInside();
        if (!inside || HasParentStep(p)) {
            // A listing that fails as a missing directory does, so the caller's error
            // path still runs.
            std::wstring missing = tree + L"/no such directory/*";
            return __real__Z17FindFirstFileLongPKwP17_WIN32_FIND_DATAW(missing.c_str(), data);
        }
    }
    return __real__Z17FindFirstFileLongPKwP17_WIN32_FIND_DATAW(path, data);
}

// The walk lists through a directory's handle: the same fence.
DirectoryListing *__real__Z20OpenDirectoryListingPKw(const wchar_t *);
DirectoryListing *__wrap__Z20OpenDirectoryListingPKw(const wchar_t *directory)
{
    if (directory) {
        std::wstring p = directory;
        const std::wstring &tree = FuzzTree();
        bool inside = p.compare(0, tree.size(), tree) == 0 &&
                      (p.size() == tree.size() || p[tree.size()] == L'/');
        if (p.empty() || p[0] != L'/') inside = CurrentDirectoryInside();
        if (!inside || HasParentStep(p)) {
            std::wstring missing = tree + L"/no such directory/";
            return __real__Z20OpenDirectoryListingPKw(missing.c_str());
        }
    }
    return __real__Z20OpenDirectoryListingPKw(directory);
}

int __real__ZN3vsh17OsChangeDirectoryEPKw(const wchar_t *);
int __wrap__ZN3vsh17OsChangeDirectoryEPKw(const wchar_t *path)
{
    char before[PATH_MAX];
    if (!getcwd(before, sizeof before)) return -1;
    int result = __real__ZN3vsh17OsChangeDirectoryEPKw(path);
    if (result == 0 && !CurrentDirectoryInside()) {
        if (chdir(before) != 0) abort();
        return -1;
    }
    return result;
}

int __real__ZN3vsh15OsBeginRedirectEPKwiPNS_8RedirectE(const wchar_t *, int, vsh::Redirect *);
int __wrap__ZN3vsh15OsBeginRedirectEPKwiPNS_8RedirectE(const wchar_t *file, int append,
                                                       vsh::Redirect *saved)
{
    if (!file || wcschr(file, L'/') || wcschr(file, L'\\') || !wcscmp(file, L"..") ||
        !CurrentDirectoryInside())
        return -1;
    return __real__ZN3vsh15OsBeginRedirectEPKwiPNS_8RedirectE(file, append, saved);
}

int __real__ZN3vsh14OsReadTextFileEPKwPNSt7__cxx1112basic_stringIwSt11char_traitsIwESaIwEEE(
    const wchar_t *, std::wstring *);
int __wrap__ZN3vsh14OsReadTextFileEPKwPNSt7__cxx1112basic_stringIwSt11char_traitsIwESaIwEEE(
    const wchar_t *path, std::wstring *text)
{
    // Regular files of the tree only: no devices or pipes that never end.
    if (!path) return -1;
    char resolved[PATH_MAX];
    struct stat st;
    std::string native = Native(path);
    if (!realpath(native.c_str(), resolved) || !InsideTree(resolved) ||
        stat(resolved, &st) != 0 || !S_ISREG(st.st_mode))
        return -1;
    return __real__ZN3vsh14OsReadTextFileEPKwPNSt7__cxx1112basic_stringIwSt11char_traitsIwESaIwEEE(
        path, text);
}

}  // extern "C"
