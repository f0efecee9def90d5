#include <gtest/gtest.h>

#include <string>
#include <unistd.h>

#include "os.h"
#include "platform/platform.h"

namespace {

// Everything written to a pipe through the output path, as bytes.
std::string WrittenBytes(const std::wstring &text)
{
    int fds[2];
    EXPECT_EQ(0, pipe(fds));
    EXPECT_EQ(0, vsh::OsWrite(VESK_FD_HANDLE(fds[1]), text.data(), text.size()));
    close(fds[1]);
    std::string bytes;
    char buffer[4096];
    ssize_t n;
    while ((n = read(fds[0], buffer, sizeof buffer)) > 0) bytes.append(buffer, (size_t)n);
    close(fds[0]);
    return bytes;
}

TEST(HostOutputTest, Utf8WithLinuxLineEnds)
{
    struct {
        std::wstring Text;
        std::string Bytes;
    } cases[] = {
        {L"plain\r\n", "plain\n"},
        {L"a\r\r\nb\n\rc", "a\r\nb\n\rc"},
        {L"\r", "\r"},
        {L"\u00FC\u4E16\U0001F600", "\xC3\xBC\xE4\xB8\x96\xF0\x9F\x98\x80"},
        // A byte that was not UTF-8 on the way in leaves as the same byte.
        {std::wstring(L"x") + (wchar_t)0xDCFF + L"y", "x\xFFy"},
        {std::wstring(L"a\0b", 3), std::string("a\0b", 3)},
    };
    for (const auto &c : cases) EXPECT_EQ(c.Bytes, WrittenBytes(c.Text));
}

TEST(HostOutputTest, LongTextCrossesTheInternalBufferWhole)
{
    std::wstring text;
    std::string bytes;
    for (int i = 0; i < 5000; ++i) {
        text += L"\u00E9\r\n";
        bytes += "\xC3\xA9\n";
    }
    EXPECT_EQ(bytes, WrittenBytes(text));
}

TEST(HostOutputTest, BadHandleFails)
{
    EXPECT_EQ(-1, vsh::OsWrite(VESK_FD_HANDLE(-1), L"x", 1));
    EXPECT_EQ(-1, vsh::OsWrite(VESK_FD_HANDLE(1), nullptr, 1));
}

}  // namespace
