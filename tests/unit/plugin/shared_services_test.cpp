#include "plugin/shared_services.h"

#include <gtest/gtest.h>

#include <string>

#include "host_test_util.h"
#include "plugin/host_api.h"
#include "plugin/tokenizer.h"

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

// ---- Through the stand-in shell ------------------------------------------------------

class SharedServicesShellTest : public ShellTest {};

TEST_F(SharedServicesShellTest, ErrorPrefixNamesTheBatchFile)
{
    PrintErrorPrefix();
    EXPECT_EQ(L"Vesk plugin: ", err);

    vsh::BatchFrame frame;
    frame.FullName = L"/tmp/dir/job 100%.btm";
    frame.Line = 7;
    vsh::Shell.Batches.push_back(frame);
    err.clear();
    EXPECT_EQ(1, ReportError(L"Unknown option \"%s\"\r\n", L"/Q"));
    EXPECT_EQ(L"Vesk plugin: /tmp/dir/job 100%.btm [7]  Unknown option \"/Q\"\r\n", err);
    // Escape characters the user chose do not touch the prefix.
    ASSERT_EQ(0, Command(L"setdos /e[", 0));
    err.clear();
    PrintErrorPrefix();
    EXPECT_EQ(L"Vesk plugin: /tmp/dir/job 100%.btm [7]  ", err);
    vsh::Shell.Batches.clear();
}

TEST_F(SharedServicesShellTest, ReportErrorShowsControlCharactersAsTheTableDoes)
{
    // A file name must not steer the terminal; the message's own line end stays.
    ReportError(L"Cannot list \"%s\": error %u\r\n", L"a\x1b[31mb\tc\x85\r\n", 5u);
    EXPECT_EQ(L"Vesk plugin: Cannot list \"a?[31mb?c???\": error 5\r\n", err);
    // Nor reorder what it shows: "invoice<RLO>gpj.exe" would read "invoiceexe.jpg".
    err.clear();
    ReportError(L"Cannot read \"%s\"\r\n", L"invoice\u202Egpj.exe \u2066\u061C\u200F");
    EXPECT_EQ(L"Vesk plugin: Cannot read \"invoice?gpj.exe ???\"\r\n", err);
}

TEST_F(SharedServicesShellTest, ReportErrorKeepsLongMessagesWhole)
{
    // A message quoting the longest argument is written in full.
    std::wstring arg(MAX_ARG_LEN - 1, L'A');
    ReportError(L"Bad attributes \"%s\"\r\n", arg.c_str());
    EXPECT_EQ(L"Vesk plugin: Bad attributes \"" + arg + L"\"\r\n", err);

    // Anything longer is cut but still ends its line.
    err.clear();
    std::wstring huge(4 * HOST_BUFFER_LEN, L'B');
    ReportError(L"%s\r\n", huge.c_str());
    ASSERT_GT(err.size(), 2u);
    EXPECT_EQ(L"\r\n", err.substr(err.size() - 2));
    EXPECT_LT(err.size(), huge.size());
}

} // namespace
