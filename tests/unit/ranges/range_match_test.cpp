#include <gtest/gtest.h>

#include <pwd.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "plugin/host_api.h"
#include "plugin/result_codes.h"
#include "plugin/shell_syntax.h"
#include "range_test_util.h"
#include "search/search.h"
#include "state.h"

namespace {

using rangetest::FileTimeUtc;
using rangetest::FindData;
using rangetest::ZoneGuard;

const uint32_t NONE = UINT32_MAX;
// Fixed offsets, so that the expectations do not depend on today's daylight saving.
const char *const EAST = "<+03>-3";
const char *const WEST = "<-05>5";

class RangeMatchTest : public rangetest::RangeTest {
protected:
    RangeFilter *Size(uint64_t min, uint64_t max, int negate)
    {
        SizeRange *node = (SizeRange *)NewRangeNode(sizeof(SizeRange), 0, L'S');
        node->MinSize = min;
        node->MaxSize = max;
        node->Negate = negate;
        return Push(&node->Head);
    }
    RangeFilter *Date(uint32_t firstDay, uint32_t firstSecond, uint32_t lastDay,
                      uint32_t lastSecond, int negate = 0, uint16_t which = 0)
    {
        DateRange *node = (DateRange *)NewRangeNode(sizeof(DateRange), 0, L'D');
        node->FirstDay = firstDay;
        node->FirstSecond = firstSecond;
        node->LastDay = lastDay;
        node->LastSecond = lastSecond;
        node->Negate = negate;
        node->WhichTime = which;
        return Push(&node->Head);
    }
    RangeFilter *Time(uint32_t first, uint32_t last, int negate = 0, uint16_t which = 0)
    {
        TimeRange *node = (TimeRange *)NewRangeNode(sizeof(TimeRange), 0, L'T');
        node->FirstSecond = first;
        node->LastSecond = last;
        node->Negate = negate;
        node->WhichTime = which;
        return Push(&node->Head);
    }
    RangeFilter *Week(uint16_t mask, uint16_t which = 0)
    {
        WeekdayRange *node = (WeekdayRange *)NewRangeNode(sizeof(WeekdayRange), 0, L'W');
        node->DayMask = mask;
        node->WhichTime = which;
        return Push(&node->Head);
    }
    RangeFilter *Text(wchar_t kind, const wchar_t *pattern, int negate = 0)
    {
        size_t length = wcslen(pattern);
        TextRange *node =
            (TextRange *)NewRangeNode(offsetof(TextRange, Pattern), length + 1, kind);
        wmemcpy(node->Pattern, pattern, length + 1);
        node->Negate = negate;
        return Push(&node->Head);
    }
    RangeFilter *Push(RangeFilter *node)
    {
        PushRange(&List, node);
        return node;
    }
    int Match(const WIN32_FIND_DATAW &data, const wchar_t *directory = L"/nonexistent/")
    {
        return MatchRanges(&data, List, directory, 1);
    }
};

TEST_F(RangeMatchTest, EmptyListAcceptsAndMissingArgumentsAreRefused)
{
    WIN32_FIND_DATAW data = FindData(L"a.txt", 10, FileTimeUtc(2024, 5, 1, 12, 0, 0));
    EXPECT_EQ(0, Match(data));
    EXPECT_EQ(-1, MatchRanges(nullptr, List, L"/", 1));
    EXPECT_EQ(-1, MatchRanges(&data, List, nullptr, 1));
}

TEST_F(RangeMatchTest, SizeBoundsAreInclusive)
{
    struct {
        uint64_t Min, Max, Size;
        int Negate, Expected;
    } cases[] = {
        {1000, 5000, 1000, 0, 0}, {1000, 5000, 5000, 0, 0}, {1000, 5000, 999, 0, 1},
        {1000, 5000, 5001, 0, 1}, {1000, 5000, 1000, 1, 1}, {1000, 5000, 5001, 1, 0},
        {0, UINT64_MAX, 0, 0, 0}, {0, UINT64_MAX, UINT64_MAX, 0, 0},
        // Sizes above 4 GiB come from both halves of the record.
        {1ull << 32, 1ull << 33, (1ull << 32) + 7, 0, 0},
        {1ull << 32, 1ull << 33, 7, 0, 1},
    };
    for (const auto &c : cases) {
        Size(c.Min, c.Max, c.Negate);
        EXPECT_EQ(c.Expected, Match(FindData(L"f", c.Size, FileTimeUtc(2024, 1, 1, 0, 0, 0))))
            << c.Min << ".." << c.Max << " " << c.Size;
        FreeRanges(&List);
    }
}

TEST_F(RangeMatchTest, ExclusionUsesFileNameConventions)
{
    struct {
        const wchar_t *Pattern, *Name;
        int Expected;
    } cases[] = {
        {L"*.bak", L"a.bak", 1}, {L"*.bak", L"A.BAK", 1}, {L"*.bak", L"a.txt", 0},
        {L"[a-c]*.txt", L"b1.txt", 1}, {L"[a-c]*.txt", L"d1.txt", 0},
        {L":*.bak", L"a.bak", 0}, {L"read.*", L"read", 1},
    };
    for (const auto &c : cases) {
        AddExclusion(c.Pattern, &List);
        EXPECT_EQ(c.Expected, Match(FindData(c.Name, 1, FileTimeUtc(2024, 1, 1, 0, 0, 0))))
            << c.Pattern << " " << c.Name;
        FreeRanges(&List);
    }
}

TEST_F(RangeMatchTest, DateNodeTestsTheLocalDateAndTime)
{
    ZoneGuard zone(EAST);
    const uint32_t MAY1 = DayNumber(2024, 5, 1), MAY2 = DayNumber(2024, 5, 2);
    // 22:30 UTC on 1 May is 01:30 on 2 May at UTC+3.
    WIN32_FIND_DATAW late = FindData(L"f", 1, FileTimeUtc(2024, 5, 1, 22, 30, 0));
    // 20:59:59 UTC is 23:59:59 local on 1 May.
    WIN32_FIND_DATAW last = FindData(L"f", 1, FileTimeUtc(2024, 5, 1, 20, 59, 59));
    struct {
        uint32_t FirstDay, FirstSecond, LastDay, LastSecond;
        int Negate;
        const WIN32_FIND_DATAW *Data;
        int Expected;
    } cases[] = {
        {MAY2, 0, MAY2, NONE, 0, &late, 0},
        {MAY1, 0, MAY1, NONE, 0, &late, 1},
        {MAY2, 5400, MAY2, 5400, 0, &late, 0},
        {MAY2, 5401, MAY2, NONE, 0, &late, 1},
        {MAY1, 0, MAY2, 5399, 0, &late, 1},
        {MAY1, 80000, MAY2, 5400, 0, &late, 0},
        {MAY1, 0, MAY1, 86399, 0, &last, 0},
        {MAY1, 0, MAY1, 86398, 0, &last, 1},
        {MAY1, 86399, MAY1, NONE, 0, &last, 0},
        {MAY2, 0, MAY2, NONE, 1, &late, 1},
        {MAY1, 0, MAY1, NONE, 1, &late, 0},
    };
    for (const auto &c : cases) {
        Date(c.FirstDay, c.FirstSecond, c.LastDay, c.LastSecond, c.Negate);
        EXPECT_EQ(c.Expected, Match(*c.Data))
            << c.FirstDay << "@" << c.FirstSecond << ".." << c.LastDay << "@" << c.LastSecond;
        FreeRanges(&List);
    }
}

TEST_F(RangeMatchTest, TimeNodeTestsTheLocalTimeOfDay)
{
    ZoneGuard zone(WEST);
    // 03:30 UTC is 22:30 (81000) the evening before at UTC-5.
    WIN32_FIND_DATAW data = FindData(L"f", 1, FileTimeUtc(2024, 5, 6, 3, 30, 0));
    struct {
        uint32_t First, Last;
        int Negate, Expected;
    } cases[] = {
        {81000, 81000, 0, 0}, {80000, 82000, 0, 0}, {0, 80999, 0, 1}, {81001, 86399, 0, 1},
        {12600, 12600, 0, 1},  // the UTC time of day does not count
        {80000, 82000, 1, 1}, {0, 3600, 1, 0},
    };
    for (const auto &c : cases) {
        Time(c.First, c.Last, c.Negate);
        EXPECT_EQ(c.Expected, Match(data)) << c.First << ".." << c.Last;
        FreeRanges(&List);
    }
}

TEST_F(RangeMatchTest, WeekdayNodeTestsTheLocalDate)
{
    enum { SUN = 1, MON = 2, FRI = 32, SAT = 64 };
    struct {
        const char *Zone;
        FILETIME When;
        uint16_t Mask;
        int Expected;
    } cases[] = {
        // Friday 3 May 21:30 UTC is Saturday 00:30 at UTC+3.
        {EAST, FileTimeUtc(2024, 5, 3, 21, 30, 0), SAT, 0},
        {EAST, FileTimeUtc(2024, 5, 3, 21, 30, 0), FRI, 1},
        // Monday 6 May 03:30 UTC is Sunday 22:30 at UTC-5.
        {WEST, FileTimeUtc(2024, 5, 6, 3, 30, 0), SUN, 0},
        {WEST, FileTimeUtc(2024, 5, 6, 3, 30, 0), MON, 1},
        {WEST, FileTimeUtc(2024, 5, 6, 3, 30, 0), 127 & ~SUN, 1},
    };
    for (const auto &c : cases) {
        ZoneGuard zone(c.Zone);
        Week(c.Mask);
        EXPECT_EQ(c.Expected, Match(FindData(L"f", 1, c.When))) << c.Zone << " " << c.Mask;
        FreeRanges(&List);
    }
}

TEST_F(RangeMatchTest, WhichTimeChoosesTheFileTime)
{
    ZoneGuard zone("UTC");
    WIN32_FIND_DATAW data = FindData(L"f", 1, FileTimeUtc(2024, 5, 1, 0, 0, 0));
    data.ftLastWriteTime = FileTimeUtc(2024, 5, 1, 1, 0, 0);   // Wednesday 01:00
    data.ftLastAccessTime = FileTimeUtc(2024, 5, 2, 2, 0, 0);  // Thursday 02:00
    data.ftCreationTime = FileTimeUtc(2024, 5, 3, 3, 0, 0);    // Friday 03:00
    const uint16_t days[3] = {8, 16, 32};
    const uint32_t seconds[3] = {3600, 7200, 10800};
    const uint32_t dates[3] = {DayNumber(2024, 5, 1), DayNumber(2024, 5, 2),
                               DayNumber(2024, 5, 3)};
    for (uint16_t which = 0; which < 3; ++which) {
        for (uint16_t other = 0; other < 3; ++other) {
            int expected = which == other ? 0 : 1;
            Week(days[other], which);
            EXPECT_EQ(expected, Match(data)) << which << " " << other;
            FreeRanges(&List);
            Time(seconds[other], seconds[other], 0, which);
            EXPECT_EQ(expected, Match(data)) << which << " " << other;
            FreeRanges(&List);
            Date(dates[other], 0, dates[other], NONE, 0, which);
            EXPECT_EQ(expected, Match(data)) << which << " " << other;
            FreeRanges(&List);
        }
    }
    // Any other value is the last write time.
    Week(8, 7);
    EXPECT_EQ(0, Match(data));
}

TEST_F(RangeMatchTest, UnconvertibleTimeIsRejectedNegatedOrNot)
{
    ZoneGuard zone(WEST);
    FILETIME first = {0, 0};                       // 1601, before UTC-5 can reach
    FILETIME beyond = {0xFFFFFFFFu, 0xFFFFFFFFu};  // past the last valid file time
    for (FILETIME when : {first, beyond}) {
        WIN32_FIND_DATAW data = FindData(L"f", 1, when);
        Date(0, 0, NONE, NONE, 0);
        EXPECT_EQ(1, Match(data));
        FreeRanges(&List);
        Date(5, 0, 5, 0, 1);
        EXPECT_EQ(1, Match(data));
        FreeRanges(&List);
        Time(0, NONE, 0);
        EXPECT_EQ(1, Match(data));
        FreeRanges(&List);
        Time(5, 5, 1);
        EXPECT_EQ(1, Match(data));
        FreeRanges(&List);
        Week(127);
        EXPECT_EQ(1, Match(data));
        FreeRanges(&List);
    }
}

TEST_F(RangeMatchTest, EveryNodeMustPass)
{
    WIN32_FIND_DATAW data = FindData(L"a.txt", 3000, FileTimeUtc(2024, 5, 1, 12, 0, 0));
    Size(1000, UINT64_MAX, 0);
    Size(0, 5000, 0);
    EXPECT_EQ(0, Match(data));
    AddExclusion(L"*.bak", &List);
    EXPECT_EQ(0, Match(data));
    AddExclusion(L"a.*", &List);
    EXPECT_EQ(1, Match(data));
    FreeRanges(&List);
    Size(0, 2000, 0);
    Size(1000, UINT64_MAX, 0);
    EXPECT_EQ(1, Match(data));
}

// ---- description and owner, on real files --------------------------------------

std::wstring Wide(const std::string &s) { return std::wstring(s.begin(), s.end()); }

class RangeTextMatchTest : public RangeMatchTest {
protected:
    void SetUp() override
    {
        RangeMatchTest::SetUp();
        // A command reads the shell's syntax as it starts; without this the syntax of
        // whichever test ran last would be used.
        CallSyntax = ReadShellSyntax();
        char pattern[] = "/tmp/vesk-range-XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(pattern));
        Dir = pattern;
        Dir += "/";
    }
    void TearDown() override
    {
        for (const auto &name : Created) unlink((Dir + name).c_str());
        rmdir(Dir.c_str());
        RangeMatchTest::TearDown();
    }
    void Write(const std::string &name, const std::string &text)
    {
        FILE *f = fopen((Dir + name).c_str(), "wb");
        ASSERT_NE(nullptr, f);
        fputs(text.c_str(), f);
        fclose(f);
        Created.push_back(name);
    }
    std::string Dir;
    std::vector<std::string> Created;
};

TEST_F(RangeTextMatchTest, DescriptionsOfAwkwardNames)
{
    const char *names[] = {"plain.txt", "a]b.txt", "c,d.txt", "50%.txt", "x^y.txt",
                           "p&q.txt", "%path%.txt", "q\"uote.txt", "with blank.txt",
                           "br[ack]et.txt", "pipe|and(paren).txt", "trailing blank "};
    std::string descript;
    for (const char *name : names) {
        Write(name, "x");
        std::string n = name;
        descript += (n.find(' ') != std::string::npos ? "\"" + n + "\"" : n) +
                    " backup of " + n + "\r\n";
    }
    Write("DESCRIPT.ION", descript);
    Write("none.txt", "x");

    // The shell reads a function's result again while nested expansion is on, so the
    // description of "%path%.txt" would come back expanded; the path itself reaches
    // @descript exactly either way. Read as a careful batch file reads.
    ASSERT_EQ(0, Command(L"setdos /x-4", 0));
    for (const char *name : names) {
        std::wstring path = Wide(Dir + name);
        wchar_t out[RANGE_TEXT_LEN] = L"untouched";
        EXPECT_EQ(0, GetDescription(path.c_str(), out, nullptr, 0)) << name;
        EXPECT_EQ(L"backup of " + Wide(name), std::wstring(out)) << name;

        Text(L'I', L"*backup*");
        EXPECT_EQ(0, Match(FindData(Wide(name).c_str(), 1, {}), Wide(Dir).c_str())) << name;
        FreeRanges(&List);
        Text(L'I', L"*backup*", 1);
        EXPECT_EQ(1, Match(FindData(Wide(name).c_str(), 1, {}), Wide(Dir).c_str())) << name;
        FreeRanges(&List);
    }

    // With the escape character switched off the shell is given only the paths it can
    // take exactly under the features still on; for the others no description is better
    // than another file's. Switched off, the escape character is an ordinary one.
    const struct {
        const wchar_t *Setdos;
        const char *Refused;  ///< characters that keep a path from the shell
        bool Edges;           ///< blanks at its ends too
    } settings[] = {
        {L"setdos /x-48", "\"`", false},          // quoted: only what ends the quotes
        {L"setdos /x-45678", "[],", true},         // unquoted: the argument's own syntax
        {L"setdos /x-478", "[],&|<>", true},       // and the separator and redirection
    };
    const ShellSyntax saved = CallSyntax;
    for (const auto &setting : settings) {
        ASSERT_EQ(0, Command(L"setdos /x0", 0));
        ASSERT_EQ(0, Command(setting.Setdos, 0));
        CallSyntax = ReadShellSyntax();
        for (const char *name : names) {
            std::string n = name;
            bool writable = n.find_first_of(setting.Refused) == std::string::npos &&
                            !(setting.Edges && (n.back() == ' ' || n.front() == ' '));
            std::wstring path = Wide(Dir + name);
            wchar_t out[RANGE_TEXT_LEN] = L"untouched";
            EXPECT_EQ(writable ? (int)RESULT_OK : (int)DESCRIPTION_NOT_WHOLE,
                      GetDescription(path.c_str(), out, nullptr, 0))
                << name << " after " << std::string(setting.Setdos, setting.Setdos + wcslen(setting.Setdos));
            if (writable) {
                EXPECT_EQ(L"backup of " + Wide(name), std::wstring(out)) << name;
            }
        }
    }
    CallSyntax = saved;
    ASSERT_EQ(0, Command(L"setdos /x0", 0));
    // Without a description the empty text is tested: only "*" and negation accept.
    WIN32_FIND_DATAW none = FindData(L"none.txt", 1, {});
    std::wstring dir = Wide(Dir);
    dir.pop_back();  // joined with a separator of its own
    Text(L'I', L"*backup*");
    EXPECT_EQ(1, Match(none, dir.c_str()));
    FreeRanges(&List);
    Text(L'I', L"*backup*", 1);
    EXPECT_EQ(0, Match(none, dir.c_str()));
    FreeRanges(&List);
    Text(L'I', L"*");
    EXPECT_EQ(0, Match(none, dir.c_str()));
    FreeRanges(&List);
    // A file that does not exist has no description either.
    Text(L'I', L"*backup*", 1);
    EXPECT_EQ(0, Match(FindData(L"gone.txt", 1, {}), dir.c_str()));
}

TEST_F(RangeTextMatchTest, DescriptionResults)
{
    Write("f.txt", "x");
    std::wstring path = Wide(Dir + "f.txt");
    wchar_t out[RANGE_TEXT_LEN] = L"untouched";
    EXPECT_EQ(0, GetDescription(path.c_str(), out, nullptr, 0));  // no DESCRIPT.ION: empty
    EXPECT_EQ(L"", std::wstring(out));
    wcscpy(out, L"untouched");
    EXPECT_EQ(RESULT_FAILED, GetDescription(L"", out, nullptr, 0));
    EXPECT_EQ(RESULT_FAILED, GetDescription(Wide(Dir + "missing").c_str(), out, nullptr, 0));
    std::wstring longPath = Wide(Dir) + std::wstring(3 * RANGE_TEXT_LEN, L'%');
    EXPECT_EQ(RESULT_FAILED, GetDescription(longPath.c_str(), out, nullptr, 0));
    EXPECT_EQ(L"untouched", std::wstring(out));
    EXPECT_EQ(-1, GetDescription(nullptr, out, nullptr, 0));
    EXPECT_EQ(-1, GetDescription(path.c_str(), nullptr, nullptr, 0));
    EXPECT_EQ(-1, GetDescription(out, out, nullptr, 0));
}

TEST_F(RangeTextMatchTest, DescriptionNotReadWholeLeavesTheFileOutByName)
{
    const std::string full = "backup" + std::string(8191 - 6, 'x');
    const std::string descript = "fine.txt backup, whole\r\nfull.txt " + full +
                                 "\r\nlong.txt " + full + "yz\r\nnul.txt backup" +
                                 std::string(1, '\0') + "tail\r\n";
    Write("DESCRIPT.ION", "");
    FILE *f = fopen((Dir + "DESCRIPT.ION").c_str(), "wb");
    ASSERT_NE(nullptr, f);
    fwrite(descript.data(), 1, descript.size(), f);
    fclose(f);
    // Whole: matched. Not whole, under either reading of the shell: left out by name,
    // negated or not, except a text the shell itself ends at a NUL, which no plug-in can
    // tell from a whole one.
    struct {
        const char *Name;
        bool Cut;
        int Taken, TakenNegated;
    } cases[] = {
        {"fine.txt", false, 0, 1}, {"fine.txt", true, 0, 1},
        {"full.txt", false, 2, 2}, {"full.txt", true, 2, 2},
        {"long.txt", false, 2, 2}, {"long.txt", true, 2, 2},
        {"nul.txt", false, 2, 2},  {"nul.txt", true, 0, 1},
    };
    for (const auto &c : cases) {
        Write(c.Name, "x");
        vsh::Shell.Reading.DescriptionsWhole = !c.Cut;
        for (int negate = 0; negate < 2; ++negate) {
            Text(L'I', L"*backup*", negate);
            std::wstring err;
            int got = rangetest::Captured(
                [&] { return Match(FindData(Wide(c.Name).c_str(), 1, {}), Wide(Dir).c_str()); },
                &err);
            EXPECT_EQ(negate ? c.TakenNegated : c.Taken, got) << c.Name << " cut " << c.Cut;
            std::wstring named = L"Description of \"" + Wide(Dir + c.Name) + L"\" not read";
            EXPECT_EQ(got == RESULT_SCAN_FAILED ? 1u : 0u,
                      err.find(named) == std::wstring::npos ? 0u : 1u)
                << c.Name << " " << std::string(err.begin(), err.end());
            FreeRanges(&List);
        }
    }
    vsh::Shell.Reading.DescriptionsWhole = true;
}

TEST_F(RangeTextMatchTest, OwnerIsDomainBackslashAccount)
{
    Write("mine.txt", "x");
    struct passwd *pw = getpwuid(getuid());
    ASSERT_NE(nullptr, pw);
    std::wstring account = Wide(pw->pw_name);

    wchar_t out[RANGE_TEXT_LEN] = L"untouched";
    ASSERT_EQ(0, GetOwner(Wide(Dir + "mine.txt").c_str(), out));
    std::wstring owner = out;
    ASSERT_GT(owner.size(), account.size() + 1);
    EXPECT_EQ(L"\\" + account, owner.substr(owner.size() - account.size() - 1));

    wcscpy(out, L"untouched");
    EXPECT_EQ(1, GetOwner(Wide(Dir + "missing").c_str(), out));
    EXPECT_EQ(L"untouched", std::wstring(out));
    EXPECT_EQ(-1, GetOwner(nullptr, out));
    EXPECT_EQ(-1, GetOwner(L"/", nullptr));

    WIN32_FIND_DATAW data = FindData(L"mine.txt", 1, {});
    struct {
        std::wstring Pattern;
        int Negate, Expected;
    } cases[] = {
        {L"*\\" + account, 0, 0}, {L"*\\*", 0, 0}, {account, 0, 1},
        {L"*\\" + account, 1, 1}, {L"*\\nobody-at-all", 1, 0},
    };
    for (const auto &c : cases) {
        Text(L'O', c.Pattern.c_str(), c.Negate);
        EXPECT_EQ(c.Expected, Match(data, Wide(Dir).c_str())) << c.Pattern.c_str();
        FreeRanges(&List);
    }
    // No owner for a missing file: the empty text.
    Text(L'O', L"*\\*");
    EXPECT_EQ(1, Match(FindData(L"missing", 1, {}), Wide(Dir).c_str()));
}

TEST(RangeJoinPathTest, Table)
{
    const std::wstring sep(1, VESK_PATH_SEP);
    struct {
        const wchar_t *Directory;
        const wchar_t *Name;
        std::wstring Expected;
    } cases[] = {
        {L"dir", L"a.txt", L"dir" + sep + L"a.txt"},
        {L"dir\\", L"a.txt", L"dir\\a.txt"},
        {L"dir/", L"a.txt", L"dir/a.txt"},
        {L"C:", L"a.txt", L"C:a.txt"},
        {L"", L"a.txt", L"a.txt"},
        {L"dir", L"\\a.txt", L"dir\\a.txt"},
        {L"dir", L"/a.txt", L"dir/a.txt"},
        {L"dir", L"", L"dir" + sep},
    };
    for (const auto &c : cases) {
        wchar_t buffer[PATH_BUFFER_LEN];
        wcscpy(buffer, c.Directory);
        EXPECT_EQ(0, JoinPath(buffer, c.Name)) << c.Directory;
        EXPECT_EQ(c.Expected, std::wstring(buffer)) << c.Directory;
    }
    wchar_t buffer[8] = L"x";
    EXPECT_EQ(-1, JoinPath(nullptr, L"a"));
    EXPECT_EQ(-1, JoinPath(buffer, nullptr));
}

TEST(RangeJoinPathTest, ResultThatWouldNotFitLeavesDirectoryUnchanged)
{
    static wchar_t buffer[PATH_BUFFER_LEN];
    std::wstring directory(PATH_BUFFER_LEN - 6, L'd');
    wcscpy(buffer, directory.c_str());
    EXPECT_EQ(RESULT_FAILED, JoinPath(buffer, L"abcdef"));
    EXPECT_EQ(directory, std::wstring(buffer));
    // Exactly full: directory, separator and name use every slot but the terminator's.
    EXPECT_EQ(0, JoinPath(buffer, L"abcd"));
    EXPECT_EQ((size_t)PATH_BUFFER_LEN - 1, wcslen(buffer));
}

// The walk numbers the file times as the stamps do, the ranges as the time letters do:
// each stamp must still reach the same field the matching range letter reaches.
TEST(RangeChosenFileTimeTest, StampsAndRangesChooseTheSameTime)
{
    WIN32_FIND_DATAW data = {};
    EXPECT_EQ(&data.ftLastWriteTime, ChosenFileTime(&data, StampTime(STAMP_LAST_WRITE)));
    EXPECT_EQ(&data.ftCreationTime, ChosenFileTime(&data, StampTime(STAMP_CREATION)));
    EXPECT_EQ(&data.ftLastAccessTime, ChosenFileTime(&data, StampTime(STAMP_LAST_ACCESS)));
    EXPECT_EQ(&data.ftLastWriteTime, ChosenFileTime(&data, StampTime(7)));
    EXPECT_EQ(&data.ftLastWriteTime, ChosenFileTime(&data, TIME_LAST_WRITE));
    EXPECT_EQ(&data.ftCreationTime, ChosenFileTime(&data, TIME_CREATION));
    EXPECT_EQ(&data.ftLastAccessTime, ChosenFileTime(&data, TIME_LAST_ACCESS));
    EXPECT_EQ(&data.ftLastWriteTime, ChosenFileTime(&data, 7));
}

}  // namespace
