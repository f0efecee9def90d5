// The shell's path services: full names and what a path names, through the system layer.
#include "os.h"
#include "plugin/host_api.h"

// ---- path services -----------------------------------------------------------------
extern "C" {

HOST_SERVICE int HOST_CALL QueryTrueName(const wchar_t *path, wchar_t *result)
{
    if (!result) return 1;
    result[0] = L'\0';
    if (!path) return 1;
    return vsh::OsFullPath(path, result, HOST_RESULT_LEN) == 0 ? 0 : 1;
}

HOST_SERVICE int HOST_CALL QueryDriveReady(int drive) { return vsh::OsDriveReady(drive); }

HOST_SERVICE int HOST_CALL QueryIsConsole(void *handle) { return vsh::OsIsConsole(handle); }

HOST_SERVICE int HOST_CALL QueryIsFileOrDirectory(const wchar_t *path)
{
    return vsh::OsPathKind(path) != 0 ? 1 : 0;
}

HOST_SERVICE int HOST_CALL QueryIsDirectory(const wchar_t *path)
{
    return vsh::OsPathKind(path) == 1 ? 1 : 0;
}

}  // extern "C"
