// Cost of the shared case and width tables against the C library's locale functions, side
// by side on the same names: folding every character of a name (what the Linux layer's
// name order and wildcard test do) and measuring a name's console cells (what the table
// does per row). Prints the medians and the ratios; nothing is asserted.
//
//   g++ -O2 -std=c++17 -Isrc bench/text_bench.cpp src/text/*.cpp -o /tmp/text_bench
//   /tmp/text_bench [rounds]
#include <locale.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <wchar.h>
#include <wctype.h>

#include <algorithm>
#include <string>
#include <vector>

#include "text/case_fold.h"
#include "text/display_width.h"

namespace {

double Seconds()
{
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

template <typename F>
double Median(int rounds, F work)
{
    std::vector<double> times;
    for (int i = 0; i < rounds; ++i) {
        double start = Seconds();
        work();
        times.push_back(Seconds() - start);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

}  // namespace

int main(int argc, char **argv)
{
    int rounds = argc > 1 ? atoi(argv[1]) : 9;
    if (rounds < 1) rounds = 1;
    locale_t loc = newlocale(LC_CTYPE_MASK, "C.UTF-8", (locale_t)0);
    if (!loc) {
        fprintf(stderr, "no C.UTF-8 locale for the reference\n");
        return 1;
    }
    setlocale(LC_CTYPE, "C.UTF-8");

    // 200,000 names of 24 characters: a third ASCII, a third Latin and Greek with
    // accents, a third CJK and kana; fixed seed.
    const wchar_t pools[3][17] = {
        L"abcdefghijklmnop", L"\u00e9\u00e4\u00f6\u00fc\u00e7\u00f1\u03b1\u03b2\u03b3\u0444\u0436\u0131\u0153\u00ff\u0101\u010d",
        L"\u4e2d\u6587\u540d\u524d\u3042\u3044\u3046\u30a2\u30a4\uac00\ud55c\u5b57\u6f22\u5b57\u3048\u304a"};
    std::vector<std::wstring> names;
    unsigned seed = 1;
    for (int i = 0; i < 200000; ++i) {
        std::wstring name;
        for (int j = 0; j < 24; ++j) {
            seed = seed * 1103515245u + 12345u;
            name += pools[i % 3][(seed >> 16) % 16];
        }
        names.push_back(name + L".txt");
    }

    unsigned long sink = 0;
    double oursFold = Median(rounds, [&] {
        for (const auto &n : names)
            for (wchar_t c : n) sink += UpperCaseOf((uint32_t)c);
    });
    double libcFold = Median(rounds, [&] {
        for (const auto &n : names)
            for (wchar_t c : n) sink += (unsigned long)towupper_l((wint_t)c, loc);
    });
    double oursWidth = Median(rounds, [&] {
        for (const auto &n : names) sink += DisplayWidth(n.c_str());
    });
    double libcWidth = Median(rounds, [&] {
        for (const auto &n : names) sink += (unsigned long)wcswidth(n.c_str(), n.size());
    });
    printf("200,000 names of 28 characters, median of %d rounds\n", rounds);
    printf("fold:  tables %.1f ms, towupper_l %.1f ms, ratio %.2f\n", oursFold * 1e3,
           libcFold * 1e3, oursFold / libcFold);
    printf("width: tables %.1f ms, wcswidth   %.1f ms, ratio %.2f\n", oursWidth * 1e3,
           libcWidth * 1e3, oursWidth / libcWidth);
    printf("(checksum %lu)\n", sink);
    freelocale(loc);
    return 0;
}
