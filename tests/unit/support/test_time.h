// Time helpers of the tests: a TZ guard and Windows file times of calendar moments.
#ifndef VESK_TEST_TIME_H
#define VESK_TEST_TIME_H

#include <stdint.h>
#include <stdlib.h>
#include <time.h>

#include <string>

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

#endif
