// The locale's date and time texts on Linux: orders, names, pictures and buffer limits.
#include "platform/platform.h"
#include "text/native_text.h"
#include "test_time.h"

#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

TEST(PlatformLocale, DateOrderAndFormatsUnderTheCLocale)
{
    EnvGuard all("LC_ALL", "C");
    wchar_t buf[64];
    EXPECT_EQ(GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_IDATE, buf, 64), 2);
    EXPECT_STREQ(buf, L"0");
    EXPECT_EQ(GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_IDATE, nullptr, 0), 2);  // size only
    EXPECT_EQ(GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_IDATE, buf, 1), 0);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(GetLocaleInfoW(LOCALE_USER_DEFAULT, 0x7777, buf, 64), 0);

    SYSTEMTIME st = St(2026, 12, 6, 13, 15, 52);
    st.wDayOfWeek = 3;  // wrong on purpose: the weekday comes from the date
    EXPECT_EQ(GetDateFormatW(LOCALE_USER_DEFAULT, DATE_LONGDATE, &st, nullptr, buf, 64), 25);
    EXPECT_STREQ(buf, L"Sunday, December 6, 2026");
    EXPECT_EQ(GetDateFormatW(LOCALE_USER_DEFAULT, DATE_LONGDATE, &st, nullptr, nullptr, 0), 25);
    EXPECT_EQ(GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &st, nullptr, buf, 64), 9);
    EXPECT_STREQ(buf, L"13:15:52");
    EXPECT_EQ(GetDateFormatW(LOCALE_USER_DEFAULT, 1, &st, nullptr, buf, 64), 9);  // short
    EXPECT_STREQ(buf, L"12/06/26");
}

TEST(PlatformLocale, UnknownLocaleFallsBackToC)
{
    EnvGuard all("LC_ALL", "xx_YY.UTF-8");
    wchar_t buf[64];
    SYSTEMTIME st = St(2024, 2, 29, 7, 5, 9);
    EXPECT_EQ(GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_IDATE, buf, 64), 2);
    EXPECT_STREQ(buf, L"0");
    ASSERT_GT(GetDateFormatW(LOCALE_USER_DEFAULT, DATE_LONGDATE, &st, nullptr, buf, 64), 0);
    EXPECT_STREQ(buf, L"Thursday, February 29, 2024");
    ASSERT_GT(GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &st, nullptr, buf, 64), 0);
    EXPECT_STREQ(buf, L"07:05:09");
}

TEST(PlatformLocale, PicturesAndBufferLimits)
{
    EnvGuard all("LC_ALL", "C");
    SYSTEMTIME st = St(2026, 1, 5, 9, 3, 7);
    struct Row {
        bool Date;
        const wchar_t *Picture, *Expected;
    } rows[] = {
        {true, L"yyyy-MM-dd", L"2026-01-05"},
        {true, L"d/M/yy", L"5/1/26"},
        {true, L"ddd MMM", L"Mon Jan"},
        {true, L"'day' d, 'it''s' dddd", L"day 5, it's Monday"},
        {false, L"HH:mm:ss", L"09:03:07"},
        {false, L"h:mm tt", L"9:03 AM"},
        {false, L"H.m.s t", L"9.3.7 A"},
    };
    wchar_t buf[64];
    for (const Row &r : rows) {
        int n = r.Date ? GetDateFormatW(LOCALE_USER_DEFAULT, 0, &st, r.Picture, buf, 64)
                       : GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &st, r.Picture, buf, 64);
        EXPECT_EQ(n, (int)wcslen(r.Expected) + 1) << r.Picture;
        EXPECT_STREQ(buf, r.Expected);
    }
    st.wHour = 21;
    ASSERT_GT(GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &st, L"hh tt", buf, 64), 0);
    EXPECT_STREQ(buf, L"09 PM");

    // Too small: 0, and the buffer is left terminated within its bounds.
    wchar_t small[9];
    for (wchar_t &c : small) c = L'#';
    EXPECT_EQ(GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &st, nullptr, small, 8), 0);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(small[0], L'\0');
    EXPECT_EQ(small[8], L'#');
    EXPECT_EQ(GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &st, nullptr, small, 9), 9);

    SYSTEMTIME bad = St(2023, 2, 29, 0, 0, 0);
    EXPECT_EQ(GetDateFormatW(LOCALE_USER_DEFAULT, DATE_LONGDATE, &bad, nullptr, buf, 64), 0);
    bad = St(2023, 2, 28, 25, 0, 0);
    EXPECT_EQ(GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &bad, nullptr, buf, 64), 0);
    EXPECT_EQ(GetDateFormatW(LOCALE_USER_DEFAULT, DATE_LONGDATE, nullptr, nullptr, buf, 64), 0);
}

// Machines here carry no locales but C, so two small ones are compiled for the suite:
// a day-month-year one with German names and a 12-hour clock, and a year-first one,
// both in Latin-1 so that the names pass through the locale's own character set.
class PlatformLocaleBuilt : public ::testing::Test {
protected:
    static std::string Dir;

