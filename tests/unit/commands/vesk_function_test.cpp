#include "plugin/exports.h"

#include <gtest/gtest.h>

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

}  // namespace
