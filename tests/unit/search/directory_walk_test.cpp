#include "search/directory_walk.h"

#include "listing_switch.h"

#include <gtest/gtest.h>

#include "platform/posix/posix_layer.h"
#include "search_fixture.h"
#include "test_time.h"

namespace {

TEST_F(SearchTest, OrderOfDiscoveryDescendsBeforeTesting)
{
    File("a.txt", 1);
    Dir("b");
    File("b/c.txt", 1);
    Dir("b/d");
    File("b/d/e.txt", 1);
    File("f.txt", 1);
    Dir("g");
    for (const char *d : {"b/d", "b", "g"}) Stamp(d, 1714564800);
    // All times equal: the list keeps the order in which the walk met the entries.
    std::vector<Found> found = Walk(Options(MODE_NEWEST, WALK_RECURSE));
    EXPECT_EQ((Strings{L"a.txt", L"b/c.txt", L"b/d/e.txt", L"b/d", L"b", L"f.txt", L"g"}),
              Names(found));
}

TEST_F(SearchTest, WalkFlagsOnlyRestrictDescending)
{
    Dir("b");
    File("b/x.txt", 5);
    Dir(".h");
    File(".h/y.txt", 6);
    Link("b", "l");
    File("top.txt", 7);
    struct {
        uint32_t Flags;
        std::set<std::wstring> Expected;
    } cases[] = {
        {0, {L"b", L".h", L"l", L"top.txt"}},
        // The link l leads to b, walked already: it is a candidate, but not walked again.
        {WALK_RECURSE, {L"b", L"b/x.txt", L".h", L".h/y.txt", L"l", L"top.txt"}},
        {WALK_RECURSE | WALK_NO_JUNCTIONS, {L"b", L"b/x.txt", L".h", L".h/y.txt", L"l", L"top.txt"}},
        {WALK_RECURSE | WALK_NO_HIDDEN_DIRS, {L"b", L"b/x.txt", L".h", L"l", L"top.txt"}},
        {7, {L"b", L"b/x.txt", L".h", L"l", L"top.txt"}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.Expected, NameSet(Walk(Options(MODE_NEWEST, c.Flags)))) << "flags " << c.Flags;

    // A mask that leaves hidden entries out still lets the walk into hidden directories.
    TestScan o = Options(MODE_NEWEST, WALK_RECURSE);
    o.AttrMask = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_DIRECTORY;
    o.AttrValues = 0;
    EXPECT_EQ((std::set<std::wstring>{L"b/x.txt", L".h/y.txt", L"top.txt"}), NameSet(Walk(o)));
}

TEST_F(SearchTest, PatternsAttributesAndStamps)
{
    File("a.txt", 10, 1000000000);
    File("b.log", 30, 1100000000);
    File("c.doc", 50, 1200000000);
    Dir("d.txt");
    File("d.txt/inner", 70);
    TestScan o = Options(MODE_LARGEST, 0);
    o.AttrMask = FILE_ATTRIBUTE_DIRECTORY;
    EXPECT_EQ((Strings{L"b.log", L"a.txt"}), Names(Walk(o, L"*.txt;*.log")));
    EXPECT_EQ((Strings{}), Names(Walk(o, L";")));
    o.Mode = MODE_OLDEST;
    o.n = 1;
    std::vector<Found> oldest = Walk(o);
    ASSERT_EQ(1u, oldest.size());
    EXPECT_EQ(L"a.txt", oldest[0].Name);
    EXPECT_EQ(FileTimeOf(1000000000), oldest[0].Time);
    // Without full paths an entry carries its bare name.
    o.FullPaths = 0;
    o.Mode = MODE_NEWEST;
    EXPECT_EQ((Strings{L"c.doc"}), Names(Walk(o)));
}

TEST_F(SearchTest, DescriptionFileIsSkippedInEveryDirectoryButNotAsADirectory)
{
    File("descript.ion", 900);
    File("a", 1);
    Dir("s");
    File("s/DESCRIPT.ION", 800);
    File("s/b", 2);
    Dir("s/descript.ion");
    TestScan o = Options(MODE_LARGEST, WALK_RECURSE);
    o.DescriptionFile = L"descript.ion";
    EXPECT_EQ((std::set<std::wstring>{L"a", L"s", L"s/b", L"s/descript.ion"}), NameSet(Walk(o)));
    o.DescriptionFile = L"";
    EXPECT_EQ(6u, Walk(o).size());
}

TEST_F(SearchTest, LinksBackUpTheTreeAreNotEntered)
{
    Dir("s");
    File("s/x.txt", 3);
    Link("..", "s/up");
    Link(".", "s/self");
    Link(root, "s/top");
    Dir("s/t");
    // Two links per level back to the same directory would double the work per level.
    Link("..", "s/t/a");
    Link("..", "s/t/b");
    File("s/t/y.txt", 4);
    std::vector<Found> found = Walk(Options(MODE_NEWEST, WALK_RECURSE));
    EXPECT_EQ((std::set<std::wstring>{L"s", L"s/x.txt", L"s/up", L"s/self", L"s/top", L"s/t",
                                      L"s/t/a", L"s/t/b", L"s/t/y.txt"}),
              NameSet(found));
    EXPECT_EQ(9u, found.size());

    // A link into the walked tree is only a candidate, whether the walk has been there
    // yet or not: the directory is listed where the tree holds it.
    Dir("s/t/zz");
    File("s/t/zz/z", 1);
    Link("t/zz", "s/side");
    Link("s/t/zz", "other");
    std::set<std::wstring> names = NameSet(Walk(Options(MODE_NEWEST, WALK_RECURSE)));
    EXPECT_EQ((std::set<std::wstring>{L"other", L"s/side", L"s/t/zz", L"s/t/zz/z"}),
              Subset(names, {L"other", L"other/z", L"s/side", L"s/side/z", L"s/t/zz",
                             L"s/t/zz/z"}));
}

// A folder reached again through links is opened, known by its identity and skipped:
// its listing is closed all the same, or every extra link would hold a descriptor for
// the life of the shell.
TEST_F(SearchTest, ASkippedFolderLeavesNoDescriptorOpen)
{
    Dir("folder");
    File("folder/f", 1);
    Link("folder", "link1");
    Link("folder", "link2");
    const int before = OpenDescriptors();
    std::set<std::wstring> names = NameSet(Walk(Options(MODE_NEWEST, WALK_RECURSE)));
    EXPECT_EQ((std::set<std::wstring>{L"folder", L"folder/f", L"link1", L"link2"}), names);
    EXPECT_EQ(before, OpenDescriptors());
}

TEST_F(SearchTest, BelowALinkNoAncestorIsEnteredAgain)
{
    Dir("s");
    Dir("s/u");
    File("s/x.txt", 1);
    File("s/u/y.txt", 2);
    Link("..", "s/up");
    Link(".", "s/self");
    Link(root, "s/top");
    Link("..", "s/u/a");
    Link("../..", "s/u/b");
    // From s/u, the link a leads to s, not walked yet, and is entered; there the plain
    // entry u (where the walk began) is not entered again, and top leads to the root,
    // whose s is walked already; up and b lead to the root, walked by then.
    std::set<std::wstring> expected = {L"y.txt", L"a",       L"a/self", L"a/top", L"a/top/s",
                                       L"a/u",   L"a/up",    L"a/x.txt", L"b"};
    std::vector<Found> found = Walk(Options(MODE_NEWEST, WALK_RECURSE), L"*", "s/u/");
    EXPECT_EQ(expected, NameSet(found));
    EXPECT_EQ(expected.size(), found.size());
}

TEST_F(SearchTest, ALinkIntoAFolderTheWalkPassesByIsFollowed)
{
    // A link into the tree is left to the tree's own walk only where that walk goes,
    // not into a hidden folder it skips; a link to such a link is resolved the same.
    Dir("h");
    Dir("h/.hidden");
    Dir("h/.hidden/in");
    File("h/.hidden/in/f", 1);
    Link(".hidden/in", "h/l");
    Dir("j");
    Dir("j/real");
    File("j/real/g", 2);
    Link("real", "j/hop");
    Link("hop", "j/via");
    struct {
        const char *Start;
        uint32_t Flags;
        Strings Found;
    } cases[] = {
        {"h/", WALK_RECURSE, {L".hidden/in/f"}},
        {"h/", WALK_RECURSE | WALK_NO_HIDDEN_DIRS, {L"l/f"}},
        {"j/", WALK_RECURSE, {L"real/g"}},
        {"j/", WALK_RECURSE | WALK_NO_JUNCTIONS, {L"real/g"}},
    };
    for (const auto &c : cases) {
        TestScan o = Options(MODE_LARGEST, c.Flags);
        o.AttrMask = FILE_ATTRIBUTE_DIRECTORY;
        EXPECT_EQ(c.Found, Names(Walk(o, L"*", c.Start))) << c.Start << " " << c.Flags;
    }
}

TEST_F(SearchTest, LinkGraphIsWalkedOnceAndEachFileOfferedOnce)
{
    // d0 .. d24, each with two links to the next: 2^24 paths, 25 directories.
    const int levels = 25;
    for (int i = 0; i < levels; ++i) {
        Dir("d" + std::to_string(i));
        File("d" + std::to_string(i) + "/f", i + 1);
    }
    for (int i = 0; i + 1 < levels; ++i) {
        Link("../d" + std::to_string(i + 1), "d" + std::to_string(i) + "/a");
        Link("../d" + std::to_string(i + 1), "d" + std::to_string(i) + "/b");
    }
    // The same file by a file link and a hard link, beside the tree.
    File("z", 1000);
    Link("z", "y");
    ASSERT_EQ(0, link(Abs("z").c_str(), Abs("x").c_str()));
    TestScan o = Options(MODE_LARGEST, WALK_RECURSE);
    o.AttrMask = FILE_ATTRIBUTE_DIRECTORY;  // files only
    std::vector<Found> found = Walk(o);
    // The links lead into the walked tree: each file by its own path. The file of three
    // names: x, the first met (the listing is sorted).
    ASSERT_EQ((size_t)levels + 1, found.size());
    EXPECT_EQ(L"x", found[0].Name);
    EXPECT_EQ(L"d24/f", found[1].Name);
    // Without recursion too, one name per file.
    o.WalkFlags = 0;
    EXPECT_EQ((Strings{L"x"}), Names(Walk(o, L"?")));
    o.WalkFlags = WALK_RECURSE;
    // Two walks of one command (two file specifications) still offer the file once.
    ASSERT_EQ(0, StartResults(&results, o.n, o.Mode));
    std::wstring dir = Wide(root) + L"/";
    EXPECT_EQ(0, VeskFiles(dir.c_str(), L"z", &o, 0, 0, &results));
    EXPECT_EQ(0, VeskFiles(dir.c_str(), L"y", &o, 0, 0, &results));
    EXPECT_EQ(1, results.Count);
}

TEST_F(SearchTest, AListingFailureIsReportedOnOneLineAndFailsTheWalk)
{
    // A name that would end the message's line and steer the console shows as "?".
    const std::string odd = "x\x1b[2J\ny";
    Dir(odd);
    File(odd + "/f", 1);
    TestScan o = Options(MODE_LARGEST, WALK_RECURSE);
    FailureReport report = {};
    o.Failures = SinkOf(&report);  // said as the command says it
    std::wstring dir = Wide(root) + L"/" + Wide(odd) + L"/";
    ASSERT_EQ(0, StartResults(&results, o.n, o.Mode));
    ::testing::internal::CaptureStderr();
    int result;
    {
        NoDescriptorFree none;  // the next listing finds none
        result = VeskFiles(dir.c_str(), L"*", &o, 0, 0, &results);
    }
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(2, result);
    EXPECT_NE(std::string::npos,
              err.find("Cannot list \"" + root + "/x?[2J?y/\": too many open files\n"))
        << err;
    // Gone or denied stays quiet: no entries, result 0.
    ASSERT_EQ(0, StartResults(&results, o.n, o.Mode));
    std::wstring missing = dir + L"nothing/";
    EXPECT_EQ(0, VeskFiles(missing.c_str(), L"*", &o, 0, 0, &results));
    EXPECT_EQ(0, results.Count);
    // Without a list to fill, nothing is listed.
    EXPECT_EQ(-1, VeskFiles(dir.c_str(), L"*", &o, 0, 0, nullptr));
}

TEST_F(SearchTest, TimesPastEitherEndOfWindowsAreInvalidNeverClamped)
{
    // tmpfs keeps any 64-bit time; a disk may refuse them, and the case is then moot.
    struct Case {
        const char *Name;
        time_t Seconds;
    } cases[] = {
        {"y1500", -14831769600LL}, {"y1", -62135596800LL}, {"min", INT64_MIN},
        {"max", INT64_MAX},        {"y30828", 910670515200LL},  // 30828-01-01
        {"sep30828", 910692979200LL},                           // 30828-09-17
    };
    for (const Case &c : cases) {
        File(c.Name, 1);
        struct timespec times[2] = {{c.Seconds, 0}, {c.Seconds, 0}};
        if (utimensat(AT_FDCWD, Abs(c.Name).c_str(), times, 0) != 0)
            GTEST_SKIP() << "the file system refuses a time of " << c.Seconds;
        struct stat st;
        ASSERT_EQ(0, stat(Abs(c.Name).c_str(), &st));
        if (st.st_mtim.tv_sec != c.Seconds) GTEST_SKIP() << "the file system clamps times";
    }
    File("valid", 1, 1714564800);
    WIN32_FIND_DATAW d;
    std::wstring search = Wide(root) + L"/*";
    HANDLE h = FindFirstFileW(search.c_str(), &d);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    int seen = 0;
    do {
        std::wstring name = d.cFileName;
        if (name == L"." || name == L"..") continue;
        uint64_t t = ((uint64_t)d.ftLastWriteTime.dwHighDateTime << 32) |
                     d.ftLastWriteTime.dwLowDateTime;
        ++seen;
        if (name == L"valid" || name == L"y30828") {
            // 30828 is a year Windows converts: valid, as far as 30828-09-14.
            SYSTEMTIME st;
            EXPECT_TRUE(IsValidFileTime(t)) << Narrow(name);
            EXPECT_TRUE(FileTimeToSystemTime(&d.ftLastWriteTime, &st));
            if (name == L"valid") {
                EXPECT_EQ(FileTimeOf(1714564800), t);
            }
            continue;
        }
        EXPECT_FALSE(IsValidFileTime(t)) << Narrow(name);
        if (name == L"y1500") {  // the tick count's two's complement, as Wine gives it
            EXPECT_EQ((uint64_t)((-14831769600LL + 11644473600LL) * 10000000LL), t);
        }
        if (name == L"max" || name == L"min" || name == L"sep30828") {  // just past the last
            EXPECT_EQ(LAST_VALID_FILE_TIME + 1, t);
        }
        SYSTEMTIME st;
        EXPECT_FALSE(FileTimeToSystemTime(&d.ftLastWriteTime, &st));
    } while (FindNextFileW(h, &d));
    FindClose(h);
    EXPECT_EQ(7, seen);
}

TEST_F(SearchTest, DeepTreeIsWalkedWhole)
{
    // 5,000 bytes of path at the bottom: past what the kernel opens in one call. Each
    // level's z is opened once the walk is back from below d, far past the descriptors
    // a walk keeps.
    const int levels = 2500;
    int fd = open(root.c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(fd, 0);
    for (int i = 0; i < levels; ++i) {
        int file = openat(fd, "f", O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(file, 0);
        ASSERT_EQ(0, ftruncate(file, i == levels - 1 ? 1000000 : i));
        close(file);
        ASSERT_EQ(0, mkdirat(fd, "z", 0755));
        file = openat(fd, "z/g", O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(file, 0);
        close(file);
        ASSERT_EQ(0, mkdirat(fd, "d", 0755));
        int next = openat(fd, "d", O_RDONLY | O_DIRECTORY);
        close(fd);
        ASSERT_GE(next, 0);
        fd = next;
    }
    close(fd);
    TestScan o = Options(MODE_LARGEST, WALK_RECURSE);
    o.AttrMask = FILE_ATTRIBUTE_DIRECTORY;
    o.n = 2;
    std::vector<Found> found = Walk(o);
    std::wstring deepest;
    for (int i = 0; i < levels - 1; ++i) deepest += L"d/";
    ASSERT_EQ(2u, found.size());
    EXPECT_EQ(deepest + L"f", found[0].Name);
    EXPECT_EQ(1000000u, found[0].Size);
    EXPECT_EQ(uint64_t(levels - 2), found[1].Size);
    // Every level's files were met.
    o.Mode = MODE_SMALLEST;
    o.n = 4096;
    EXPECT_EQ((size_t)levels, Walk(o, L"f").size());
    EXPECT_EQ((size_t)levels, Walk(o, L"g").size());
}

TEST_F(SearchTest, ADirectoryIsStatedOnlyWhenItsRecordIsRead)
{
    // 200 folders of 50 files, sized by their number: 10,000 files, 10,200 entries.
    char name[32];
    for (int d = 0; d < 200; ++d) {
        snprintf(name, sizeof name, "d%03d", d);
        Dir(name);
        for (int f = 0; f < 50; ++f) {
            snprintf(name, sizeof name, "d%03d/f%02d", d, f);
            File(name, d * 50 + f);
        }
    }
    struct {
        const char *What;
        int Mode;
        uint32_t Mask, Values;
        uint64_t Least, Most;  ///< status calls of the walk
        const wchar_t *Best;
    } cases[] = {
        // No directory is a candidate: one status per file, and 1% to spare.
        {"largest", MODE_LARGEST, FILE_ATTRIBUTE_DIRECTORY, 0, 10000, 10100, L"d199/f49"},
        {"newest", MODE_NEWEST, FILE_ATTRIBUTE_DIRECTORY, 0, 10000, 10100, L"d000/f00"},
        {"hidden ones left out", MODE_SMALLEST, FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN,
         0, 10000, 10100, L"d000/f00"},
        // Directories are candidates: each is read.
        {"directories too", MODE_LARGEST, 0, 0, 10200, 10300, L"d199"},
        {"directories only", MODE_LARGEST, FILE_ATTRIBUTE_DIRECTORY, FILE_ATTRIBUTE_DIRECTORY,
         10200, 10300, L"d199"},
    };
    for (const auto &c : cases) {
        TestScan o = Options(c.Mode, WALK_RECURSE);
        o.AttrMask = c.Mask;
        o.AttrValues = c.Values;
        o.n = 1;
        uint64_t before = vesk_posix::StatusCallsForTests();
        std::vector<Found> found = Walk(o);
        uint64_t calls = vesk_posix::StatusCallsForTests() - before;
        EXPECT_LE(c.Least, calls) << c.What;
        EXPECT_GE(c.Most, calls) << c.What;
        ASSERT_EQ(1u, found.size()) << c.What;
        EXPECT_EQ(c.Best, found[0].Name) << c.What;
    }
}

TEST_F(SearchTest, UnreadableDirectoryIsSkipped)
{
    File("small", 10);
    Dir("locked");
    File("locked/big", 100000);
    Dir("locked/sub");
    Dir("a");
    ASSERT_EQ(0, symlink(Abs("locked/sub").c_str(), Abs("a/lnk").c_str()));
    ASSERT_EQ(0, chmod(Abs("locked").c_str(), 0));
    TestScan o = Options(MODE_LARGEST, WALK_RECURSE);
    o.AttrMask = 0;
    FailureReport report = {};
    o.Failures = SinkOf(&report);
    DeniedFolders &denied = report.Denied;
    // As a user without rights: nothing inside locked is found, and locked is counted;
    // the link into it counts as the folder it leads to does, and a, whose files' total
    // it leaves unknown, is no candidate, nor is locked: their sizes were never read.
    // The scanned folder itself denied is an error.
    auto check = [&]() -> int {
        std::wstring top = Wide(root) + L"/", inside = top + L"locked/";
        if (StartResults(&results, o.n, o.Mode) != 0 ||
            VeskFiles(top.c_str(), L"*", &o, 0, 0, &results) != 0)
            return 1;
        std::vector<Found> expected = {{L"small", 10, 0}};
        if (Collect(top) != expected || denied.Count != 2) return 2;
        if (StartResults(&results, o.n, o.Mode) != 0 ||
            VeskFiles(inside.c_str(), L"*", &o, 0, 0, &results) != 2)
            return 3;
        return 0;
    };
    if (geteuid() != 0) {
        EXPECT_EQ(0, check());
        FreeDeniedFolders(&denied);
        return;
    }
    // Root reads everything: drop to an unprivileged user in a child.
    fflush(nullptr);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (setgid(65534) != 0 || setuid(65534) != 0) _exit(77);
        testing::internal::CaptureStderr();
        _exit(check());
    }
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "cannot drop privileges";
    EXPECT_EQ(0, WEXITSTATUS(status));
}

TEST_F(SearchTest, SpinnerTurnsOnlyWhileScreenWidthIsSet)
{
    for (int i = 0; i < 2049 + 129 * 2; ++i) File("f" + std::to_string(i), 0);
    int32_t savedWidth = ScreenWidth;
    SpinnerState *spinner = SpinnerForTests();
    *spinner = {2048, 0};
    ScreenWidth = 0;
    Walk(Options(MODE_LARGEST, 0));
    EXPECT_EQ(2048, spinner->Countdown);
    ScreenWidth = 80;
    Walk(Options(MODE_LARGEST, 0));
    ScreenWidth = savedWidth;
    // Steps on the 2049th entry and after 129 more each: three steps, none pending.
    EXPECT_EQ(3, spinner->Index);
    EXPECT_EQ(128, spinner->Countdown);
}

/// Runs a shell command and returns its output.
std::string RunShell(const char *command)
{
    std::string out;
    FILE *p = popen(command, "r");
    if (p == nullptr) return out;
    char chunk[4096];
    size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, p)) > 0) out.append(chunk, got);
    pclose(p);
    return out;
}

TEST_F(SearchTest, AgreesWithFindOnASystemTree)
{
    struct stat st;
    if (stat("/usr/share", &st) != 0) GTEST_SKIP() << "no /usr/share";
    // find's best key: the largest size and the newest write time of a plain file. Flag 1
    // follows links to directories, and a link to a file counts as its target: -L, or a
    // link out of the tree (several point into /etc) would make them disagree.
    // One walk for both keys; the newest time is cut to the second.
    std::string best = RunShell("find -L /usr/share -type f -printf '%s %T@\\n' 2>/dev/null"
                                " | awk '$1 > s { s = $1 } $2 > t { t = $2 } END { if (NR) printf \"%.0f %.0f\", s, int(t) }'");
    ASSERT_FALSE(best.empty());
    char *rest = nullptr;
    unsigned long long largest = strtoull(best.c_str(), &rest, 10);
    long long newest = strtoll(rest, nullptr, 10);
    struct {
        const wchar_t *Args;
        bool BySize;
    } cases[] = {{L"\\usr\\share,L,,1", true}, {L"\\usr\\share,N,-D,1", false}};
    for (const auto &c : cases) {
        std::vector<wchar_t> buffer(HOST_RESULT_LEN);
        wcscpy(buffer.data(), c.Args);
        ASSERT_EQ(0, f_vesk(buffer.data()));
        std::string path = Narrow(buffer.data());
        ASSERT_EQ(0, stat(path.c_str(), &st)) << path;
        if (c.BySize) {
            EXPECT_EQ(largest, (unsigned long long)st.st_size) << path;
        } else {
            EXPECT_EQ(newest, (long long)st.st_mtim.tv_sec) << path;
        }
    }
}

}  // namespace

