// Console, file owner and user-interface stand-ins on Linux.
#include "platform/platform.h"
#include "text/native_text.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <pwd.h>
#include <stdio.h>
#include <stdlib.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

std::wstring Wide(const std::string &bytes)
{
    wchar_t buf[4096];
    NativeToWide(bytes.data(), bytes.size(), buf, 4096);
    return buf;
}

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

class PlatformOwner : public ::testing::Test {
protected:
    std::string Path;
    void SetUp() override
    {
        char tmpl[] = "/tmp/vesk_owner_XXXXXX";
        int fd = mkstemp(tmpl);
        ASSERT_GE(fd, 0);
        close(fd);
        Path = tmpl;
    }
    void TearDown() override { unlink(Path.c_str()); }

    // The owner text as the plug-in builds it: domain, backslash, account.
    static std::wstring Owner(const std::wstring &path)
    {
        DWORD need = 0;
        if (GetFileSecurityW(path.c_str(), OWNER_SECURITY_INFORMATION, nullptr, 0, &need) ||
            GetLastError() != ERROR_INSUFFICIENT_BUFFER || need == 0)
            return L"<no size>";
        void *sd = malloc(need);
        PSID sid = nullptr;
        BOOL defaulted = TRUE;
        wchar_t name[256], domain[256];
        DWORD nameLen = 256, domainLen = 256;
        SID_NAME_USE use = 0;
        bool ok = GetFileSecurityW(path.c_str(), OWNER_SECURITY_INFORMATION, sd, need, &need) &&
                  GetSecurityDescriptorOwner(sd, &sid, &defaulted) &&
                  LookupAccountSidW(nullptr, sid, name, &nameLen, domain, &domainLen, &use);
        free(sd);
        if (!ok) return L"<failed>";
        EXPECT_EQ(nameLen, wcslen(name));
        EXPECT_EQ(domainLen, wcslen(domain));
        EXPECT_FALSE(defaulted);
        return std::wstring(domain) + L"\\" + name;
    }

    static std::wstring Machine()
    {
        char host[256] = "";
        gethostname(host, sizeof host);
        std::string h = host;
        h = h.substr(0, h.find('.'));
        for (char &c : h)
            if (c >= 'a' && c <= 'z') c = (char)(c - 32);
        return Wide(h);
    }
};

TEST_F(PlatformOwner, FileCreatedHereBelongsToTheCurrentUser)
{
    struct passwd *pw = getpwuid(geteuid());
    ASSERT_NE(pw, nullptr);
    EXPECT_EQ(Owner(Wide(Path)), Machine() + L"\\" + Wide(pw->pw_name));
}

TEST_F(PlatformOwner, UnknownUidFailsTheLookupAsWindowsDoes)
{
    if (geteuid() != 0) GTEST_SKIP() << "needs root to give a file away";
    const uid_t uid = 54321;
    if (getpwuid(uid)) GTEST_SKIP() << "uid 54321 has an entry here";
    ASSERT_EQ(chown(Path.c_str(), uid, (gid_t)-1), 0);
    EXPECT_EQ(Owner(Wide(Path)), L"<failed>");
    EXPECT_EQ(GetLastError(), 1332u);  // ERROR_NONE_MAPPED
}

TEST_F(PlatformOwner, MissingFileReportsNoSize)
{
    DWORD need = 99;
    EXPECT_FALSE(GetFileSecurityW(Wide(Path + ".missing").c_str(), OWNER_SECURITY_INFORMATION,
                                  nullptr, 0, &need));
    EXPECT_EQ(need, 0u);
    EXPECT_FALSE(GetFileSecurityW(L"", OWNER_SECURITY_INFORMATION, nullptr, 0, &need));
    EXPECT_EQ(need, 0u);
}

TEST_F(PlatformOwner, SmallAccountBuffersReportTheSizesNeeded)
{
    DWORD need = 0;
    GetFileSecurityW(Wide(Path).c_str(), OWNER_SECURITY_INFORMATION, nullptr, 0, &need);
    ASSERT_GT(need, 0u);
    void *sd = malloc(need);
    ASSERT_TRUE(GetFileSecurityW(Wide(Path).c_str(), OWNER_SECURITY_INFORMATION, sd, need, &need));
    PSID sid;
    ASSERT_TRUE(GetSecurityDescriptorOwner(sd, &sid, nullptr));
    wchar_t name[2] = L"#", domain[2] = L"#";
    DWORD nameLen = 1, domainLen = 1;
    SID_NAME_USE use;
    EXPECT_FALSE(LookupAccountSidW(nullptr, sid, name, &nameLen, domain, &domainLen, &use));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INSUFFICIENT_BUFFER);
    struct passwd *pw = getpwuid(geteuid());
    ASSERT_NE(pw, nullptr);
    EXPECT_EQ(nameLen, Wide(pw->pw_name).size() + 1);
    EXPECT_EQ(domainLen, Machine().size() + 1);
    EXPECT_EQ(name[0], L'#');
    free(sd);
    // A block that is no security descriptor is refused.
    uint32_t junk[4] = {1, 2, 3, 4};
    EXPECT_FALSE(GetSecurityDescriptorOwner(junk, &sid, nullptr));
}

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
