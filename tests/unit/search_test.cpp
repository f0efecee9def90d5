#include "search/search.h"
#include "plugin/tokenizer.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "memory.h"
#include "messages.h"
#include "plugin/exports.h"
#include "plugin/host_api.h"
#include "plugin/result_codes.h"
#include "search/directory_size.h"
#include "search/directory_walk.h"
#include "search/filespec_scan.h"
#include "search/result_list.h"
#include "search/wild_list.h"
#include "state/plugin_state.h"
#include "text/native_text.h"

namespace {

std::string Narrow(const std::wstring &w)
{
    std::string out(w.size() * 4 + 1, '\0');
    out.resize(WideToNative(w.c_str(), &out[0], out.size()));
    return out;
}

std::wstring Wide(const std::string &s)
{
    std::wstring out(s.size() + 1, L'\0');
    out.resize(NativeToWide(s.data(), s.size(), &out[0], out.size()));
    return out;
}

/// The walk's settings and the list's n and criterion, as a caller of the scan holds them.
struct TestScan : SearchOptions {
    int32_t n;
    int32_t Mode;
};

struct Found {
    std::wstring Name;
    uint64_t Size;
    uint64_t Time;
    bool operator==(const Found &o) const { return Name == o.Name && Size == o.Size; }
};

/// Windows file time of a Unix time in seconds.
uint64_t FileTimeOf(time_t t) { return (uint64_t)(t + 11644473600LL) * 10000000ULL; }

/// A scratch tree, removed at the end; paths are given relative to it.
class SearchTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Memory-backed when there is such a file system: the deep tree and the spinner's
        // thousands of files take seconds to make on a journalled disk.
        struct stat st;
        bool shm = stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode) && access("/dev/shm", W_OK) == 0;
        char pattern[64];
        strcpy(pattern, shm ? "/dev/shm/vesk_search_XXXXXX" : "/tmp/vesk_search_XXXXXX");
        ASSERT_NE(nullptr, mkdtemp(pattern));
        root = pattern;
        // Readable by the unprivileged child of the permission check.
        chmod(root.c_str(), 0755);
    }
    void TearDown() override
    {
        ClearResults(&results);
        std::string cmd = "chmod -R u+rwx '" + root + "' 2>/dev/null; rm -rf '" + root + "'";
        EXPECT_EQ(0, system(cmd.c_str()));
    }

    std::string Abs(const std::string &rel) const { return root + "/" + rel; }

    void File(const std::string &rel, off_t size, time_t mtime = 1714564800)
    {
        int fd = open(Abs(rel).c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
        ASSERT_GE(fd, 0) << rel;
        ASSERT_EQ(0, ftruncate(fd, size));
        close(fd);
        Stamp(rel, mtime);
    }
    void Dir(const std::string &rel) { ASSERT_EQ(0, mkdir(Abs(rel).c_str(), 0755)) << rel; }
    void Link(const std::string &target, const std::string &rel)
    {
        ASSERT_EQ(0, symlink(target.c_str(), Abs(rel).c_str())) << rel;
    }
    void Stamp(const std::string &rel, time_t mtime)
    {
        struct timespec times[2] = {{mtime, 0}, {mtime, 0}};
        ASSERT_EQ(0, utimensat(AT_FDCWD, Abs(rel).c_str(), times, AT_SYMLINK_NOFOLLOW)) << rel;
    }

    static TestScan Options(int mode, uint32_t flags)
    {
        TestScan o;
        o.AttrMask = 0;
        o.AttrValues = 0;
        o.n = 4096;
        o.Mode = mode;
        o.WhichStamp = STAMP_LAST_WRITE;
        o.WalkFlags = flags;
        o.FullPaths = 1;
        o.DescriptionFile = nullptr;
        o.Ranges = nullptr;
        o.Debug = 0;
        return o;
    }

    /// Walks the tree's root and returns the list, names relative to the root.
    std::vector<Found> Walk(const TestScan &o, const wchar_t *patterns = L"*",
                            const std::string &start = "")
    {
        EXPECT_EQ(0, StartResults(&results, o.n, o.Mode));
        std::wstring dir = Wide(root) + L"/" + Wide(start);
        EXPECT_EQ(0, VeskFiles(dir.c_str(), patterns, &o, 0, 0, &results));
        return Collect(dir);
    }

    std::vector<Found> Collect(const std::wstring &prefix)
    {
        std::vector<Found> out;
        OrderResults(&results);
        for (const FoundFile *f = results.Head; f != nullptr; f = f->Next) {
            std::wstring name = f->Name;
            if (name.compare(0, prefix.size(), prefix) == 0) name = name.substr(prefix.size());
            out.push_back({name, f->Size, f->Time});
        }
        EXPECT_EQ((int)out.size(), results.Count);
        ClearResults(&results);
        return out;
    }

    static std::vector<std::wstring> Names(const std::vector<Found> &found)
    {
        std::vector<std::wstring> names;
        for (const Found &f : found) names.push_back(f.Name);
        return names;
    }
    static std::set<std::wstring> NameSet(const std::vector<Found> &found)
    {
        std::vector<std::wstring> names = Names(found);
        return std::set<std::wstring>(names.begin(), names.end());
    }
    /// The names of of that are in names.
    static std::set<std::wstring> Subset(const std::set<std::wstring> &names,
                                         const std::set<std::wstring> &of)
    {
        std::set<std::wstring> out;
        for (const std::wstring &n : of)
            if (names.count(n)) out.insert(n);
        return out;
    }

    std::string root;
    ResultList results = {};
};

