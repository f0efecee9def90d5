// File time conversions and time zones on Linux.
#include "platform/platform.h"
#include "platform/posix/posix_layer.h"
#include "test_time.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <string>
#include <time.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

FILETIME Ft(uint64_t v) { return FILETIME{(DWORD)v, (DWORD)(v >> 32)}; }
uint64_t Ticks(const FILETIME &ft) { return ((uint64_t)ft.dwHighDateTime << 32) | ft.dwLowDateTime; }

const uint64_t HOUR = 36000000000ULL;
const uint64_t DEC6 = 134410365520000000ULL;  // 2026-12-06 13:15:52 UTC, a Sunday
const uint64_t JUL1 = 134273808000000000ULL;  // 2026-07-01 12:00:00 UTC

TEST(PlatformTime, FileTimeToSystemTimeKnownValues)
{
    struct Row {
        uint64_t Ticks;
        int Y, Mo, D, H, Mi, S, Ms, Dow;
    } rows[] = {
        {0, 1601, 1, 1, 0, 0, 0, 0, 1},                          // a Monday
        {DEC6, 2026, 12, 6, 13, 15, 52, 0, 0},                  // a Sunday
        {133537247999990000ULL, 2024, 2, 29, 23, 59, 59, 999, 4},
        {116444736000000000ULL, 1970, 1, 1, 0, 0, 0, 0, 4},
        {125911584000000000ULL, 2000, 1, 1, 0, 0, 0, 0, 6},
        {0x7FFFFFFFFFFFFFFFULL, 30828, 9, 14, 2, 48, 5, 477, 4},
    };
    for (const Row &r : rows) {
        FILETIME ft = Ft(r.Ticks);
        SYSTEMTIME st;
        ASSERT_TRUE(FileTimeToSystemTime(&ft, &st)) << r.Ticks;
        EXPECT_EQ(st.wYear, r.Y);
        EXPECT_EQ(st.wMonth, r.Mo);
        EXPECT_EQ(st.wDay, r.D);
        EXPECT_EQ(st.wHour, r.H);
        EXPECT_EQ(st.wMinute, r.Mi);
        EXPECT_EQ(st.wSecond, r.S);
        EXPECT_EQ(st.wMilliseconds, r.Ms);
        EXPECT_EQ(st.wDayOfWeek, r.Dow) << r.Ticks;
    }
    // Past the range Windows accepts: FALSE, output untouched.
    FILETIME big = Ft(0x8000000000000000ULL);
    SYSTEMTIME st = St(1999, 1, 2, 3, 4, 5);
    EXPECT_FALSE(FileTimeToSystemTime(&big, &st));
    EXPECT_EQ(st.wYear, 1999);
}

TEST(PlatformTime, LocalFileTimeUsesTodaysOffsetForEveryDate)
{
    {
        EnvGuard tz("TZ", "UTC+5");  // five hours west, all year
        FILETIME in = Ft(DEC6), out;
        ASSERT_TRUE(FileTimeToLocalFileTime(&in, &out));
        EXPECT_EQ(Ticks(out), DEC6 - 5 * HOUR);
        // Below zero fails and leaves the output alone.
        in = Ft(HOUR);
        out = Ft(42);
        EXPECT_FALSE(FileTimeToLocalFileTime(&in, &out));
        EXPECT_EQ(Ticks(out), 42u);
    }
    {
        EnvGuard tz("TZ", "UTC-3");
        FILETIME in = Ft(0), out;
        ASSERT_TRUE(FileTimeToLocalFileTime(&in, &out));
        EXPECT_EQ(Ticks(out), 3 * HOUR);
    }
    {
        // A zone with daylight saving time: summer and winter dates move by the same
        // amount, the offset in force today.
        EnvGuard tz("TZ", "America/New_York");
        FILETIME summer = Ft(JUL1), winter = Ft(DEC6), s, w;
        ASSERT_TRUE(FileTimeToLocalFileTime(&summer, &s));
        ASSERT_TRUE(FileTimeToLocalFileTime(&winter, &w));
        int64_t ds = (int64_t)(Ticks(s) - JUL1), dw = (int64_t)(Ticks(w) - DEC6);
        EXPECT_EQ(ds, dw);
        EXPECT_TRUE(ds == -4 * (int64_t)HOUR || ds == -5 * (int64_t)HOUR) << ds;
    }
}

