// Sets TZ for one test and restores the previous value afterwards.
#ifndef VESK_ZONE_GUARD_H
#define VESK_ZONE_GUARD_H

#include <stdlib.h>
#include <time.h>

#include <string>

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
