// The Linux directory listing as the plug-in sees it: order, attributes, sizes and
// times of a tree with every kind of entry a Linux disk can hold.
#include "platform/platform.h"

#include "listing_switch.h"
#include "platform/posix/posix_layer.h"
#include "text/native_text.h"
#include "descriptors.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>

#include <fcntl.h>
#include <functional>
#include <map>
#include <limits.h>
#include <stdlib.h>
#include <string>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

std::wstring Wide(const std::string &bytes)
{
    wchar_t buf[4096];
    NativeToWide(bytes.data(), bytes.size(), buf, 4096);
    return buf;
}

uint64_t Ticks(const FILETIME &ft) { return ((uint64_t)ft.dwHighDateTime << 32) | ft.dwLowDateTime; }

uint64_t UnixTicks(int64_t sec, long nsec) { return (uint64_t)(sec + 11644473600LL) * 10000000 + nsec / 100; }

const int64_t WRITE_SEC = 1714564800;  // 2024-05-01 12:00:00 UTC
const long WRITE_NSEC = 123456789;
const int64_t ACCESS_SEC = 1577934245;  // 2020-01-02 03:04:05 UTC

class PlatformFind : public ::testing::Test {
protected:
    std::string Root;

    void Make(const std::string &name, off_t size, mode_t mode = 0644)
    {
        int fd = open((Root + "/" + name).c_str(), O_CREAT | O_WRONLY | O_TRUNC, mode);
        ASSERT_GE(fd, 0) << name;
        ASSERT_EQ(ftruncate(fd, size), 0);
        close(fd);
        chmod((Root + "/" + name).c_str(), mode);
    }

    void SetUp() override
    {
        char tmpl[] = "/tmp/vesk_find_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        Root = tmpl;
        Make("beta.txt", 10);
        Make("Alpha.TXT", 5LL << 30);  // sparse: needs the high half of the size
        Make("alpha.txt", 1);
        Make(".hidden", 2);
        Make("readonly.dat", 3, 0444);
        Make("Zeta", 0);
        Make("_under", 0);
        Make("\xc3\xa9mile", 0);       // "émile": sorts after every ASCII letter
        Make("bad\xff.bin", 7);        // not UTF-8
        // Neighbours that share a prefix holding a byte no UTF-8 character starts with:
        // they sort past it by case-blind order ("a" before "B"), which byte order and a
        // comparison that stopped at the byte would both get the other way round.
        Make("bad\xff" "B", 0);
        Make("bad\xff" "a", 0);
        ASSERT_EQ(mkdir((Root + "/sub").c_str(), 0755), 0);
        ASSERT_EQ(mkdir((Root + "/.hdir").c_str(), 0755), 0);
        Make("sub/inner", 4);
        ASSERT_EQ(symlink("sub", (Root + "/dirlink").c_str()), 0);
        ASSERT_EQ(symlink("beta.txt", (Root + "/filelink").c_str()), 0);
        ASSERT_EQ(symlink("nowhere", (Root + "/dangling").c_str()), 0);
        struct timespec times[2] = {{(time_t)ACCESS_SEC, 0}, {(time_t)WRITE_SEC, WRITE_NSEC}};
        ASSERT_EQ(utimensat(AT_FDCWD, (Root + "/beta.txt").c_str(), times, 0), 0);
    }

    void TearDown() override
    {
        std::string cmd = "rm -rf '" + Root + "'";
        if (!Root.empty()) {
            chmod((Root + "/readonly.dat").c_str(), 0644);
            EXPECT_EQ(system(cmd.c_str()), 0);
        }
    }

    std::vector<WIN32_FIND_DATAW> List(const std::string &pattern, bool forWalk = false)
    {
        std::vector<WIN32_FIND_DATAW> out;
        WIN32_FIND_DATAW d;
        std::wstring path = Wide(Root + "/" + pattern);
        HANDLE h = forWalk ? FindFirstFileLong(path.c_str(), &d) : FindFirstFileW(path.c_str(), &d);
        if (h == INVALID_HANDLE_VALUE) return out;
        do out.push_back(d);
        while (FindNextFileW(h, &d));
        EXPECT_EQ(GetLastError(), 18u);  // ERROR_NO_MORE_FILES
        EXPECT_TRUE(FindClose(h));
        return out;
    }

    static const WIN32_FIND_DATAW *Find(const std::vector<WIN32_FIND_DATAW> &all, const std::wstring &name)
    {
        for (const auto &d : all)
            if (name == d.cFileName) return &d;
        return nullptr;
    }
};

TEST_F(PlatformFind, OrderDotsFirstThenNamesIgnoringCaseExactOnTies)
{
    std::vector<std::wstring> expected = {
        L".", L"..", L".hdir", L".hidden", L"Alpha.TXT", L"alpha.txt", L"bad\xDCFF.bin",
        L"bad\xDCFF" L"a", L"bad\xDCFF" L"B", L"beta.txt", L"dirlink", L"filelink",
        L"readonly.dat", L"sub", L"Zeta", L"_under",
        L"\u00e9mile"};
    std::vector<std::wstring> got;
    for (const auto &d : List("*")) got.push_back(d.cFileName);
    EXPECT_EQ(got, expected);  // the dangling link is left out
}

