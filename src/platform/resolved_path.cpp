// What a path leads to, as the system resolves it: where identities may repeat, the one
// sound way left to tell that two names are one file. Windows and the Linux layer answer
// the same calls, so this is one code path for every build.
#include "platform/listing_calls.h"
#include "platform/platform.h"

#include <stdlib.h>
#include <string.h>

namespace {

/// Resolves what path names through a handle of its own. False when it cannot be
/// opened, the system cannot tell its path, or that does not fit.
bool ResolveOpened(const wchar_t *path, wchar_t *out, size_t capacity)
{
    // Reading attributes needs no right to read it; backup semantics open a directory.
    // Through the listing's calls, which may not tell a handle's path (listing_calls.h).
    HANDLE handle = ListingCallsInUse->Open(path, FILE_READ_ATTRIBUTES);
    if (handle == INVALID_HANDLE_VALUE) return false;
    DWORD len = ListingCallsInUse->FinalPath(handle, out, (DWORD)capacity);
    ListingCallsInUse->Close(handle);
    return len != 0 && len < capacity;
}

}  // namespace

bool GetResolvedPath(const wchar_t *path, wchar_t *out, size_t capacity)
{
    if (path == nullptr || out == nullptr || capacity == 0 || capacity > 0xFFFFFFFFu)
        return false;
    if (ResolveOpened(path, out, capacity)) return true;
    size_t len = wcslen(path);
    size_t nameAt = len;
    while (nameAt > 0 && !IsPathSeparator(path[nameAt - 1])) --nameAt;
    if (nameAt == 0 || nameAt == len) return false;
    // The directory keeps its separator, so that a root ("C:\", "/") opens as itself.
    wchar_t *directory = (wchar_t *)malloc((nameAt + 1) * sizeof(wchar_t));
    if (directory == nullptr) return false;
    wmemcpy(directory, path, nameAt);
    directory[nameAt] = L'\0';
    bool resolved = ResolveOpened(directory, out, capacity);
    free(directory);
    if (!resolved) return false;
    size_t at = wcslen(out);
    size_t nameLen = len - nameAt;
    if (at + 1 + nameLen + 1 > capacity) return false;
    if (at == 0 || !IsPathSeparator(out[at - 1])) out[at++] = VESK_PATH_SEP;
    wmemcpy(out + at, path + nameAt, nameLen + 1);
    return true;
}
