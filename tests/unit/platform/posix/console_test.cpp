// The console stand-ins on Linux: standard handles, the terminal and its size.
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

TEST(PlatformConsole, StandardHandlesAreDescriptors)
{
    EXPECT_EQ(GetStdHandle(STD_INPUT_HANDLE), VESK_FD_HANDLE(0));
    EXPECT_EQ(GetStdHandle(STD_OUTPUT_HANDLE), VESK_FD_HANDLE(1));
    EXPECT_EQ(GetStdHandle(STD_ERROR_HANDLE), VESK_FD_HANDLE(2));
    EXPECT_EQ(GetStdHandle(5), INVALID_HANDLE_VALUE);
    // Closing a standard handle leaves the process's descriptor open.
    EXPECT_TRUE(CloseHandle(GetStdHandle(STD_OUTPUT_HANDLE)));
    EXPECT_NE(fcntl(1, F_GETFD), -1);
}

TEST(PlatformConsole, ConsoleOpensOnlyWithATerminal)
{
    int probe = open("/dev/tty", O_RDWR | O_NOCTTY);
    HANDLE h = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (probe < 0) {
        // No controlling terminal (CI, a pipe, a service): a clean failure.
        EXPECT_EQ(h, INVALID_HANDLE_VALUE);
        return;
    }
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    struct winsize ws;
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (ioctl(probe, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0) {
        ASSERT_TRUE(GetConsoleScreenBufferInfo(h, &info));
        EXPECT_EQ(info.dwSize.X, (SHORT)ws.ws_col);
        EXPECT_EQ(info.dwSize.Y, (SHORT)ws.ws_row);
    }
    EXPECT_TRUE(CloseHandle(h));
    close(probe);
}

TEST(PlatformConsole, NonTerminalsHaveNoScreenBuffer)
{
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    CONSOLE_SCREEN_BUFFER_INFO info;
    EXPECT_FALSE(GetConsoleScreenBufferInfo(VESK_FD_HANDLE(fds[1]), &info));
    close(fds[0]);
    close(fds[1]);
    EXPECT_FALSE(GetConsoleScreenBufferInfo(INVALID_HANDLE_VALUE, &info));
    EXPECT_FALSE(GetConsoleScreenBufferInfo(nullptr, &info));

    // An ordinary file opens as a handle but is no console.
    HANDLE f = CreateFileW(L"/dev/null", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(GetConsoleScreenBufferInfo(f, &info));
    EXPECT_TRUE(CloseHandle(f));
    EXPECT_EQ(CreateFileW(L"/no/such/file", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), 2u);
    EXPECT_FALSE(CloseHandle(INVALID_HANDLE_VALUE));
    // The spinner's writes go nowhere without a terminal, and never fail loudly.
    PutConsoleChar(L'/');
    PutConsoleChar(L'\b');
}

}  // namespace