TEST_F(PlatformFind, TheOrderIsTheOrderOfCompareNamesWhateverTheNamesShare)
{
    // Prefixes of eight bytes and more, case, characters that fold to ASCII (long s to
    // S, dotless i to I), bytes of no character and characters of two bytes at and
    // around the eighth byte.
    const char *names[] = {
        "a", "A", "ab", "abcdefg", "abcdefgh", "ABCDEFGH1", "abcdefgh0", "abcdefgZ",
        "abcdefg\xc3\xa9", "abcdefG\xc5\xbf", "s", "S1", "\xc5\xbf", "\xc5\xbf" "0", "t",
        "i", "\xc4\xb1", "j", "x\xff", "x\xff" "a", "\xff", "\xc3\xa9", "E", "F", "_",
        "~", "0", "abc\xc5\xbf" "defgh", "abcSdefgh", "abcsdefgh1", "zzzzzzzz", "ZZZZZZZZ"};
    ASSERT_EQ(0, mkdir((Root + "/order").c_str(), 0755));
    std::vector<std::string> expected;
    for (const char *name : names) {
        Make(std::string("order/") + name, 0);
        expected.push_back(name);
    }
    std::sort(expected.begin(), expected.end(), [](const std::string &a, const std::string &b) {
        return vesk_posix::CompareNames(a.c_str(), b.c_str()) < 0;
    });
    std::vector<std::string> got;
    for (const auto &d : List("order/*", true)) {
        char bytes[256];
        WideToNative(d.cFileName, bytes, sizeof bytes);
        got.push_back(bytes);
    }
    EXPECT_EQ(expected, got);
}

TEST_F(PlatformFind, AttributesAndSizes)
{
    auto all = List("*");
    struct Row {
        const wchar_t *Name;
        DWORD Attributes;
        uint64_t Size;
    } rows[] = {
        {L".", 0x10, 0},
        {L"..", 0x10, 0},
        {L".hdir", 0x12, 0},
        {L".hidden", 0x22, 2},
        {L"Alpha.TXT", 0x20, 5ULL << 30},
        {L"beta.txt", 0x20, 10},
        {L"readonly.dat", 0x21, 3},
        {L"sub", 0x10, 0},
        {L"dirlink", 0x410, 0},
        {L"filelink", 0x20, 10},  // looks like its target
        {L"bad\xDCFF.bin", 0x20, 7},
    };
    for (const Row &r : rows) {
        const WIN32_FIND_DATAW *d = Find(all, r.Name);
        ASSERT_NE(d, nullptr) << r.Name[0];
        EXPECT_EQ(d->dwFileAttributes, r.Attributes) << d->cFileName;
        EXPECT_EQ(((uint64_t)d->nFileSizeHigh << 32) | d->nFileSizeLow, r.Size) << d->cFileName;
        EXPECT_EQ(d->cAlternateFileName[0], L'\0');
    }
}

TEST_F(PlatformFind, TimesWithSubSecondsAsFileTimes)
{
    auto all = List("*");
    for (const wchar_t *name : {L"beta.txt", L"filelink"}) {
        const WIN32_FIND_DATAW *d = Find(all, name);
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(Ticks(d->ftLastWriteTime), UnixTicks(WRITE_SEC, WRITE_NSEC)) << name;
        EXPECT_EQ(Ticks(d->ftLastAccessTime), UnixTicks(ACCESS_SEC, 0)) << name;
        // Birth time where the disk keeps one (the file was made just now), else the
        // last write time.
        uint64_t created = Ticks(d->ftCreationTime);
        uint64_t now = UnixTicks(time(nullptr), 0);
        bool birth = created + 600ULL * 10000000 > now && created <= now + 10000000;
        EXPECT_TRUE(birth || created == Ticks(d->ftLastWriteTime)) << name;
    }
}

TEST_F(PlatformFind, PatternsMatchIgnoringCase)
{
    struct Row {
        const char *Pattern;
        std::vector<std::wstring> Names;
    } rows[] = {
        {"a*.txt", {L"Alpha.TXT", L"alpha.txt"}},
        {"?ETA.*", {L"beta.txt"}},
        {"SUB", {L"sub"}},
        {"*.*", {L".", L"..", L".hdir", L".hidden", L"Alpha.TXT", L"alpha.txt", L"bad\xDCFF.bin",
                 L"bad\xDCFF" L"a", L"bad\xDCFF" L"B", L"beta.txt", L"dirlink", L"filelink", L"readonly.dat", L"sub", L"Zeta", L"_under",
                 L"\u00e9mile"}},
        {"\xc3\x89*", {L"\u00e9mile"}},  // É matches é
        {"*link", {L"dirlink", L"filelink"}},
        {"d*g", {}},  // only the dangling link would match
    };
    for (const Row &r : rows) {
        std::vector<std::wstring> got;
        for (const auto &d : List(r.Pattern)) got.push_back(d.cFileName);
        EXPECT_EQ(got, r.Names) << r.Pattern;
    }
}