namespace failures {

const uint32_t R = WALK_RECURSE, D = FILE_ATTRIBUTE_DIRECTORY;
const FailureWeight Q = QUIET_FAILURE, N = DENIED_FAILURE, T = TOLD_FAILURE;

/// A failure as the walk hands it on: its weight, its path below the root (entry name
/// included) and the error.
struct Heard {
    FailureWeight Weight;
    std::wstring Path;
    DWORD Error;
    bool operator==(const Heard &o) const
    {
        return Weight == o.Weight && Path == o.Path && Error == o.Error;
    }
};

struct Case {
    const char *Faults;  ///< VESK_TEST_LISTING_FAULTS; TOP stands for the scanned folder
    uint32_t Flags, AttrMask;
    int Result;
    std::vector<Heard> Failures;
    std::set<std::wstring> Found;
};

// What each failure of a listing costs the scan: gone, and denied before the listing
// gave anything, are no loss worth a line of their own below the scanned folder;
// anything else is told. A folder whose files' total could not be read whole is never a
// candidate: its row would show a size it does not have.
const std::set<std::wstring> Rest = {L"top", L"a", L"a/f1"};
const std::set<std::wstring> RestAndC = {L"top", L"a", L"a/f1", L"b/c", L"b/c/f3"};
const Case Cases[] = {
    {"b:open=2", R, 0, 0, {{Q, L"b/", 2}}, Rest},
    {"b:open=3", R, 0, 0, {{Q, L"b/", 3}}, Rest},
    {"b:open=5", R, 0, 0, {{N, L"b/", 5}}, Rest},
    {"b:open=21", R, 0, 2, {{T, L"b/", 21}}, Rest},
    {"b:read=1:1392", R, 0, 2, {{T, L"b/", 1392}}, RestAndC},
    // Denied at the first read (Linux refuses a folder it may list but not search there)
    // is denied; once the listing has begun it is a loss like any other.
    {"b:read=0:5", R, 0, 0, {{N, L"b/", 5}}, Rest},
    {"b:read=1:5", R, 0, 2, {{T, L"b/", 5}}, RestAndC},
    {"b:entry=1:1117", R, 0, 2, {{T, L"b/f2", 1117}}, RestAndC},
    // An entry refused to us is a link into a folder we may not search: counted as it.
    {"b:entry=1:5", R, 0, 0, {{N, L"b/f2", 5}}, RestAndC},
    // The scanned folder itself refused is an error: "no match" would be a claim.
    {"TOP:open=5", R, 0, 2, {{T, L"", 5}}, {}},
    {"TOP:read=0:5", R, 0, 2, {{T, L"", 5}}, {}},
    // Sizing a folder that is not walked meets the same rule.
    {"b:read=1:1392", 0, D, 2, {{T, L"b/", 1392}}, {L"a"}},
    {"b:entry=1:1117", 0, D, 2, {{T, L"b/f2", 1117}}, {L"a"}},
    {"b:open=5", 0, D, 0, {{N, L"b/", 5}}, {L"a"}},
    {"b:read=0:5", 0, D, 0, {{N, L"b/", 5}}, {L"a"}},
};

/// A FailureSink's Report that keeps what it hears (context: a Collected), paths below
/// its Root.
struct Collected {
    std::wstring Root;
    std::vector<Heard> All;
};

void Collect(void *context, const ScanFailure *f)
{
    Collected *c = (Collected *)context;
    std::wstring path = std::wstring(f->Folder) + (f->Name != nullptr ? f->Name : L"");
    c->All.push_back({f->Weight, path.substr(std::min(path.size(), c->Root.size())), f->Error});
}

}  // namespace failures