TEST(PlatformTime, TzSpecificLocalTimeUsesTheRulesOfThatDate)
{
    EnvGuard tz("TZ", "America/New_York");
    struct Row {
        SYSTEMTIME Utc;
        int H, D, Dow;
    } rows[] = {
        {St(2026, 7, 1, 12, 0, 0, 250), 8, 1, 3},     // EDT, a Wednesday
        {St(2026, 12, 6, 13, 15, 52), 8, 6, 0},       // EST
        {St(2026, 12, 6, 3, 0, 0), 22, 5, 6},         // the day before, a Saturday
        {St(2024, 3, 10, 7, 0, 0), 3, 10, 0},         // the hour after the spring jump
    };
    for (const Row &r : rows) {
        SYSTEMTIME local;
        ASSERT_TRUE(SystemTimeToTzSpecificLocalTime(nullptr, &r.Utc, &local));
        EXPECT_EQ(local.wHour, r.H);
        EXPECT_EQ(local.wDay, r.D);
        EXPECT_EQ(local.wDayOfWeek, r.Dow);
        EXPECT_EQ(local.wMinute, r.Utc.wMinute);
        EXPECT_EQ(local.wMilliseconds, r.Utc.wMilliseconds);
    }
    SYSTEMTIME bad = St(2026, 2, 30, 0, 0, 0), out = St(1999, 1, 1, 0, 0, 0);
    EXPECT_FALSE(SystemTimeToTzSpecificLocalTime(nullptr, &bad, &out));
    EXPECT_EQ(out.wYear, 1999);
    bad = St(2026, 13, 1, 0, 0, 0);
    EXPECT_FALSE(SystemTimeToTzSpecificLocalTime(nullptr, &bad, &out));
    bad = St(2026, 1, 1, 24, 0, 0);
    EXPECT_FALSE(SystemTimeToTzSpecificLocalTime(nullptr, &bad, &out));
    // 1601-01-01 00:00 UTC is still 1600 in New York: not a Windows time.
    bad = St(1601, 1, 1, 0, 0, 0);
    EXPECT_FALSE(SystemTimeToTzSpecificLocalTime(nullptr, &bad, &out));
}

TEST(PlatformTime, LocalTimeIsNowInTheZone)
{
    EnvGuard tz("TZ", "UTC-2");
    // The precise clock on both sides: time() reads a coarse one that can still show the
    // last second for a few milliseconds after the precise clock has moved on.
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    time_t before = now.tv_sec;
    SYSTEMTIME st;
    GetLocalTime(&st);
    clock_gettime(CLOCK_REALTIME, &now);
    time_t after = now.tv_sec;
    struct tm tm = {};
    tm.tm_year = st.wYear - 1900;
    tm.tm_mon = st.wMonth - 1;
    tm.tm_mday = st.wDay;
    tm.tm_hour = st.wHour;
    tm.tm_min = st.wMinute;
    tm.tm_sec = st.wSecond;
    time_t shown = timegm(&tm) - 2 * 3600;
    EXPECT_GE(shown, before);
    EXPECT_LE(shown, after);
    EXPECT_LT(st.wMilliseconds, 1000);
}

}  // namespace

namespace {

TEST(PlatformTime, TheInlineConversionAgreesWithTheWholeOneAtItsEdges)
{
    const int64_t seconds[] = {-1, 0, 1, 1700000000, ((int64_t)1 << 33) - 1, (int64_t)1 << 33};
    const int64_t nanos[] = {-1, 0, 99, 100, 999999999, 1000000000};
    for (int64_t sec : seconds)
        for (int64_t nsec : nanos)
            EXPECT_EQ(Ticks(vesk_posix::UnixToFileTime(sec, nsec)),
                      Ticks(vesk_posix::UnixToFileTimeFast(sec, nsec)))
                << sec << " " << nsec;
}

}  // namespace