using Strings = std::vector<std::wstring>;

TEST_F(SearchTest, MatchesWildListTable)
{
    std::wstring longPiece = L"a.txt" + std::wstring(9000, L'q');
    struct {
        const wchar_t *Patterns;
        const wchar_t *Name;
        int Result;
    } cases[] = {
        {L"*.txt;*.log", L"a.txt", 0},
        {L"*.txt;*.log", L"b.LOG", 0},
        {L"*.txt;*.log", L"c.doc", 1},
        {L";;*.doc;", L"c.doc", 0},
        {L";;;", L"c.doc", 1},
        {L"*", L"anything", 0},
        {L"", L"a", -1},
        {nullptr, L"a", -1},
        {L"*", L"", -1},
        {L"*", nullptr, -1},
        {longPiece.c_str(), L"a.txt", 1},
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.Result, MatchesWildList(c.Patterns, c.Name))
            << (c.Patterns ? c.Patterns : L"(null)") << " / " << (c.Name ? c.Name : L"(null)");
    // A piece cut at its limit does not spill into the next one.
    std::wstring list = longPiece + L";c.*";
    EXPECT_EQ(0, MatchesWildList(list.c_str(), L"c.doc"));
}

TEST_F(SearchTest, SemicolonMasksRoundTrip)
{
    wchar_t text[] = L"a;b;;c\xFF1B";
    EXPECT_EQ(3, MaskSemicolons(text));
    EXPECT_STREQ(L"a\xFF1B" L"b\xFF1B\xFF1B" L"c\xFF1B", text);
    EXPECT_EQ(4, UnmaskSemicolons(text));
    EXPECT_STREQ(L"a;b;;c;", text);
    EXPECT_EQ(0, MaskSemicolons(nullptr));
}

TEST_F(SearchTest, VolumeFileSystemNeedsARoot)
{
    wchar_t fs[1024];
    EXPECT_EQ(RESULT_FAILED, VolumeFileSystem(L"relative/path", fs));
    EXPECT_EQ(-1, VolumeFileSystem(nullptr, fs));
    EXPECT_EQ(-1, VolumeFileSystem(L"/", nullptr));
    std::wstring dir = Wide(root) + L"/";
    EXPECT_EQ(0, VolumeFileSystem(dir.c_str(), fs));
    EXPECT_NE(L'\0', fs[0]);
}

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

