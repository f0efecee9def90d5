#include "plugin/exports.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "memory.h"
#include "search_fixture.h"

namespace {

TEST_F(SearchTest, FunctionReturnsTheBestFullPath)
{
    const long liveAtStart = LiveMemoryBlocks();
    File("a.txt", 10, 1000000000);
    File("b.txt", 30, 1100000000);
    Dir("sub");
    File("sub/c.txt", 20, 1300000000);
    Stamp("sub", 900000000);
    std::wstring base = Wide(root);
    struct {
        std::wstring Args;
        int Result;
        std::wstring Expected;  // relative to the root; "=" for the buffer left as given
        std::wstring Message;   // exactly, line end included
    } cases[] = {
        {base + L"/*.txt", 0, L"b.txt", L""},
        {base + L"/*.txt,s", 0, L"a.txt", L""},
        {base + L"," L"N,,1", 0, L"sub/c.txt", L""},
        {base + L",N,-D", 0, L"b.txt", L""},
        {base + L",l,d", 0, L"sub", L""},
        {base + L"/*.none", 0, L"", L""},
        {base + L",Xyz", -1, L"=", L"Vesk plugin: Bad criterion \"XYZ\"\r\n"},
        {base + L",L,Q", -1, L"=", L"Vesk plugin: Bad attributes \"Q\"\r\n"},
        {base + L",L,,12a", -1, L"=", L"Vesk plugin: Bad flags \"12A\"\r\n"},
        {base + L",L,,,Z", -1, L"=", L"Vesk plugin: Unknown file stamp \"Z\"\r\n"},
        {L" , L", -1, L"=", L"Vesk plugin: Missing filespec\r\n"},
    };
    for (const auto &c : cases) {
        std::vector<wchar_t> buffer(HOST_RESULT_LEN);
        wcscpy(buffer.data(), c.Args.c_str());
        // Through the shell's own capture: the console path would turn "\r\n" into "\n".
        std::wstring out, err;
        vsh::CaptureOutput(&out, &err);
        EXPECT_EQ(c.Result, f_vesk(buffer.data())) << c.Args;
        vsh::CaptureOutput(nullptr, nullptr);
        EXPECT_EQ(c.Message, err) << c.Args;
        EXPECT_EQ(L"", out) << c.Args;
        std::wstring expected = c.Expected == L"=" ? c.Args
                                : c.Expected.empty() ? L""
                                                     : base + L"/" + c.Expected;
        EXPECT_EQ(expected, std::wstring(buffer.data())) << c.Args;
        EXPECT_EQ(liveAtStart, LiveMemoryBlocks()) << "results left allocated";
    }
    EXPECT_EQ(-1, f_vesk(nullptr));
    EXPECT_EQ(-1, _vesk(nullptr));

    // Too long for the argument vector: the overflow, then the missing file specification.
    std::vector<wchar_t> buffer(HOST_RESULT_LEN);
    std::wstring tooLong(MAX_ARG_LEN + 10, L'a');
    wcscpy(buffer.data(), tooLong.c_str());
    testing::internal::CaptureStderr();
    EXPECT_EQ(-1, f_vesk(buffer.data()));
    std::string err = testing::internal::GetCapturedStderr();
    size_t overflow = err.find("Buffer overflow"), missing = err.find("Missing filespec");
    ASSERT_NE(std::string::npos, overflow) << err;
    ASSERT_NE(std::string::npos, missing) << err;
    EXPECT_LT(overflow, missing);
    EXPECT_EQ(tooLong, std::wstring(buffer.data()));
}

// The name comes back in the shell's buffer of HOST_RESULT_LEN characters, each "%" doubled
// (the shell reads the result again): a name that then fills it exactly is returned, one
// a character longer is refused by name, and nothing is written past the buffer.
TEST_F(SearchTest, TheResultFillsTheShellsBufferExactly)
{
    for (size_t over : {0u, 1u}) {
        const std::string from = over ? "b" : "a";
        Dir(from);
        // Folders of "%", so that a path the argument vector takes doubles past 16,000.
        std::string directory = ChainOfLength(from, 8040, '%');
        size_t doubled = directory.size() + std::count(directory.begin(), directory.end(), '%');
        size_t left = HOST_RESULT_LEN - 1 + over - doubled;  // the file name, doubled
        size_t percents = left / 2 - 10;
        ASSERT_LT(left - percents, 256u);
        std::string name = std::string(left - 2 * percents, 'x') + std::string(percents, '%');
        FileAtAnyLength(directory + name);

        std::vector<wchar_t> buffer(HOST_RESULT_LEN + 8, L'#');
        std::wstring args = Wide(directory) + L"*";
        wcscpy(buffer.data(), args.c_str());
        std::wstring out, err;
        vsh::CaptureOutput(&out, &err);
        int result = f_vesk(buffer.data());
        vsh::CaptureOutput(nullptr, nullptr);
        std::wstring expected;
        for (wchar_t c : Wide(directory + name)) expected += c == L'%' ? L"%%" : std::wstring(1, c);
        ASSERT_EQ((size_t)HOST_RESULT_LEN - 1 + over, expected.size());
        if (over) {
            EXPECT_EQ(-1, result);
            EXPECT_EQ(0u, err.find(L"Vesk plugin: Name too long for the result"));
            EXPECT_EQ(L"", std::wstring(buffer.data()));
        } else {
            EXPECT_EQ(0, result) << std::string(err.begin(), err.end());
            EXPECT_EQ(expected, std::wstring(buffer.data()));
        }
        for (size_t i = HOST_RESULT_LEN; i < buffer.size(); ++i)
            ASSERT_EQ(L'#', buffer[i]) << over << ": written at " << i;
    }
}

}  // namespace
