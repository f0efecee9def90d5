// Prints the version resource of one file, one "Key=value" line each, the way Explorer's
// Properties > Details reads it: through GetFileVersionInfoW and VerQueryValueW.
//
//   verinfo FILE      exit 0 when the file has a version resource, else 1
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>

static const wchar_t *const Keys[] = {L"CompanyName",    L"FileDescription",  L"FileVersion",
                                      L"InternalName",   L"LegalCopyright",   L"OriginalFilename",
                                      L"ProductName",    L"ProductVersion"};

int wmain(int argc, wchar_t **argv)
{
    if (argc != 2) {
        fwprintf(stderr, L"usage: verinfo FILE\n");
        return 2;
    }
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(argv[1], &ignored);
    if (size == 0) {
        wprintf(L"no version resource (error %lu)\n", (unsigned long)GetLastError());
        return 1;
    }
    void *block = malloc(size);
    if (!block || !GetFileVersionInfoW(argv[1], 0, size, block)) {
        wprintf(L"unreadable version resource\n");
        free(block);
        return 1;
    }
    VS_FIXEDFILEINFO *fixed = NULL;
    UINT length = 0;
    if (VerQueryValueW(block, L"\\", (void **)&fixed, &length) && fixed && length >= sizeof *fixed) {
        wprintf(L"Fixed.FileVersion=%u.%u.%u.%u\n", (unsigned)HIWORD(fixed->dwFileVersionMS),
                (unsigned)LOWORD(fixed->dwFileVersionMS), (unsigned)HIWORD(fixed->dwFileVersionLS),
                (unsigned)LOWORD(fixed->dwFileVersionLS));
        wprintf(L"Fixed.ProductVersion=%u.%u.%u.%u\n", (unsigned)HIWORD(fixed->dwProductVersionMS),
                (unsigned)LOWORD(fixed->dwProductVersionMS),
                (unsigned)HIWORD(fixed->dwProductVersionLS),
                (unsigned)LOWORD(fixed->dwProductVersionLS));
        wprintf(L"Fixed.FileType=%lu\n", (unsigned long)fixed->dwFileType);
    }
    // The strings sit under the first language and code page the file lists.
    WORD *translation = NULL;
    if (!VerQueryValueW(block, L"\\VarFileInfo\\Translation", (void **)&translation, &length) ||
        length < 2 * sizeof(WORD)) {
        wprintf(L"no translation table\n");
        free(block);
        return 1;
    }
    wprintf(L"Translation=%04x%04x\n", translation[0], translation[1]);
    for (size_t i = 0; i < sizeof Keys / sizeof Keys[0]; ++i) {
        wchar_t path[128];
        _snwprintf(path, 128, L"\\StringFileInfo\\%04x%04x\\%ls", translation[0], translation[1],
                   Keys[i]);
        path[127] = L'\0';
        wchar_t *value = NULL;
        if (VerQueryValueW(block, path, (void **)&value, &length) && value)
            wprintf(L"%ls=%ls\n", Keys[i], value);
        else
            wprintf(L"%ls is missing\n", Keys[i]);
    }
    free(block);
    return 0;
}
