#include "search/denied_folders.h"

#include <stdlib.h>
#include <string.h>

#include "plugin/result_codes.h"
#include "plugin/shared_services.h"
#include "search/path_hash.h"
#include "text/display_width.h"
#include "text/wide_format.h"

namespace {

/// The path as an identity of the set: two independent 64-bit hashes of its characters,
/// so that two paths are taken for one only by a chance of about 2^-128.
FileId PathIdentity(const wchar_t *path)
{
    uint64_t first = PATH_HASH_START, second = 0x84222325CBF29CE4ULL;
    for (const wchar_t *p = path; *p != L'\0'; ++p) {
        uint64_t c = (uint64_t)(uint32_t)*p;
        first = PathHashStep(first, *p);
        second = (second + c + 1) * 0x9E3779B97F4A7C15ULL;
        second ^= second >> 31;
    }
    FileId id;
    id.Volume = 0;
    id.FileLow = first;
    id.FileHigh = second | 1;  // never the zero of an unknown id
    return id;
}

}  // namespace

void NoteDeniedFolder(DeniedFolders *denied, const wchar_t *path, const FileId *known)
{
    if (denied == nullptr || path == nullptr) return;
    // A path's hash has volume 0, which no trusted identity has: the two never meet.
    FileId id = known != nullptr ? *known : PathIdentity(path);
    bool added = false;
    // Out of memory the folder is counted all the same: better once too often than lost.
    if (AddDirectory(&denied->Counted, &id, &added) == RESULT_OK && !added) return;
    if (denied->Count < DENIED_NAMES_KEPT) {
        wchar_t *name = (wchar_t *)malloc(DENIED_NAME_LEN * sizeof(wchar_t));
        if (name != nullptr) CutInMiddle(name, DENIED_NAME_LEN, path, wcslen(path));
        denied->Names[denied->Count] = name;
    }
    if (denied->Count < UINT32_MAX) ++denied->Count;
}

int ReportDeniedFolders(const DeniedFolders *denied, bool named)
{
    if (denied == nullptr || denied->Count == 0) return 0;
    const wchar_t *noun = denied->Count == 1 ? L"folder" : L"folders";
    if (!named) {
        ReportError(L"%u %s could not be read: access denied\r\n", (unsigned)denied->Count, noun);
        return 0;
    }
    // The names kept, each quoted; the count says how many more there were.
    wchar_t list[DENIED_NAMES_KEPT * (DENIED_NAME_LEN + 4) + 32];
    size_t used = 0;
    uint32_t shown = 0;
    for (uint32_t i = 0; i < DENIED_NAMES_KEPT && i < denied->Count; ++i) {
        if (denied->Names[i] == nullptr) continue;
        used += (size_t)FormatWide(list + used, sizeof list / sizeof list[0] - used, L"%s\"%s\"",
                                   shown == 0 ? L"" : L", ", denied->Names[i]);
        ++shown;
    }
    list[used] = L'\0';
    if (shown == denied->Count)
        ReportError(L"%u %s could not be read: access denied (%s)\r\n", (unsigned)denied->Count,
                    noun, list);
    else
        ReportError(L"%u %s could not be read: access denied (%s and %u more)\r\n",
                    (unsigned)denied->Count, noun, list, (unsigned)(denied->Count - shown));
    return 0;
}

void FreeDeniedFolders(DeniedFolders *denied)
{
    if (denied == nullptr) return;
    for (wchar_t *&name : denied->Names) free(name);
    FreeDirectorySet(&denied->Counted);
    memset(denied, 0, sizeof *denied);
}
