#include <gtest/gtest.h>

#include <string>

#include "range_test_util.h"

namespace {

using rangetest::Captured;
using rangetest::Upper;

class RangeWeekdayTest : public rangetest::RangeTest {};

enum { SUN = 1, MON = 2, TUE = 4, WED = 8, THU = 16, FRI = 32, SAT = 64 };

TEST_F(RangeWeekdayTest, Tokens)
{
    struct {
        const wchar_t *Text;
        int Value;
        int Length;
    } cases[] = {
        {L"Mon]", 1, 3},        {L"monday,", 1, 6},   {L"Tu-Fri", 2, 2},
        {L"tux", 2, 3},         {L"Th", 4, 2},        {L"WE;", 3, 2},
        {L"Sa..Su", 6, 2},      {L"su", 0, 2},        {L"weekday ", 62, 7},
        {L"WEEKDAYS]", 62, 8},  {L"weekend", 65, 7},  {L"Weekends.", 65, 8},
        {L"weekdayz", 3, 8},    {L"0", 0, 1},         {L"7", 0, 1},
        {L"6", 6, 1},           {L"007]", 0, 3},      {L"8", -1, 1},
        {L"1x", -1, 2},         {L"M", -1, 1},        {L"", -1, 0},
        {L"]", -1, 0},          {L"-Mon", -1, 0},     {L"xyz", -1, 3},
        {L"99999999999", -1, 11},
    };
    for (const auto &c : cases) {
        int length = 99;
        EXPECT_EQ(c.Value, ReadWeekdayToken(c.Text, &length)) << c.Text;
        EXPECT_EQ(c.Length, length) << c.Text;
    }
    int length = 99;
    EXPECT_EQ(-1, ReadWeekdayToken(nullptr, &length));
    EXPECT_EQ(-1, ReadWeekdayToken(L"Mon", nullptr));
    EXPECT_EQ(-1, WeekdayIndex(nullptr));
    EXPECT_EQ(5, WeekdayIndex(L"Friday"));
}

TEST_F(RangeWeekdayTest, OverlongTokenIsSteppedOverWholeAndIsNoDay)
{
    // Cut at the buffer, its tail would otherwise be read as a day of its own.
    std::wstring token = L"Mo" + std::wstring(1021, L'x') + L"Tu";
    int length = 0;
    EXPECT_EQ(-1, ReadWeekdayToken(token.c_str(), &length));
    EXPECT_EQ((int)token.size(), length);
    std::wstring text = L":" + token + L"]";
    std::wstring err;
    EXPECT_EQ(1, Captured([&] { return ParseWeekdayRange(&text[0], 0, &List); }, &err));
    EXPECT_EQ(nullptr, List);
    // 1023 characters still fit and are compared by their first two.
    std::wstring fits = L"Mo" + std::wstring(1021, L'x');
    EXPECT_EQ(1, ReadWeekdayToken(fits.c_str(), &length));
    EXPECT_EQ(1023, length);
}

TEST_F(RangeWeekdayTest, Sets)
{
    struct {
        const wchar_t *Text;
        int Negate;
        uint16_t Which;
        uint16_t Mask;
    } cases[] = {
        {L":Mon-Fri]", 0, 0, 62},
        {L":weekdays]", 0, 0, 62},
        {L":1-5]", 0, 0, 62},
        {L":weekend]", 0, 0, 65},
        {L":Sat..Sun]", 0, 0, 65},
        {L":Fri-Mon]", 0, 0, FRI | SAT | SUN | MON},
        {L":Sat-Sat]", 0, 0, SAT},
        {L":Mon,Wed;;Fri,Sun]", 0, 0, MON | WED | FRI | SUN},
        {L":Mon , ;\tWed]", 0, 0, MON | WED},
        {L":0]", 0, 0, SUN},
        {L":7]", 0, 0, SUN},
        {L":6-0]", 0, 0, SAT | SUN},
        {L"C:Monday]", 0, 2, MON},
        {L"A=tu]", 0, 1, TUE},
        {L"w:Mon]", 0, 0, MON},
        {L"=Thu]", 0, 0, THU},
        {L":Mon,]", 0, 0, MON},
        {L":Mon", 0, 0, MON},
        {L":weekday weekend]", 0, 0, 127},
        {L":Sat,Sun]", 1, 0, 62},
        {L":Mon-Sat]", 1, 0, SUN},
        {L":", 1, 0, 127},  // nothing at all remains: the empty set, negated
    };
    for (const auto &c : cases) {
        std::wstring text = c.Text;
        RangeList list = nullptr;
        ASSERT_EQ(0, ParseWeekdayRange(&text[0], c.Negate, &list)) << c.Text;
        ASSERT_EQ(1, rangetest::Length(list)) << c.Text;
        const WeekdayRange *node = (const WeekdayRange *)list;
        EXPECT_EQ(L'W', node->Head.Kind);
        EXPECT_EQ(c.Which, node->WhichTime) << c.Text;
        EXPECT_EQ(c.Mask, node->DayMask) << c.Text;
        FreeRanges(&list);
    }
    std::wstring text = L"]";
    EXPECT_EQ(0, ParseWeekdayRange(&text[0], 1, &List));
    EXPECT_EQ(nullptr, List);
    EXPECT_EQ(-1, ParseWeekdayRange(nullptr, 0, &List));
    EXPECT_EQ(-1, ParseWeekdayRange(&text[0], 0, nullptr));
}

TEST_F(RangeWeekdayTest, BadAndEmptySetsQuoteTheTextUpperCased)
{
    struct {
        const wchar_t *Text;
        int Negate;
        const wchar_t *Message;
    } cases[] = {
        {L"Mon]", 0, L"Bad"},           {L":M]", 0, L"Bad"},
        {L":]", 0, L"Bad"},             {L":8]", 0, L"Bad"},
        {L":1x]", 0, L"Bad"},           {L":weekday-Sat]", 0, L"Bad"},
        {L":Mon-Fri-Sat]", 0, L"Bad"},  {L":Mon.Fri]", 0, L"Bad"},
        {L":Mon-weekend]", 0, L"Bad"},  {L":Mon-]", 0, L"Bad"},
        {L":Mon..]", 0, L"Bad"},        {L":Mon-Fri.]", 0, L"Bad"},
        {L":Mon]]", 0, L"Bad"},         {L":Mon]x]", 0, L"Bad"},
        {L"", 0, L"Bad"},               {L"x:Mon]", 0, L"Bad"},
        {L":,,;;]", 0, L"Bad"},         {L":   ]", 0, L"Bad"},
        {L":weekday weekend]", 1, L"Empty"},
        {L":Sun-Sat]", 1, L"Empty"},
        {L":", 0, L"Empty"},
    };
    for (const auto &c : cases) {
        std::wstring text = c.Text;
        std::wstring err;
        EXPECT_EQ(1, Captured([&] { return ParseWeekdayRange(&text[0], c.Negate, &List); }, &err))
            << c.Text;
        std::wstring upper = Upper(c.Text);
        EXPECT_EQ(upper, text);
        EXPECT_NE(std::wstring::npos, err.find(std::wstring(L"Vesk plugin: ") + c.Message +
                                              L" day-of-the-week range: \"" + upper +
                                              L"\"\r\n"))
            << c.Text << ": " << err;
    }
    EXPECT_EQ(nullptr, List);
}

TEST_F(RangeWeekdayTest, AllocationFailureIsReported)
{
    RangeHooks.FailAllocations = 1;
    std::wstring text = L":Mon]";
    std::wstring err;
    EXPECT_EQ(1, Captured([&] { return ParseWeekdayRange(&text[0], 0, &List); }, &err));
    EXPECT_NE(std::wstring::npos, err.find(L"Can't allocate DOW range structure\r\n"));
}

}  // namespace
