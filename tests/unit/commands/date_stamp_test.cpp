#include "commands/date_stamp.h"
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <time.h>

#include <string>

#include "test_time.h"

namespace {

std::wstring Stamp(const wchar_t *separator, int dateOnly, uint64_t fileTime, int trueLocal,
                   int utc, int iso)
{
    wchar_t out[TEXT_BUFFER_LEN];
    // Leftovers of an earlier stamp must never show through.
    wmemset(out, L'#', TEXT_BUFFER_LEN - 1);
    out[TEXT_BUFFER_LEN - 1] = L'\0';
    EXPECT_EQ(0, FormatDateStamp(out, separator, dateOnly, fileTime, trueLocal, utc, iso));
    return out;
}

/// Today's offset from UTC in seconds, as the "dumb" path applies it to every date.
long TodaysOffset()
{
    time_t now = time(nullptr);
    struct tm local;
    localtime_r(&now, &local);
    return local.tm_gmtoff;
}

std::wstring IsoText(uint64_t fileTime, long offsetSeconds)
{
    time_t t = (time_t)(fileTime / TicksPerSecond - UnixEpochSeconds) + offsetSeconds;
    struct tm u;
    gmtime_r(&t, &u);
    wchar_t text[64];
    swprintf(text, 64, L"%04d-%02d-%02d %02d:%02d:%02d", u.tm_year + 1900, u.tm_mon + 1,
             u.tm_mday, u.tm_hour, u.tm_min, u.tm_sec);
    return text;
}

struct IsoCase {
    const char *Zone;
    const wchar_t *Separator;
    int DateOnly;
    int TrueLocal;
    int Utc;
    uint64_t Time;
    const wchar_t *Expected;
};

TEST(DateStampTest, IsoFormsWithFixedZones)
{
    const uint64_t december = FileTimeOf(2026, 12, 6, 13, 15, 52);
    const uint64_t summer = FileTimeOf(2026, 7, 1, 12, 0, 0);
    const IsoCase cases[] = {
        {"UTC", L" ", 0, 0, 1, december, L"2026-12-06 13:15:52 UTC"},
        {"UTC", L" ", 1, 0, 1, december, L"2026-12-06 UTC"},
        {"UTC", L"T", 0, 0, 1, december, L"2026-12-06T13:15:52 UTC"},
        {"UTC", L"", 0, 0, 1, december, L"2026-12-0613:15:52 UTC"},
        {"UTC", L"T", 1, 0, 1, december, L"2026-12-06 UTC"},
        // UTC wins over true local, whatever the zone.
        {"America/New_York", L" ", 0, 1, 1, summer, L"2026-07-01 12:00:00 UTC"},
        // True local applies the rule of the date: daylight time in July.
        {"America/New_York", L" ", 0, 1, 0, summer, L"2026-07-01 08:00:00"},
        {"Europe/Berlin", L" ", 0, 1, 0, summer, L"2026-07-01 14:00:00"},
        {"Europe/Berlin", L"_", 0, 1, 0, december, L"2026-12-06_14:15:52"},
        {"Asia/Tokyo", L" ", 0, 1, 0, december, L"2026-12-06 22:15:52"},
        {"UTC", L" ", 0, 1, 0, FileTimeOf(2026, 1, 5, 9, 3, 7), L"2026-01-05 09:03:07"},
        {"UTC", L" ", 1, 1, 0, FileTimeOf(2026, 1, 5, 9, 3, 7), L"2026-01-05"},
    };
    for (const IsoCase &c : cases) {
        ZoneGuard zone(c.Zone);
        EXPECT_EQ(std::wstring(c.Expected), Stamp(c.Separator, c.DateOnly, c.Time, c.TrueLocal,
                                                  c.Utc, 1))
            << c.Zone << " " << c.Expected;
    }
}

TEST(DateStampTest, DumbLocalUsesTodaysOffsetForEveryDate)
{
    const uint64_t summer = FileTimeOf(2026, 7, 1, 12, 0, 0);
    const uint64_t winter = FileTimeOf(2026, 1, 15, 12, 0, 0);
    for (const char *name : {"America/New_York", "Europe/Berlin", "UTC"}) {
        ZoneGuard zone(name);
        long offset = TodaysOffset();
        EXPECT_EQ(IsoText(summer, offset), Stamp(L" ", 0, summer, 0, 0, 1)) << name;
        EXPECT_EQ(IsoText(winter, offset), Stamp(L" ", 0, winter, 0, 0, 1)) << name;
    }
}

TEST(DateStampTest, UnconvertibleTimesGetOneClearText)
{
    ZoneGuard zone("America/New_York");
    const uint64_t beyond = 0x8000000000000000ull;  // past 30828-09-14
    struct Case {
        uint64_t Time;
        int TrueLocal;
        int Utc;
        int Iso;
    } cases[] = {
        {0, 0, 0, 1},       // 1601-01-01 moved west by the dumb path
        {0, 1, 0, 1},       // the same through the daylight-saving path
        {0, 0, 0, 0},       // and in the locale form
        {beyond, 0, 1, 1},  // too late for any calendar
        {beyond, 1, 0, 0},
        {~0ull, 0, 0, 1},
    };
    for (const Case &c : cases)
        EXPECT_EQ(L"(invalid time)", Stamp(L" ", 0, c.Time, c.TrueLocal, c.Utc, c.Iso))
            << c.Time << " " << c.TrueLocal << c.Utc << c.Iso;

    ZoneGuard utc("UTC");
    EXPECT_EQ(L"1601-01-01 00:00:00 UTC", Stamp(L" ", 0, 0, 0, 1, 1));
}

TEST(DateStampTest, TheYear30828IsValidAsFarAsWindowsConvertsIt)
{
    ZoneGuard zone("Asia/Tokyo");
    const uint64_t new30828 = 0x7FFF35F4F06C8000ULL;  // 30828-01-01 00:00:00 UTC
    EXPECT_EQ(L"30828-01-01 00:00:00 UTC", Stamp(L" ", 0, new30828, 0, 1, 1));
    EXPECT_EQ(L"30828-09-14 02:48:05 UTC", Stamp(L" ", 0, LAST_VALID_FILE_TIME, 0, 1, 1));
    EXPECT_EQ(L"(invalid time)", Stamp(L" ", 0, LAST_VALID_FILE_TIME + 1, 0, 1, 1));
    // East of UTC the last moment would become a local time no file time holds: invalid
    // on both local paths, never wrapped; an earlier moment of 30828 is shown.
    for (int trueLocal : {0, 1}) {
        EXPECT_EQ(L"(invalid time)", Stamp(L" ", 0, LAST_VALID_FILE_TIME, trueLocal, 0, 1));
        EXPECT_EQ(L"30828-01-01 09:00:00", Stamp(L" ", 0, new30828, trueLocal, 0, 1));
    }
}

TEST(DateStampTest, LongSeparatorIsCutNeverOverrun)
{
    ZoneGuard zone("UTC");
    const uint64_t t = FileTimeOf(2026, 12, 6, 13, 15, 52);
    std::wstring separator(TEXT_BUFFER_LEN - 1, L's');
    for (int iso : {0, 1}) {
        for (int utc : {0, 1}) {
            // A guard after the buffer shows any write past its end.
            wchar_t out[TEXT_BUFFER_LEN + 8];
            wmemset(out, L'#', TEXT_BUFFER_LEN + 8);
            ASSERT_EQ(0, FormatDateStamp(out, separator.c_str(), 0, t, 0, utc, iso));
            EXPECT_EQ((size_t)TEXT_BUFFER_LEN - 1, wcslen(out));
            for (int i = TEXT_BUFFER_LEN; i < TEXT_BUFFER_LEN + 8; ++i) EXPECT_EQ(L'#', out[i]);
        }
    }
    wchar_t out[TEXT_BUFFER_LEN];
    FormatDateStamp(out, separator.c_str(), 0, t, 0, 1, 1);
    EXPECT_EQ(0, wcsncmp(out, L"2026-12-06sss", 13));
}

TEST(DateStampTest, LocaleFormCarriesSeparatorTimeAndUtc)
{
    ZoneGuard zone("UTC");
    const uint64_t t = FileTimeOf(2026, 12, 6, 13, 15, 52);
    std::wstring full = Stamp(L"|", 0, t, 0, 1, 0);
    std::wstring dateOnly = Stamp(L"|", 1, t, 0, 1, 0);
    ASSERT_GE(dateOnly.size(), 5u);
    EXPECT_EQ(L" UTC", dateOnly.substr(dateOnly.size() - 4));
    EXPECT_EQ(std::wstring::npos, dateOnly.find(L'|'));
    // The long date, the separator, the time, " UTC".
    std::wstring date = dateOnly.substr(0, dateOnly.size() - 4);
    ASSERT_EQ(0u, full.find(date + L"|"));
    EXPECT_EQ(L" UTC", full.substr(full.size() - 4));
    EXPECT_NE(std::wstring::npos, full.find(L"13"));
    EXPECT_EQ(std::wstring::npos, Stamp(L"|", 0, t, 0, 0, 0).find(L" UTC"));
}

TEST(DateStampTest, MissingOutputOrSeparator)
{
    wchar_t out[4] = L"abc";
    EXPECT_EQ(-1, FormatDateStamp(nullptr, L" ", 0, 0, 0, 1, 1));
    EXPECT_EQ(-1, FormatDateStamp(out, nullptr, 0, 0, 0, 1, 1));
    EXPECT_STREQ(L"abc", out);
}

}  // namespace