TEST_F(SearchTest, EveryListingFailureIsWeighedByOneRule)
{
    File("top", 5);
    Dir("a");
    File("a/f1", 10);
    Dir("b");
    File("b/f2", 20);
    Dir("b/c");
    File("b/c/f3", 30);
    for (const failures::Case &c : failures::Cases) {
        SCOPED_TRACE(testing::Message() << c.Faults << " flags " << c.Flags);
        std::string rules = c.Faults;
        if (rules.compare(0, 3, "TOP") == 0) rules.replace(0, 3, root.substr(root.rfind('/') + 1));
        ListingSwitch faults("VESK_TEST_LISTING_FAULTS", rules.c_str());
        TestScan o = Options(MODE_LARGEST, c.Flags);
        o.AttrMask = o.AttrValues = c.AttrMask;
        std::wstring dir = Wide(root) + L"/";
        failures::Collected heard = {dir, {}};
        o.Failures = FailureSink{failures::Collect, &heard};
        ASSERT_EQ(0, StartResults(&results, o.n, o.Mode));
        EXPECT_EQ(c.Result, VeskFiles(dir.c_str(), L"*", &o, 0, 0, &results));
        EXPECT_TRUE(c.Failures == heard.All) << heard.All.size() << " heard";
        EXPECT_EQ(c.Found, NameSet(Collect(dir)));
    }
}

