#include "plugin/shared_services.h"

#include <gtest/gtest.h>

#include <string>

#include "plugin/host_api.h"

namespace {

TEST(SharedServicesTest, ParseNumberTable)
{
    struct {
        const wchar_t *Text;
        int Result;
        uint32_t Value;
    } cases[] = {
        {L"0", 0, 0},
        {L"7", 0, 7},
        {L"0x1F", 0, 31},
        {L"0X1f", 0, 31},
        {L"0x0", 0, 0},
        {L"007", 0, 7},
        {L"4294967295", 0, 4294967295u},
        {L"0xFFFFFFFF", 0, 4294967295u},
        {L"00000000000000000000000000000012", 0, 12},
        {L"0x00000000000000000000000000000FF", 0, 255},
        {L"4294967296", -1, 0},
        {L"0x100000000", -1, 0},
        {L"99999999999999999999999999", -1, 0},
        {L"18446744073709551616", -1, 0},
        {L"0x", -1, 0},
        {L"0xG", -1, 0},
        {L"0x0x5", -1, 0},
        {L"12a", -1, 0},
        {L"1F", -1, 0},
        {L"+5", -1, 0},
        {L"-5", -1, 0},
        {L" 5", -1, 0},
        {L"5 ", -1, 0},
        {L"", -1, 0},
        {L"x1", -1, 0},
        {L"\x0663", -1, 0},  // a digit of another script is not one of ours
    };
    for (auto c : cases) {
        uint32_t value = 0xDEADBEEF;
        EXPECT_EQ(c.Result, ParseNumber(c.Text, &value)) << c.Text;
        EXPECT_EQ(c.Result == 0 ? c.Value : 0xDEADBEEFu, value) << c.Text;
    }
    uint32_t value = 1;
    EXPECT_EQ(-1, ParseNumber(nullptr, &value));
    EXPECT_EQ(-1, ParseNumber(L"5", nullptr));
    EXPECT_EQ(1u, value);
}

TEST(SharedServicesTest, ParseNumberOnLongHostileText)
{
    std::wstring digits(3 * HOST_BUFFER_LEN, L'9');
    uint32_t value = 3;
    EXPECT_EQ(-1, ParseNumber(digits.c_str(), &value));
    std::wstring zeros(3 * HOST_BUFFER_LEN, L'0');
    EXPECT_EQ(0, ParseNumber(zeros.c_str(), &value));
    EXPECT_EQ(0u, value);
    EXPECT_EQ(0, ParseNumber((L"0x" + zeros + L"A").c_str(), &value));
    EXPECT_EQ(10u, value);
}

TEST(SharedServicesTest, ValueSeparators)
{
    EXPECT_TRUE(IsValueSeparator(L':'));
    EXPECT_TRUE(IsValueSeparator(L'='));
    for (wchar_t c : std::wstring(L" ;/-,\0a", 7)) EXPECT_FALSE(IsValueSeparator(c)) << (int)c;
}

TEST(SharedServicesTest, FormatTextNeverPassesCapacity)
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

TEST(SharedServicesTest, EscapeHostTextTable)
{
    struct {
        const wchar_t *Text;
        const wchar_t *Escaped;
    } cases[] = {
        {L"", L""},
        {L"plain name.txt", L"plain name.txt"},
        {L"100%", L"100%%"},
        {L"a&b|c", L"a^&b^|c"},
        {L"<(x)>", L"^<^(x^)^>"},
        {L"`q\"[1,2]^", L"^`q^\"^[1^,2^]^^"},
        {L" lead", L"^ lead"},
        {L"trail\t", L"trail^\t"},
        {L"  both  ", L"^ ^ both^ ^ "},
        {L"   ", L"^ ^ ^ "},
        {L"in side", L"in side"},
    };
    for (auto c : cases) {
        wchar_t out[64];
        EXPECT_EQ(0, EscapeHostText(c.Text, out, 64)) << c.Text;
        EXPECT_STREQ(c.Escaped, out) << c.Text;
    }
}

TEST(SharedServicesTest, EscapeHostTextBounds)
{
    wchar_t out[8];
    // "a%b" needs 4 characters and a terminator.
    EXPECT_EQ(0, EscapeHostText(L"a%b", out, 5));
    EXPECT_STREQ(L"a%%b", out);
    wmemset(out, L'#', 8);
    EXPECT_EQ(-1, EscapeHostText(L"a%b", out, 4));
    EXPECT_STREQ(L"", out);
    EXPECT_EQ(L'#', out[4]);
    EXPECT_EQ(-1, EscapeHostText(L"&", out, 2));
    EXPECT_STREQ(L"", out);
    EXPECT_EQ(-1, EscapeHostText(nullptr, out, 8));
    EXPECT_EQ(-1, EscapeHostText(L"x", nullptr, 8));
    EXPECT_EQ(-1, EscapeHostText(L"x", out, 0));
    EXPECT_EQ(0, EscapeHostText(L"", out, 1));

    std::wstring hostile(HOST_BUFFER_LEN, L'%');
    std::wstring big(2 * HOST_BUFFER_LEN + 1, L'#');
    EXPECT_EQ(0, EscapeHostText(hostile.c_str(), &big[0], big.size()));
    EXPECT_EQ(-1, EscapeHostText(hostile.c_str(), &big[0], big.size() - 1));
}

} // namespace
