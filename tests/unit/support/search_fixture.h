// A scratch tree for the search tests, and the helpers that walk it and collect the list.
#ifndef VESK_SEARCH_FIXTURE_H
#define VESK_SEARCH_FIXTURE_H

#include "search/search.h"
#include "plugin/tokenizer.h"

#include <gtest/gtest.h>

#include <dirent.h>
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

#include "descriptors.h"
#include "messages.h"
#include "plugin/exports.h"
#include "plugin/host_api.h"
#include "plugin/result_codes.h"
#include "search/directory_size.h"
#include "search/directory_walk.h"
#include "search/spinner.h"
#include "search/filespec_scan.h"
#include "search/result_list.h"
#include "search/wild_list.h"
#include "state/plugin_state.h"
#include "text/native_text.h"

inline std::string Narrow(const std::wstring &w)
{
    std::string out(w.size() * 4 + 1, '\0');
    out.resize(WideToNative(w.c_str(), &out[0], out.size()));
    return out;
}

inline std::wstring Wide(const std::string &s)
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
inline uint64_t FileTimeOf(time_t t) { return (uint64_t)(t + 11644473600LL) * 10000000ULL; }

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

    /// Makes a chain of directories in the existing folder from (relative to the root),
    /// each named by up to 200 fill characters, down to one whose path with its separator
    /// is exactly length characters, and files of one byte with the given names in it.
    /// Returns that path. The chain is made through open directories, so it may pass the
    /// kernel's PATH_MAX.
    std::string ChainOfLength(const std::string &from, size_t length, char fill,
                              const std::vector<std::string> &files = {})
    {
        std::string path = Abs(from);
        if (path.back() != '/') path += '/';
        int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY);
        EXPECT_GE(fd, 0) << path;
        while (fd >= 0 && path.size() < length) {
            size_t left = length - path.size();  // the names and their separators
            size_t take = left > 256 ? 200 : left - 1;
            std::string name(take, fill);
            EXPECT_EQ(0, mkdirat(fd, name.c_str(), 0755)) << path.size();
            int next = openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY);
            close(fd);
            fd = next;
            path += name + "/";
        }
        for (const std::string &name : files) {
            int file = openat(fd, name.c_str(), O_CREAT | O_WRONLY, 0644);
            EXPECT_GE(file, 0) << name;
            if (file >= 0) {
                EXPECT_EQ(1, write(file, "x", 1));
                close(file);
            }
        }
        if (fd >= 0) close(fd);
        EXPECT_EQ(length, path.size());
        return path;
    }

    /// Creates an empty file at path (absolute, of any length), through open directories.
    static void FileAtAnyLength(const std::string &path)
    {
        int fd = open("/", O_RDONLY | O_DIRECTORY);
        size_t at = 1;
        for (size_t slash; fd >= 0 && (slash = path.find('/', at)) != std::string::npos;
             at = slash + 1) {
            int next = openat(fd, path.substr(at, slash - at).c_str(), O_RDONLY | O_DIRECTORY);
            close(fd);
            fd = next;
        }
        ASSERT_GE(fd, 0) << path.size();
        int file = openat(fd, path.substr(at).c_str(), O_CREAT | O_WRONLY, 0644);
        close(fd);
        ASSERT_GE(file, 0) << path.size();
        close(file);
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
        o.Failures = FailureSink{nullptr, nullptr};
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

#endif