TEST_F(SearchTest, WhatLiesBelowAFolderTheWalkIsRefusedAtIsFoundThroughALink)
{
    // a is refused at its open by whatever name it is reached; its subfolder is not. A
    // link to the subfolder is followed wherever it comes in the walk's order, and a link
    // to a itself is the same folder, counted once.
    const struct {
        std::vector<std::pair<const char *, const char *>> Links;  // name, target
        std::set<std::wstring> Found;
    } cases[] = {
        {{{"0sub", "a/sub"}}, {L"0sub/f", L"b/g"}},
        {{{"zsub", "a/sub"}}, {L"zsub/f", L"b/g"}},
        {{{"0sub", "a/sub"}, {"zsub", "a/sub"}, {"zlink", "a"}}, {L"0sub/f", L"b/g"}},
        {{{"zlink", "a"}}, {L"b/g"}},
    };
    ListingSwitch faults("VESK_TEST_LISTING_FAULTS", "a:open=5");
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        std::string t = "t" + std::to_string(i);
        for (const char *d : {"", "/a", "/a/sub", "/b"}) Dir(t + d);
        File(t + "/a/sub/f", 10);
        File(t + "/b/g", 20);
        for (const auto &link : cases[i].Links) Link(Abs(t + "/" + link.second), t + "/" + link.first);
        TestScan o = Options(MODE_LARGEST, WALK_RECURSE);
        o.AttrMask = FILE_ATTRIBUTE_DIRECTORY;
        FailureReport report = {};
        o.Failures = SinkOf(&report);
        EXPECT_EQ(cases[i].Found, NameSet(Walk(o, L"*", t + "/"))) << t;
        EXPECT_EQ(1u, report.Denied.Count) << t;
        FreeDeniedFolders(&report.Denied);
    }
}