TEST_F(PlatformFind, FailuresReportWindowsErrors)
{
    WIN32_FIND_DATAW d;
    EXPECT_EQ(FindFirstFileW(Wide(Root + "/nothing*").c_str(), &d), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), 2u);  // ERROR_FILE_NOT_FOUND
    EXPECT_EQ(FindFirstFileW(Wide(Root + "/missing/*").c_str(), &d), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), 3u);  // ERROR_PATH_NOT_FOUND
    EXPECT_EQ(FindFirstFileW(Wide(Root + "/beta.txt/*").c_str(), &d), INVALID_HANDLE_VALUE);
    EXPECT_EQ(FindFirstFileW(L"", &d), INVALID_HANDLE_VALUE);
    EXPECT_EQ(FindFirstFileW(nullptr, &d), INVALID_HANDLE_VALUE);
    EXPECT_FALSE(FindNextFileW(INVALID_HANDLE_VALUE, &d));
    EXPECT_FALSE(FindClose(INVALID_HANDLE_VALUE));
}

TEST_F(PlatformFind, AnOpenListingHoldsNoDescriptor)
{
    int before = OpenDescriptors();
    WIN32_FIND_DATAW d;
    HANDLE h = FindFirstFileW(Wide(Root + "/*").c_str(), &d);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    // A walk keeps a listing open per level: a descriptor each would run out.
    EXPECT_EQ(before, OpenDescriptors());
    // A listing this small is read whole at its first request, as a Windows listing
    // brings a buffer of entries: files removed since still show.
    ASSERT_EQ(unlink((Root + "/beta.txt").c_str()), 0);
    ASSERT_EQ(unlink((Root + "/Zeta").c_str()), 0);
    std::vector<std::wstring> got = {d.cFileName};
    while (FindNextFileW(h, &d)) got.push_back(d.cFileName);
    FindClose(h);
    std::vector<std::wstring> expected = {
        L".", L"..", L".hdir", L".hidden", L"Alpha.TXT", L"alpha.txt", L"bad\xDCFF.bin",
        L"bad\xDCFF" L"a", L"bad\xDCFF" L"B", L"beta.txt", L"dirlink", L"filelink",
        L"readonly.dat", L"sub", L"Zeta", L"_under",
        L"\u00e9mile"};
    EXPECT_EQ(got, expected);
}

/// The device as the layer's file ids carry it.
uint64_t DeviceOf(dev_t dev) { return ((uint64_t)major(dev) << 32) | minor(dev); }

TEST_F(PlatformFind, AHandleListingGivesIdentitiesAndLetsItsDescriptorGo)
{
    int before = OpenDescriptors();
    DirectoryListing *listing = OpenDirectoryListing(Wide(Root + "/").c_str());
    ASSERT_NE(nullptr, listing);
    // The directory's own identity is asked of the handle before anything is read.
    struct stat st;
    ASSERT_EQ(0, stat(Root.c_str(), &st));
    FileId self;
    ASSERT_TRUE(GetListingIdentity(listing, &self));
    EXPECT_EQ(1u, self.Volume);  // one serial for every Linux file system: the id has the device
    EXPECT_EQ((uint64_t)st.st_ino, self.FileLow);
    EXPECT_EQ(DeviceOf(st.st_dev), self.FileHigh);

    // Entry by entry the same as the classic listing, each with the id of what it
    // shows as: a directory link its own, a file link its target's.
    std::vector<std::wstring> classic;
    for (const auto &d : List("*", true)) classic.push_back(d.cFileName);
    std::vector<std::wstring> got;
    WIN32_FIND_DATAW d;
    FileId id;
    while (ReadListingEntry(listing, &d, &id) == 1) {
        got.push_back(d.cFileName);
        char bytes[256];
        WideToNative(d.cFileName, bytes, sizeof bytes);
        std::string name = bytes;
        struct stat entry;
        int follow = name == "dirlink" ? AT_SYMLINK_NOFOLLOW : 0;
        ASSERT_EQ(0, fstatat(AT_FDCWD, (Root + "/" + name).c_str(), &entry, follow)) << name;
        EXPECT_EQ((uint64_t)entry.st_ino, id.FileLow) << name;
        EXPECT_EQ(DeviceOf(entry.st_dev), id.FileHigh) << name;
        EXPECT_EQ(name == "dirlink" ? IO_REPARSE_TAG_SYMLINK : 0u, d.dwReserved0) << name;
        // Read whole at the first request: the listing holds no more than its own
        // descriptor, kept for opening its subdirectories through it.
        EXPECT_EQ(before + 1, OpenDescriptors());
    }
    EXPECT_EQ(classic, got);
    EXPECT_EQ(0, ReadListingEntry(listing, &d, &id));
    CloseDirectoryListing(listing);
    EXPECT_EQ(before, OpenDescriptors());

    // A directory link opens what it leads to.
    listing = OpenDirectoryListing(Wide(Root + "/dirlink/").c_str());
    ASSERT_NE(nullptr, listing);
    ASSERT_EQ(0, stat((Root + "/sub").c_str(), &st));
    ASSERT_TRUE(GetListingIdentity(listing, &id));
    EXPECT_EQ((uint64_t)st.st_ino, id.FileLow);
    CloseDirectoryListing(listing);
    EXPECT_EQ(nullptr, OpenDirectoryListing(Wide(Root + "/beta.txt").c_str()));
    EXPECT_EQ(nullptr, OpenDirectoryListing(Wide(Root + "/missing/").c_str()));
    EXPECT_EQ(before, OpenDescriptors());

    // A chain of listings open at once, as a deep walk holds them, each opened through
    // the one above: only the last few keep a descriptor.
    std::string path = Root;
    std::vector<DirectoryListing *> chain;
    for (int i = 0; i < 100; ++i) {
        path += "/c";
        ASSERT_EQ(0, mkdir(path.c_str(), 0755));
        chain.push_back(OpenDirectoryListing(Wide(path + "/").c_str()));
        ASSERT_NE(nullptr, chain.back());
        ReadListingEntry(chain.back(), &d, &id);
    }
    EXPECT_LE(OpenDescriptors(), before + 32);
    // With no descriptor free, the kept ones are given back rather than the open fail.
    path += "/c";
    ASSERT_EQ(0, mkdir(path.c_str(), 0755));
    {
        NoDescriptorFree none;
        ASSERT_TRUE(none.Set);
        chain.push_back(OpenDirectoryListing(Wide(path + "/").c_str()));
    }
    ASSERT_NE(nullptr, chain.back());
    EXPECT_EQ(LISTING_END, ReadListingEntry(chain.back(), &d, &id));
    while (!chain.empty()) {
        CloseDirectoryListing(chain.back());
        chain.pop_back();
    }
    EXPECT_EQ(before, OpenDescriptors());
}

