// The time conversions: any Unix time a file system may store (through a file of our
// own and the Linux listing), and any 64-bit file time through the date stamp, the
// ranking and the date, time and weekday ranges. A time Windows does not convert (before
// 1601, after 30828-09-14) must be invalid everywhere alike, and nothing may overflow on
// the way (UBSan ends the run).
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "commands/date_stamp.h"
#include "fuzz_support.h"
#include "platform/platform.h"
#include "ranges/local_time.h"
#include "ranges/range_list.h"
#include "ranges/range_match.h"
#include "ranges/range_option.h"
#include "search/result_list.h"
#include "text/native_text.h"
#include "state.h"

namespace {

const int64_t SECONDS_TO_1970 = 11644473600LL;

uint64_t Read64(const uint8_t *p)
{
    uint64_t v = 0;
    for (int i = 0; i < 8; ++i) v |= (uint64_t)p[i] << (8 * i);
    return v;
}

/// The file time the Linux listing must give for a Unix time: the tick count when it
/// fits 64 bits (a negative one as its two's complement), else the end it passed.
uint64_t ExpectedFileTime(int64_t sec, int64_t nsec)
{
    __int128 ticks = (__int128)sec * 10000000 + nsec / 100 + (__int128)SECONDS_TO_1970 * 10000000;
    // Past what 64 bits of ticks hold, either way: just past the last convertible time.
    if (ticks > INT64_MAX || ticks < INT64_MIN) return 0x8000000000000000ull;
    return (uint64_t)(int64_t)ticks;
}

/// The file's write time as the listing gives it; false when it cannot be listed.
bool ListedTime(const std::wstring &directory, uint64_t *time)
{
    WIN32_FIND_DATAW data;
    HANDLE h = FindFirstFileLong((directory + L"/t").c_str(), &data);
    if (h == INVALID_HANDLE_VALUE) return false;
    FindClose(h);
    *time = ((uint64_t)data.ftLastWriteTime.dwHighDateTime << 32) | data.ftLastWriteTime.dwLowDateTime;
    return true;
}

RangeList TimeRanges()
{
    static const wchar_t *const options[] = {
        L"/[D1601-01-01,30828-09-14]", L"/![D2024-05-01,2024-05-01]", L"/[T00:00,23:59]",
        L"/![T12:00,12:01]",          L"/[W:Mon-Sun]",               L"/![W:Sat-Sun]"};
    RangeList list = nullptr;
    for (const wchar_t *option : options) {
        std::vector<wchar_t> text(option, option + wcslen(option) + 1);
        FUZZ_CHECK(ParseRangeOption(text.data(), &list) == 0);
    }
    return list;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 25) return 0;
    static std::string file;
    static std::wstring directory;
    static RangeList ranges = nullptr;
    if (file.empty()) {
        const std::wstring &tree = FuzzTree();
        vsh::ResetShell(false);
        std::string narrow(tree.size() * 4 + 1, '\0');
        narrow.resize(WideToNative(tree.c_str(), &narrow[0], narrow.size()));
        file = narrow + "/t";
        int fd = open(file.c_str(), O_CREAT | O_WRONLY, 0644);
        FUZZ_CHECK(fd >= 0);
        close(fd);
        directory = tree;
        ranges = TimeRanges();
    }
    SilenceShell();
    const int64_t sec = (int64_t)Read64(data);
    const int64_t nsec = (int64_t)(Read64(data + 8) % 1000000000u);
    const uint64_t fileTime = Read64(data + 16);
    const uint8_t flags = data[24];

    // Whatever the file system keeps of the time (a disk clamps it, tmpfs does not)
    // comes back as the tick count, never clamped into a date.
    struct timespec times[2] = {{(time_t)sec, (long)nsec}, {(time_t)sec, (long)nsec}};
    if (utimensat(AT_FDCWD, file.c_str(), times, 0) == 0) {
        struct stat st;
        uint64_t listed;
        FUZZ_CHECK(stat(file.c_str(), &st) == 0);
        FUZZ_CHECK(ListedTime(directory, &listed));
        FUZZ_CHECK(listed == ExpectedFileTime(st.st_mtim.tv_sec, st.st_mtim.tv_nsec));
    }

    // The stamp: invalid times get the one text on every path.
    wchar_t out[TEXT_BUFFER_LEN];
    for (int path = 0; path < 8; ++path) {
        FUZZ_CHECK(FormatDateStamp(out, L" ", flags & 1, fileTime, path & 1, (path >> 1) & 1,
                                   (path >> 2) & 1) == 0);
        if (!IsValidFileTime(fileTime)) FUZZ_CHECK(wcscmp(out, L"(invalid time)") == 0);
        if (IsValidFileTime(fileTime) && (path & 6) == 6) {
            SYSTEMTIME st;
            FILETIME ft = {(DWORD)fileTime, (DWORD)(fileTime >> 32)};
            FUZZ_CHECK(FileTimeToSystemTime(&ft, &st));
            FUZZ_CHECK(st.wYear >= 1601 && st.wYear <= 30828);
            FUZZ_CHECK(wcstol(out, nullptr, 10) == st.wYear);
        }
    }

    // The ranking: strict, and a time the default stamp shows as invalid beats nothing
    // while any other beats it.
    const int onNtfs = (flags >> 1) & 1;
    const bool shown = IsShownTimeValid(fileTime, onNtfs);
    SYSTEMTIME local;
    FUZZ_CHECK(shown == ShownLocalTime(fileTime, onNtfs, &local));
    FormatDateStamp(out, L" ", 0, fileTime, onNtfs, 0, 1);
    FUZZ_CHECK(shown == (wcscmp(out, L"(invalid time)") != 0));
    FoundFile *other = NewFoundFile(L"o", 0, Read64(data + 8), 0, onNtfs);
    FUZZ_CHECK(other != nullptr);
    for (int mode : {MODE_OLDEST, MODE_NEWEST}) {
        bool beats = BeatsEntry(mode, 0, fileTime, onNtfs, other);
        FoundFile self = *other;
        self.Time = fileTime;
        FUZZ_CHECK(!(beats && BeatsEntry(mode, 0, other->Time, onNtfs, &self)));
        if (!shown) FUZZ_CHECK(!beats);
        if (shown && !IsShownTimeValid(other->Time, onNtfs)) FUZZ_CHECK(beats);
    }
    FreeMem(other);

    // The ranges: each takes the file or not, and none takes a time shown as invalid.
    WIN32_FIND_DATAW entry;
    memset(&entry, 0, sizeof entry);
    FILETIME ft = {(DWORD)fileTime, (DWORD)(fileTime >> 32)};
    entry.ftCreationTime = entry.ftLastAccessTime = entry.ftLastWriteTime = ft;
    wcscpy(entry.cFileName, L"t");
    int match = MatchRanges(&entry, ranges, directory.c_str(), onNtfs);
    FUZZ_CHECK(match == 0 || match == 1);
    if (!shown) FUZZ_CHECK(match == 1);
    return 0;
}