TEST_F(SearchTest, OnlyTrustedIdentitiesSkipAFolder)
{
    // j: a junction into volume 7, whose y has the file id of x on the tree's volume;
    // m1, m2 and m1/n: links to folders of one id, on a volume the system cannot tell
    // (0), or on volume 5, where one id is one folder; fs3/up leads back to fs3.
    for (const char *d : {"tree", "tree/x", "vol7", "vol7/y", "fs1", "fs2", "fs3"}) Dir(d);
    const char *files[] = {"tree/x/x.dat", "vol7/y/y.dat", "fs1/a.dat", "fs2/b.dat", "fs3/c.dat"};
    for (size_t i = 0; i < 5; ++i) File(files[i], 10 * (off_t)(i + 1));
    Link("../vol7", "tree/j");
    Link("../fs1", "tree/m1");
    Link("../fs2", "tree/m2");
    Link("../fs3", "fs1/n");
    Link(".", "fs3/up");
    // The transcript walk_volume_identity shows both kinds walked whole on every build;
    // here, the same identities on a volume that tells them apart are one folder.
    struct {
        const char *Faults;
        std::set<std::wstring> Found;
    } cases[] = {
        {"x:id=-:500;j:id=7:600;y:id=7:500",
         {L"x/x.dat", L"j/y/y.dat", L"m1/a.dat", L"m1/n/c.dat", L"m2/b.dat"}},
        // x has y's identity, but a folder listed plainly is not remembered past its
        // listing (a folder has one parent; only a bind mount shows one twice): both are
        // listed, and a file that is one file under both names would be offered once.
        {"x:id=-:500;j:id=-:600;y:id=-:500",
         {L"x/x.dat", L"j/y/y.dat", L"m1/a.dat", L"m1/n/c.dat", L"m2/b.dat"}},
        {"m1:id=0:1;m2:id=0:1;n:id=0:1;up:id=0:1",
         {L"x/x.dat", L"j/y/y.dat", L"m1/a.dat", L"m1/n/c.dat", L"m2/b.dat"}},
        {"m1:id=5:1;m2:id=5:1", {L"x/x.dat", L"j/y/y.dat", L"m1/a.dat", L"m1/n/c.dat"}},
    };
    // The same whether or not the system tells where a link leads: these lead out of
    // the tree.
    for (const char *noPaths : {(const char *)nullptr, "1"}) {
        ListingSwitch seam("VESK_TEST_NO_RESOLVED_PATHS", noPaths);
        for (const auto &c : cases) {
            ListingSwitch faults("VESK_TEST_LISTING_FAULTS", c.Faults);
            EXPECT_EQ(c.Found,
                      NameSet(Walk(Options(MODE_LARGEST, WALK_RECURSE), L"*.dat", "tree/")))
                << c.Faults << (noPaths ? " without resolved paths" : "");
        }
    }
}

