// The wide formatter with the Windows conventions, and the byte <-> wide conversion of
// Linux names.
#include "text/native_text.h"
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

TEST(PlatformText, BytesSurviveTheRoundTrip)
{
    const std::string names[] = {
        "plain",          "caf\xc3\xa9",       "bad\xff",           "\xc3",
        "\xe2\x82",       "\xc0\xaf",          "\xed\xa0\x80",      "\xf4\x90\x80\x80",
        "\xf0\x9f\x98\x80", "\x80\x80x",       "mixed\xc3\xa9\xfe\xc3",
    };
    for (const std::string &bytes : names) {
        wchar_t wide[64];
        ASSERT_LT(NativeToWide(bytes.data(), bytes.size(), wide, 64), 64u);
        char back[64];
        EXPECT_EQ(WideToNative(wide, back, 64), bytes.size());
        EXPECT_EQ(std::string(back), bytes);
    }
}

TEST(PlatformText, DecodingAndCutting)
{
    struct Row {
        const char *Bytes;
        const wchar_t *Wide;
    } rows[] = {
        {"caf\xc3\xa9", L"caf\u00e9"},
        {"bad\xff", L"bad\xDCFF"},
        {"\xc0\xaf", L"\xDCC0\xDCAF"},          // overlong '/' is no slash
        {"\xed\xa0\x80", L"\xDCED\xDCA0\xDC80"},  // an encoded surrogate is invalid
        {"\xf0\x9f\x98\x80", L"\U0001F600"},
    };
    for (const Row &r : rows) {
        wchar_t wide[16];
        NativeToWide(r.Bytes, strlen(r.Bytes), wide, 16);
        EXPECT_STREQ(wide, r.Wide) << r.Bytes;
    }
    // Cut: a terminated prefix, the full length returned.
    wchar_t small[3];
    EXPECT_EQ(NativeToWide("abcdef", 6, small, 3), 6u);
    EXPECT_STREQ(small, L"ab");
    char bytes[4];
    EXPECT_EQ(WideToNative(L"a\u00e9b", bytes, 3), 4u);
    EXPECT_STREQ(bytes, "a");  // never half a sequence
    EXPECT_EQ(WideToNative(L"a\u00e9b", bytes, 4), 4u);
    EXPECT_STREQ(bytes, "a\xc3\xa9");
    EXPECT_EQ(WideToNative(L"\xD800", bytes, 4), 3u);  // a lone surrogate becomes U+FFFD
    EXPECT_STREQ(bytes, "\xef\xbf\xbd");
    EXPECT_EQ(WideToNative(L"abc", nullptr, 0), 3u);
}

}  // namespace