/// What a find data record says: every field but the unused rest of the name buffers,
/// and the last access time, which following a link moves.
std::vector<uint64_t> Fields(const WIN32_FIND_DATAW &d)
{
    return {d.dwFileAttributes, Ticks(d.ftCreationTime), Ticks(d.ftLastWriteTime),
            d.nFileSizeHigh, d.nFileSizeLow, d.dwReserved0, d.dwReserved1};
}

/// Every entry a listing through a handle delivers, and the status calls it cost.
struct HandleListing {
    std::vector<int> Got;
    std::vector<WIN32_FIND_DATAW> Data;
    std::vector<FileId> Ids;
    uint64_t Calls;
};

HandleListing ReadHandleListing(const std::string &dir, bool waive)
{
    HandleListing out;
    uint64_t before = vesk_posix::StatusCallsForTests();
    DirectoryListing *listing = OpenDirectoryListing(Wide(dir + "/").c_str());
    EXPECT_NE(nullptr, listing) << dir;
    if (waive) WaiveDirectoryRecords(listing);
    WIN32_FIND_DATAW d;
    FileId id;
    int got;
    while ((got = ReadListingEntry(listing, &d, &id)) > LISTING_END) {
        out.Got.push_back(got);
        out.Data.push_back(d);
        out.Ids.push_back(id);
    }
    EXPECT_EQ(LISTING_END, got) << dir;
    CloseDirectoryListing(listing);
    out.Calls = vesk_posix::StatusCallsForTests() - before;
    return out;
}

TEST_F(PlatformFind, WithoutDirectoryRecordsOnlyPlainSubdirectoriesGoUnread)
{
    HandleListing whole = ReadHandleListing(Root, false);
    HandleListing waived = ReadHandleListing(Root, true);
    ASSERT_EQ(whole.Data.size(), waived.Data.size());
    uint64_t directories = 0;
    for (size_t i = 0; i < whole.Data.size(); ++i) {
        const WIN32_FIND_DATAW &w = whole.Data[i], &v = waived.Data[i];
        std::wstring name = w.cFileName;
        EXPECT_EQ(name, std::wstring(v.cFileName));
        DWORD kind = w.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT);
        if (kind != FILE_ATTRIBUTE_DIRECTORY) {
            // Files and links come whole, as before.
            EXPECT_EQ(LISTING_ENTRY, waived.Got[i]) << name;
            EXPECT_EQ(Fields(w), Fields(v)) << name;
            EXPECT_EQ(0, memcmp(&whole.Ids[i], &waived.Ids[i], sizeof(FileId))) << name;
            continue;
        }
        // A directory is its name, its directory bit and its hidden one; nothing of it
        // that was not read passes for a value.
        ++directories;
        EXPECT_EQ(LISTING_DIRECTORY_NAME, waived.Got[i]) << name;
        EXPECT_EQ(w.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN),
                  v.dwFileAttributes) << name;
        EXPECT_EQ((std::vector<uint64_t>{v.dwFileAttributes, 0, 0, 0, 0, 0, 0}), Fields(v))
            << name;
        EXPECT_EQ(0u, Ticks(v.ftLastAccessTime)) << name;
        EXPECT_FALSE(IsKnownFileId(&waived.Ids[i])) << name;
    }
    EXPECT_EQ(2u, directories);  // sub and .hdir
    EXPECT_EQ(whole.Calls - directories, waived.Calls);
}

