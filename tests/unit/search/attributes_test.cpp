#include <gtest/gtest.h>

#include "search/attributes.h"

namespace {

struct AttributeCase {
    const wchar_t *Text;
    int Result;
    uint32_t Mask;
    uint32_t Values;
};

TEST(AttributesTest, ParsesTextsFromZero)
{
    const AttributeCase cases[] = {
        {L"", 0, 0, 0},
        {L"HS", 0, 0x6, 0x6},
        {L"-HS", 0, 0x6, 0},
        {L"-H+S", 0, 0x6, 0x4},
        {L"H-H", 0, 0x2, 0},
        {L"D", 0, 0x10, 0x10},
        {L"rhs", 0, 0x7, 0x7},
        {L"-hs", 0, 0x6, 0},
        {L"+R", 0, 0x1, 0x1},
        {L"RHSDACOIE", 0, 0x7837, 0x7837},
        {L"-rhsdacoie", 0, 0x7837, 0},
        {L"A", 0, 0x20, 0x20},
        {L"C", 0, 0x800, 0x800},
        {L"o", 0, 0x1000, 0x1000},
        {L"I", 0, 0x2000, 0x2000},
        {L"e", 0, 0x4000, 0x4000},
        {L"-D+A-R", 0, 0x31, 0x20},
        {L"+-H", 0, 0x2, 0},
        // Malformed: only the result is fixed.
        {L"+", 1, 0, 0},
        {L"-", 1, 0, 0},
        {L"H+", 1, 0, 0},
        {L"RX", 1, 0, 0},
        {L"R H", 1, 0, 0},
        {L":R", 1, 0, 0},
        {L"1", 1, 0, 0},
        {L"N", 1, 0, 0},
        {L"\u0131", 1, 0, 0},  // dotless i: no attribute letter, whatever the locale
        {L"\u017f", 1, 0, 0},  // long s
    };
    for (const AttributeCase &c : cases) {
        uint32_t mask = 0, values = 0;
        EXPECT_EQ(c.Result, ParseAttributes(c.Text, &mask, &values)) << "text: " << c.Text;
        if (c.Result == 0) {
            EXPECT_EQ(c.Mask, mask) << c.Mask;
            EXPECT_EQ(c.Values, values) << c.Values;
        }
    }
}

TEST(AttributesTest, AddsToPresetWordsAndEmptyClearsThem)
{
    uint32_t mask = 0x10, values = 0;
    EXPECT_EQ(0, ParseAttributes(L"H", &mask, &values));
    EXPECT_EQ(0x12u, mask);
    EXPECT_EQ(0x2u, values);

    mask = 0x10;
    values = 0;
    EXPECT_EQ(0, ParseAttributes(L"+D", &mask, &values));
    EXPECT_EQ(0x10u, mask);
    EXPECT_EQ(0x10u, values);

    mask = 0xFFFF;
    values = 0x1234;
    EXPECT_EQ(0, ParseAttributes(L"", &mask, &values));
    EXPECT_EQ(0u, mask);
    EXPECT_EQ(0u, values);
}

TEST(AttributesTest, MalformedKeepsLettersBeforeTheFault)
{
    uint32_t mask = 0, values = 0;
    EXPECT_EQ(1, ParseAttributes(L"RHX", &mask, &values));
    EXPECT_EQ(0x3u, mask);
    EXPECT_EQ(0x3u, values);
}

TEST(AttributesTest, NullArgumentsAreRefused)
{
    uint32_t mask = 7, values = 7;
    EXPECT_EQ(-1, ParseAttributes(nullptr, &mask, &values));
    EXPECT_EQ(7u, mask);
    EXPECT_EQ(7u, values);
    EXPECT_EQ(-1, ParseAttributes(L"R", nullptr, &values));
    EXPECT_EQ(-1, ParseAttributes(L"R", &mask, nullptr));
}

}  // namespace
