// Windows listing speed: the classic FindFirstFileW against FindFirstFileExW with basic
// information and large fetches (the call the plug-in lists with), walking the same tree
// alternately, warm, several times each. Prints both medians and their ratio, and checks
// that both walks saw the same entries and bytes.
//
//   i686-w64-mingw32-gcc -O2 -municode bench/find_bench.c -o build/find_bench.exe
//   wine build/find_bench.exe C:\some\tree [runs] [bare]
//
// With "bare" only the FindFirstFileExW walk runs, and each run's time is printed: the
// reference that walk_bench.py sets Vesk's own listing against under Wine.
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>

typedef struct Totals {
    unsigned long long Entries;
    unsigned long long Bytes;
} Totals;

static void Walk(const wchar_t *folder, int fast, Totals *totals)
{
    size_t length = wcslen(folder);
    wchar_t *pattern = malloc((length + 3) * sizeof(wchar_t));
    if (!pattern) return;
    swprintf(pattern, length + 3, L"%ls\\*", folder);
    WIN32_FIND_DATAW data;
    HANDLE find = fast ? FindFirstFileExW(pattern, FindExInfoBasic, &data, FindExSearchNameMatch,
                                          NULL, FIND_FIRST_EX_LARGE_FETCH)
                       : FindFirstFileW(pattern, &data);
    free(pattern);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        if (wcscmp(data.cFileName, L".") == 0 || wcscmp(data.cFileName, L"..") == 0) continue;
        ++totals->Entries;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) continue;
            size_t need = length + wcslen(data.cFileName) + 2;
            wchar_t *child = malloc(need * sizeof(wchar_t));
            if (!child) continue;
            swprintf(child, need, L"%ls\\%ls", folder, data.cFileName);
            Walk(child, fast, totals);
            free(child);
        } else {
            totals->Bytes += ((unsigned long long)data.nFileSizeHigh << 32) | data.nFileSizeLow;
        }
    } while (FindNextFileW(find, &data));
    FindClose(find);
}

static int Compare(const void *a, const void *b)
{
    double x = *(const double *)a, y = *(const double *)b;
    return (x > y) - (x < y);
}

int wmain(int argc, wchar_t **argv)
{
    if (argc < 2) {
        fwprintf(stderr, L"usage: find_bench FOLDER [runs] [bare]\n");
        return 2;
    }
    int runs = argc > 2 ? _wtoi(argv[2]) : 5;
    if (runs < 1 || runs > 100) runs = 5;
    double seconds[2][100];
    Totals seen[2] = {{0, 0}, {0, 0}};
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    Totals warm = {0, 0};
    Walk(argv[1], 1, &warm);
    if (argc > 3 && wcscmp(argv[3], L"bare") == 0) {
        for (int run = 0; run < runs; ++run) {
            Totals totals = {0, 0};
            LARGE_INTEGER start, end;
            QueryPerformanceCounter(&start);
            Walk(argv[1], 1, &totals);
            QueryPerformanceCounter(&end);
            wprintf(L"run %d: %.4f s, %llu entries\n", run,
                    (double)(end.QuadPart - start.QuadPart) / frequency.QuadPart, totals.Entries);
        }
        return 0;
    }
    for (int run = 0; run < runs; ++run) {
        for (int fast = 0; fast < 2; ++fast) {
            Totals totals = {0, 0};
            LARGE_INTEGER start, end;
            QueryPerformanceCounter(&start);
            Walk(argv[1], fast, &totals);
            QueryPerformanceCounter(&end);
            seconds[fast][run] = (double)(end.QuadPart - start.QuadPart) / frequency.QuadPart;
            seen[fast] = totals;
        }
    }
    qsort(seconds[0], runs, sizeof(double), Compare);
    qsort(seconds[1], runs, sizeof(double), Compare);
    double classic = seconds[0][runs / 2], fast = seconds[1][runs / 2];
    wprintf(L"entries %llu, bytes %llu (%ls)\n", seen[1].Entries, seen[1].Bytes,
            seen[0].Entries == seen[1].Entries && seen[0].Bytes == seen[1].Bytes
                ? L"same in both walks" : L"THE WALKS DIFFER");
    wprintf(L"FindFirstFileW            median %.3f s over %d runs\n", classic, runs);
    wprintf(L"FindFirstFileExW (basic)  median %.3f s over %d runs\n", fast, runs);
    wprintf(L"ratio classic / basic: %.2f\n", fast > 0 ? classic / fast : 0.0);
    return 0;
}