TEST_F(PlatformFind, ADirectoryListedWithoutItsRecordTellsItsIdentity)
{
    ASSERT_EQ(0, mkdir((Root + "/dirs").c_str(), 0755));
    ASSERT_EQ(0, mkdir((Root + "/dirs/a").c_str(), 0755));
    ASSERT_EQ(0, mkdir((Root + "/dirs/b").c_str(), 0755));
    ASSERT_EQ(0, mkdir((Root + "/empty").c_str(), 0755));
    ASSERT_EQ(0, mkdir((Root + "/big").c_str(), 0755));
    for (int i = 0; i < 70; ++i) Make("big/f" + std::to_string(i), 0);
    ASSERT_EQ(0, mkdir((Root + "/mnt").c_str(), 0755));
    bool mounted = mount("none", (Root + "/mnt").c_str(), "tmpfs", 0, "size=64k") == 0;
    if (mounted) Make("mnt/file", 1);
    struct {
        const char *Dir;
        uint64_t Calls;  ///< status calls of listing and identity together
    } cases[] = {
        // Its files are stat'ed anyway, and tell the device; "." tells the inode.
        {"sub", 1},
        {".", 11 + 3 * 2},  // eleven files, three links stat'ed twice: nothing of its own
        // Only subdirectories: the first is stat'ed, as before, and the handle is asked.
        {"dirs", 2},
        {"empty", 1},
        // Larger than a batch: its first entries do not speak for the rest, and the
        // handle is asked.
        {"big", 70 + 1},
        // A mount point is the file system mounted on it, not the directory below.
        {"mnt", 1},
    };
    for (const auto &c : cases) {
        if (!strcmp(c.Dir, "mnt") && !mounted) continue;
        std::string dir = Root + "/" + c.Dir;
        struct stat st;
        ASSERT_EQ(0, stat(dir.c_str(), &st));
        uint64_t before = vesk_posix::StatusCallsForTests();
        DirectoryListing *listing = OpenDirectoryListing(Wide(dir + "/").c_str());
        ASSERT_NE(nullptr, listing);
        WaiveDirectoryRecords(listing);
        FileId id;
        ASSERT_TRUE(GetListedIdentity(listing, &id)) << c.Dir;
        WIN32_FIND_DATAW d;
        while (ReadListingEntry(listing, &d, &id) > LISTING_END) {}
        CloseDirectoryListing(listing);
        EXPECT_EQ(c.Calls, vesk_posix::StatusCallsForTests() - before) << c.Dir;
        listing = OpenDirectoryListing(Wide(dir + "/").c_str());
        WaiveDirectoryRecords(listing);
        ASSERT_TRUE(GetListedIdentity(listing, &id));
        EXPECT_EQ(1u, id.Volume) << c.Dir;
        EXPECT_EQ((uint64_t)st.st_ino, id.FileLow) << c.Dir;
        EXPECT_EQ(DeviceOf(st.st_dev), id.FileHigh) << c.Dir;
        CloseDirectoryListing(listing);
    }
    if (mounted) {
        EXPECT_EQ(0, umount((Root + "/mnt").c_str()));
    }
}

TEST_F(PlatformFind, AHandleListingOfManyLongNamesDeliversEachOnceInOrder)
{
    // Long names fill a request's first, small buffer with a few records: the listing
    // takes many requests and moves to its large buffer between two of them.
    ASSERT_EQ(mkdir((Root + "/many").c_str(), 0755), 0);
    std::vector<std::wstring> expected;
    for (int i = 0; i < 300; ++i) {
        char name[256];
        snprintf(name, sizeof name, "%03d%s", i, std::string(200, 'x').c_str());
        Make(std::string("many/") + name, 0);
        expected.push_back(Wide(name));
    }
    DirectoryListing *listing = OpenDirectoryListing(Wide(Root + "/many/").c_str());
    ASSERT_NE(nullptr, listing);
    std::vector<std::wstring> got;
    WIN32_FIND_DATAW d;
    FileId id;
    while (ReadListingEntry(listing, &d, &id) == 1) got.push_back(d.cFileName);
    EXPECT_EQ(0, ReadListingEntry(listing, &d, &id));
    CloseDirectoryListing(listing);
    EXPECT_EQ(expected, got);
}

TEST_F(PlatformFind, AListingRefusedThroughItsHandleFallsBackToTheClassicOne)
{
    std::vector<std::wstring> got;
    {
        ListingSwitch refused("VESK_TEST_REFUSE_HANDLE_LISTING", "1");
        DirectoryListing *listing = OpenDirectoryListing(Wide(Root + "/").c_str());
        ASSERT_NE(nullptr, listing);
        WIN32_FIND_DATAW d;
        FileId id;
        while (ReadListingEntry(listing, &d, &id) == 1) {
            got.push_back(d.cFileName);
            EXPECT_FALSE(IsKnownFileId(&id));  // the classic listing gives no ids
        }
        CloseDirectoryListing(listing);
    }
    std::vector<std::wstring> classic;
    for (const auto &c : List("*", true)) classic.push_back(c.cFileName);
    EXPECT_EQ(classic, got);
}

