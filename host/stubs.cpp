// Placeholder services until the shell proper lands.
#include "os.h"
#include "shell.h"
#include "plugin/host_api.h"

#include <string.h>
#include <wctype.h>

extern "C" {

HOST_SERVICE int HOST_CALL ExpandVariables(wchar_t *, int) { return 0; }
HOST_SERVICE int HOST_CALL Command(const wchar_t *, int) { return 1; }

HOST_SERVICE int HOST_CALL WildcardComparison(const wchar_t *pattern, const wchar_t *text, int,
                                              int)
{
    if (!pattern || !text) return 1;
    if (*pattern == L'*') {
        for (const wchar_t *t = text;; ++t) {
            if (WildcardComparison(pattern + 1, t, 0, 1) == 0) return 0;
            if (!*t) return 1;
        }
    }
    if (!*pattern) return *text ? 1 : 0;
    if (!*text) return 1;
    if (*pattern != L'?' && towupper((wint_t)*pattern) != towupper((wint_t)*text)) return 1;
    return WildcardComparison(pattern + 1, text + 1, 0, 1);
}

HOST_SERVICE int HOST_CALL QueryTrueName(const wchar_t *path, wchar_t *result)
{
    if (!path || !result || wcslen(path) >= HOST_RESULT_LEN) return 1;
    wcscpy(result, path);
    return 0;
}

HOST_SERVICE int HOST_CALL QueryDriveReady(int) { return 0; }
HOST_SERVICE int HOST_CALL QueryIsConsole(void *handle) { return OsIsConsole(handle); }
HOST_SERVICE int HOST_CALL QueryIsFileOrDirectory(const wchar_t *) { return 0; }
HOST_SERVICE int HOST_CALL QueryIsDirectory(const wchar_t *) { return 0; }
HOST_SERVICE int HOST_CALL ShellMain(int, wchar_t **) { return 0; }

}  // extern "C"
