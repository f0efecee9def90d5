#include "platform/listing_faults.h"

#include <stdlib.h>
#include <string.h>

#if !defined(_WIN32)
#  include "text/native_text.h"
#endif

namespace {

/// The variable as last parsed (the rules point into it), and its rules.
struct FaultTable {
    wchar_t *Raw;      ///< the variable's text as read, to notice a change
    wchar_t *Text;     ///< a copy cut into the rules' pieces
    ListingFault *Rules;
    size_t Count;
};

FaultTable Table;

/// 2020-01-01 00:00:00 UTC, the time of every listed entry.
const uint64_t FAKE_ENTRY_TIME = 132223104000000000ULL;

void FreeTable(void)
{
    free(Table.Raw);
    free(Table.Text);
    free(Table.Rules);
    memset(&Table, 0, sizeof Table);
}

/// The switch's text (malloc'd), or null when it is not set.
wchar_t *ReadSwitch(void)
{
#if defined(_WIN32)
    const wchar_t *value = _wgetenv(L"VESK_TEST_LISTING_FAULTS");
    if (value == nullptr) return nullptr;
    size_t len = wcslen(value);
    wchar_t *copy = (wchar_t *)malloc((len + 1) * sizeof(wchar_t));
    if (copy != nullptr) wmemcpy(copy, value, len + 1);
    return copy;
#else
    const char *value = getenv("VESK_TEST_LISTING_FAULTS");
    if (value == nullptr) return nullptr;
    size_t len = strlen(value);
    size_t need = NativeToWide(value, len, nullptr, 0) + 1;
    wchar_t *copy = (wchar_t *)malloc(need * sizeof(wchar_t));
    if (copy != nullptr) NativeToWide(value, len, copy, need);
    return copy;
#endif
}

bool ReadNumber(const wchar_t **at, uint64_t *value)
{
    const wchar_t *p = *at;
    if (*p < L'0' || *p > L'9') return false;
    uint64_t v = 0;
    while (*p >= L'0' && *p <= L'9') v = v * 10 + (uint64_t)(*p++ - L'0');
    *value = v;
    *at = p;
    return true;
}

/// Reads "K:E" at text; false when it is not that.
bool ReadPair(const wchar_t *text, uint64_t *first, uint64_t *second)
{
    return ReadNumber(&text, first) && *text++ == L':' && ReadNumber(&text, second) &&
           *text == L'\0';
}

ListingFault *RuleFor(const wchar_t *name)
{
    for (size_t i = 0; i < Table.Count; ++i)
        if (wcscmp(Table.Rules[i].Name, name) == 0) return &Table.Rules[i];
    ListingFault *rule = &Table.Rules[Table.Count++];
    memset(rule, 0, sizeof *rule);
    rule->Name = name;
    return rule;
}

/// Applies one "NAME:ACTION" (cut out of Table.Text). A malformed rule changes nothing.
void ParseRule(wchar_t *rule)
{
    wchar_t *colon = wcschr(rule, L':');
    if (colon == nullptr || colon == rule) return;
    *colon = L'\0';
    wchar_t *action = colon + 1;
    wchar_t *value = wcschr(action, L'=');
    if (value == nullptr) return;
    *value++ = L'\0';
    ListingFault *fault = RuleFor(rule);
    uint64_t a, b;
    if (wcscmp(action, L"open") == 0) {
        const wchar_t *p = value;
        if (ReadNumber(&p, &a) && *p == L'\0') fault->OpenError = (DWORD)a;
    } else if (wcscmp(action, L"read") == 0 && ReadPair(value, &a, &b)) {
        fault->FailAt = (uint32_t)a;
        fault->ReadError = (DWORD)b;
    } else if (wcscmp(action, L"entry") == 0 && ReadPair(value, &a, &b)) {
        fault->UnreadableAt = (uint32_t)a;
        fault->EntryError = (DWORD)b;
    } else if (wcscmp(action, L"id") == 0) {
        bool system = value[0] == L'-' && value[1] == L':';
        if (system) value[0] = L'0';
        if (ReadPair(value, &a, &b)) {
            fault->HasId = true;
            fault->SystemVolume = system;
            fault->Volume = a;
            fault->FileId = b;
        }
    } else if (wcscmp(action, L"list") == 0) {
        fault->Entries = value;
    } else if (wcscmp(action, L"ids") == 0 && wcscmp(value, L"64") == 0) {
        fault->Only64BitRecords = true;
    }
}

}  // namespace