TEST_F(PlatformFind, RelativeSearchPathListsTheCurrentDirectory)
{
    char old[4096];
    ASSERT_NE(getcwd(old, sizeof old), nullptr);
    ASSERT_EQ(chdir(Root.c_str()), 0);
    WIN32_FIND_DATAW d;
    HANDLE h = FindFirstFileW(L"b*", &d);
    ASSERT_EQ(chdir(old), 0);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_STREQ(d.cFileName, L"bad\xDCFF.bin");
    FindClose(h);
}

TEST_F(PlatformFind, RootDirectoryIsListed)
{
    WIN32_FIND_DATAW d;
    HANDLE h = FindFirstFileW(L"/*", &d);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_STREQ(d.cFileName, L".");
    FindClose(h);
    h = FindFirstFileLong(L"/*", &d);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_STRNE(d.cFileName, L".");
    FindClose(h);
}

TEST_F(PlatformFind, WalkListingIsTheListingWithoutDots)
{
    std::vector<std::wstring> plain, walk;
    for (const auto &d : List("*")) {
        if (wcscmp(d.cFileName, L".") && wcscmp(d.cFileName, L"..")) plain.push_back(d.cFileName);
    }
    for (const auto &d : List("*", true)) walk.push_back(d.cFileName);
    EXPECT_EQ(walk, plain);
    // A directory holding nothing but its dots lists as empty, as a bare drive root may.
    ASSERT_EQ(mkdir((Root + "/empty").c_str(), 0755), 0);
    WIN32_FIND_DATAW d;
    EXPECT_EQ(FindFirstFileLong(Wide(Root + "/empty/*").c_str(), &d), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), 2u);  // ERROR_FILE_NOT_FOUND
    EXPECT_EQ(List("empty/*").size(), 2u);
}

TEST_F(PlatformFind, NonUtf8NameRoundTripsToTheSameFile)
{
    const WIN32_FIND_DATAW *d = nullptr;
    auto all = List("bad*.bin");
    ASSERT_EQ(all.size(), 1u);
    d = &all[0];
    char bytes[64];
    WideToNative(d->cFileName, bytes, sizeof bytes);
    EXPECT_STREQ(bytes, "bad\xff.bin");
    struct stat st;
    EXPECT_EQ(stat((Root + "/" + bytes).c_str(), &st), 0);
}

TEST_F(PlatformFind, RootlessAbsolutePaths)
{
    EXPECT_TRUE(IsRootlessAbsolutePath(L"/tmp"));
    EXPECT_FALSE(IsRootlessAbsolutePath(L"tmp/x"));
    EXPECT_FALSE(IsRootlessAbsolutePath(nullptr));
}

TEST_F(PlatformFind, VolumeNamesUtcFileSystemsNtfsUnlessOverridden)
{
    wchar_t fs[32], label[32] = L"x";
    DWORD serial = 0, maxLen = 0, flags = 0;
    std::wstring deep = Wide(Root + "/missing/deeper");  // measured at its nearest ancestor
    ASSERT_TRUE(GetVolumeInformationW(deep.c_str(), label, 32, &serial, &maxLen, &flags, fs, 32));
    EXPECT_STREQ(label, L"");
    struct stat st;
    ASSERT_EQ(stat(Root.c_str(), &st), 0);
    EXPECT_EQ(serial, (DWORD)((uint64_t)st.st_dev ^ ((uint64_t)st.st_dev >> 32)));
    EXPECT_EQ(maxLen, 255u);
    const char *old = getenv("VESK_FILESYSTEM");
    std::string saved = old ? old : "";
    unsetenv("VESK_FILESYSTEM");
    ASSERT_TRUE(GetVolumeInformationW(Wide(Root).c_str(), nullptr, 0, nullptr, nullptr, nullptr, fs, 32));
    EXPECT_STREQ(fs, L"NTFS");  // /tmp is never FAT on the build machines
    setenv("VESK_FILESYSTEM", "FAT32", 1);
    ASSERT_TRUE(GetVolumeInformationW(Wide(Root).c_str(), nullptr, 0, nullptr, nullptr, nullptr, fs, 32));
    EXPECT_STREQ(fs, L"FAT32");
    EXPECT_FALSE(GetVolumeInformationW(Wide(Root).c_str(), nullptr, 0, nullptr, nullptr, nullptr, fs, 5));
    if (old) setenv("VESK_FILESYSTEM", saved.c_str(), 1);
    else unsetenv("VESK_FILESYSTEM");
}

