// The byte <-> wide conversion of Linux names.
#include "text/native_text.h"

#include <gtest/gtest.h>

#include <string.h>
#include <string>

namespace {

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
