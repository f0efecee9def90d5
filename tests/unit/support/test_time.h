// Time helpers of the tests: guards of TZ and other variables, and Windows file times and
// SYSTEMTIMEs of calendar moments.
#ifndef VESK_TEST_TIME_H
#define VESK_TEST_TIME_H

#include <stdint.h>
#include <stdlib.h>
#include <time.h>

#include <string>

#include "platform/platform.h"

const uint64_t TicksPerSecond = 10000000ull;
const uint64_t UnixEpochSeconds = 11644473600ull;  // 1601-01-01 to 1970-01-01

/// Windows file time (100 ns units since 1601, UTC) of a UTC calendar moment.
inline uint64_t FileTimeOf(int year, int month, int day, int hour, int minute, int second)
{
    struct tm t = {};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    return (uint64_t)((int64_t)timegm(&t) + (int64_t)UnixEpochSeconds) * TicksPerSecond;
}

/// Sets TZ for one test and restores the previous value afterwards.
class ZoneGuard {
public:
    explicit ZoneGuard(const char *zone)
    {
        const char *old = getenv("TZ");
        HadOld = old != nullptr;
        if (old) Old = old;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ZoneGuard()
    {
        if (HadOld)
            setenv("TZ", Old.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    bool HadOld = false;
    std::string Old;
};

// Sets an environment variable for one test and puts the old value back after it.
struct EnvGuard {
    std::string Name, Old;
    bool Had;
    EnvGuard(const char *name, const char *value) : Name(name)
    {
        const char *old = getenv(name);
        Had = old != nullptr;
        if (old) Old = old;
        if (value) setenv(name, value, 1);
        else unsetenv(name);
        tzset();
    }
    ~EnvGuard()
    {
        if (Had) setenv(Name.c_str(), Old.c_str(), 1);
        else unsetenv(Name.c_str());
        tzset();
    }
};

/// The SYSTEMTIME of a calendar moment, as the Windows calls take it.
inline SYSTEMTIME St(int y, int mo, int d, int h, int mi, int s, int ms = 0)
{
    SYSTEMTIME st{};
    st.wYear = (WORD)y;
    st.wMonth = (WORD)mo;
    st.wDay = (WORD)d;
    st.wHour = (WORD)h;
    st.wMinute = (WORD)mi;
    st.wSecond = (WORD)s;
    st.wMilliseconds = (WORD)ms;
    return st;
}

#endif
