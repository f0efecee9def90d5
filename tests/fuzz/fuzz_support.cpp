#include "fuzz_support.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <ftw.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>

#include <set>
#include <string>

#include "messages.h"
#include "text/native_text.h"

std::wstring DecodeFuzzText(const uint8_t *data, size_t size, size_t maxChars)
{
    std::wstring text;
    size_t i = 0;
    while (i < size && text.size() < maxChars) {
        uint8_t b = data[i];
        if (b == 0) break;
        uint32_t cp = b;
        size_t need = 0;
        if (b >= 0xC2 && b <= 0xDF) need = 1, cp = b & 0x1F;
        else if (b >= 0xE0 && b <= 0xEF) need = 2, cp = b & 0x0F;
        else if (b >= 0xF0 && b <= 0xF4) need = 3, cp = b & 0x07;
        bool ok = need > 0 && i + need < size;
        for (size_t k = 1; ok && k <= need; ++k) {
            if ((data[i + k] & 0xC0) != 0x80) ok = false;
            else cp = (cp << 6) | (data[i + k] & 0x3F);
        }
        // Encoded surrogates are let through: the Linux layer stands U+DC80..U+DCFF in
        // for bytes that are not UTF-8, so such characters do reach the plug-in.
        if (ok && (cp < 0x80 || cp > 0x10FFFF || (sizeof(wchar_t) == 2 && cp > 0xFFFF)))
            ok = false;
        if (need > 0 && ok) {
            text.push_back((wchar_t)cp);
            i += need + 1;
        } else {
            text.push_back((wchar_t)b);
            ++i;
        }
    }
    return text;
}

namespace {

std::wstring TreeWide;
std::string TreeNarrow;
std::set<std::string> FixedEntries;  // paths relative to the tree

void MakeFile(const std::string &rel, size_t size, time_t when, mode_t mode = 0644)
{
    std::string path = TreeNarrow + "/" + rel;
    int fd = open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, mode);
    if (fd < 0) {
        perror(path.c_str());
        abort();
    }
    if (size > 0 && ftruncate(fd, (off_t)size) != 0) abort();
    close(fd);
    struct timeval times[2] = {{when, 0}, {when, 0}};
    utimes(path.c_str(), times);
    FixedEntries.insert(rel);
}

void MakeDir(const std::string &rel)
{
    std::string path = TreeNarrow + "/" + rel;
    if (mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) abort();
    FixedEntries.insert(rel);
}

void MakeLink(const std::string &target, const std::string &rel)
{
    if (symlink(target.c_str(), (TreeNarrow + "/" + rel).c_str()) != 0) abort();
    FixedEntries.insert(rel);
}

void MakeHardLink(const std::string &existing, const std::string &rel)
{
    if (link((TreeNarrow + "/" + existing).c_str(), (TreeNarrow + "/" + rel).c_str()) != 0)
        abort();
    FixedEntries.insert(rel);
}

void Prune(const std::string &rel)
{
    std::string path = rel.empty() ? TreeNarrow : TreeNarrow + "/" + rel;
    DIR *dir = opendir(path.c_str());
    if (!dir) return;
    std::set<std::string> names;
    while (struct dirent *e = readdir(dir)) {
        if (strcmp(e->d_name, ".") && strcmp(e->d_name, "..")) names.insert(e->d_name);
    }
    closedir(dir);
    for (const std::string &name : names) {
        std::string child = rel.empty() ? name : rel + "/" + name;
        struct stat st;
        std::string full = TreeNarrow + "/" + child;
        if (lstat(full.c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode)) {
            Prune(child);
            if (!FixedEntries.count(child)) rmdir(full.c_str());
        } else if (!FixedEntries.count(child)) {
            unlink(full.c_str());
        }
    }
}

std::string TempDir;

int RemoveOne(const char *path, const struct stat *, int, struct FTW *)
{
    remove(path);
    return 0;
}

// The tree goes when the fuzzer ends normally; after a crash it stays for a look.
void RemoveTree(void)
{
    if (chdir("/") != 0) return;
    nftw(TempDir.c_str(), RemoveOne, 16, FTW_DEPTH | FTW_PHYS);
}

}  // namespace

