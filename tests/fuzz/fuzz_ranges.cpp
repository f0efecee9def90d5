// ParseRangeOption (and through it every kind's parser) and the plain "/I" form of
// ParseDescriptionRange; every node it leaves must be well formed, and the list must
// survive matching real entries of the fixed tree.
#include <string.h>

#include <vector>

#include "fuzz_support.h"
#include "platform/platform.h"
#include "ranges/range_internal.h"
#include "ranges/range_list.h"
#include "ranges/range_match.h"
#include "ranges/range_option.h"
#include "ranges/text_range.h"
#include "state.h"

namespace {

void CheckNode(const RangeFilter *node)
{
    switch (node->Kind) {
    case L'S': {
        const SizeRange *s = (const SizeRange *)node;
        FUZZ_CHECK(s->Negate == 0 || s->Negate == 1);
        FUZZ_CHECK(s->MinSize <= s->MaxSize);
        break;
    }
    case L'!':
        // Reading the whole inline pattern proves the block holds it (ASan).
        (void)wcslen(((const ExclusionRange *)node)->Pattern);
        break;
    case L'D': {
        const DateRange *d = (const DateRange *)node;
        FUZZ_CHECK(d->Negate == 0 || d->Negate == 1);
        FUZZ_CHECK(d->WhichTime <= TIME_CREATION);
        FUZZ_CHECK(d->FirstDay <= d->LastDay);
        FUZZ_CHECK(d->FirstSecond < 86400);
        FUZZ_CHECK(d->LastSecond < 86400 || d->LastSecond == 4294967295u);
        if (d->FirstDay == d->LastDay) FUZZ_CHECK(d->FirstSecond <= d->LastSecond);
        break;
    }
    case L'T': {
        const TimeRange *t = (const TimeRange *)node;
        FUZZ_CHECK(t->Negate == 0 || t->Negate == 1);
        FUZZ_CHECK(t->WhichTime <= TIME_CREATION);
        FUZZ_CHECK(t->FirstSecond <= t->LastSecond && t->LastSecond < 86400);
        break;
    }
    case L'W': {
        const WeekdayRange *w = (const WeekdayRange *)node;
        FUZZ_CHECK(w->WhichTime <= TIME_CREATION);
        FUZZ_CHECK(w->DayMask != 0 && w->DayMask < 128);
        break;
    }
    case L'I':
    case L'O': {
        const TextRange *t = (const TextRange *)node;
        FUZZ_CHECK(t->Negate == 0 || t->Negate == 1);
        (void)wcslen(t->Pattern);
        break;
    }
    default:
        FUZZ_CHECK(!"unknown node kind");
    }
}

WIN32_FIND_DATAW Entry(const wchar_t *name, uint64_t size, uint64_t time, DWORD attributes)
{
    WIN32_FIND_DATAW data;
    memset(&data, 0, sizeof data);
    data.dwFileAttributes = attributes;
    data.nFileSizeHigh = (DWORD)(size >> 32);
    data.nFileSizeLow = (DWORD)size;
    FILETIME ft = {(DWORD)time, (DWORD)(time >> 32)};
    data.ftCreationTime = data.ftLastAccessTime = data.ftLastWriteTime = ft;
    wcsncpy(data.cFileName, name, MAX_PATH - 1);
    return data;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1) return 0;
    static bool started = false;
    if (!started) {
        FuzzTree();
        vsh::ResetShell(false);
        started = true;
    }
    SilenceShell();
    const uint8_t selector = data[0];
    std::wstring text = DecodeFuzzText(data + 1, size - 1, 8191);
    // Exactly the text and its terminator, so a read or write past it is caught.
    std::vector<wchar_t> buffer(text.begin(), text.end());
    buffer.push_back(L'\0');

    RangeList list = nullptr;
    int result;
    if (selector & 1) result = ParseRangeOption(buffer.data(), &list);
    else result = ParseDescriptionRange(buffer.data(), &list, (selector >> 1) & 1, 1);
    FUZZ_CHECK(result == 0 || result == 1 || (result == -1 && text.empty()));
    FUZZ_CHECK(buffer.back() == L'\0' && wcslen(buffer.data()) == text.size());
    for (const RangeFilter *node = list; node; node = node->Next) CheckNode(node);

    if (list) {
        static const WIN32_FIND_DATAW entries[] = {
            Entry(L"a.txt", 100, 133590384000000000ull, FILE_ATTRIBUTE_ARCHIVE),
            Entry(L"x y.txt", 12345, 0, 0),
            Entry(L"sub", 0, 0xFFFFFFFFFFFFFFFFull, FILE_ATTRIBUTE_DIRECTORY),
        };
        for (const WIN32_FIND_DATAW &entry : entries) {
            int match = MatchRanges(&entry, list, FuzzTree().c_str(), 1);
            FUZZ_CHECK(match == 0 || match == 1);
        }
    }
    FreeRanges(&list);
    FUZZ_CHECK(list == nullptr);
    return 0;
}
