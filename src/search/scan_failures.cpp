#include "search/scan_failures.h"

#include <stdlib.h>
#include <string.h>

#include "plugin/shared_services.h"
#include "text/display_width.h"
#include "text/path_limit.h"
#include "text/path_separator.h"
#include "text/wide_format.h"

namespace {

bool IsOutOfMemory(DWORD error)
{
    return error == ERROR_NOT_ENOUGH_MEMORY || error == ERROR_OUTOFMEMORY;
}

/// The reason a message gives for error: the system's text, but our own words where the
/// system's would mislead ("The system cannot open the file" for too many open files).
void DescribeFailure(DWORD error, wchar_t *out, size_t capacity)
{
    if (error == ERROR_TOO_MANY_OPEN_FILES)
        FormatText(out, capacity, L"too many open files");
    else if (IsOutOfMemory(error))
        FormatText(out, capacity, L"not enough memory");
    else
        DescribeSystemError(error, out, capacity);
}

/// The failure's whole path, malloc'd (a folder entry's with its separator); null when
/// memory is exhausted.
wchar_t *WholePath(const ScanFailure *failure, bool withSeparator)
{
    size_t folderLen = wcslen(failure->Folder);
    size_t nameLen = failure->Name != nullptr ? wcslen(failure->Name) : 0;
    wchar_t *whole = (wchar_t *)malloc((folderLen + nameLen + 2) * sizeof(wchar_t));
    if (whole == nullptr) return nullptr;
    wmemcpy(whole, failure->Folder, folderLen);
    wmemcpy(whole + folderLen, failure->Name, nameLen);
    size_t len = folderLen + nameLen;
    if (withSeparator) whole[len++] = VESK_PATH_SEP;
    whole[len] = L'\0';
    return whole;
}

}  // namespace

void ReportFailure(void *context, const ScanFailure *failure)
{
    FailureReport *report = (FailureReport *)context;
    if (failure == nullptr || failure->Weight == QUIET_FAILURE) return;
    const wchar_t *verb = failure->IsDirectory && failure->Kind != FAILED_ENTRY ? L"Cannot list"
                                                                                : L"Cannot read";
    if (failure->Weight == DENIED_FAILURE) {
        // A folder's entry counts as the folder it is, named as a folder.
        bool entry = failure->Name != nullptr;
        wchar_t *whole = entry ? WholePath(failure, true) : nullptr;
        NoteDeniedFolder(report != nullptr ? &report->Denied : nullptr,
                         whole != nullptr ? whole : failure->Folder, failure->Id);
        free(whole);
        return;
    }
    if (failure->Kind == FAILED_PATH_LENGTH) {
        // No line holds such a path whole: it is shown cut in the middle.
        wchar_t shown[200];
        wchar_t *whole = WholePath(failure, false);
        const wchar_t *text = whole != nullptr ? whole
                              : failure->Name != nullptr ? failure->Name
                                                         : failure->Folder;
        CutInMiddle(shown, sizeof shown / sizeof shown[0], text, wcslen(text));
        free(whole);
        ReportError(L"%s \"%s\": its path is longer than %d characters\r\n", verb, shown,
                    PATH_BUFFER_LEN - 1);
        return;
    }
    wchar_t reason[256];
    DescribeFailure(failure->Error, reason, sizeof reason / sizeof reason[0]);
    ReportError(L"%s \"%s%s\": %s\r\n", failure->Kind == FAILED_LISTING ? L"Cannot list" : L"Cannot read",
                failure->Folder, failure->Name != nullptr ? failure->Name : L"", reason);
}