TEST_F(SearchTest, DirectoriesAreSizedByTheirDirectPlainFiles)
{
    Dir("b");
    File("b/one", 100);
    File("b/.hidden", 20);
    Dir("b/sub");
    File("b/sub/big", 5000);
    Dir("empty");
    File("plain", 9999);
    TestScan o = Options(MODE_LARGEST, WALK_RECURSE);
    o.AttrMask = FILE_ATTRIBUTE_DIRECTORY;
    o.AttrValues = FILE_ATTRIBUTE_DIRECTORY;
    std::vector<Found> found = Walk(o);
    EXPECT_EQ((std::vector<Found>{{L"b/sub", 5000, 0}, {L"b", 120, 0}, {L"empty", 0, 0}}), found);
    // The patterns, masks and ranges of the walk do not change a directory's size.
    std::wstring path = Wide(root) + L"/b/*";
    EXPECT_EQ(120u, DirectoryFilesSize(path.c_str()));
    std::wstring missing = Wide(root) + L"/nothing/*";
    EXPECT_EQ(0u, DirectoryFilesSize(missing.c_str()));
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

    // A link to a directory that is not on the walked path is entered, unless the walk
    // has been there already: then it is only a candidate.
    Dir("s/t/zz");
    File("s/t/zz/z", 1);
    Link("t/zz", "s/side");
    Link("s/t/zz", "other");
    std::set<std::wstring> names = NameSet(Walk(Options(MODE_NEWEST, WALK_RECURSE)));
    EXPECT_EQ((std::set<std::wstring>{L"other", L"other/z", L"s/side", L"s/t/zz"}),
              Subset(names, {L"other", L"other/z", L"s/side", L"s/side/z", L"s/t/zz",
                             L"s/t/zz/z"}));
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
    // First met: x (the listing is sorted), before d0's subtree and y and z.
    ASSERT_EQ((size_t)levels + 1, found.size());
    EXPECT_EQ(L"x", found[0].Name);
    std::wstring deepest = L"d0/";
    for (int i = 1; i < levels; ++i) deepest += L"a/";
    EXPECT_EQ(deepest + L"f", found[1].Name);
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

TEST_F(SearchTest, AListingFailureIsReportedAndFailsTheWalk)
{
    Dir("a");
    File("a/f", 1);
    File("g", 2);
    // The lowest free descriptor as the limit: the next listing finds none.
    int probe = dup(0);
    ASSERT_GE(probe, 0);
    close(probe);
    struct rlimit old;
    ASSERT_EQ(0, getrlimit(RLIMIT_NOFILE, &old));
    struct rlimit low = {(rlim_t)probe, old.rlim_max};
    TestScan o = Options(MODE_LARGEST, WALK_RECURSE);
    std::wstring dir = Wide(root) + L"/";
    ASSERT_EQ(0, StartResults(&results, o.n, o.Mode));
    ::testing::internal::CaptureStderr();
    ASSERT_EQ(0, setrlimit(RLIMIT_NOFILE, &low));
    int result = VeskFiles(dir.c_str(), L"*", &o, 0, 0, &results);
    setrlimit(RLIMIT_NOFILE, &old);
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(2, result);
    EXPECT_NE(std::string::npos, err.find("Cannot list \"" + root + "/\": too many open files"))
        << err;
    // Gone or denied stays quiet: no entries, result 0.
    ASSERT_EQ(0, StartResults(&results, o.n, o.Mode));
    std::wstring missing = dir + L"nothing/";
    EXPECT_EQ(0, VeskFiles(missing.c_str(), L"*", &o, 0, 0, &results));
    EXPECT_EQ(0, results.Count);
    // Without a list to fill, nothing is listed.
    EXPECT_EQ(-1, VeskFiles(dir.c_str(), L"*", &o, 0, 0, nullptr));
}

TEST_F(SearchTest, TimesPastEitherEndAreInvalidNeverClamped)
{
    // tmpfs keeps any 64-bit time; a disk may refuse them, and the case is then moot.
    struct Case {
        const char *Name;
        time_t Seconds;
    } cases[] = {
        {"y1500", -14831769600LL}, {"y1", -62135596800LL}, {"min", INT64_MIN},
        {"max", INT64_MAX},        {"y30828", 910692979200LL},
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
        if (name == L"valid") {
            EXPECT_EQ(FileTimeOf(1714564800), t);
            continue;
        }
        EXPECT_FALSE(IsValidFileTime(t)) << Narrow(name);
        if (name == L"y1500") {  // the tick count's two's complement, as Wine gives it
            EXPECT_EQ((uint64_t)((-14831769600LL + 11644473600LL) * 10000000LL), t);
        }
        if (name == L"max") {
            EXPECT_EQ(0x7FFFFFFFFFFFFFFFull, t);
        }
        if (name == L"min") {
            EXPECT_EQ(0x8000000000000000ull, t);
        }
        SYSTEMTIME st;
        if (name != L"y30828" && name != L"max") {
            EXPECT_FALSE(FileTimeToSystemTime(&d.ftLastWriteTime, &st));
        }
    } while (FindNextFileW(h, &d));
    FindClose(h);
    EXPECT_EQ(6, seen);
}

TEST_F(SearchTest, DeepTreeIsWalkedWhole)
{
    // 5,000 bytes of path at the bottom: past what the kernel opens in one call.
    const int levels = 2500;
    int fd = open(root.c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(fd, 0);
    for (int i = 0; i < levels; ++i) {
        int file = openat(fd, "f", O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(file, 0);
        ASSERT_EQ(0, ftruncate(file, i == levels - 1 ? 1000000 : i));
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
    // Every level's file was met.
    o.Mode = MODE_SMALLEST;
    o.n = 4096;
    EXPECT_EQ((size_t)levels, Walk(o).size());
}

TEST_F(SearchTest, UnreadableDirectoryIsSkipped)
{
    File("small", 10);
    Dir("locked");
    File("locked/big", 100000);
    ASSERT_EQ(0, chmod(Abs("locked").c_str(), 0));
    TestScan o = Options(MODE_LARGEST, WALK_RECURSE);
    auto check = [&]() -> int {
        std::vector<Found> found = Walk(o);
        // The directory stays a candidate (size 0); nothing inside it is found.
        std::vector<Found> expected = {{L"small", 10, 0}, {L"locked", 0, 0}};
        return found == expected ? 0 : 1;
    };
    o.AttrMask = 0;
    if (geteuid() != 0) {
        EXPECT_EQ(0, check());
        return;
    }
    // Root reads everything: drop to an unprivileged user in a child.
    fflush(nullptr);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (setgid(65534) != 0 || setuid(65534) != 0) _exit(77);
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
    SpinCountdown = 2048;
    SpinIndex = 0;
    ScreenWidth = 0;
    Walk(Options(MODE_LARGEST, 0));
    EXPECT_EQ(2048, SpinCountdown);
    ScreenWidth = 80;
    Walk(Options(MODE_LARGEST, 0));
    ScreenWidth = savedWidth;
    // Steps on the 2049th entry and after 129 more each: three steps, none pending.
    EXPECT_EQ(3, SpinIndex);
    EXPECT_EQ(128, SpinCountdown);
}

/// The trace lines of one VeskFiles2 call, as printed on standard output.
std::string TraceOf(const std::wstring &spec, int *result)
{
    SearchOptions o;
    memset(&o, 0, sizeof o);
    o.FullPaths = 1;
    o.Debug = 1;
    ResultList results = {};
    StartResults(&results, 1, MODE_LARGEST);
    testing::internal::CaptureStdout();
    *result = VeskFiles2(spec.c_str(), &o, &results);
    fflush(stdout);
    std::string out = testing::internal::GetCapturedStdout();
    ClearResults(&results);
    return out;
}

TEST_F(SearchTest, FileSpecSplitsIntoDirectoryAndPatterns)
{
    Dir("data");
    File("data/a.txt", 1);
    char saved[4096];
    ASSERT_NE(nullptr, getcwd(saved, sizeof saved));
    ASSERT_EQ(0, chdir(root.c_str()));
    std::string r = root;
    std::string backslashed = root;
    std::replace(backslashed.begin(), backslashed.end(), '/', '\\');
    struct {
        std::string Spec, DirName, WildSpec;
    } cases[] = {
        {"*.txt", r + "/", "*.txt"},
        {r + "/data", r + "/data/", "*"},
        {r + "/data/", r + "/data/", "*"},
        {r + "/data/*.log;*.txt", r + "/data/", "*.log;*.txt"},
        {"data/*.t?t", r + "/data/", "*.t?t"},
        {backslashed + "\\data", r + "/data/", "*"},
        {backslashed + "\\data\\*.txt", r + "/data/", "*.txt"},
    };
    for (const auto &c : cases) {
        int result = -2;
        std::string out = TraceOf(Wide(c.Spec), &result);
        EXPECT_EQ(0, result) << c.Spec;
        std::string expected = "   * VeskFiles2( \"" + c.Spec + "\" )\nDirName   : \"" + c.DirName +
                               "\"\nWildSpec  : \"" + c.WildSpec + "\"\n   * VeskFiles( \"" +
                               c.DirName + "\", \"" + c.WildSpec + "\" )\n";
        EXPECT_EQ(expected, out.substr(0, expected.size())) << c.Spec;
    }
    int result = 0;
    EXPECT_EQ("", TraceOf(L"", &result));
    EXPECT_EQ(-1, result);
    SearchOptions o;
    memset(&o, 0, sizeof o);
    ASSERT_EQ(0, StartResults(&results, 1, MODE_LARGEST));
    EXPECT_EQ(-1, VeskFiles2(nullptr, &o, &results));
    EXPECT_EQ(-1, VeskFiles2(L"*", &o, nullptr));
    std::wstring tooLong(PATH_BUFFER_LEN, L'a');
    testing::internal::CaptureStderr();
    EXPECT_EQ(RESULT_FAILED, VeskFiles2(tooLong.c_str(), &o, &results));
    EXPECT_NE(std::string::npos,
              testing::internal::GetCapturedStderr().find("File specification too long"));
    ASSERT_EQ(0, chdir(saved));
}

TEST_F(SearchTest, FunctionReturnsTheBestFullPath)
{
    const long liveAtStart = LiveMemoryBlocks();
    File("a.txt", 10, 1000000000);
    File("b.txt", 30, 1100000000);
    Dir("sub");
    File("sub/c.txt", 20, 1300000000);
    Stamp("sub", 900000000);
    std::wstring base = Wide(root);
    struct {
        std::wstring Args;
        int Result;
        std::wstring Expected;  // relative to the root; "=" for the buffer left as given
        std::wstring Message;   // exactly, line end included
    } cases[] = {
        {base + L"/*.txt", 0, L"b.txt", L""},
        {base + L"/*.txt,s", 0, L"a.txt", L""},
        {base + L"," L"N,,1", 0, L"sub/c.txt", L""},
        {base + L",N,-D", 0, L"b.txt", L""},
        {base + L",l,d", 0, L"sub", L""},
        {base + L"/*.none", 0, L"", L""},
        {base + L",Xyz", -1, L"=", L"Vesk plugin: Bad criterion \"XYZ\"\r\n"},
        {base + L",L,Q", -1, L"=", L"Vesk plugin: Bad attributes \"Q\"\r\n"},
        {base + L",L,,12a", -1, L"=", L"Vesk plugin: Bad flags \"12A\"\r\n"},
        {base + L",L,,,Z", -1, L"=", L"Vesk plugin: Unknown file stamp \"Z\"\r\n"},
        {L" , L", -1, L"=", L"Vesk plugin: Missing filespec\r\n"},
    };
    for (const auto &c : cases) {
        std::vector<wchar_t> buffer(HOST_RESULT_LEN);
        wcscpy(buffer.data(), c.Args.c_str());
        // Through the shell's own capture: the console path would turn "\r\n" into "\n".
        std::wstring out, err;
        vsh::CaptureOutput(&out, &err);
        EXPECT_EQ(c.Result, f_vesk(buffer.data())) << c.Args;
        vsh::CaptureOutput(nullptr, nullptr);
        EXPECT_EQ(c.Message, err) << c.Args;
        EXPECT_EQ(L"", out) << c.Args;
        std::wstring expected = c.Expected == L"=" ? c.Args
                                : c.Expected.empty() ? L""
                                                     : base + L"/" + c.Expected;
        EXPECT_EQ(expected, std::wstring(buffer.data())) << c.Args;
        EXPECT_EQ(liveAtStart, LiveMemoryBlocks()) << "results left allocated";
    }
    EXPECT_EQ(-1, f_vesk(nullptr));
    EXPECT_EQ(-1, _vesk(nullptr));

    // Too long for the argument vector: the overflow, then the missing file specification.
    std::vector<wchar_t> buffer(HOST_RESULT_LEN);
    std::wstring tooLong(MAX_ARG_LEN + 10, L'a');
    wcscpy(buffer.data(), tooLong.c_str());
    testing::internal::CaptureStderr();
    EXPECT_EQ(-1, f_vesk(buffer.data()));
    std::string err = testing::internal::GetCapturedStderr();
    size_t overflow = err.find("Buffer overflow"), missing = err.find("Missing filespec");
    ASSERT_NE(std::string::npos, overflow) << err;
    ASSERT_NE(std::string::npos, missing) << err;
    EXPECT_LT(overflow, missing);
    EXPECT_EQ(tooLong, std::wstring(buffer.data()));
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