TEST_F(SearchTest, EachFolderIsListedOnceWhereverItsLinksLead)
{
    // tree/c0/c1/.../c5, a file in each, and in tree a link to each level; a leads out
    // of the tree to out/sub, then b to out, which holds sub.
    std::string chain = "tree";
    Dir("tree");
    for (int i = 0; i < 6; ++i) {
        chain += "/c" + std::to_string(i);
        Dir(chain);
        File(chain + "/f" + std::to_string(i), i + 1);
        Link(Abs(chain), "tree/l" + std::to_string(i));
    }
    Dir("out");
    Dir("out/sub");
    File("out/o", 20);
    File("out/sub/s", 30);
    Link("../out/sub", "tree/a");
    Link("../out", "tree/b");
    std::set<std::wstring> files = {L"a/s", L"b/o"};
    std::wstring level;
    for (int i = 0; i < 6; ++i) {
        level += L"c" + std::to_wstring(i) + L"/";
        files.insert(level + L"f" + std::to_wstring(i));
    }
    TestScan o = Options(MODE_LARGEST, WALK_RECURSE);
    o.AttrMask = FILE_ATTRIBUTE_DIRECTORY;
    o.Debug = 1;
    for (const char *noPaths : {(const char *)nullptr, "1"}) {
        ListingSwitch seam("VESK_TEST_NO_RESOLVED_PATHS", noPaths);
        testing::internal::CaptureStdout();
        std::set<std::wstring> found = NameSet(Walk(o, L"*", "tree/"));
        fflush(stdout);
        std::string trace = testing::internal::GetCapturedStdout();
        EXPECT_EQ(files, found) << (noPaths ? "without resolved paths" : "");
        // Where the system tells where links lead, the tree's own links are not followed
        // and out/sub, entered through a, is not listed again below b: nine listings.
        // Without, a link into the tree lists its directory again, never a file twice.
        size_t listings = 0;
        for (size_t at = 0; (at = trace.find("* VeskFiles(", at)) != std::string::npos; ++at)
            ++listings;
        if (noPaths == nullptr) {
            EXPECT_EQ(9u, listings) << trace;
        }
        EXPECT_EQ(std::string::npos, trace.find("/b/sub/")) << trace;
    }
}