    static bool Build(const std::string &name, const char *dateFormat)
    {
        std::string src = Dir + "/" + name + ".src";
        FILE *f = fopen(src.c_str(), "w");
        if (!f) return false;
        fprintf(f,
                "LC_CTYPE\ncopy \"POSIX\"\nEND LC_CTYPE\nLC_TIME\n"
                "abday \"So\";\"Mo\";\"Di\";\"Mi\";\"Do\";\"Fr\";\"Sa\"\n"
                "day \"Sonntag\";\"Montag\";\"Dienstag\";\"Mittwoch\";\"Donnerstag\";"
                "\"Freitag\";\"Samstag\"\n"
                "abmon \"Jan\";\"Feb\";\"M<U00E4>r\";\"Apr\";\"Mai\";\"Jun\";\"Jul\";\"Aug\";"
                "\"Sep\";\"Okt\";\"Nov\";\"Dez\"\n"
                "mon \"Januar\";\"Februar\";\"M<U00E4>rz\";\"April\";\"Mai\";\"Juni\";\"Juli\";"
                "\"August\";\"September\";\"Oktober\";\"November\";\"Dezember\"\n"
                "d_t_fmt \"%%a %%d %%b %%Y %%T\"\nd_fmt \"%s\"\nt_fmt \"%%I:%%M:%%S %%p\"\n"
                "am_pm \"vorm.\";\"nachm.\"\nt_fmt_ampm \"%%I:%%M:%%S %%p\"\nEND LC_TIME\n",
                dateFormat);
        fclose(f);
        std::string cmd = "localedef -c -f ISO-8859-1 -i '" + src + "' '" + Dir + "/" + name +
                          ".ISO-8859-1' >/dev/null 2>&1";
        if (system(cmd.c_str()) == -1) return false;
        return access((Dir + "/" + name + ".ISO-8859-1/LC_TIME").c_str(), R_OK) == 0;
    }

    static void SetUpTestSuite()
    {
        char tmpl[] = "/tmp/vesk_locale_XXXXXX";
        if (!mkdtemp(tmpl)) return;
        Dir = tmpl;
        if (system("command -v localedef >/dev/null 2>&1") != 0 || !Build("xx_DM", "%d.%m.%Y") ||
            !Build("xx_YM", "%Y-%m-%d"))
            Dir += "!";  // marks the suite as unavailable
    }

    static void TearDownTestSuite()
    {
        std::string dir = Dir.substr(0, Dir.find('!'));
        if (!dir.empty()) {
            std::string cmd = "rm -rf '" + dir + "'";
            EXPECT_EQ(system(cmd.c_str()), 0);
        }
    }

    void SetUp() override
    {
        if (Dir.empty() || Dir.back() == '!') GTEST_SKIP() << "localedef cannot build test locales";
    }
};
std::string PlatformLocaleBuilt::Dir;

// The results of the locale calls under each built locale, in one line. It runs in a
// child process: glibc's newlocale leaks a little on every call while LOCPATH is set,
// which the leak checker would otherwise charge to this program.
std::string LocaleResults(const std::string &dir)
{
    int fds[2];
    if (pipe(fds) != 0) return "<no pipe>";
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        setenv("LOCPATH", dir.c_str(), 1);
        SYSTEMTIME st = St(2026, 3, 6, 13, 5, 2);
        std::wstring line;
        wchar_t buf[64];
        for (const char *locale : {"xx_DM.ISO-8859-1", "xx_YM.ISO-8859-1", "C"}) {
            setenv("LC_ALL", locale, 1);
            int n = GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_IDATE, buf, 64);
            line += std::to_wstring(n) + L":" + buf + L"|";
            n = GetDateFormatW(LOCALE_USER_DEFAULT, DATE_LONGDATE, &st, nullptr, buf, 64);
            line += std::to_wstring(n) + L":" + buf + L"|";
            n = GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &st, nullptr, buf, 64);
            line += std::to_wstring(n) + L":" + buf + L"|";
            n = GetDateFormatW(LOCALE_USER_DEFAULT, 0, &st, L"ddd d MMM", buf, 64);
            line += std::to_wstring(n) + L":" + buf + L"\n";
        }
        char bytes[2048];
        size_t len = WideToNative(line.c_str(), bytes, sizeof bytes);
        ssize_t written = write(fds[1], bytes, len < sizeof bytes ? len : 0);
        _exit(written == (ssize_t)len ? 0 : 1);
    }
    close(fds[1]);
    std::string out;
    char chunk[512];
    ssize_t n;
    while ((n = read(fds[0], chunk, sizeof chunk)) > 0) out.append(chunk, (size_t)n);
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) out += "<child failed>";
    return out;
}

TEST_F(PlatformLocaleBuilt, OrderNamesAndClockFollowTheLocale)
{
    EXPECT_EQ(LocaleResults(Dir),
              "2:1|21:Freitag, 6 M\xc3\xa4rz 2026|16:01:05:02 nachm.|9:Fr 6 M\xc3\xa4r\n"
              "2:2|21:2026 M\xc3\xa4rz 6, Freitag|16:01:05:02 nachm.|9:Fr 6 M\xc3\xa4r\n"
              // Back in C, nothing of the built locales lingers.
              "2:0|22:Friday, March 6, 2026|9:13:05:02|10:Fri 6 Mar\n");
}

}  // namespace
