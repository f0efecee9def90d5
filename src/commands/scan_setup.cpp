#include "commands/scan_setup.h"

#include "platform/platform.h"
#include "plugin/host_api.h"
#include "plugin/result_codes.h"
#include "search/filespec_scan.h"

void ResetSearchOptions(SearchOptions *options)
{
    options->AttrMask = 0;
    options->AttrValues = 0;
    options->WhichStamp = STAMP_LAST_WRITE;
    options->WalkFlags = 0;
    options->FullPaths = 0;
    options->DescriptionFile = nullptr;
    options->Ranges = nullptr;
    options->Debug = 0;
    options->Failures = FailureSink{nullptr, nullptr};
}

void TestDirectoriesForSize(int mode, SearchOptions *options)
{
    if (mode == MODE_LARGEST || mode == MODE_SMALLEST) options->AttrMask |= FILE_ATTRIBUTE_DIRECTORY;
}

void ReadDescriptionFileName(wchar_t *name)
{
    wcscpy(name, L"%_dname");
    if (ExpandVariables(name, 1) != 0) name[0] = L'\0';
    name[HOST_BUFFER_LEN - 1] = L'\0';
}

int ScanFileSpecs(const wchar_t *const *specs, int count, const SearchOptions *options, int n,
                  int mode, ResultList *results)
{
    if (StartResults(results, n, mode) != RESULT_OK) return RESULT_FAILED;
    int result = RESULT_OK;
    for (int i = 0; i < count; ++i)
        if (VeskFiles2(specs[i], options, results) != RESULT_OK) result = RESULT_SCAN_FAILED;
    OrderResults(results);
    return result;
}