TEST_F(PlatformFind, PathsPastTheKernelLimitAreListedAndMeasured)
{
    // Twenty levels of 250-byte names: some 5,000 bytes, past what open() takes at once.
    // Every call below opens such a path a run of components at a time: none may leave
    // a descriptor behind.
    int descriptors = OpenDescriptors();
    const std::string level(250, 'd');
    std::string deep = Root;
    int dir = open(Root.c_str(), O_PATH | O_DIRECTORY);
    ASSERT_GE(dir, 0);
    for (int i = 0; i < 20; ++i) {
        ASSERT_EQ(mkdirat(dir, level.c_str(), 0755), 0);
        int next = openat(dir, level.c_str(), O_PATH | O_DIRECTORY);
        close(dir);
        ASSERT_GE(dir = next, 0);
        deep += "/" + level;
    }
    int file = openat(dir, "big", O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(file, 0);
    ASSERT_EQ(ftruncate(file, 1000), 0);
    close(file);
    close(dir);
    ASSERT_GT(deep.size(), (size_t)PATH_MAX);
    std::vector<wchar_t> buffer(deep.size() + 1);
    NativeToWide(deep.data(), deep.size(), buffer.data(), buffer.size());
    const std::wstring wideDeep = buffer.data();

    WIN32_FIND_DATAW d;
    HANDLE h = FindFirstFileLong((wideDeep + L"/*").c_str(), &d);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_STREQ(d.cFileName, L"big");
    EXPECT_EQ(d.nFileSizeLow, 1000u);
    EXPECT_FALSE(FindNextFileW(h, &d));
    FindClose(h);

    DirectoryListing *listing = OpenDirectoryListing((wideDeep + L"/").c_str());
    ASSERT_NE(nullptr, listing);
    FileId id;
    EXPECT_TRUE(GetListingIdentity(listing, &id));
    EXPECT_EQ(1, ReadListingEntry(listing, &d, &id));
    EXPECT_STREQ(d.cFileName, L"big");
    CloseDirectoryListing(listing);
    wchar_t fs[32];
    EXPECT_TRUE(GetVolumeInformationW(wideDeep.c_str(), nullptr, 0, nullptr, nullptr, nullptr, fs, 32));
    DWORD need = 0;
    GetFileSecurityW((wideDeep + L"/big").c_str(), OWNER_SECURITY_INFORMATION, nullptr, 0, &need);
    EXPECT_GT(need, 0u);
    HANDLE opened = CreateFileW((wideDeep + L"/big").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(opened, INVALID_HANDLE_VALUE);
    if (opened != INVALID_HANDLE_VALUE) CloseHandle(opened);

    // Missing stays missing at any depth.
    EXPECT_EQ(FindFirstFileLong((wideDeep + L"/gone/*").c_str(), &d), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), 3u);  // ERROR_PATH_NOT_FOUND
    EXPECT_EQ(nullptr, OpenDirectoryListing((wideDeep + L"/gone/").c_str()));
    EXPECT_EQ(descriptors, OpenDescriptors());
}

TEST_F(PlatformFind, StatusFailuresAreToldNotLeftOut)
{
    // locked lets no one else in: a link into it names an entry whose status fails, and
    // noscan lets its names be read but not looked up, so its listing is denied. Only
    // an unprivileged reader meets either.
    ASSERT_EQ(0, mkdir((Root + "/locked").c_str(), 0700));
    Make("locked/target", 1);
    ASSERT_EQ(0, symlink("locked/target", (Root + "/link").c_str()));
    ASSERT_EQ(0, mkdir((Root + "/noscan").c_str(), 0755));
    Make("noscan/inside", 1);
    ASSERT_EQ(0, mkdir((Root + "/noscan/dir").c_str(), 0755));
    ASSERT_EQ(0, chmod((Root + "/noscan").c_str(), 0644));
    // The same with only a subdirectory, which a listing without directory records
    // would not look up.
    ASSERT_EQ(0, mkdir((Root + "/noscandirs").c_str(), 0755));
    ASSERT_EQ(0, mkdir((Root + "/noscandirs/dir").c_str(), 0755));
    ASSERT_EQ(0, chmod((Root + "/noscandirs").c_str(), 0644));
    ASSERT_EQ(0, chmod(Root.c_str(), 0755));
    auto check = [&]() -> int {
        int failures = 0;
        DirectoryListing *listing = OpenDirectoryListing(Wide(Root + "/").c_str());
        WIN32_FIND_DATAW d;
        FileId id;
        int got, unreadable = 0;
        while ((got = ReadListingEntry(listing, &d, &id)) > LISTING_END)
            if (got == LISTING_UNREADABLE_ENTRY) {
                ++unreadable;
                failures += std::wstring(d.cFileName) != L"link" || GetLastError() != ERROR_ACCESS_DENIED;
            }
        failures += got != LISTING_END || unreadable != 1;
        CloseDirectoryListing(listing);
        // Whole, without directory records, and with the identity asked first: denied.
        for (const char *dir : {"/noscan/", "/noscandirs/"})
            for (int way = 0; way < 3; ++way) {
                listing = OpenDirectoryListing(Wide(Root + dir).c_str());
                if (way > 0) WaiveDirectoryRecords(listing);
                if (way > 1) failures += GetListedIdentity(listing, &id);
                failures += ReadListingEntry(listing, &d, &id) != LISTING_FAILED ||
                            GetLastError() != ERROR_ACCESS_DENIED;
                CloseDirectoryListing(listing);
            }
        return failures;
    };
    fflush(nullptr);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(77);
        _exit(check());
    }
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    ASSERT_TRUE(WIFEXITED(status));
    chmod((Root + "/noscan").c_str(), 0755);
    chmod((Root + "/noscandirs").c_str(), 0755);
    if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "cannot drop privileges";
    EXPECT_EQ(0, WEXITSTATUS(status));
}

