// The wide formatter with the Windows conventions.
#include "text/wide_format.h"

#include <gtest/gtest.h>

#include <limits.h>
#include <stdint.h>
#include <string>

namespace {

// One row of the table: the text the format must give, checked with the length.
#define EXPECT_FORMAT(expected, ...)                                                   \
    do {                                                                               \
        wchar_t buf_[256];                                                             \
        int n_ = FormatWide(buf_, 256, __VA_ARGS__);                                   \
        EXPECT_STREQ(buf_, expected) << #__VA_ARGS__;                                  \
        EXPECT_EQ(n_, (int)wcslen(expected)) << #__VA_ARGS__;                          \
    } while (0)

TEST(PlatformFormat, ConversionsFlagsAndWidths)
{
    EXPECT_FORMAT(L"   42|42   |00042", L"%5d|%-5d|%05d", 42, 42, 42);
    EXPECT_FORMAT(L"-005|+7| 7", L"%04d|%+d|% d", -5, 7, 7);
    EXPECT_FORMAT(L"     7", L"%*d", 6, 7);
    EXPECT_FORMAT(L"ab    |", L"%-*s|", 6, L"ab");
    EXPECT_FORMAT(L"x   |", L"%*s|", -4, L"x");  // a negative * width aligns left
    EXPECT_FORMAT(L"abc|  ab", L"%.3s|%4.*s", L"abcdef", 2, L"abc");
    EXPECT_FORMAT(L"18446744073709551615", L"%I64u", (unsigned long long)UINT64_MAX);
    EXPECT_FORMAT(L"-9223372036854775808", L"%I64d", (long long)INT64_MIN);
    EXPECT_FORMAT(L"000000000042", L"%012I64u", 42ULL);
    EXPECT_FORMAT(L"4294967295 -2147483648", L"%u %d", 4294967295u, INT_MIN);
    EXPECT_FORMAT(L"4294967295", L"%lu", 4294967295u);  // l is 32-bit, as on Windows
    EXPECT_FORMAT(L"ff FF 0xff 17", L"%x %X %#x %o", 255, 255, 255, 15);
    EXPECT_FORMAT(L"100%", L"%d%%", 100);
    EXPECT_FORMAT(L"[\u00e9] [a]", L"[%c] [%hc]", L'\u00e9', 'a');
    EXPECT_FORMAT(L"wide narrow narrow wide", L"%s %hs %S %ls", L"wide", "narrow", "narrow", L"wide");
    EXPECT_FORMAT(L"N", L"%C", 'N');
    EXPECT_FORMAT(L"(null)", L"%s", (const wchar_t *)nullptr);
    EXPECT_FORMAT(L"|", L"%.0d|", 0);
    EXPECT_FORMAT(L"1 65535", L"%hd %hu", 65537, 65535 + 65536);
    EXPECT_FORMAT(L"tail %", L"tail %");       // a lone % at the end stays
    EXPECT_FORMAT(L"%q 5", L"%q %d", 5);       // unknown conversions stay as written
    EXPECT_FORMAT(L"", L"");
}

TEST(PlatformFormat, OutputIsCutAtCapacity)
{
    wchar_t buf[8];
    for (wchar_t &c : buf) c = L'#';
    EXPECT_EQ(FormatWide(buf, 5, L"abc%s", L"defgh"), 8);
    EXPECT_STREQ(buf, L"abcd");
    EXPECT_EQ(buf[5], L'#');
    EXPECT_EQ(FormatWide(buf, 1, L"abc"), 3);
    EXPECT_STREQ(buf, L"");
    buf[0] = L'#';
    EXPECT_EQ(FormatWide(buf, 0, L"abc"), 3);  // nothing written at all
    EXPECT_EQ(buf[0], L'#');
    EXPECT_EQ(FormatWide(nullptr, 10, L"%05d", 3), 5);
    // Huge widths are capped instead of running away; the buffer is never overrun.
    EXPECT_EQ(FormatWide(buf, 8, L"%*d", INT_MIN, 1), 100000);
    EXPECT_EQ(FormatWide(buf, 8, L"%*d", INT_MAX, 1), 100000);
    EXPECT_EQ(FormatWide(buf, 8, L"%.*d", INT_MAX, 1), 100000);
    EXPECT_EQ(FormatWide(buf, 8, L"%99999999999d", 1), 100000);
    EXPECT_EQ(wcslen(buf), 7u);
}

TEST(PlatformFormat, FormatTextNeverPassesCapacity)
{
    wchar_t buffer[16];
    for (size_t capacity = 1; capacity <= 10; ++capacity) {
        wmemset(buffer, L'#', 16);
        int length = FormatText(buffer, capacity, L"%s-%d", L"abcdef", 42);
        EXPECT_EQ(9, length);
        size_t kept = capacity - 1 < 9 ? capacity - 1 : 9;
        EXPECT_EQ(std::wstring(L"abcdef-42").substr(0, kept), std::wstring(buffer));
        EXPECT_EQ(L'#', buffer[capacity]) << capacity;
    }
    wmemset(buffer, L'#', 16);
    FormatText(buffer, 0, L"abc");
    EXPECT_EQ(L'#', buffer[0]);
    EXPECT_EQ(0, FormatText(nullptr, 0, L"%s", L""));
    EXPECT_EQ(6, FormatText(buffer, 16, L"%I64u", (unsigned long long)123456));
    EXPECT_STREQ(L"123456", buffer);
}

}  // namespace