const std::wstring &FuzzTree(void)
{
    if (!TreeWide.empty()) return TreeWide;
    const char *tmp = getenv("TMPDIR");
    std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/vesk-fuzz-XXXXXX";
    if (!mkdtemp(&templ[0])) abort();
    TempDir = templ.c_str();
    atexit(RemoveTree);
    TreeNarrow = templ + "/tree";
    if (mkdir(TreeNarrow.c_str(), 0755) != 0) abort();
    const time_t base = 1714564800;  // 2024-05-01 12:00 UTC
    MakeFile("a.txt", 100, base);
    MakeFile("b.log", 2000, base - 86400 * 40);
    MakeFile("c.bak", 0, base + 3600);
    MakeFile("x y.txt", 12345, base - 86400 * 400);
    MakeFile(".hidden", 77, base + 60);
    MakeFile("ro.dat", 5000000, base - 86400 * 3, 0444);
    MakeDir("sub");
    MakeFile("sub/c.txt", 50, base - 7200);
    MakeFile("sub/e.txt", 4096, base + 86400 * 2);
    MakeDir("sub/deep");
    MakeFile("sub/deep/d.bin", 1 << 20, base - 86400 * 1000);
    MakeDir("empty");
    // A graph of directory links without a loop (two links from each level to the next:
    // 2^5 paths to the bottom), a link up to the top, and one file under a file link and
    // a hard link: each directory is walked once and each file offered once.
    for (int i = 0; i < 6; ++i) {
        std::string level = "graph/g" + std::to_string(i);
        if (i == 0) MakeDir("graph");
        MakeDir(level);
        MakeFile(level + "/f" + std::to_string(i), 10 * (i + 1), base - 86400 * i);
    }
    for (int i = 0; i < 5; ++i) {
        std::string level = "graph/g" + std::to_string(i);
        MakeLink("../g" + std::to_string(i + 1), level + "/a");
        MakeLink("../g" + std::to_string(i + 1), level + "/b");
    }
    MakeLink("../..", "graph/g5/top");
    MakeLink("../a.txt", "graph/same.txt");
    MakeHardLink("b.log", "graph/hard.log");
    wchar_t wide[4096];
    NativeToWide(TreeNarrow.c_str(), TreeNarrow.size(), wide, 4096);
    TreeWide = wide;
    if (chdir(TreeNarrow.c_str()) != 0) abort();
    return TreeWide;
}

namespace {

const char *const FIXED_DIRS[] = {"", "/sub", "/sub/deep", "/empty"};
struct timespec FixedDirsSeen[4];  // change times: they move with every write

// True when no fixed directory changed since the last call: most inputs write
// nothing, and four stats cost far less than a walk of the tree. Directory times
// move in clock ticks of a few milliseconds, so a time that recent proves nothing.
bool FixedDirsUnchanged(void)
{
    struct timespec now;
    clock_gettime(CLOCK_REALTIME_COARSE, &now);
    bool same = true;
    for (size_t i = 0; i < 4; ++i) {
        struct stat st;
        if (stat((TreeNarrow + FIXED_DIRS[i]).c_str(), &st) != 0) {
            memset(&st, 0, sizeof st);
        }
        struct timespec *seen = &FixedDirsSeen[i];
        if (seen->tv_sec != st.st_ctim.tv_sec || seen->tv_nsec != st.st_ctim.tv_nsec) {
            same = false;
            *seen = st.st_ctim;
        }
        int64_t ageMs = ((int64_t)now.tv_sec - st.st_ctim.tv_sec) * 1000 +
                        ((int64_t)now.tv_nsec - st.st_ctim.tv_nsec) / 1000000;
        if (ageMs < 100) same = false;
    }
    return same;
}

}  // namespace

void RestoreFuzzTree(void)
{
    FuzzTree();
    if (chdir(TreeNarrow.c_str()) != 0) abort();
    if (FixedDirsUnchanged()) return;
    Prune("");
    FixedDirsUnchanged();  // what the prune left is the state to compare with
}

void SilenceShell(void)
{
    // VESK_FUZZ_VERBOSE=1 lets the output through, to look at what one input does.
    static const bool verbose = getenv("VESK_FUZZ_VERBOSE") != nullptr;
    if (verbose) return;
    static std::wstring out, err;
    out.clear();
    err.clear();
    vsh::CaptureOutput(&out, &err);
}