/// Lists dir whole, as the walk does: through its handle, or (classic) with the listing
/// the walk falls back to. Calls visit(name, data) for each entry, before any later one
/// is read.
template <typename Visit>
void ListEach(const std::string &dir, bool classic, Visit visit)
{
    WIN32_FIND_DATAW d;
    if (classic) {
        HANDLE h = FindFirstFileLong(Wide(dir + "/*").c_str(), &d);
        ASSERT_NE(INVALID_HANDLE_VALUE, h) << dir;
        do {
            char bytes[256];
            WideToNative(d.cFileName, bytes, sizeof bytes);
            visit(std::string(bytes), d);
        } while (FindNextFileW(h, &d));
        EXPECT_EQ(ERROR_NO_MORE_FILES, GetLastError());
        FindClose(h);
        return;
    }
    DirectoryListing *listing = OpenDirectoryListing(Wide(dir + "/").c_str());
    ASSERT_NE(nullptr, listing) << dir;
    FileId id;
    int got;
    while ((got = ReadListingEntry(listing, &d, &id)) == LISTING_ENTRY) {
        char bytes[256];
        WideToNative(d.cFileName, bytes, sizeof bytes);
        visit(std::string(bytes), d);
    }
    EXPECT_EQ(LISTING_END, got) << dir;
    CloseDirectoryListing(listing);
}

TEST_F(PlatformFind, AnEntryIsReadWhenTheListingComesToIt)
{
    // Past the first batch an entry shows as it is when it is delivered: grown since
    // the first request, or left out when gone.
    ASSERT_EQ(0, mkdir((Root + "/big").c_str(), 0755));
    for (bool classic : {true, false}) {
        for (int i = 0; i < 200; ++i) Make("big/f" + std::to_string(1000 + i), 1);
        std::map<std::string, uint32_t> sizes;
        bool changed = false;
        ListEach(Root + "/big", classic, [&](const std::string &name, const WIN32_FIND_DATAW &d) {
            if (!changed) {
                ASSERT_EQ(0, truncate((Root + "/big/f1150").c_str(), 77));
                ASSERT_EQ(0, unlink((Root + "/big/f1151").c_str()));
                changed = true;
            }
            sizes[name] = d.nFileSizeLow;
        });
        EXPECT_EQ(199u, sizes.size()) << classic;
        EXPECT_EQ(77u, sizes["f1150"]) << classic;
        EXPECT_EQ(0u, sizes.count("f1151")) << classic;
        EXPECT_EQ(1u, sizes["f1000"]) << classic;
    }
}

TEST_F(PlatformFind, AChainDeeperThanTheBudgetIsWalkedWithinIt)
{
    // Forty levels of seventy files each, the way down in the middle of each: every
    // level has entries left to read while the levels below it are walked, and those
    // that let their descriptors go must still deliver every entry as it is.
    const int depth = 40, files = 70;
    std::string dir = Root + "/chain";
    for (int level = 0; level < depth; ++level) {
        ASSERT_EQ(0, mkdir(dir.c_str(), 0755));
        for (int i = 0; i < files; ++i) Make(dir.substr(Root.size() + 1) + "/f" + std::to_string(10 + i), i);
        if (level + 1 < depth) dir += "/f45d";  // between f45 and f46
    }
    const std::string deepest = dir;
    // With no descriptor free at the deepest level, the held listings read the rest of
    // their entries and let theirs go rather than the open fail.
    auto openWithNoneFree = [&](bool classic) {
        size_t entries = 0;
        {
            NoDescriptorFree none;
            ASSERT_TRUE(none.Set);
            ListEach(Root + "/big", classic, [&](const std::string &, const WIN32_FIND_DATAW &) { ++entries; });
        }
        EXPECT_EQ(100u, entries);
    };
    ASSERT_EQ(0, mkdir((Root + "/big").c_str(), 0755));
    for (int i = 0; i < 100; ++i) Make("big/f" + std::to_string(i), 0);
    int base = OpenDescriptors();
    for (bool classic : {false, true}) {
        int most = 0;
        size_t seen = 0;
        std::function<void(const std::string &)> walk = [&](const std::string &at) {
            ListEach(at, classic, [&](const std::string &name, const WIN32_FIND_DATAW &d) {
                most = std::max(most, OpenDescriptors() - base);
                ++seen;
                if (at == deepest && name == "f10") openWithNoneFree(classic);
                if (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                    walk(at + "/" + name);
                else
                    EXPECT_EQ((DWORD)atoi(name.c_str() + 1) - 10, d.nFileSizeLow) << at << name;
            });
        };
        walk(Root + "/chain");
        EXPECT_EQ((size_t)depth * files + depth - 1, seen) << classic;
        EXPECT_LE(most, 32) << classic;
        EXPECT_EQ(base, OpenDescriptors()) << classic;
    }
}

}  // namespace
