#include "posix_path.h"

#include "text/path_separator.h"

#include <string.h>

namespace vsh {

int NormalizePosixPath(const wchar_t *cwd, const wchar_t *path, wchar_t *out, size_t capacity)
{
    if (!out || capacity == 0) return -1;
    out[0] = L'\0';
    if (!path || !*path || !cwd) return -1;

    // out is built in place: "/" then components. Each ".." cuts back to the previous
    // separator, which is safe because out holds nothing but clean components.
    size_t len = 0;
    out[len++] = L'/';
    out[len] = L'\0';
    const wchar_t *sources[2] = {IsPathSeparator(path[0]) ? L"" : cwd, path};
    for (const wchar_t *p : sources) {
        while (*p) {
            while (IsPathSeparator(*p)) ++p;
            if (!*p) break;
            const wchar_t *start = p;
            while (*p && !IsPathSeparator(*p)) ++p;
            size_t n = (size_t)(p - start);
            if (n == 1 && start[0] == L'.') continue;
            if (n == 2 && start[0] == L'.' && start[1] == L'.') {
                // out is "/" or "/a/b" without a trailing separator: drop the last
                // component, never the root.
                size_t k = len;
                while (k > 0 && out[k - 1] != L'/') --k;
                len = k > 1 ? k - 1 : 1;
                out[len] = L'\0';
                continue;
            }
            if (len > 1) {
                if (len + 1 >= capacity) goto too_long;
                out[len++] = L'/';
            }
            if (len + n >= capacity) goto too_long;
            memcpy(out + len, start, n * sizeof(wchar_t));
            len += n;
            out[len] = L'\0';
        }
    }
    {
        size_t pathLen = wcslen(path);
        if (IsPathSeparator(path[pathLen - 1]) && len > 1) {
            if (len + 1 >= capacity) goto too_long;
            out[len++] = L'/';
            out[len] = L'\0';
        }
    }
    return 0;

too_long:
    out[0] = L'\0';
    return -1;
}

}  // namespace vsh
