// The message box and wsprintfW stand-ins on Linux.
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>
#include <string>
#include <unistd.h>

namespace {

// Runs fn with standard output going to a file; returns what it wrote.
template <typename Fn>
std::string CaptureStdout(Fn fn)
{
    fflush(stdout);
    char tmpl[] = "/tmp/vesk_out_XXXXXX";
    int fd = mkstemp(tmpl);
    int saved = dup(1);
    dup2(fd, 1);
    fn();
    fflush(stdout);
    dup2(saved, 1);
    close(saved);
    std::string text;
    char buf[512];
    ssize_t n;
    lseek(fd, 0, SEEK_SET);
    while ((n = read(fd, buf, sizeof buf)) > 0) text.append(buf, (size_t)n);
    close(fd);
    unlink(tmpl);
    return text;
}

TEST(PlatformUi, MessageBoxPrintsCaptionAndText)
{
    int result = 0;
    std::string out = CaptureStdout([&] {
        result = MessageBoxW(GetForegroundWindow(), L"Line one\r\nLine two \u00e9\n", L"Vesk Help", MB_OK);
    });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(out, "Vesk Help\n\nLine one\nLine two \xc3\xa9\n\n");
    EXPECT_EQ(GetForegroundWindow(), nullptr);
}

TEST(PlatformUi, WsprintfStopsAt1024Characters)
{
    wchar_t buf[1100];
    for (wchar_t &c : buf) c = L'#';
    std::wstring longText(2000, L'x');
    EXPECT_EQ(wsprintfW(buf, L"%s!", longText.c_str()), 1023);
    EXPECT_EQ(buf[1022], L'x');
    EXPECT_EQ(buf[1023], L'\0');
    EXPECT_EQ(buf[1024], L'#');
    EXPECT_EQ(wsprintfW(buf, L"%-4s|%5u", L"ab", 42u), 10);
    EXPECT_STREQ(buf, L"ab  |   42");
}

}  // namespace