bool LoadListingFaults(void)
{
    wchar_t *raw = ReadSwitch();
    if (raw == nullptr) {
        if (Table.Raw != nullptr) FreeTable();
        return false;
    }
    if (Table.Raw != nullptr && wcscmp(Table.Raw, raw) == 0) {
        free(raw);
        return true;
    }
    FreeTable();
    size_t len = wcslen(raw);
    size_t rules = 1;
    for (size_t i = 0; i < len; ++i) rules += raw[i] == L';';
    Table.Raw = raw;
    Table.Text = (wchar_t *)malloc((len + 1) * sizeof(wchar_t));
    Table.Rules = (ListingFault *)malloc(rules * sizeof(ListingFault));
    if (Table.Text == nullptr || Table.Rules == nullptr) {
        FreeTable();
        return false;
    }
    wmemcpy(Table.Text, raw, len + 1);
    wchar_t *start = Table.Text;
    for (;;) {
        wchar_t *end = wcschr(start, L';');
        if (end != nullptr) *end = L'\0';
        ParseRule(start);
        if (end == nullptr) break;
        start = end + 1;
    }
    return true;
}

const ListingFault *FindListingFault(const wchar_t *directory)
{
    if (directory == nullptr || Table.Count == 0) return nullptr;
    size_t end = wcslen(directory);
    while (end > 0 && IsPathSeparator(directory[end - 1])) --end;
    size_t start = end;
    while (start > 0 && !IsPathSeparator(directory[start - 1])) --start;
    for (size_t i = 0; i < Table.Count; ++i) {
        const wchar_t *name = Table.Rules[i].Name;
        if (wcslen(name) == end - start && wmemcmp(name, directory + start, end - start) == 0)
            return &Table.Rules[i];
    }
    return nullptr;
}

bool ReadFakeEntry(const ListingFault *fault, uint32_t index, WIN32_FIND_DATAW *data)
{
    const wchar_t *p = fault->Entries;
    if (p == nullptr) return false;
    for (uint32_t i = 0; i < index; ++i) {
        p = wcschr(p, L',');
        if (p == nullptr) return false;
        ++p;
    }
    size_t len = wcscspn(p, L",");
    if (len == 0) return false;
    memset(data, 0, sizeof *data);
    const wchar_t *size = wmemchr(p, L'=', len);
    size_t nameLen = size != nullptr ? (size_t)(size - p) : len;
    bool directory = nameLen > 0 && p[nameLen - 1] == L'/';
    if (directory) --nameLen;
    if (nameLen == 0 || nameLen >= MAX_PATH) return false;
    wmemcpy(data->cFileName, p, nameLen);
    data->cFileName[nameLen] = L'\0';
    data->dwFileAttributes = directory ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
    uint64_t bytes = directory ? 0 : 1;
    if (size != nullptr) {
        const wchar_t *at = size + 1;
        if (!ReadNumber(&at, &bytes)) bytes = 1;
    }
    data->nFileSizeHigh = (DWORD)(bytes >> 32);
    data->nFileSizeLow = (DWORD)bytes;
    FILETIME *times[3] = {&data->ftCreationTime, &data->ftLastAccessTime, &data->ftLastWriteTime};
    for (FILETIME *t : times) {
        t->dwLowDateTime = (DWORD)FAKE_ENTRY_TIME;
        t->dwHighDateTime = (DWORD)(FAKE_ENTRY_TIME >> 32);
    }
    return true;
}
